#pragma once

#include <cstdint>
#include <string>

#include "host/entry_facts.h"
#include "romlist/rom_list_entry.h"

namespace ostravex {

// The five counter labels at the lower left of the main window.
enum class CounterLabel { Wifi, Errors, Skipped, Complete, Savings };

// The two progress gauges: within one rom, and over the whole run.
enum class Gauge { SingleRom, Run };

// How the core reaches its user: the window and the command-line program each implement
// it; the core never shows anything itself. Every call is a notification: nothing the
// engine does depends on what a call returns, so a front end may take the calls on another
// thread than the one the engine runs on.
class Host {
  public:
    virtual ~Host() = default;

    // The log: one line per call, exactly as given (no time stamp, no prefix). `kind`
    // tells the lines that report a failure from the others.
    virtual void addLog(const std::string& line, LineKind kind) = 0;
    void addLog(const std::string& line) { addLog(line, LineKind::Info); }
    // A failure line of a scan (or of the checks before one), with the file or folder it
    // is about: the line may name it by its name alone. A log line like any other unless a
    // front end says more.
    virtual void addScanFailure(const std::string& /*path*/, const std::string& line) {
        addLog(line, LineKind::Failure);
    }
    virtual void clearLog() = 0;

    // The ROM list: an entry is added to both list controls at once.
    virtual void addRomEntry(const RomListEntry& entry) = 0;
    virtual void clearRomList() = 0;
    // While a scan adds many entries, the lists need not repaint.
    virtual void beginListUpdate() {}
    virtual void endListUpdate() {}

    virtual void setLabel(CounterLabel label, const std::string& text) = 0;
    virtual void setGauge(Gauge gauge, std::uint64_t position, std::uint64_t maximum) = 0;

    // A modal notice with one OK button.
    virtual void notice(const Notice& notice) = 0;
    // The detail behind a log line whose text is fixed (the real reason a backup could not
    // be made, say), for the command line's standard error; the window has no place for it.
    virtual void diagnostic(const std::string& /*text*/) {}

    // Busy state (only "Stop" usable) while a scan or run goes on; idle state afterwards.
    virtual void setBusy(bool busy) = 0;

    // One entry of a run is finished (after its rename, if any): what was decided and done,
    // for front ends that report runs to other programs.
    virtual void entryFinished(const EntryFacts& /*facts*/) {}
};

}  // namespace ostravex
