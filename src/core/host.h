#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "romlist/rom_list_entry.h"
#include "settings/run_options.h"

namespace ostravex {

// The five counter labels at the lower left of the main window.
enum class CounterLabel { Wifi, Errors, Skipped, Complete, Savings };

// The two progress gauges: within one rom, and over the whole run.
enum class Gauge { SingleRom, Run };

// Check-box options the engine reads at the moment a step needs them.
enum class Option {
    DontOverwrite,       // "Don't overwrite"
    SramPatch,           // "Patch SRAM for GBA roms"
    OnlyPatch,           // "Only Patch, don't trim"
    SkipDsi,             // "Skip DSi roms"
    RemoveSceneNumbers,  // "Remove scene numbers"
    RecursiveScan,       // "Recursive Scan"
    ScanArchives,        // "Scan inside Zip/Rar/7zip"
    DryRun,              // decide and log every entry, write nothing (command line only)
    Restore,             // pad trimmed images back to their cartridge size (command line only)
    CheckPadding,        // cut only when the removed bytes are all filler (command line only)
};

struct EntryReport;

// The one interface through which the core reaches its user. The window and the
// command-line program each implement it; the core never shows anything itself.
class Host {
  public:
    virtual ~Host() = default;

    // The log: one line per call, exactly as given (no time stamp, no prefix).
    virtual void addLog(const std::string& line) = 0;
    virtual void clearLog() = 0;

    // The ROM list: an entry is added to both list controls at once.
    virtual void addRomEntry(const RomListEntry& entry) = 0;
    virtual std::size_t romEntryCount() const = 0;
    virtual void clearRomList() = 0;
    // While a scan adds many entries, the lists need not repaint.
    virtual void beginListUpdate() {}
    virtual void endListUpdate() {}

    virtual void setLabel(CounterLabel label, const std::string& text) = 0;
    virtual void setGauge(Gauge gauge, std::uint64_t position, std::uint64_t maximum) = 0;

    // Options, read when a step needs them (a change during a run applies from then on).
    virtual FileMode fileMode() const = 0;
    // The output folder of "Use a different output folder"; ends with "/" when set.
    virtual std::string outputFolder() const = 0;
    virtual bool option(Option option) const = 0;

    // Lets pending user events run (the window processes events; the CLI looks at Ctrl-C).
    virtual void pump() = 0;
    virtual bool haltRequested() const = 0;
    virtual void clearHalt() = 0;

    // A modal notice with one OK button.
    virtual void notice(const std::string& text) = 0;
    // The detail behind a log line whose text is fixed (the real reason a backup could not
    // be made, say), for the command line's standard error; the window has no place for it.
    virtual void diagnostic(const std::string& /*text*/) {}

    // Busy state (only "Stop" usable) while a scan or run goes on; idle state afterwards.
    virtual void setBusy(bool busy) = 0;

    // One entry of a run is finished (after its rename, if any): what it was and how it
    // ended, for front ends that report runs to other programs.
    virtual void entryFinished(const EntryReport& /*report*/) {}

    // The user's decimal separator for the two-decimal figures (savings, run time).
    virtual std::string decimalSeparator() const { return "."; }
};

}  // namespace ostravex
