#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/front_end.h"
#include "host/host.h"
#include "host/run_control.h"
#include "settings/run_options.h"
#include "support/file_mode_print.h"

namespace ostravex::testing {

// A host that records what the engine reports, with the options and the halt request a
// scan or run reads, set by the test.
class RecordingHost : public Host, public RunOptionsSource {
  public:
    std::vector<std::string> log;
    std::vector<std::string> failureLines;  // the lines logged as failures
    std::vector<std::string> notices;
    std::vector<Notice> noticeKinds;
    std::vector<std::string> diagnostics;
    std::vector<RomListEntry> entries;
    std::vector<EntryFacts> reports;
    std::map<CounterLabel, std::string> labels;
    std::map<Gauge, std::pair<std::uint64_t, std::uint64_t>> gauges;
    std::vector<bool> busyChanges;
    // What the scan or run reads, at the moment it reads it.
    RunOptions options;
    RunControl control;
    std::string separator = ".";
    int pumps = 0;
    // Runs at every pump, e.g. to press "Stop" at a chosen moment.
    std::function<void(RecordingHost&)> onPump;

    RecordingHost() { countPumps(); }
    // A copy records what the original did and reads the same options; its halt request is
    // its own.
    RecordingHost(const RecordingHost& other)
        : log(other.log),
          failureLines(other.failureLines),
          notices(other.notices),
          noticeKinds(other.noticeKinds),
          diagnostics(other.diagnostics),
          entries(other.entries),
          reports(other.reports),
          labels(other.labels),
          gauges(other.gauges),
          busyChanges(other.busyChanges),
          options(other.options),
          separator(other.separator),
          pumps(other.pumps),
          onPump(other.onPump) {
        countPumps();
    }
    RecordingHost& operator=(const RecordingHost&) = delete;

    FrontEnd frontEnd() { return {*this, *this, control, separator}; }

    void pressStop() {
        log.push_back("Halt Requested. Stopping Operations...");
        control.requestHalt();
    }
    bool halted() const { return control.haltRequested(); }

    RunOptions current() const override { return options; }

    using Host::addLog;
    void addLog(const std::string& line, LineKind kind) override {
        log.push_back(line);
        if (kind == LineKind::Failure) {
            failureLines.push_back(line);
        }
    }
    void clearLog() override {
        log.clear();
        failureLines.clear();
    }
    void addRomEntry(const RomListEntry& entry) override { entries.push_back(entry); }
    // The entries as the lists show them.
    std::vector<std::string> entryTexts() const {
        std::vector<std::string> texts;
        for (const RomListEntry& entry : entries) {
            texts.push_back(entry.text());
        }
        return texts;
    }
    void clearRomList() override { entries.clear(); }
    void setLabel(CounterLabel label, const std::string& text) override { labels[label] = text; }
    void setGauge(Gauge gauge, std::uint64_t position, std::uint64_t maximum) override {
        gauges[gauge] = {position, maximum};
    }
    void notice(const Notice& notice) override {
        notices.push_back(notice.text);
        noticeKinds.push_back(notice);
    }
    void diagnostic(const std::string& text) override { diagnostics.push_back(text); }
    void setBusy(bool busy) override { busyChanges.push_back(busy); }
    void entryFinished(const EntryFacts& facts) override { reports.push_back(facts); }

  private:
    void countPumps() {
        control.setPump([this] {
            ++pumps;
            if (onPump) {
                onPump(*this);
            }
        });
    }
};

// The texts of an entry's log lines.
inline std::vector<std::string> LineTexts(const EntryFacts& facts) {
    std::vector<std::string> texts;
    for (const LogLine& line : facts.lines) {
        texts.push_back(line.text);
    }
    return texts;
}

}  // namespace ostravex::testing
