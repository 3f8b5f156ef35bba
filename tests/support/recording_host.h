#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host.h"

namespace ostravex::testing {

// A host that records what the engine reports and answers with options set by the test.
class RecordingHost : public Host {
  public:
    std::vector<std::string> log;
    std::vector<std::string> notices;
    std::vector<std::string> diagnostics;
    std::vector<RomListEntry> entries;
    std::map<CounterLabel, std::string> labels;
    std::map<Gauge, std::pair<std::uint64_t, std::uint64_t>> gauges;
    std::vector<bool> busyChanges;
    FileMode mode = FileMode::Overwrite;
    std::string folder;
    std::set<Option> options{Option::RecursiveScan, Option::ScanArchives};
    std::string separator = ".";
    bool halt = false;
    int pumps = 0;
    // Runs at every pump, e.g. to press "Stop" at a chosen moment.
    std::function<void(RecordingHost&)> onPump;

    void set(Option option, bool on = true) {
        if (on) {
            options.insert(option);
        } else {
            options.erase(option);
        }
    }
    void pressStop() {
        log.push_back("Halt Requested. Stopping Operations...");
        halt = true;
    }

    void addLog(const std::string& line) override { log.push_back(line); }
    void clearLog() override { log.clear(); }
    void addRomEntry(const RomListEntry& entry) override { entries.push_back(entry); }
    // The entries as the lists show them.
    std::vector<std::string> entryTexts() const {
        std::vector<std::string> texts;
        for (const RomListEntry& entry : entries) {
            texts.push_back(entry.text());
        }
        return texts;
    }
    std::size_t romEntryCount() const override { return entries.size(); }
    void clearRomList() override { entries.clear(); }
    void setLabel(CounterLabel label, const std::string& text) override { labels[label] = text; }
    void setGauge(Gauge gauge, std::uint64_t position, std::uint64_t maximum) override {
        gauges[gauge] = {position, maximum};
    }
    FileMode fileMode() const override { return mode; }
    std::string outputFolder() const override { return folder; }
    bool option(Option option) const override { return options.count(option) > 0; }
    void pump() override {
        ++pumps;
        if (onPump) {
            onPump(*this);
        }
    }
    bool haltRequested() const override { return halt; }
    void clearHalt() override { halt = false; }
    void notice(const std::string& text) override { notices.push_back(text); }
    void diagnostic(const std::string& text) override { diagnostics.push_back(text); }
    void setBusy(bool busy) override { busyChanges.push_back(busy); }
    std::string decimalSeparator() const override { return separator; }
};

}  // namespace ostravex::testing
