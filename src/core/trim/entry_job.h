#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "host/entry_facts.h"
#include "host/front_end.h"
#include "io/file.h"
#include "romlist/rom_list_entry.h"
#include "settings/run_options.h"
#include "trim/cut_verdict.h"
#include "trim/dat_identification.h"
#include "trim/entry_record.h"
#include "trim/member_extraction.h"
#include "trim/output_patcher.h"
#include "trim/output_writer.h"
#include "trim/rom_acquisition.h"
#include "trim/rom_job.h"

namespace ostravex {

// What the job of one entry works with, given by its run.
struct JobServices {
    FrontEnd& frontEnd;
    MemberExtraction& extraction;
    OutputPatcher& patcher;
    OutputWriter& writer;
    // The DATs every image is identified against, when the run has any.
    const DatIndex* dats = nullptr;
    // The entry is only read and identified against the DATs; nothing is decided or written.
    bool identifyOnly = false;
    // A fact of the entry changed the count behind this label; the run shows it at once.
    EntryRecord::Counted counted;
    // Moves the rom gauge.
    std::function<void(std::uint64_t position, std::uint64_t maximum)> setSingleGauge;
};

// The entry's DAT check made ahead of its turn, when it was made of the bytes `file` (the
// entry's rom as the entry opened it) holds.
using DatCheckAhead = std::function<std::optional<DatCheck>(const File& file)>;

// One entry of a run, from its ROM list entry to its written result, as a pipeline:
//   acquire the rom's bytes (RomAcquisition: its file, or an archive member read as it
//   comes) -> decide its cut or restore -> identify it against the DATs (DatIdentification)
//   -> plan its output (the target, checked alike by every writer) -> write it, or in a dry
//   run account for it -> remove its scene number.
// The options are read once, when the job is made. Every log line and count of the entry
// is a fact recorded in its EntryRecord. A job is made for one entry and dropped after it,
// so that nothing of one entry reaches the next.
class EntryJob {
  public:
    EntryJob(const JobServices& services, const RomListEntry& entry,
             DatCheckAhead checkedAhead = {});
    ~EntryJob();
    EntryJob(const EntryJob&) = delete;
    EntryJob& operator=(const EntryJob&) = delete;

    // The steps, in the order the run calls them; a step does nothing once the entry is
    // finished.
    // Acquires the rom's bytes, decides, identifies it against the DATs and counts the
    // savings. A member's output is readied first: its bytes go straight into it.
    void examine();
    // Chooses the output of a rom file and readies it, after the writer's checks.
    void prepareOutput();
    // Writes the result (cut, copy, restore, SRAM patch) and puts it in place.
    void writeOutput();
    // Lets go of the rom file, its bytes and an unfinished output.
    void release();
    // Removes the scene number from the output's name, after release().
    void removeSceneNumber();

    // The entry needs more memory than there is: it fails alone, its output dropped.
    void failForMemory();
    // Something the entry's steps did not expect went wrong (`what` says what): the entry
    // fails alone, its output dropped, and the run goes on.
    void failForUnexpected(const std::string& what);

    // True once the entry is finished early: nothing more is written.
    bool finished() const { return m_rom.finished; }
    const EntryFacts& facts() const { return m_record.facts(); }
    const RunOptions& options() const { return m_options; }

  private:
    std::string romName() const;
    std::string entryName() const;
    std::string changedName() const;
    void finish() { m_rom.finished = true; }

    bool acquire();
    bool archiveExists();
    void examineForIdentification();
    bool acquireToRead();
    std::string memberOutputPath() const;
    void prepareMemberOutput(const std::string& path);
    CutVerdict decide() const;
    bool applyVerdict(const CutVerdict& verdict);
    bool identify();
    void accountSavings();
    OutputTarget chooseTarget() const;
    bool changesMoreThanACut();
    ResultOrigin resultOrigin(const OutputContent& content) const;
    void failOutput(const OutputFailure& failure);
    void failWith(const std::string& text);
    void recordPatch(const SramPatchResult& patch);
    void pump() { m_frontEnd.control.pump(); }

    FrontEnd& m_frontEnd;
    OutputPatcher& m_patcher;
    OutputWriter& m_writer;
    std::function<void(std::uint64_t, std::uint64_t)> m_setSingleGauge;
    // The options as they were when the entry started: every step of the entry reads
    // these, so a box ticked during a run applies from the next entry on, never halfway.
    const RunOptions m_options;
    const bool m_restoring;  // pads images back to their full size instead of cutting
    const std::optional<ArchiveKind> m_archiveKind;  // for an archive member
    const bool m_identifyOnly;                       // read and identify, nothing more

    EntryRecord m_record;
    RomJob m_rom;
    RomAcquisition m_acquisition;
    std::optional<DatIdentification> m_dat;
    DatCheckAhead m_checkedAhead;
    std::int64_t m_savings = 0;
    bool m_sizeAssumed = false;           // a restore's size is a guess
    std::uint64_t m_handOversAtOpen = 0;  // the host's hand-overs when the rom was opened
    std::string m_renameTarget;           // the name whose scene number is removed

    // The output.
    bool m_outputPrepared = false;
    std::string m_keptAs;     // the name the original keeps (backup option)
    bool m_keepName = false;  // the rom must not change at all, not even its name
    // The SRAM patch as planned before the output was chosen.
    std::optional<SramPatchResult> m_plannedPatch;
    // A member's output, readied before its bytes came, and why it could not be.
    OutputTarget m_memberTarget;
    File* m_receiver = nullptr;
    // A member read only to be identified: a file without a name, gone when it is closed.
    File m_unnamedCopy;
    std::optional<OutputFailure> m_memberOutputFailure;
    // A file stood at the member output's name that was not shown to be its result: that
    // file is not this run's, so it keeps its name too.
    bool m_nameTakenByOther = false;
};

}  // namespace ostravex
