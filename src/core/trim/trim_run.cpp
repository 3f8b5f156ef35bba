#include "trim/trim_run.h"

#include <chrono>
#include <new>
#include <optional>
#include <stdexcept>

#include "runlog/counter_labels.h"
#include "trim/entry_job.h"

namespace ostravex {
namespace {

void CountMatch(DatCounts& counts, DatMatchOutcome match) {
    switch (match) {
        case DatMatchOutcome::FullDump:
            ++counts.fullDumps;
            return;
        case DatMatchOutcome::TrimmedDump:
            ++counts.trimmedDumps;
            return;
        case DatMatchOutcome::BadDump:
            ++counts.badDumps;
            return;
        case DatMatchOutcome::NotInDat:
            ++counts.notInDat;
            return;
    }
}

}  // namespace

void RunCounters::add(const EntryFacts& facts, bool ongoing) {
    errors += facts.errors;
    wifiGames += facts.wifi ? 1 : 0;
    skipped += facts.skipped ? 1 : 0;
    if (facts.dat) {
        CountMatch(dats, facts.dat->match);
    }
    std::int64_t saved = facts.bytesSaved();
    if (ongoing && !facts.written && facts.sizeBefore && facts.decidedSize) {
        saved = static_cast<std::int64_t>(*facts.sizeBefore) -
                static_cast<std::int64_t>(*facts.decidedSize);
    }
    if (facts.restoring) {
        bytesAdded -= saved;
    } else {
        bytesSaved += saved;
    }
}

RunEnd TrimRun::run(const std::vector<RomListEntry>& romlist,
                    std::shared_ptr<const DatIndex> dats) {
    return runEntries(romlist, dats.get(), Purpose::Change);
}

RunEnd TrimRun::identify(const std::vector<RomListEntry>& romlist,
                         std::shared_ptr<const DatIndex> dats) {
    return runEntries(romlist, dats.get(), Purpose::IdentifyOnly);
}

RunEnd TrimRun::runEntries(const std::vector<RomListEntry>& romlist, const DatIndex* dats,
                           Purpose purpose) {
    Host& host = m_frontEnd.host;
    const RunOptions options = m_frontEnd.options.current();
    const bool identifyOnly = purpose == Purpose::IdentifyOnly;
    // The one place where a dry run differs: its writer. Identifying writes nothing either.
    m_writer = options.dryRun || identifyOnly ? static_cast<OutputWriter*>(&m_dryRunWriter)
                                              : &m_fileWriter;
    m_restoring = options.restore && !identifyOnly;
    host.setBusy(true);
    m_counters = RunCounters{};
    m_finished = RunCounters{};
    m_anythingFailed = false;
    m_frontEnd.control.clearHalt();
    host.setGauge(Gauge::Run, 0, romlist.size());
    host.setLabel(CounterLabel::Savings, m_restoring ? kAddedCaption : kSavingsCaption);
    host.setLabel(CounterLabel::Wifi, kWifiCaption);
    host.setLabel(CounterLabel::Errors, kErrorsCaption);
    host.setLabel(CounterLabel::Skipped, kSkippedCaption);
    host.clearLog();
    host.addLog("Log");
    host.addLog("");
    host.addLog("");
    m_writer->runStarted();
    const auto start = std::chrono::steady_clock::now();

    const JobServices services{
        .frontEnd = m_frontEnd,
        .extraction = m_extraction,
        .patcher = m_patcher,
        .writer = *m_writer,
        .dats = dats,
        .identifyOnly = identifyOnly,
        .counted = [this](CounterLabel label,
                          const EntryFacts& ongoing) { showCounted(label, &ongoing); },
        .setSingleGauge = [this](std::uint64_t position,
                                 std::uint64_t maximum) { setSingleGauge(position, maximum); },
    };
    // Declared before the loop, so that it outlives every entry and its workers have
    // stopped, their work dropped, once the run returns.
    std::optional<DatReadAhead> readAhead;
    if (const unsigned jobs = RunJobs(options); dats && jobs > 1) {
        readAhead.emplace(romlist, *dats, jobs, m_readAheadTuning);
    }
    for (std::size_t i = 0; i < romlist.size(); ++i) {
        if (m_frontEnd.control.haltRequested()) {
            return halt();
        }
        DatCheckAhead checkedAhead;
        if (readAhead) {
            readAhead->moveTo(i);
            checkedAhead = [this, &readAhead, i](const File& file) {
                return readAhead->take(i, file, [this] { m_frontEnd.control.pump(); });
            };
        }
        EntryJob job(services, romlist[i], std::move(checkedAhead));
        if (processEntry(job) == EntryEnd::Halted) {
            return halt();
        }
        job.release();
        m_counters.processed = static_cast<std::int32_t>(i + 1);
        host.setLabel(CounterLabel::Complete, ProcessedLabel(m_counters.processed, romlist.size()));
        host.setGauge(Gauge::Run, i + 1, romlist.size());
        if (job.options().removeSceneNumbers && !identifyOnly) {
            job.removeSceneNumber();
        }
        finishEntry(job);
        m_frontEnd.control.pump();
    }

    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    host.addLog("Processing Finished.");
    host.addLog("");
    host.addLog(
        (identifyOnly ? "Identifying took " : "Trimming took ") +
        FormatFixed2(static_cast<double>(elapsed.count()) / 1000.0, m_frontEnd.decimalSeparator) +
        " seconds.");
    setSingleGauge(m_singleMaximum, m_singleMaximum);
    host.setGauge(Gauge::Run, romlist.size(), romlist.size());
    releaseHelpers();
    host.setBusy(false);
    return RunEnd::Finished;
}

TrimRun::EntryEnd TrimRun::processEntry(EntryJob& job) {
    try {
        job.examine();
        if (job.finished()) {
            return EntryEnd::Done;
        }
        m_frontEnd.control.pump();
        // The last moment to stop before anything of this entry is written.
        if (m_frontEnd.control.haltRequested()) {
            return EntryEnd::Halted;
        }
        job.prepareOutput();
        job.writeOutput();
    } catch (const std::bad_alloc&) {
        job.failForMemory();
    } catch (const std::length_error&) {
        job.failForMemory();  // a size beyond what any allocation can give
    } catch (const std::exception& unexpected) {
        job.failForUnexpected(unexpected.what());
    } catch (...) {
        job.failForUnexpected("an unknown failure");
    }
    return EntryEnd::Done;
}

// The entry's facts join the finished ones; the savings now count what its file holds.
void TrimRun::finishEntry(const EntryJob& job) {
    const EntryFacts& facts = job.facts();
    m_finished.add(facts, /*ongoing=*/false);
    const RunCounters shown = m_counters;
    m_counters = m_finished;
    m_counters.processed = shown.processed;
    if (m_counters.bytesSaved != shown.bytesSaved || m_counters.bytesAdded != shown.bytesAdded) {
        showCounted(CounterLabel::Savings, nullptr);
    }
    m_anythingFailed = m_anythingFailed || facts.failed();
    m_frontEnd.host.entryFinished(facts);
}

void TrimRun::showCounted(CounterLabel label, const EntryFacts* ongoing) {
    const std::int32_t processed = m_counters.processed;
    m_counters = m_finished;
    if (ongoing) {
        m_counters.add(*ongoing, /*ongoing=*/true);
    }
    m_counters.processed = processed;
    Host& host = m_frontEnd.host;
    switch (label) {
        case CounterLabel::Wifi:
            return host.setLabel(label, WifiLabel(m_counters.wifiGames));
        case CounterLabel::Errors:
            return host.setLabel(label, ErrorsLabel(m_counters.errors));
        case CounterLabel::Skipped:
            return host.setLabel(label, SkippedLabel(m_counters.skipped));
        case CounterLabel::Savings:
            return host.setLabel(
                label, m_restoring
                           ? AddedLabel(m_counters.bytesAdded, m_frontEnd.decimalSeparator)
                           : SavingsLabel(m_counters.bytesSaved, m_frontEnd.decimalSeparator));
        case CounterLabel::Complete:
            return;
    }
}

void TrimRun::setSingleGauge(std::uint64_t position, std::uint64_t maximum) {
    m_singleMaximum = maximum;
    m_frontEnd.host.setGauge(Gauge::SingleRom, position, maximum);
}

// A halted entry is not counted: nothing of it was written.
RunEnd TrimRun::halt() {
    const std::int32_t processed = m_counters.processed;
    m_counters = m_finished;
    m_counters.processed = processed;
    releaseHelpers();
    m_frontEnd.host.addLog("Operations Halted");
    m_frontEnd.control.clearHalt();
    m_frontEnd.host.setBusy(false);
    return RunEnd::Halted;
}

void TrimRun::releaseHelpers() {
    m_patcher.runEnded();
    m_extraction.runEnded();
}

}  // namespace ostravex
