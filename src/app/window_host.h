#pragma once

#include <QElapsedTimer>

#include "host.h"

namespace ostravex::app {

class TRTrim;
class UserDialogs;

// The engine's way into the main window: the log, the ROM list, the counters and gauges,
// the options as the controls show them, the halt request and the busy state. Scans and
// runs go on on the window's thread; `pump` lets its events through between steps.
class WindowHost : public Host {
  public:
    WindowHost(TRTrim& window, UserDialogs& dialogs);

    // "Stop": the running scan or run notices it at its next look.
    void requestHalt() { m_haltRequested = true; }

    void addLog(const std::string& line) override;
    void clearLog() override;
    void addRomEntry(const RomListEntry& entry) override;
    std::size_t romEntryCount() const override;
    void clearRomList() override;
    void beginListUpdate() override;
    void endListUpdate() override;
    void setLabel(CounterLabel label, const std::string& text) override;
    void setGauge(Gauge gauge, std::uint64_t position, std::uint64_t maximum) override;
    FileMode fileMode() const override;
    std::string outputFolder() const override;
    bool option(Option option) const override;
    void pump() override;
    bool haltRequested() const override { return m_haltRequested; }
    void clearHalt() override { m_haltRequested = false; }
    void notice(const std::string& text) override;
    void setBusy(bool busy) override;
    std::string decimalSeparator() const override;

  private:
    TRTrim& m_window;
    UserDialogs& m_dialogs;
    bool m_haltRequested = false;
    QElapsedTimer m_sincePump;
};

}  // namespace ostravex::app
