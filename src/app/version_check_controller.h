#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <thread>

class QWidget;

namespace ostravex {
class Host;
class Status;
struct HttpReply;
}  // namespace ostravex

namespace ostravex::app {

class UserDialogs;

// Asks the version service whether a newer build exists and tells the user: a log line,
// or a notice and the maker's web site. One question at a time. The request waits on a
// thread of its own, so that a slow or silent server never holds up the window; the answer
// is shown on the window's thread. A build that names no service asks nothing and says
// nothing.
class VersionCheckController : public QObject {
    Q_OBJECT
  public:
    VersionCheckController(Host& host, UserDialogs& dialogs, QWidget& window);
    // A request still waiting is given up.
    ~VersionCheckController() override;

    // The service and its time-out (tests point them at a loopback server).
    void setService(const QString& host, std::chrono::milliseconds timeout);

    // Starts a check; returns at once.
    void check();
    // A check has been started and its answer not yet shown.
    bool checking() const { return m_checking; }
    void openWebsite();
    void openDonationPage();

  signals:
    // The answer of a check has been shown (or its failure).
    void checkFinished();

  private:
    void request(const std::string& url, std::chrono::milliseconds timeout);
    void showAnswer(const Status& status, const HttpReply& reply);
    void stopRequest();

    Host& m_host;
    UserDialogs& m_dialogs;
    QWidget& m_window;
    QString m_service;
    std::chrono::milliseconds m_timeout{30000};
    bool m_checking = false;
    std::atomic<bool> m_giveUp{false};
    std::thread m_request;
};

}  // namespace ostravex::app
