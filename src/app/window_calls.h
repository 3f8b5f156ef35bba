#pragma once

#include <QObject>
#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "host/host.h"

namespace ostravex::app {

// Calls made on another thread that must run on the window's thread, in the order they were
// made. The window runs them in short slices, so that its own events (a click, a repaint, a
// timer) get through between slices however many calls pile up.
class WindowCalls : public QObject {
  public:
    explicit WindowCalls(QObject* parent = nullptr);

    // Any thread: `call` runs on the window's thread after every call queued before it.
    void post(std::function<void()> call);
    // Another thread: queues `call` and waits until it has run on the window's thread (a
    // question to the user, say). Returns false without waiting once the calls are
    // abandoned. On the window's thread itself the call runs at once.
    bool runAndWait(std::function<void()> call);
    // Window's thread: the calls waiting and those to come no longer hold their callers
    // (the window is going away); queued calls that have not run never will.
    void abandon();

  private:
    void schedule();
    void runSlice();

    std::mutex m_mutex;
    std::condition_variable m_ran;
    std::deque<std::function<void()>> m_pending;
    bool m_scheduled = false;
    bool m_abandoned = false;
    bool m_running = false;  // window's thread only
};

// The host the engine reports to when it works on a thread of its own: every report is
// handed to the window's host through its queue of calls, in order; a notice waits for its
// OK. Gauge updates that come faster than the window takes them are merged into the latest.
// Busy and idle are the window's business: it is busy from the moment it starts a job until
// the job's end has reached it, so the engine's own busy reports are not passed on.
class WorkerHost : public Host {
  public:
    WorkerHost(Host& windowHost, WindowCalls& calls);

    using Host::addLog;
    void addLog(const std::string& line, LineKind kind) override;
    void clearLog() override;
    void addRomEntry(const RomListEntry& entry) override;
    void clearRomList() override;
    void beginListUpdate() override;
    void endListUpdate() override;
    void setLabel(CounterLabel label, const std::string& text) override;
    void setGauge(Gauge gauge, std::uint64_t position, std::uint64_t maximum) override;
    void notice(const Notice& notice) override;
    void diagnostic(const std::string& text) override;
    void setBusy(bool busy) override;
    void entryFinished(const EntryFacts& facts) override;

  private:
    struct GaugeState {
        std::uint64_t position = 0;
        std::uint64_t maximum = 0;
        bool queued = false;  // a call that shows the latest state is on its way
    };
    void showGauge(Gauge gauge);

    Host& m_windowHost;
    WindowCalls& m_calls;
    std::mutex m_gaugeMutex;
    std::array<GaugeState, 2> m_gauges;
};

}  // namespace ostravex::app
