#pragma once

#include <atomic>
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

    // Runs on the engine's thread between steps: a window that runs the engine on its own
    // thread lets its pending events through, the command line looks at Ctrl-C.
    void setPump(std::function<void()> pump) { m_pump = std::move(pump); }
    void pump() {
        if (m_pump) {
            m_pump();
        }
    }

  private:
    static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
    std::atomic<bool> m_halt{false};
    std::function<void()> m_pump;
};

}  // namespace ostravex
