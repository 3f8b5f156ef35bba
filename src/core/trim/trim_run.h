#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host.h"
#include "io/byte_buffer.h"
#include "io/file.h"
#include "io/output_file.h"
#include "romlist/rom_list_entry.h"
#include "trim/cut_verdict.h"
#include "trim/entry_log_host.h"
#include "trim/entry_report.h"
#include "trim/load_info.h"
#include "trim/member_extraction.h"
#include "trim/output_patcher.h"

namespace ostravex {

struct RunCounters {
    std::int32_t ErrorCount = 0;
    std::int32_t WifiCount = 0;
    std::int32_t SkippedCount = 0;
    std::int32_t ProcessedCount = 0;  // entries finished, whatever their outcome
    std::int64_t TotalSavings = 0;    // bytes removed in the run
    std::int64_t TotalAdded = 0;      // bytes added by a restore run
};

enum class RunEnd { Finished, Halted };

// The batch run behind "Trim!": every entry of a ROM list is examined, cut and written in
// turn, with one log line per decision. Runs on the caller's thread and lets the host's
// events run between steps.
class TrimRun {
  public:
    // The extraction makes archive members readable and the patcher patches GBA outputs;
    // both outlive the run.
    TrimRun(Host& host, MemberExtraction& extraction, OutputPatcher& patcher)
        : m_entryLog(host), m_host(m_entryLog), m_extraction(extraction), m_patcher(patcher) {}

    // Runs between the steps that put a new output in place (tests).
    void setOutputStepHook(OutputStepHook hook) { m_output.setStepHook(std::move(hook)); }

    RunEnd run(const std::vector<RomListEntry>& romlist);
    const RunCounters& counters() const { return m_counters; }

  private:
    // What becomes of each entry's result, chosen when the run starts: a real run writes
    // it; a dry run writes nothing and logs what it would have done.
    class OutputStrategy;
    class WritingOutput;
    class DryRunOutput;

    // One entry's steps, in the order the run calls them.
    void startEntry(const RomListEntry& entry);
    // Decides the cut size and counts the savings; the bytes are copied only when written.
    void Loadrom();
    void GetRenameFilename();
    void SetOutputFile();
    void WriteOutputFile();
    void DoRenameFile();
    // Releases what the entry still holds: its source, its buffer, an unfinished output.
    void endEntry();

    LoadInfo CurrentRom;
    // A zip member decompressed into memory; empty for roms read from files.
    ByteBuffer RomBuffer;
    std::int64_t SourceSize = 0;
    std::int64_t RomSavings = 0;
    std::string RenameFilename;

    enum class EntryEnd { Done, Halted };
    EntryEnd processEntry(const RomListEntry& entry);
    void failForMemory(const RomListEntry& entry);
    std::string romName() const;
    void finishEntry() { CurrentRom.NeedsContinue = true; }
    void countError(const std::string& line);
    void countSkip(const std::string& line);
    bool applyVerdict(const CutVerdict& verdict);
    void extractMember();
    bool openSource();
    void accountSavings();
    void openBackedUpOutput(const std::string& path);
    void createOutput(const std::string& path, bool mayReplace);
    void openInPlaceOutput(const std::string& path);
    bool changesMoreThanACut();
    void createBackedUpOutput(const std::string& path, const std::string& backup);
    void writeOutput();
    // A dry run's write: the SRAM patch is planned and its line logged, nothing is written.
    void logPlannedOutput();
    void refuseBackup(const std::string& backup, const Status& reason);
    void failOutput(const std::string& line);
    std::string writeFailureLine(const Status& status) const;
    Status logPlannedSramPatch();
    bool refuseOversizedSramPatch(std::uint64_t imageSize);
    std::string sramPatchFailureLine(const Status& status) const;
    void setSingleGauge(std::uint64_t position, std::uint64_t maximum);
    RunEnd halt();
    // A restore run pads images back to their full size instead of cutting them.
    bool restoring() const { return m_host.option(Option::Restore); }
    void logRestored();
    void reportEntry(const RomListEntry& entry);
    // Lets go of what the extraction and the patcher keep between entries.
    void releaseHelpers();

    EntryLogHost m_entryLog;  // records each entry's lines for its report
    Host& m_host;
    MemberExtraction& m_extraction;
    OutputPatcher& m_patcher;
    const OutputStrategy* m_strategy = nullptr;
    RunCounters m_counters;
    RomListEntry m_entry;  // the entry being processed
    File m_source;         // the rom file being read; kept open while its cut copy is pending
    bool m_sourceWritable = false;  // opened for update, to be cut in place
    // Why a file to be cut in place could only be opened for reading.
    Status m_updateFailure = Status::success();
    OutputFile m_output;  // the file receiving the result
    // What the patch does to the image, known before it is cut: the line of a patch that
    // leaves it as it is, or that the patcher holds the writes of a patch that changes it.
    std::optional<std::string> m_unchangedPatchLine;
    bool m_patchPreviewed = false;
    std::uint64_t m_singleMaximum = 0;
    // For the entry's report: the counters when it started, and its size once read.
    RunCounters m_countersAtStart;
    std::optional<std::uint64_t> m_sizeBefore;
    std::unique_ptr<ByteSource> m_memberSource;  // a dry run's member read in its archive
};

}  // namespace ostravex
