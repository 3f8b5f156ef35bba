#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "host/run_control.h"
#include "window_calls.h"

namespace ostravex::app {

// The start of the notice that a job ended by an exception gives, followed by what the
// exception says.
inline constexpr const char* kJobFaultText = "Stopped by an unexpected error: ";

// Runs the engine's scans and runs on a thread of its own, one job at a time, so that the
// window never waits on the disk. What a job reports reaches the window's host on the
// window's thread, in order; `finished` follows the job's last report. An exception that
// ends a job is a notice to the user, and the worker takes the next job.
class EngineWorker : public QObject {
    Q_OBJECT
  public:
    // `windowHost` gets the reports; `control` is the one the engine's jobs look at.
    EngineWorker(Host& windowHost, RunControl& control, QObject* parent = nullptr);
    ~EngineWorker() override;

    // The host the engine reports to.
    Host& host() { return m_host; }

    // Window's thread: starts `job` on the worker's thread; false while another job goes on.
    bool start(std::function<void()> job);
    bool working() const { return m_working; }

    // Window's thread, any time: "Stop". The job logs the request and is asked to halt at its
    // next step, in the order of its own reports (a request made before the job got going
    // still stops it).
    void requestStop();

    // Window's thread: the job going on completes (its current entry is never left half
    // written); notices it asks meanwhile go unanswered and nothing more reaches the window.
    void shutDown();

  signals:
    void finished();

  private:
    void workLoop();
    // Runs `job`; an exception it ends by is reported, not passed on.
    void runGuarded(const std::function<void()>& job);
    void reportFault(const std::string& what);
    // Worker's thread, between the job's steps: turns the window's stop requests into log
    // lines and the halt request.
    void actOnStopRequests();
    int logStopRequests();

    WindowCalls m_calls;
    WorkerHost m_host;
    RunControl& m_control;
    std::atomic<int> m_stopRequests{0};  // requests not yet logged
    bool m_working = false;              // window's thread: from start until `finished`

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<std::function<void()>> m_job;
    bool m_quit = false;
    std::thread m_thread;
};

}  // namespace ostravex::app
