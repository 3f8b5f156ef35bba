// The window's worker thread when a job ends by an exception: the user is told, and the
// worker takes the next job.
#include <QSignalSpy>
#include <QTest>

#include <stdexcept>

#include "engine_worker.h"
#include "support/recording_host.h"

using namespace ostravex;
using ostravex::app::EngineWorker;
using ostravex::app::kJobFaultText;
using ostravex::testing::RecordingHost;

class EngineWorkerFaultsTest : public QObject {
    Q_OBJECT

  private slots:
    void anExceptionIsANoticeAndTheNextJobRuns() {
        struct Row {
            const char* name;
            std::function<void()> job;
            std::string notice;
        };
        const Row rows[] = {
            {"a standard exception", [] { throw std::runtime_error("libcrypto has no SHA-1"); },
             std::string(kJobFaultText) + "libcrypto has no SHA-1"},
            {"anything else thrown", [] { throw 42; },
             std::string(kJobFaultText) + "an error of unknown kind"},
        };
        for (const Row& row : rows) {
            RecordingHost windowHost;
            RunControl control;
            EngineWorker worker(windowHost, control);
            QSignalSpy finished(&worker, &EngineWorker::finished);

            QVERIFY2(worker.start([&worker, &row] {
                worker.host().addLog("before");
                row.job();
                worker.host().addLog("never");
            }),
                     row.name);
            QVERIFY2(finished.wait(10000), row.name);
            QCOMPARE(windowHost.notices, std::vector<std::string>{row.notice});
            QVERIFY(windowHost.noticeKinds.front().kind == NoticeKind::Failure);
            QCOMPARE(windowHost.log, std::vector<std::string>{"before"});
            QVERIFY(!worker.working());

            QVERIFY(worker.start([&worker] { worker.host().addLog("next job"); }));
            QVERIFY(finished.wait(10000));
            QCOMPARE(windowHost.log, (std::vector<std::string>{"before", "next job"}));
        }
    }
};

QTEST_GUILESS_MAIN(EngineWorkerFaultsTest)
#include "engine_worker_faults_test.moc"
