#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "host/entry_facts.h"
#include "host/front_end.h"
#include "io/byte_buffer.h"
#include "io/byte_source.h"
#include "io/file.h"
#include "romlist/rom_list_entry.h"
#include "trim/cut_verdict.h"
#include "trim/dat_check.h"
#include "trim/image_scan.h"
#include "trim/load_info.h"
#include "trim/member_extraction.h"
#include "trim/output_patcher.h"
#include "trim/output_writer.h"

namespace ostravex {

// What the job of one entry works with, given by its run.
struct JobServices {
    FrontEnd& frontEnd;
    MemberExtraction& extraction;
    OutputPatcher& patcher;
    OutputWriter& writer;
    // A fact of the entry changed the count behind this label; the run shows it at once.
    std::function<void(CounterLabel, const EntryFacts& ongoing)> counted;
    // Moves the rom gauge.
    std::function<void(std::uint64_t position, std::uint64_t maximum)> setSingleGauge;
};

// One entry of a run, from its ROM list entry to its written result: the job record
// (`CurrentRom`), the rom's bytes, its output, and the facts of what was decided and done.
// A job is made for one entry and dropped after it, so that nothing of one entry reaches
// the next. Every log line of the entry is a fact recorded here, and so is every count.
class EntryJob {
  public:
    EntryJob(const JobServices& services, const RomListEntry& entry);
    ~EntryJob();
    EntryJob(const EntryJob&) = delete;
    EntryJob& operator=(const EntryJob&) = delete;

    // The steps, in the order the run calls them.
    // Examines the rom: makes an archive member readable, decides the cut size and counts
    // the savings. The bytes are copied only when the output is written.
    void Loadrom();
    void GetRenameFilename();
    void SetOutputFile();
    void WriteOutputFile();
    // Lets go of the rom file, its bytes and an unfinished output.
    void release();
    // The scene-number rename of the output's name, after release().
    void DoRenameFile();

    // The entry needs more memory than there is: it fails alone, its output dropped.
    void failForMemory();

    // True once the entry is finished early: nothing more is written.
    bool finished() const { return CurrentRom.NeedsContinue; }
    const EntryFacts& facts() const { return m_facts; }

  private:
    class RomBytes;

    // Recording facts; each also gives the log line and the count.
    void line(const std::string& text, LineKind kind = LineKind::Info);
    void error(const std::string& text);
    void skip(const std::string& text, SkipReason reason);
    void notice(const Notice& notice);
    void finish() { CurrentRom.NeedsContinue = true; }

    std::string romName() const;
    std::string changedName() const;
    bool applyVerdict(const CutVerdict& verdict);
    bool checkAgainstDats(const DatIndex& dats);
    bool cutKeepsTheDump(const CutVerdict& verdict);
    bool cutReversible(std::uint64_t cut) const;
    Status checkCopyAgainstDats();
    bool restoresTheDump(CutVerdict& verdict);
    void extractMember();
    std::string memberOutputPath() const;
    void prepareStreamedOutput(const std::string& path);
    bool openSource();
    void accountSavings();
    bool changesMoreThanACut();
    void failOutput(const OutputFailure& failure);
    void recordPatch(const SramPatchResult& patch);
    void pump() { m_frontEnd.control.pump(); }

    FrontEnd& m_frontEnd;
    MemberExtraction& m_extraction;
    OutputPatcher& m_patcher;
    OutputWriter& m_writer;
    std::function<void(CounterLabel, const EntryFacts&)> m_counted;
    std::function<void(std::uint64_t, std::uint64_t)> m_setSingleGauge;

    // The file option and the output folder stay as they were when the entry started (the
    // window does not let them change during a run); the other options are read when a
    // step needs them.
    RunOptions m_startOptions;
    bool m_restoring = false;  // pads images back to their full size instead of cutting

    std::optional<ArchiveKind> m_archiveKind;  // for an archive member
    LoadInfo CurrentRom;
    // A rar or 7z member read into memory (a dry run); empty otherwise.
    ByteBuffer RomBuffer;
    std::int64_t SourceSize = 0;
    std::int64_t RomSavings = 0;
    std::string RenameFilename;

    std::unique_ptr<ByteSource> m_memberSource;  // a member read where it lies in its archive
    File m_source;                               // the rom file being read
    bool m_sourceWritable = false;               // opened for update, to be cut in place
    // Why a rom file to be cut in place could only be opened for reading.
    std::optional<Status> m_updateRefusal;
    std::unique_ptr<RomBytes> m_bytes;
    bool m_outputPrepared = false;
    std::string m_keptAs;     // the name the original keeps (backup option)
    bool m_keepName = false;  // the rom must not change at all, not even its name
    // The SRAM patch as planned before the output was chosen.
    std::optional<SramPatchResult> m_plannedPatch;
    // With DATs: the image's hashes and match; a restore pads to this dump with its filler.
    std::optional<DatCheck> m_datCheck;
    const DatRom* m_restoredDump = nullptr;
    bool m_datCheckWithCopy = false;  // the rom is hashed as it is copied
    bool m_irreversibleCut = false;   // the copy was dropped: its cut would lose data
    std::uint8_t m_restoreFiller = 0xFF;

    // A member read as it comes (every zip member; a rar or 7z member whose name is taken
    // where it would be extracted): its bytes are scanned for the decision and go straight
    // into its output, which is a new file that never replaces a different one.
    bool m_streamed = false;
    ImageScan m_scan;
    OutputTarget m_streamTarget;
    File* m_receiver = nullptr;  // the file its bytes went into, if any
    // Why its output could not be readied before its bytes came; told where a prepared
    // output's failure is told.
    std::optional<OutputFailure> m_streamFailure;
    // A file stood at its output's name that was not shown to be its result: that file is
    // not this run's, so it keeps its name too.
    bool m_nameTakenByOther = false;

    EntryFacts m_facts;
};

}  // namespace ostravex
