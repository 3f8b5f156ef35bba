#pragma once

#include <QString>
#include <chrono>

class QWidget;

namespace ostravex {
class Host;
}

namespace ostravex::app {

class UserDialogs;

// Asks the version service whether a newer build exists and tells the user: a log line,
// or a notice and the maker's web site. One question at a time; the window stays
// responsive while the answer is awaited.
class VersionCheckController {
  public:
    VersionCheckController(Host& host, UserDialogs& dialogs, QWidget& window);

    // The service and its time-out (tests point them at a loopback server).
    void setService(const QString& host, std::chrono::milliseconds timeout);

    void check();
    void openWebsite();
    void openDonationPage();

  private:
    Host& m_host;
    UserDialogs& m_dialogs;
    QWidget& m_window;
    QString m_service;
    std::chrono::milliseconds m_timeout{30000};
    bool m_checking = false;
};

}  // namespace ostravex::app
