#include "window_calls.h"

#include <QElapsedTimer>
#include <QThread>
#include <memory>
#include <utility>

namespace ostravex::app {
namespace {

// The longest the window spends on queued calls before it lets its own events through.
constexpr qint64 kSliceMs = 8;

}  // namespace

WindowCalls::WindowCalls(QObject* parent) : QObject(parent) {}

void WindowCalls::post(std::function<void()> call) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_abandoned) {
            return;
        }
        m_pending.push_back(std::move(call));
        if (m_scheduled) {
            return;
        }
        m_scheduled = true;
    }
    // Outside the lock: waking the window's thread may hand it the processor at once, and it
    // should not find the queue locked by a thread that has to wait for its turn.
    schedule();
}

bool WindowCalls::runAndWait(std::function<void()> call) {
    if (QThread::currentThread() == thread()) {
        call();
        return true;
    }
    auto ran = std::make_shared<bool>(false);
    {
        const std::lock_guard lock(m_mutex);
        if (m_abandoned) {
            return false;
        }
    }
    post([this, call = std::move(call), ran] {
        call();
        const std::lock_guard lock(m_mutex);
        *ran = true;
        m_ran.notify_all();
    });
    std::unique_lock lock(m_mutex);
    m_ran.wait(lock, [&] { return *ran || m_abandoned; });
    return *ran;
}

void WindowCalls::abandon() {
    const std::lock_guard lock(m_mutex);
    m_abandoned = true;
    m_pending.clear();
    m_ran.notify_all();
}

void WindowCalls::schedule() {
    QMetaObject::invokeMethod(
        this, [this] { runSlice(); }, Qt::QueuedConnection);
}

void WindowCalls::runSlice() {
    if (m_running) {
        return;  // a call's own event loop (a notice): the slice it interrupted goes on after
    }
    m_running = true;
    QElapsedTimer slice;
    slice.start();
    for (;;) {
        std::function<void()> next;
        {
            const std::lock_guard lock(m_mutex);
            if (m_pending.empty()) {
                m_scheduled = false;
                break;
            }
            if (slice.elapsed() < kSliceMs) {
                next = std::move(m_pending.front());
                m_pending.pop_front();
            }
        }
        if (!next) {
            schedule();  // the rest after the events waiting now
            break;
        }
        next();
    }
    m_running = false;
}

WorkerHost::WorkerHost(Host& windowHost, WindowCalls& calls)
    : m_windowHost(windowHost), m_calls(calls) {}

void WorkerHost::addLog(const std::string& line, LineKind kind) {
    m_calls.post([this, line, kind] { m_windowHost.addLog(line, kind); });
}

void WorkerHost::clearLog() {
    m_calls.post([this] { m_windowHost.clearLog(); });
}

void WorkerHost::addRomEntry(const RomListEntry& entry) {
    m_calls.post([this, entry] { m_windowHost.addRomEntry(entry); });
}

void WorkerHost::clearRomList() {
    m_calls.post([this] { m_windowHost.clearRomList(); });
}

void WorkerHost::beginListUpdate() {
    m_calls.post([this] { m_windowHost.beginListUpdate(); });
}

void WorkerHost::endListUpdate() {
    m_calls.post([this] { m_windowHost.endListUpdate(); });
}

void WorkerHost::setLabel(CounterLabel label, const std::string& text) {
    m_calls.post([this, label, text] { m_windowHost.setLabel(label, text); });
}

void WorkerHost::setGauge(Gauge gauge, std::uint64_t position, std::uint64_t maximum) {
    {
        const std::lock_guard lock(m_gaugeMutex);
        GaugeState& state = m_gauges.at(static_cast<std::size_t>(gauge));
        state.position = position;
        state.maximum = maximum;
        if (state.queued) {
            return;  // the call on its way shows this state
        }
        state.queued = true;
    }
    m_calls.post([this, gauge] { showGauge(gauge); });
}

void WorkerHost::showGauge(Gauge gauge) {
    GaugeState latest;
    {
        const std::lock_guard lock(m_gaugeMutex);
        GaugeState& state = m_gauges.at(static_cast<std::size_t>(gauge));
        latest = state;
        state.queued = false;
    }
    m_windowHost.setGauge(gauge, latest.position, latest.maximum);
}

void WorkerHost::notice(const Notice& notice) {
    m_calls.runAndWait([this, notice] { m_windowHost.notice(notice); });
}

void WorkerHost::diagnostic(const std::string& text) {
    m_calls.post([this, text] { m_windowHost.diagnostic(text); });
}

void WorkerHost::setBusy(bool) {}

void WorkerHost::entryFinished(const EntryFacts& facts) {
    m_calls.post([this, facts] { m_windowHost.entryFinished(facts); });
}

}  // namespace ostravex::app
