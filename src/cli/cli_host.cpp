#include "cli_host.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>

#include "io/temporary_files.h"

#include "json_report.h"
#include "runlog/counter_labels.h"
#include "sram/sram_patcher.h"

namespace ostravex::cli {
namespace {

volatile std::sig_atomic_t g_interrupts = 0;
// Whether a progress bar stands on standard error's last line, for a signal handler.
volatile std::sig_atomic_t g_progressShown = 0;

constexpr const char* kEraseLine = "\r\033[K";

void WriteText(int fd, const char* text) noexcept {
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t written = write(fd, text, left);
        if (written <= 0) {
            return;
        }
        text += written;
        left -= static_cast<std::size_t>(written);
    }
}

void EraseProgressNow(int fd) noexcept {
    if (g_progressShown) {
        WriteText(fd, kEraseLine);
        g_progressShown = 0;
    }
}

constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

void NoteInterrupt() {
    g_interrupts = g_interrupts + 1;
}

int InterruptCount() {
    return g_interrupts;
}

const char* const kHaltAcknowledgement =
    "ostravex-cli: Halt Requested, stopping after this step (Ctrl-C again ends at once)\n";

void AcknowledgeInterrupt(int fd) noexcept {
    EraseProgressNow(fd);
    WriteText(fd, kHaltAcknowledgement);
}

void CleanUpForInterrupt(int fd) noexcept {
    RemoveTemporariesInUse();
    EraseProgressNow(fd);
}

CliHost::CliHost(bool json, LineStream& out, LineStream& err)
    : m_json(json),
      m_out(out),
      m_err(err),
      m_progressBar(err.isTerminal()),
      m_labels{{CounterLabel::Wifi, kWifiCaption},
               {CounterLabel::Errors, kErrorsCaption},
               {CounterLabel::Skipped, kSkippedCaption},
               {CounterLabel::Complete, kProcessedCaption},
               {CounterLabel::Savings, kSavingsCaption}},
      m_interruptsSeen(InterruptCount()) {}

bool CliHost::logged(LineKind kind, LogFilter filter) {
    switch (filter) {
        case LogFilter::All:
            return true;
        case LogFilter::FailuresAndWarnings:
            return kind == LineKind::Failure || kind == LineKind::Warning;
        case LogFilter::StandardErrorOnly:
        case LogFilter::Nothing:
            break;
    }
    return false;
}

void CliHost::addLog(const std::string& line, LineKind kind) {
    writeLine(line, kind, m_filter);
}

void CliHost::writeLine(const std::string& line, LineKind kind, LogFilter filter) {
    if (!logged(kind, filter)) {
        return;
    }
    eraseProgress();
    m_out.writeLine(line);
}

void CliHost::addScanFailure(const std::string& path, const std::string& line) {
    addLog(line, LineKind::Failure);
    if (m_filter != LogFilter::Nothing) {
        tellOnStandardError(path, line);
    }
}

void CliHost::tellOnStandardError(const std::string& place, const std::string& message) {
    eraseProgress();
    m_err.writeLine("ostravex-cli: " + place + ": " + message);
}

void CliHost::entryFinished(const EntryFacts& facts) {
    const bool identification = m_report == EntryReport::Identification;
    if (m_json) {
        eraseProgress();
        // JSON escapes every control character itself; a terminal needs nothing more.
        m_out.writeRaw((identification ? IdentifiedEntryJson(facts) : EntryJson(facts)) + '\n');
    } else if (identification) {
        for (const LogLine& line : facts.lines) {
            writeLine(line.text, line.kind, m_entryLines);
        }
    }
    // The log names a rom by its name alone; standard error says which file it is, and the
    // real cause where the log's text is fixed. Each failure is told there once.
    const std::string place = FailedEntryPlace(facts);
    bool failureTold = false;
    for (const LogLine& line : facts.lines) {
        if (line.kind == LineKind::Failure) {
            tellOnStandardError(place, line.cause.empty() ? line.text : line.cause);
            failureTold = true;
        }
    }
    for (const Notice& notice : facts.notices) {
        // A failure notice goes with an error line of the entry, which has told it.
        if (notice.kind == NoticeKind::Warning || !failureTold) {
            tellOnStandardError(place, notice.detail.empty() ? notice.text : notice.detail);
        }
    }
    if (facts.sramPatch == SramPatchOutcome::NotPossible) {
        // The log's line does not name the rom it is about.
        tellOnStandardError(place, kSramPatchNotPossibleText);
    }
}

std::string FailedEntryPlace(const EntryFacts& facts) {
    std::string place = facts.path;
    if (facts.member) {
        place += " (member " + *facts.member + ")";
    }
    if (facts.output && *facts.output != facts.path) {
        place += " -> " + *facts.output;
    }
    return place;
}

void CliHost::setLabel(CounterLabel label, const std::string& text) {
    m_labels[label] = text;
}

std::vector<std::string> CliHost::counterLabels() const {
    return {m_labels.at(CounterLabel::Wifi), m_labels.at(CounterLabel::Errors),
            m_labels.at(CounterLabel::Skipped), m_labels.at(CounterLabel::Complete),
            m_labels.at(CounterLabel::Savings)};
}

void CliHost::pump(RunControl& control) {
    const int interrupts = InterruptCount();
    if (interrupts != m_interruptsSeen) {
        m_interruptsSeen = interrupts;
        m_interrupted = true;
        if (!control.haltRequested()) {
            // What the window's "Stop" button does.
            addLog("Halt Requested. Stopping Operations...");
            control.requestHalt();
        }
    }
    drawProgress(false);
}

void CliHost::setGauge(Gauge gauge, std::uint64_t position, std::uint64_t maximum) {
    if (gauge == Gauge::Run) {
        const bool advanced = position != m_runPosition || maximum != m_runMaximum;
        if (advanced) {
            m_romShare = 0.0;
        }
        m_runPosition = position;
        m_runMaximum = maximum;
        drawProgress(advanced);
    } else if (maximum > 0) {
        // The rom gauge restarts when the output is written; the bar never moves back.
        m_romShare = std::max(m_romShare, static_cast<double>(std::min(position, maximum)) /
                                              static_cast<double>(maximum));
    }
}

std::string ProgressText(std::uint64_t finished, std::uint64_t total, double currentShare) {
    const std::uint64_t shownFinished = std::min(finished, total);
    const auto filled = static_cast<int>(total == 0 ? 0 : shownFinished * kBarWidth / total);
    const std::uint64_t percent = total == 0 ? 0 : shownFinished * 100 / total;
    std::string text = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') +
                       "] " + std::to_string(shownFinished) + "/" + std::to_string(total) + " (" +
                       std::to_string(percent) + "%)";
    if (shownFinished < total) {
        text += ", current rom " +
                std::to_string(static_cast<int>(std::clamp(currentShare, 0.0, 1.0) * 100)) + "%";
    }
    return text;
}

void CliHost::drawProgress(bool force) {
    if (!m_progressBar || m_runMaximum == 0) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!force && m_progressShown && now - m_lastDraw < kRedrawInterval) {
        return;
    }
    m_lastDraw = now;
    m_err.writeRaw(kEraseLine + ProgressText(m_runPosition, m_runMaximum, m_romShare));
    m_err.flush();
    m_progressShown = true;
    g_progressShown = 1;
}

void CliHost::eraseProgress() {
    if (m_progressShown) {
        g_progressShown = 0;
        m_err.writeRaw(kEraseLine);
        m_err.flush();
        m_progressShown = false;
    }
}

void CliHost::finishProgress() {
    eraseProgress();
}

}  // namespace ostravex::cli
