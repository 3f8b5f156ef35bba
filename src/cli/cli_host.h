#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "cli_options.h"
#include "host.h"
#include "line_stream.h"
#include "romlist/rom_list_entry.h"

namespace ostravex::cli {

// Where log lines go: all of them, only error lines, or none (error lines then go to
// standard error, as in --list).
enum class LogFilter { All, ErrorsOnly, ErrorsToStandardError };

// True for the lines that report an error (they are kept by --quiet).
bool IsErrorLine(const std::string& line);

// The progress bar's text: entries finished of all entries (the bar, the count and the
// percentage say the same) and how far the current entry is.
std::string ProgressText(std::uint64_t finished, std::uint64_t total, double currentShare);

// Counts Ctrl-C presses; the host turns the first into "Stop". Safe to call from a signal
// handler.
void NoteInterrupt();
int InterruptCount();

// The command-line front end's host: log lines on standard output, notices on standard
// error, a progress bar on standard error when it is a terminal. It counts every failure
// it is told of, from the scan as well as the run, for the exit status.
class CliHost final : public Host {
  public:
    CliHost(const CliOptions& options, LineStream& out, LineStream& err);

    void setLogFilter(LogFilter filter) { m_filter = filter; }

    void addLog(const std::string& line) override;
    void clearLog() override {}
    void addRomEntry(const RomListEntry& entry) override { m_entries.push_back(entry); }
    std::size_t romEntryCount() const override { return m_entries.size(); }
    void clearRomList() override { m_entries.clear(); }
    void setLabel(CounterLabel label, const std::string& text) override;
    void setGauge(Gauge gauge, std::uint64_t position, std::uint64_t maximum) override;
    FileMode fileMode() const override { return m_options.mode; }
    std::string outputFolder() const override { return m_options.outputFolder; }
    bool option(Option option) const override;
    void pump() override;
    bool haltRequested() const override { return m_haltRequested; }
    void clearHalt() override { m_haltRequested = false; }
    void notice(const std::string& text) override;
    void diagnostic(const std::string& text) override;
    void setBusy(bool) override {}
    std::string decimalSeparator() const override;

    const std::vector<RomListEntry>& entries() const { return m_entries; }
    // The five counter labels as the window shows them, top to bottom.
    std::vector<std::string> counterLabels() const;
    bool wasInterrupted() const { return m_interrupted; }
    void finishProgress();
    // Error lines logged and failure notices shown so far.
    int failureCount() const { return m_failures; }
    // Error lines logged so far (a run counts its own; these are the scan's before it).
    int errorLineCount() const { return m_errorLines; }

  private:
    void eraseProgress();
    void drawProgress(bool force);

    const CliOptions& m_options;
    LineStream& m_out;
    LineStream& m_err;
    bool m_progressBar;
    int m_failures = 0;
    int m_errorLines = 0;
    LogFilter m_filter = LogFilter::All;
    std::vector<RomListEntry> m_entries;
    std::map<CounterLabel, std::string> m_labels;
    bool m_haltRequested = false;
    bool m_interrupted = false;
    int m_interruptsSeen = 0;
    std::uint64_t m_runPosition = 0, m_runMaximum = 0;
    double m_romShare = 0.0;  // how much of the current entry is done, 0 to 1
    bool m_progressShown = false;
    std::chrono::steady_clock::time_point m_lastDraw;
};

}  // namespace ostravex::cli
