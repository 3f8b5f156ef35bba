#pragma once

#include <QElapsedTimer>

#include "host/host.h"

namespace ostravex::app {

class TRTrim;
class UserDialogs;

// The engine's way into the main window: the log, the ROM list, the counters and gauges,
// notices and the busy state. Its calls are made on the window's thread: the scans and runs
// of the worker's thread reach it through a WorkerHost.
class WindowHost : public Host {
  public:
    WindowHost(TRTrim& window, UserDialogs& dialogs);

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
    void setBusy(bool busy) override;
    void entryFinished(const EntryFacts& facts) override;

    // Lets pending events of the window run (at most every few milliseconds), for work the
    // window does on its own thread.
    void pump();

  private:
    TRTrim& m_window;
    UserDialogs& m_dialogs;
    QElapsedTimer m_sincePump;
};

// The user's decimal separator.
std::string DecimalSeparator();

}  // namespace ostravex::app
