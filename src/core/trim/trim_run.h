#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "dat/dat_index.h"
#include "host/entry_facts.h"
#include "host/front_end.h"
#include "io/output_file.h"
#include "romlist/rom_list_entry.h"
#include "runlog/counter_labels.h"
#include "trim/dat_read_ahead.h"
#include "trim/dry_run_writer.h"
#include "trim/member_extraction.h"
#include "trim/output_patcher.h"
#include "trim/output_writer.h"

namespace ostravex {

// The counters of a run: the sums of its entries' facts.
struct RunCounters {
    std::int32_t errors = 0;
    std::int32_t wifiGames = 0;
    std::int32_t skipped = 0;
    std::int32_t processed = 0;   // entries finished, whatever their outcome
    std::int64_t bytesSaved = 0;  // bytes removed in the run
    std::int64_t bytesAdded = 0;  // bytes added by a restore run
    DatCounts dats;               // with DATs: the entries identified, by what they are

    // Adds the facts of an entry. While it is `ongoing`, its savings are those decided;
    // once finished, those of the file it left (none when nothing was written).
    void add(const EntryFacts& facts, bool ongoing);
};

enum class RunEnd { Finished, Halted };

class EntryJob;

// The batch run behind "Trim!": every entry of a ROM list is examined, cut and written in
// turn by its own job, with one log line per decision. The run keeps the loop, the
// counters and the halting. It runs on the caller's thread; the front end's control lets
// its events run between steps and carries its halt request.
class TrimRun {
  public:
    // The extraction makes archive members readable and the patcher patches GBA outputs;
    // both outlive the run.
    TrimRun(const FrontEnd& frontEnd, MemberExtraction& extraction, OutputPatcher& patcher)
        : m_frontEnd(frontEnd), m_extraction(extraction), m_patcher(patcher) {}

    // Runs between the steps that put a new output in place (tests).
    void setOutputStepHook(OutputStepHook hook) { m_fileWriter.setStepHook(std::move(hook)); }
    // How the roms of a run with DATs are read ahead (tests).
    void setReadAheadTuning(ReadAheadTuning tuning) { m_readAheadTuning = std::move(tuning); }

    // With `dats`, every image is identified against them; without, nothing is hashed. With
    // more than one job (RunJobs), the next roms are read and hashed on worker threads
    // while the current entry is decided and written; the entries still finish, log and
    // count one by one in list order.
    RunEnd run(const std::vector<RomListEntry>& romlist,
               std::shared_ptr<const DatIndex> dats = nullptr);
    // Reads every entry and identifies it against `dats`, and changes nothing: no rom is cut,
    // padded, patched, copied or renamed, and no file is made (an archive member is read
    // into a file without a name, which vanishes with its entry). One line per entry.
    RunEnd identify(const std::vector<RomListEntry>& romlist, std::shared_ptr<const DatIndex> dats);
    const RunCounters& counters() const { return m_counters; }
    // Whether anything of the last run failed: an entry's error, a failure notice, a
    // scene-number rename.
    bool anythingFailed() const { return m_anythingFailed; }

  private:
    enum class EntryEnd { Done, Halted };
    enum class Purpose { Change, IdentifyOnly };
    RunEnd runEntries(const std::vector<RomListEntry>& romlist, const DatIndex* dats,
                      Purpose purpose);
    EntryEnd processEntry(EntryJob& job);
    void finishEntry(const EntryJob& job);
    void showCounted(CounterLabel label, const EntryFacts* ongoing);
    void setSingleGauge(std::uint64_t position, std::uint64_t maximum);
    RunEnd halt();
    // Lets go of what the extraction and the patcher keep between entries.
    void releaseHelpers();

    FrontEnd m_frontEnd;
    MemberExtraction& m_extraction;
    OutputPatcher& m_patcher;
    // What becomes of each entry's result, chosen when the run starts: a real run writes
    // it; a dry run writes nothing and checks what writing would meet.
    FileOutputWriter m_fileWriter;
    DryRunWriter m_dryRunWriter;
    OutputWriter* m_writer = &m_fileWriter;
    ReadAheadTuning m_readAheadTuning;
    bool m_restoring = false;
    RunCounters m_counters;  // shown: the finished entries and the one going on
    RunCounters m_finished;  // the finished entries only
    bool m_anythingFailed = false;
    std::uint64_t m_singleMaximum = 0;
};

}  // namespace ostravex
