#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/run_control.h"
#include "json_report.h"
#include "line_stream.h"
#include "romlist/rom_list_entry.h"

namespace ostravex::cli {

// Where log lines go on standard output: all of them, only failure and warning lines
// (--quiet), or none. Each failure is also told on standard error, once, whatever the filter.
// StandardErrorOnly is the search of --list and --json; Nothing is the run of --json, whose
// entry objects carry the lines.
enum class LogFilter { All, FailuresAndWarnings, StandardErrorOnly, Nothing };

// What is printed once an entry is finished: a run's report (its JSON object with --json),
// or an identification's (its JSON object, or else its own lines, which the log then leaves
// out). Its failures are told on standard error either way.
enum class EntryReport { Run, Identification };

// The progress bar's text: entries finished of all entries (the bar, the count and the
// percentage say the same) and how far the current entry is.
std::string ProgressText(std::uint64_t finished, std::uint64_t total, double currentShare);

// Where a failed entry's rom is, for standard error: the path as the scan found it (from the
// PATH given), the member of an archive, and the output's path when it is another file.
std::string FailedEntryPlace(const EntryFacts& facts);

// Counts Ctrl-C presses; the host turns the first into "Stop". Safe to call from a signal
// handler.
void NoteInterrupt();
int InterruptCount();
// What a Ctrl-C says at once on standard error (file descriptor `fd`), whatever the program
// is doing: the first one that the run stops, a second one (before the program ends) that it
// ends now. The progress bar is erased first. Safe to call from a signal handler.
void AcknowledgeInterrupt(int fd) noexcept;
// Before the program ends at a second Ctrl-C: the temporary of an output being written is
// removed and the progress bar erased. Safe to call from a signal handler.
void CleanUpForInterrupt(int fd) noexcept;
// The text the first Ctrl-C prints.
extern const char* const kHaltAcknowledgement;

// The command-line front end's host: log lines on standard output; each failure once on
// standard error, with the file it is about; a progress bar on standard error when it is a
// terminal; with --json, one object per finished entry.
class CliHost final : public Host {
  public:
    CliHost(bool json, LineStream& out, LineStream& err);

    void setLogFilter(LogFilter filter) { m_filter = filter; }
    // An identification's entry lines are printed as `entryLines` lets them through.
    void setEntryReport(EntryReport report, LogFilter entryLines) {
        m_report = report;
        m_entryLines = entryLines;
    }

    using Host::addLog;
    void addLog(const std::string& line, LineKind kind) override;
    void clearLog() override {}
    void addRomEntry(const RomListEntry& entry) override { m_entries.push_back(entry); }
    void clearRomList() override { m_entries.clear(); }
    void setLabel(CounterLabel label, const std::string& text) override;
    void setGauge(Gauge gauge, std::uint64_t position, std::uint64_t maximum) override;
    void addScanFailure(const std::string& path, const std::string& line) override;
    // A notice or a diagnostic is told with its entry, when the entry is finished; the scan's
    // failure notices come with an error line of their own.
    void notice(const Notice&) override {}
    void setBusy(bool) override {}
    void entryFinished(const EntryFacts& facts) override;

    // Between the engine's steps: a Ctrl-C since the last look acts as "Stop".
    void pump(RunControl& control);

    const std::vector<RomListEntry>& entries() const { return m_entries; }
    // The five counter labels as the window shows them, top to bottom.
    std::vector<std::string> counterLabels() const;
    bool wasInterrupted() const { return m_interrupted; }
    void finishProgress();

  private:
    // Whether a log line of `kind` goes to standard output under `filter`.
    static bool logged(LineKind kind, LogFilter filter);
    // One line on standard error: "ostravex-cli: PLACE: MESSAGE".
    void tellOnStandardError(const std::string& place, const std::string& message);
    void eraseProgress();
    void writeLine(const std::string& line, LineKind kind, LogFilter filter);
    void drawProgress(bool force);

    bool m_json;
    LineStream& m_out;
    LineStream& m_err;
    bool m_progressBar;
    LogFilter m_filter = LogFilter::All;
    EntryReport m_report = EntryReport::Run;
    LogFilter m_entryLines = LogFilter::Nothing;
    std::vector<RomListEntry> m_entries;
    std::map<CounterLabel, std::string> m_labels;
    bool m_interrupted = false;
    int m_interruptsSeen = 0;
    std::uint64_t m_runPosition = 0, m_runMaximum = 0;
    double m_romShare = 0.0;  // how much of the current entry is done, 0 to 1
    bool m_progressShown = false;
    std::chrono::steady_clock::time_point m_lastDraw;
};

}  // namespace ostravex::cli
