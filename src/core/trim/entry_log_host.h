#pragma once

#include <string>
#include <vector>

#include "host.h"

namespace ostravex {

// Passes everything on to the front end's host and keeps a copy of the log lines and
// notices of the entry being processed, whichever part of the engine wrote them (the
// decisions, the archive extraction, the SRAM patcher), for the entry's report.
class EntryLogHost final : public Host {
  public:
    explicit EntryLogHost(Host& host) : m_host(host) {}

    // Starts an empty record of lines and notices.
    void startRecording() {
        m_lines.clear();
        m_notices.clear();
        m_recording = true;
    }
    // Stops recording and hands the record over.
    std::vector<std::string> takeLines() {
        m_recording = false;
        return std::move(m_lines);
    }
    std::vector<std::string> takeNotices() { return std::move(m_notices); }

    void addLog(const std::string& line) override {
        if (m_recording) {
            m_lines.push_back(line);
        }
        m_host.addLog(line);
    }
    void notice(const std::string& text) override {
        if (m_recording) {
            m_notices.push_back(text);
        }
        m_host.notice(text);
    }
    void diagnostic(const std::string& text) override { m_host.diagnostic(text); }

    void clearLog() override { m_host.clearLog(); }
    void addRomEntry(const RomListEntry& entry) override { m_host.addRomEntry(entry); }
    std::size_t romEntryCount() const override { return m_host.romEntryCount(); }
    void clearRomList() override { m_host.clearRomList(); }
    void beginListUpdate() override { m_host.beginListUpdate(); }
    void endListUpdate() override { m_host.endListUpdate(); }
    void setLabel(CounterLabel label, const std::string& text) override {
        m_host.setLabel(label, text);
    }
    void setGauge(Gauge gauge, std::uint64_t position, std::uint64_t maximum) override {
        m_host.setGauge(gauge, position, maximum);
    }
    FileMode fileMode() const override { return m_host.fileMode(); }
    std::string outputFolder() const override { return m_host.outputFolder(); }
    bool option(Option option) const override { return m_host.option(option); }
    void pump() override { m_host.pump(); }
    bool haltRequested() const override { return m_host.haltRequested(); }
    void clearHalt() override { m_host.clearHalt(); }
    void setBusy(bool busy) override { m_host.setBusy(busy); }
    void entryFinished(const EntryReport& report) override { m_host.entryFinished(report); }
    std::string decimalSeparator() const override { return m_host.decimalSeparator(); }

  private:
    Host& m_host;
    bool m_recording = false;
    std::vector<std::string> m_lines;
    std::vector<std::string> m_notices;
};

}  // namespace ostravex
