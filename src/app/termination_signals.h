#pragma once

#include <QObject>
#include <array>
#include <csignal>
#include <functional>

class QSocketNotifier;

namespace ostravex::app {

// SIGTERM, SIGHUP and SIGINT (a logout, a shutdown, `kill`, Ctrl-C in the terminal that
// started the program) become a call of `received` on the window's thread, from its event
// loop, so that the program can end as it does when the user closes the window. While one
// is alive it holds these signals; its end gives them back the handling they had.
class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    explicit TerminationSignals(std::function<void()> received, QObject* parent = nullptr);
    ~TerminationSignals() override;

    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

  private:
    void drain();

    std::array<struct sigaction, 3> m_handlingBefore{};  // of SIGTERM, SIGHUP and SIGINT
    std::function<void()> m_received;
    int m_readEnd = -1;
    int m_writeEnd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace ostravex::app
