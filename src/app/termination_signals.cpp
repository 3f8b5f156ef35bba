#include "termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <stdexcept>

namespace ostravex::app {
namespace {

constexpr int kHeldSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The write end of the pipe the handler wakes the event loop through; -1 when none.
std::atomic<int> g_wakeUp{-1};

// Only writes one byte: all that is safe in a signal handler. A full pipe already holds a
// wake-up, so a failed write loses nothing.
void OnTerminationSignal(int signal) {
    const int savedErrno = errno;
    const char byte = static_cast<char>(signal);
    if (const int wakeUp = g_wakeUp.load(); wakeUp >= 0) {
        (void)!::write(wakeUp, &byte, 1);
    }
    errno = savedErrno;
}

using HandlingBefore = std::array<struct sigaction, std::size(kHeldSignals)>;

void HoldSignals(HandlingBefore& before) {
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < before.size(); ++i) {
        sigaction(kHeldSignals[i], &action, &before[i]);
    }
}

void GiveBackSignals(const HandlingBefore& before) {
    for (std::size_t i = 0; i < before.size(); ++i) {
        sigaction(kHeldSignals[i], &before[i], nullptr);
    }
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> received, QObject* parent)
    : QObject(parent), m_received(std::move(received)) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error("cannot make the pipe for termination signals");
    }
    m_readEnd = ends[0];
    m_writeEnd = ends[1];
    m_notifier = new QSocketNotifier(m_readEnd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::drain);
    g_wakeUp = m_writeEnd;
    HoldSignals(m_handlingBefore);
}

TerminationSignals::~TerminationSignals() {
    GiveBackSignals(m_handlingBefore);
    g_wakeUp = -1;
    delete m_notifier;
    ::close(m_writeEnd);
    ::close(m_readEnd);
}

void TerminationSignals::drain() {
    char bytes[64];
    bool received = false;
    while (::read(m_readEnd, bytes, sizeof bytes) > 0) {
        received = true;
    }
    if (received && m_received) {
        m_received();
    }
}

}  // namespace ostravex::app
