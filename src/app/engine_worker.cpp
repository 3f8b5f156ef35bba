#include "engine_worker.h"

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <exception>
#include <string>
#include <utility>

namespace ostravex::app {
namespace {

constexpr const char* kHaltRequestedLine = "Halt Requested. Stopping Operations...";

// How much lower than the window's thread the worker's claim on the processor is: on a busy
// machine the window's few milliseconds of work come first, the copying after.
constexpr int kWorkerNiceness = 10;

// Lowers the calling thread's priority (on Linux a thread has a niceness of its own; a
// failure leaves it as it was).
void YieldToTheWindowThread() {
#ifdef __linux__
    const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
    const int current = ::getpriority(PRIO_PROCESS, thread);
    (void)::setpriority(PRIO_PROCESS, thread, current + kWorkerNiceness);
#endif
}

}  // namespace

EngineWorker::EngineWorker(Host& windowHost, RunControl& control, QObject* parent)
    : QObject(parent), m_calls(this), m_host(windowHost, m_calls), m_control(control) {
    m_control.setPump([this] { actOnStopRequests(); }, RunControl::PumpKind::ChecksForStop);
    m_thread = std::thread([this] { workLoop(); });
}

EngineWorker::~EngineWorker() {
    shutDown();
}

bool EngineWorker::start(std::function<void()> job) {
    if (m_working || !m_thread.joinable()) {
        return false;
    }
    m_working = true;
    m_stopRequests = 0;
    const std::lock_guard lock(m_mutex);
    m_job = std::move(job);
    m_wake.notify_one();
    return true;
}

void EngineWorker::requestStop() {
    ++m_stopRequests;
}

void EngineWorker::shutDown() {
    if (!m_thread.joinable()) {
        return;
    }
    m_calls.abandon();
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
        m_wake.notify_one();
    }
    if (m_working) {
        requestStop();  // seen at the job's next step, even one that has only just begun
        m_control.requestHalt();
    }
    m_thread.join();
    m_control.setPump({});
}

void EngineWorker::workLoop() {
    YieldToTheWindowThread();
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_quit || m_job; });
            if (!m_job) {
                return;
            }
            job = std::move(*m_job);
            m_job.reset();
        }
        // A halt left over from an earlier job's end is not this job's.
        m_control.clearHalt();
        runGuarded(job);
        // A request that came after the job's last step is still answered in the log.
        logStopRequests();
        m_calls.post([this] {
            m_working = false;
            emit finished();
        });
    }
}

void EngineWorker::runGuarded(const std::function<void()>& job) {
    std::string fault;
    try {
        job();
        return;
    } catch (const std::exception& error) {
        fault = error.what();
    } catch (...) {
        fault = "an error of unknown kind";
    }
    reportFault(fault);
}

void EngineWorker::reportFault(const std::string& what) {
    // A scan that ended here may have begun an update of the list: it is ended, so that the
    // list shows what was added.
    m_host.endListUpdate();
    const std::string text = std::string(kJobFaultText) + what;
    m_host.notice({NoticeKind::Failure, text, text});
}

void EngineWorker::actOnStopRequests() {
    if (logStopRequests() > 0) {
        m_control.requestHalt();
    }
}

int EngineWorker::logStopRequests() {
    const int requests = m_stopRequests.exchange(0);
    for (int i = 0; i < requests; ++i) {
        m_host.addLog(kHaltRequestedLine);
    }
    return requests;
}

}  // namespace ostravex::app
