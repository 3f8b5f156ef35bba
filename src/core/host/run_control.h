#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <utility>

namespace ostravex {

// What a scan or run looks at between its steps: whether its user asked it to stop, and a
// moment for the user's own events. The halt request may be set from any thread (a window
// running the work elsewhere) and from a signal handler.
class RunControl {
  public:
    void requestHalt() noexcept { m_halt.store(true, std::memory_order_relaxed); }
    bool haltRequested() const noexcept { return m_halt.load(std::memory_order_relaxed); }
    void clearHalt() noexcept { m_halt.store(false, std::memory_order_relaxed); }

    // What a pump does: only look for a request to stop (the command line's Ctrl-C, a
    // window that runs the engine on a thread of its own), or run the host's own code on
    // the engine's thread (a host that handles its events there), which may change files.
    enum class PumpKind { ChecksForStop, RunsHostCode };

    // Runs on the engine's thread between steps: a window that runs the engine on its own
    // thread lets its pending events through, the command line looks at Ctrl-C.
    void setPump(std::function<void()> pump, PumpKind kind = PumpKind::RunsHostCode) {
        m_pump = std::move(pump);
        m_pumpKind = kind;
    }
    void pump() {
        if (m_pump) {
            if (m_pumpKind == PumpKind::RunsHostCode) {
                ++m_handOvers;
            }
            m_pump();
        }
    }
    // How often the engine's thread was handed to the host's own code: what the engine
    // learnt of a file before a hand-over is asked again before it is relied on.
    std::uint64_t handOvers() const { return m_handOvers; }

  private:
    static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
    std::atomic<bool> m_halt{false};
    std::function<void()> m_pump;
    PumpKind m_pumpKind = PumpKind::RunsHostCode;
    std::uint64_t m_handOvers = 0;
};

}  // namespace ostravex
