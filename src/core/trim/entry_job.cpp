#include "trim/entry_job.h"

#include <cerrno>

#include "io/output_file.h"
#include "io/padded_byte_source.h"
#include "io/paths.h"
#include "trim/file_failure_text.h"
#include "trim/gba_decision.h"
#include "trim/nds_decision.h"
#include "trim/output_placement.h"
#include "trim/padding_check.h"
#include "trim/restore_decision.h"

namespace ostravex {
namespace {

constexpr const char* kBrickerNotice = "WARNING: POSSIBLE BRICKER DETECTED!!! CHECK LOG!";

bool IsMissingWriteAccess(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == ETXTBSY;
}

}  // namespace

// The bytes of the entry's rom: its file (as this run has left it), or memory, or a member
// read where it lies in its archive.
class EntryJob::RomBytes {
  public:
    RomBytes(const File& file, std::uint64_t size, const std::optional<ChangedFile>& changed)
        : m_file(&file) {
        m_fileReader.emplace(file, size);
        m_reader = &*m_fileReader;
        if (changed) {
            // A file this run has already cut or padded (a dry run keeps it as it was).
            m_leading.emplace(*m_fileReader, changed->keptSize);
            m_padded.emplace(*m_leading, changed->size, kRestoreFiller);
            m_reader = &*m_padded;
            m_file = nullptr;
        }
    }
    explicit RomBytes(std::span<const std::uint8_t> memory)
        : m_memory(memory), m_memoryReader(memory), m_reader(&*m_memoryReader) {}
    explicit RomBytes(const ByteSource& member) : m_reader(&member) {}

    const ByteSource& reader() const { return *m_reader; }
    std::uint64_t size() const { return m_reader->size(); }
    // The rom's file when its bytes are read from it unchanged.
    const File* file() const { return m_file; }
    std::span<const std::uint8_t> memory() const { return m_memory; }

  private:
    const File* m_file = nullptr;
    std::optional<FileByteSource> m_fileReader;
    std::optional<LeadingBytes> m_leading;
    std::optional<PaddedByteSource> m_padded;
    std::span<const std::uint8_t> m_memory;
    std::optional<MemoryByteSource> m_memoryReader;
    const ByteSource* m_reader = nullptr;
};

EntryJob::EntryJob(const JobServices& services, const RomListEntry& entry)
    : m_frontEnd(services.frontEnd),
      m_extraction(services.extraction),
      m_patcher(services.patcher),
      m_writer(services.writer),
      m_counted(services.counted),
      m_setSingleGauge(services.setSingleGauge),
      m_startOptions(m_frontEnd.options.current()),
      m_restoring(m_startOptions.restore),
      m_archiveKind(entry.archive) {
    CurrentRom = LoadInfoFromEntry(entry, m_startOptions.fileMode, m_startOptions.outputFolder);
    m_facts.listText = entry.text();
    m_facts.gba = CurrentRom.GBAFile;
    m_facts.restoring = m_restoring;
    m_facts.path = entry.path;
    if (entry.isMember()) {
        m_facts.archive = entry.path;
        m_facts.member = entry.member;
    }
}

EntryJob::~EntryJob() {
    release();
}

void EntryJob::release() {
    // An output that replaces the rom needs the rom's file open until it is dropped.
    if (m_outputPrepared) {
        m_writer.discard();
        m_outputPrepared = false;
    }
    m_bytes.reset();
    m_source.close();
    m_sourceWritable = false;
    RomBuffer.clear();
    RomBuffer.shrink_to_fit();
    m_memberSource.reset();
    m_receiver = nullptr;
}

// ---- facts ------------------------------------------------------------------------------

void EntryJob::line(const std::string& text, LineKind kind) {
    m_facts.lines.push_back({text, kind});
    m_frontEnd.host.addLog(text, kind);
}

void EntryJob::error(const std::string& text) {
    line(text, LineKind::Failure);
    ++m_facts.errors;
    m_counted(CounterLabel::Errors, m_facts);
}

void EntryJob::skip(const std::string& text, SkipReason reason) {
    line(text);
    m_facts.skipped = reason;
    m_counted(CounterLabel::Skipped, m_facts);
}

void EntryJob::notice(const Notice& notice) {
    m_facts.notices.push_back(notice);
    m_frontEnd.host.notice(notice);
}

std::string EntryJob::romName() const {
    return NamePart(CurrentRom.filename);
}

// The rom's name in the lines that report a change of it. A symbolic link is followed, so
// the file that changes is the one it leads to: that file is named after the link.
std::string EntryJob::changedName() const {
    return m_facts.linkTarget ? CurrentRom.filename + " -> " + *m_facts.linkTarget
                              : CurrentRom.filename;
}

void EntryJob::failForMemory() {
    release();
    error("ERROR: Not enough memory: " + romName());
    m_facts.written = false;
    finish();
}

// ---- examining the rom ------------------------------------------------------------------

void EntryJob::Loadrom() {
    CurrentRom.iszip = false;
    if (CurrentRom.Compressed && !m_writer.exists(CurrentRom.CompressedFile)) {
        error("ERROR(2): File doesn't exist: " + NamePart(CurrentRom.CompressedFile));
        return finish();
    }
    if (CurrentRom.Compressed) {
        extractMember();
        if (CurrentRom.NeedsContinue) {
            return;
        }
    }
    if (!openSource()) {
        return finish();
    }

    // A member read as it came is decided from its scan, which gives the same decisions.
    const ByteSource& source = m_streamed ? m_scan : m_bytes->reader();
    const RunOptions options = m_frontEnd.options.current();
    const HeaderCheck headerCheck = options.headerCheck ? HeaderCheck::Required : HeaderCheck::Off;
    CutVerdict verdict = m_restoring ? DecideRestore(source, CurrentRom.GBAFile, headerCheck)
                         : CurrentRom.GBAFile
                             ? (m_streamed ? DecideGbaCut(m_scan, options.onlyPatch)
                                           : DecideGbaCut(source, options.onlyPatch))
                             : DecideNdsCut(source, options.skipDsi, headerCheck);
    if (!m_restoring && options.checkPadding) {
        if (m_streamed) {
            CheckCutPadding(m_scan, verdict);
        } else {
            CheckCutPadding(source, verdict);
        }
    }
    if (CurrentRom.GBAFile) {
        pump();
    }
    // An image whose header does not check out keeps even its name.
    m_keepName = verdict.headerMismatch;
    if (m_startOptions.dats) {
        // A rom that is copied is hashed as it is copied: it is read once.
        m_datCheckWithCopy = !m_restoring && !m_startOptions.dryRun && m_bytes->file() &&
                             verdict.cutSize &&
                             !IsWrittenInPlace(CurrentRom, m_startOptions.fileMode);
        if (!m_datCheckWithCopy && !checkAgainstDats(*m_startOptions.dats)) {
            return finish();
        }
    }
    if (!applyVerdict(verdict)) {
        return finish();
    }
    if (m_datCheck && !(m_restoring ? restoresTheDump(verdict) : cutKeepsTheDump(verdict))) {
        return finish();
    }
    CurrentRom.RomSize = *verdict.cutSize;
    CurrentRom.haswifi = verdict.hasWifi;
    accountSavings();
}

void EntryJob::extractMember() {
    const bool extractedToDisk = *m_archiveKind != ArchiveKind::Zip;
    const std::string folderOutput =
        m_startOptions.outputFolder + StripMemberPath(CurrentRom.filename);
    // A rar or 7z member that "Don't overwrite" refuses is not extracted at all.
    if (extractedToDisk && m_startOptions.fileMode == FileMode::Folder &&
        m_frontEnd.options.current().dontOverwrite && m_writer.exists(folderOutput)) {
        m_facts.output = folderOutput;
        error("Error: file-exists in the new output folder. Skipping this rom");
        return finish();
    }
    // A rar or 7z member whose name is taken is not extracted over that file: it is read
    // as it comes, as a zip member is, and its result compared with what stands there.
    const std::string outputPath = memberOutputPath();
    m_streamed = !extractedToDisk || m_writer.exists(outputPath);
    if (m_streamed) {
        prepareStreamedOutput(outputPath);
    }
    ExtractionContext context{
        .job = CurrentRom,
        .romBuffer = RomBuffer,
        .memberSource = m_memberSource,
        .destination = m_writer.memberDestination(),
        .scan = m_streamed ? &m_scan : nullptr,
        .output = m_receiver,
        .checkCreatable = [this](const std::string& path) { return m_writer.checkCreatable(path); },
        .gauge = [this](std::uint64_t position,
                        std::uint64_t maximum) { m_setSingleGauge(position, maximum); },
        .pump = [this] { pump(); },
        .reportError = [this](const std::string& text) { error(text); },
        .notice = [this](const Notice& shown) { notice(shown); },
    };
    m_extraction.SetCompressedStuff(*m_archiveKind, context);
    if (!CurrentRom.NeedsContinue && extractedToDisk && !m_streamed) {
        m_writer.memberExtracted(CurrentRom.RawName);
    }
}

// Where a member's result goes: beside its archive, or into the output folder.
std::string EntryJob::memberOutputPath() const {
    const std::string& folder = m_startOptions.fileMode == FileMode::Folder
                                    ? m_startOptions.outputFolder
                                    : CurrentRom.OutFolder;
    return folder + StripMemberPath(CurrentRom.filename);
}

// The output of a member read as it comes is readied before its bytes come, so that they
// go into it at once. One that "Don't overwrite" refuses is not: the refusal is told after
// the decision, as for any other entry.
void EntryJob::prepareStreamedOutput(const std::string& path) {
    m_streamTarget = OutputTarget{OutputTarget::Kind::NewFile, path, "", false};
    m_streamTarget.memberResult = true;
    const bool taken = m_writer.exists(path);
    m_nameTakenByOther = taken;
    if (m_startOptions.fileMode == FileMode::Folder && m_frontEnd.options.current().dontOverwrite &&
        taken) {
        return;
    }
    // The image is needed whole to compare its result with the file that stands there, to
    // patch it, or to hash it for the DATs.
    const bool imageNeeded = taken || m_startOptions.dats ||
                             (CurrentRom.GBAFile && m_frontEnd.options.current().sramPatch);
    m_streamFailure = m_writer.prepareStreamed(m_streamTarget, imageNeeded, m_receiver);
    m_outputPrepared = !m_streamFailure;
}

bool EntryJob::openSource() {
    if (m_streamed) {
        // The bytes are in the receiving file when there is one; else only the scan saw them.
        if (m_receiver) {
            m_memberSource = std::make_unique<FileByteSource>(*m_receiver, m_scan.size());
            m_bytes = std::make_unique<RomBytes>(*m_memberSource);
        } else {
            m_bytes = std::make_unique<RomBytes>(static_cast<const ByteSource&>(m_scan));
        }
        SourceSize = static_cast<std::int64_t>(m_scan.size());
        m_facts.sizeBefore = m_scan.size();
        m_setSingleGauge(0, 100);
        return true;
    }
    const bool inMemory =
        CurrentRom.iszip ||
        (CurrentRom.Compressed && m_writer.memberDestination() == MemberDestination::Memory);
    if (inMemory) {
        m_bytes = m_memberSource
                      ? std::make_unique<RomBytes>(*m_memberSource)
                      : std::make_unique<RomBytes>(std::span<const std::uint8_t>(RomBuffer));
        SourceSize = static_cast<std::int64_t>(m_bytes->size());
        m_facts.sizeBefore = m_bytes->size();
        m_setSingleGauge(0, 100);
        return true;
    }
    const std::string& path = CurrentRom.RawName;
    const std::optional<ChangedFile> changed = m_writer.changedFile(path);
    if (changed && changed->gone) {
        error("ERROR: File doesn't exist: " + NamePart(path));
        return false;
    }
    // A file cut in place is opened once, for update, and read and cut through the same
    // descriptor. Without write access it is still examined; the output step reports why
    // it cannot be cut.
    const bool forUpdate = IsWrittenInPlace(CurrentRom, m_startOptions.fileMode);
    Status status = forUpdate ? m_source.openForUpdate(path) : m_source.openForReading(path);
    m_sourceWritable = forUpdate && status.ok();
    if (forUpdate && !status && IsMissingWriteAccess(status.code())) {
        m_updateRefusal = status;
        status = m_source.openForReading(path);
    }
    if (IsHeldByAnotherRun(status)) {
        m_source.close();
        skip("SKIP: In use by another run: " + NamePart(path), SkipReason::Decision);
        return false;
    }
    if (!status) {
        m_source.close();
        // The open has told whether the file is there; only other failures are asked about.
        const bool missing =
            !CurrentRom.Compressed && (status.code() == ENOENT || !m_writer.exists(path));
        error(missing ? "ERROR: File doesn't exist: " + NamePart(path)
                      : FileFailureText(FileAction::Open, status) + NamePart(path));
        return false;
    }
    if (m_startOptions.fileMode != FileMode::Folder && m_source.openedThroughLink()) {
        m_facts.linkTarget = SymbolicLinkTarget(path);
    }
    m_bytes = std::make_unique<RomBytes>(m_source, m_source.sizeAtOpen(), changed);
    SourceSize = static_cast<std::int64_t>(m_bytes->size());
    m_facts.sizeBefore = m_bytes->size();
    m_setSingleGauge(0, m_bytes->size());
    return true;
}

bool EntryJob::applyVerdict(const CutVerdict& verdict) {
    for (const VerdictMessage& message : verdict.messages) {
        const std::string text = message.text + romName();
        switch (message.kind) {
            case VerdictLine::Note:
                line(text);
                break;
            case VerdictLine::Bricker:
                line(text);
                notice({NoticeKind::Warning, kBrickerNotice, {}});
                break;
            case VerdictLine::Wifi:
                line(text);
                m_facts.wifi = true;
                m_counted(CounterLabel::Wifi, m_facts);
                break;
            case VerdictLine::Skip:
                skip(text, SkipReason::Decision);
                return false;
            case VerdictLine::DsiSkip:
                skip(text, SkipReason::Dsi);
                return false;
            case VerdictLine::Error:
                error(text);
                return false;
        }
    }
    return verdict.cutSize.has_value();
}

// Reads the image once to hash it, and reports what the DATs say about it.
bool EntryJob::checkAgainstDats(const DatIndex& dats) {
    m_datCheck.emplace();
    const ImageKind kind = CurrentRom.GBAFile ? ImageKind::Gba : ImageKind::Nds;
    if (Status status = CheckAgainstDats(dats, m_bytes->reader(), kind, *m_datCheck); !status) {
        m_datCheck.reset();
        error(FileFailureText(FileAction::Read, status) + romName());
        return false;
    }
    pump();
    m_facts.dat = DatFactsOf(m_datCheck->match);
    line(DatMatchLine(*m_facts.dat, romName()));
    return true;
}

// With the copy's bytes hashed: the rest of the rom is hashed and the rom identified; the
// copy is kept only when its cut pads back to the dump.
Status EntryJob::checkCopyAgainstDats() {
    ByteBuffer buffer;
    if (Status status = HashRest(m_bytes->reader(), m_datCheck->hasher, buffer); !status) {
        return status;
    }
    std::optional<std::uint64_t> cartridgeSize;
    const ImageKind kind = CurrentRom.GBAFile ? ImageKind::Gba : ImageKind::Nds;
    if (Status status = CartridgeSizeOf(m_bytes->reader(), kind, cartridgeSize); !status) {
        return status;
    }
    m_datCheck->match = MatchHashedImage(*m_startOptions.dats, m_datCheck->hasher, cartridgeSize);
    m_facts.dat = DatFactsOf(m_datCheck->match);
    line(DatMatchLine(*m_facts.dat, romName()));
    if (!cutReversible(static_cast<std::uint64_t>(CurrentRom.RomSize))) {
        m_irreversibleCut = true;
        return Status::failure("the cut would not pad back to the DAT's dump");
    }
    return Status::success();
}

bool EntryJob::cutReversible(std::uint64_t cut) const {
    const DatMatch& match = m_datCheck->match;
    const bool aDump =
        match.kind == DatMatchKind::FullDump || match.kind == DatMatchKind::TrimmedDump;
    return !aDump || cut >= m_bytes->size() ||
           ReversibleFiller(match, m_datCheck->hasher, cut).has_value();
}

// A cut of a DAT's dump must leave an image that pads back to that dump exactly.
bool EntryJob::cutKeepsTheDump(const CutVerdict& verdict) {
    if (cutReversible(static_cast<std::uint64_t>(*verdict.cutSize))) {
        return true;
    }
    skip(kIrreversibleTrimText + romName(), SkipReason::Decision);
    return false;
}

// With DATs, only a trimmed dump is restored: to its dump's size, with the filler that gives
// the dump's checksums.
bool EntryJob::restoresTheDump(CutVerdict& verdict) {
    const DatMatch& match = m_datCheck->match;
    if (match.kind == DatMatchKind::FullDump) {
        skip(kFullDumpNotRestoredText + romName(), SkipReason::Decision);
        return false;
    }
    const std::optional<DatRestore> restore = RestoreFromMatch(match);
    if (!restore) {
        error(kNotATrimmedDumpText + romName());
        return false;
    }
    verdict.cutSize = static_cast<std::int64_t>(restore->size);
    m_restoreFiller = restore->filler;
    m_restoredDump = match.roms.front().rom;
    return true;
}

void EntryJob::accountSavings() {
    RomSavings = SourceSize - CurrentRom.RomSize;
    m_facts.decidedSize = static_cast<std::uint64_t>(CurrentRom.RomSize);
    m_counted(CounterLabel::Savings, m_facts);
}

// ---- writing the result -----------------------------------------------------------------

void EntryJob::GetRenameFilename() {
    RenameFilename = RenameTarget(CurrentRom, m_startOptions.fileMode, m_startOptions.outputFolder);
}

void EntryJob::SetOutputFile() {
    CurrentRom.NeedsContinue = false;
    if (!m_restoring) {
        line(changedName() + ": " + std::to_string(RomSavings));
    }
    const std::string outputName = StripMemberPath(CurrentRom.filename);
    if (m_streamed) {
        m_facts.output = m_streamTarget.path;
        if (m_startOptions.fileMode == FileMode::Folder &&
            m_frontEnd.options.current().dontOverwrite && m_writer.exists(m_streamTarget.path)) {
            error("Error: file-exists in the new output folder. Skipping this rom");
            return finish();
        }
        if (m_streamFailure) {
            return failOutput(*m_streamFailure);
        }
        return;  // readied before the bytes came, which are in it now
    }
    OutputTarget target;
    switch (m_startOptions.fileMode) {
        case FileMode::Overwrite: {
            const std::string path = CurrentRom.OutFolder + outputName;
            target = CurrentRom.iszip ? OutputTarget{OutputTarget::Kind::NewFile, path, "", true}
                                      : OutputTarget{OutputTarget::Kind::InPlace, path, "", false};
            break;
        }
        case FileMode::Backup: {
            const std::string path = CurrentRom.OutFolder + outputName;
            // A zip member replaces an earlier output; the archive is its original.
            target = CurrentRom.iszip ? OutputTarget{OutputTarget::Kind::NewFile, path, "", true}
                                      : OutputTarget{OutputTarget::Kind::KeepOriginal, path,
                                                     path + ".bak", false};
            break;
        }
        case FileMode::Folder: {
            const std::string path = m_startOptions.outputFolder + outputName;
            const bool extractedMember = CurrentRom.Compressed && !CurrentRom.iszip;
            const bool dontOverwrite = m_frontEnd.options.current().dontOverwrite;
            // Extracted members were tested before extraction; they stand there now.
            if (dontOverwrite && !extractedMember && m_writer.exists(path)) {
                m_facts.output = path;
                error("Error: file-exists in the new output folder. Skipping this rom");
                return finish();
            }
            target = extractedMember && m_writer.exists(CurrentRom.RawName)
                         ? OutputTarget{OutputTarget::Kind::InPlace, CurrentRom.RawName, "", false}
                         : OutputTarget{OutputTarget::Kind::NewFile, path, "", !dontOverwrite};
            break;
        }
    }
    if (target.kind == OutputTarget::Kind::InPlace) {
        if (m_updateRefusal) {
            return failOutput({OutputStage::Open, *m_updateRefusal});
        }
        if (changesMoreThanACut()) {
            target.kind = OutputTarget::Kind::Replace;
        }
    }
    if (m_datCheckWithCopy && target.kind == OutputTarget::Kind::InPlace) {
        // Nothing is copied after all: the rom is hashed before it is cut.
        m_datCheckWithCopy = false;
        if (!checkAgainstDats(*m_startOptions.dats)) {
            return finish();
        }
        if (!cutReversible(static_cast<std::uint64_t>(CurrentRom.RomSize))) {
            skip(kIrreversibleTrimText + romName(), SkipReason::Decision);
            return finish();
        }
    }
    m_facts.output = target.path;
    m_keptAs = target.backup;
    m_outputPrepared = true;
    if (const std::optional<OutputFailure> failure = m_writer.prepare(target, m_source)) {
        m_outputPrepared = false;
        return failOutput(*failure);
    }
}

// A cut alone is one ftruncate, done in place. Padding or patching writes bytes, which a
// kill could leave half written: such an image is written whole beside the rom and renamed
// over it. A patch that would change nothing leaves the cut in place, and is not searched
// for a second time.
bool EntryJob::changesMoreThanACut() {
    if (m_restoring) {
        return true;
    }
    const auto size = static_cast<std::uint64_t>(CurrentRom.RomSize);
    if (!CurrentRom.GBAFile || !m_frontEnd.options.current().sramPatch ||
        !m_patcher.checkImageSize(size)) {
        return false;
    }
    SramPatchResult planned;
    if (!m_patcher.plan(LeadingBytes(m_bytes->reader(), size), planned)) {
        return true;  // without an answer the patch is taken to change the image
    }
    m_plannedPatch = planned;
    return planned.outcome == SramPatchOutcome::Patched;
}

void EntryJob::WriteOutputFile() {
    const auto size = static_cast<std::uint64_t>(CurrentRom.RomSize);
    m_setSingleGauge(0, size);
    OutputContent content{
        .image = m_bytes->reader(),
        .file = m_bytes->file(),
        .memory = m_bytes->memory(),
        // A restore keeps the whole rom and pads it up to its size.
        .keptSize = std::min(size, m_bytes->size()),
        .size = size,
        .sramPatch = CurrentRom.GBAFile && m_frontEnd.options.current().sramPatch,
        .plannedPatch = m_plannedPatch ? &*m_plannedPatch : nullptr,
        .filler = m_restoreFiller,
        .observe = {},
        .verify = {},
        .inOutput = m_streamed,
    };
    if (m_datCheckWithCopy) {
        m_datCheck.emplace();
        content.observe = [this](std::span<const std::uint8_t> chunk) {
            m_datCheck->hasher.update(chunk);
        };
        content.verify = [this](const ByteSource&) { return checkCopyAgainstDats(); };
    } else if (m_restoredDump) {
        content.verify = [this](const ByteSource& result) {
            return VerifyDatDump(result, *m_restoredDump);
        };
    }
    const CopyProgress progress = [this, size](std::uint64_t copied) {
        m_setSingleGauge(copied, size);
        pump();
    };
    const OutputResult result = m_writer.write(content, m_patcher, progress);
    m_outputPrepared = false;
    if (result.patch) {
        recordPatch(*result.patch);
    }
    if (result.failure) {
        return failOutput(*result.failure);
    }
    if (result.alreadyThere) {
        m_nameTakenByOther = false;
        return skip("SKIP: Already there from an earlier run: " + NamePart(m_streamTarget.path),
                    SkipReason::Decision);
    }
    m_facts.written = true;
    m_facts.sizeAfter = result.size;
    if (m_restoring) {
        line(RestoredLine(changedName(), static_cast<std::uint64_t>(-RomSavings)));
    }
}

void EntryJob::failOutput(const OutputFailure& failure) {
    if (m_outputPrepared) {
        m_writer.discard();
        m_outputPrepared = false;
    }
    const Status& status = failure.status;
    switch (failure.stage) {
        case OutputStage::Open:
            error(FileFailureText(FileAction::Open, status) + romName());
            break;
        case OutputStage::Create:
            error(FileFailureText(FileAction::Create, status) + romName());
            break;
        case OutputStage::KeepOriginal:
            error("Error: File is Read-Only: " + CurrentRom.filename);
            m_frontEnd.host.diagnostic("Cannot keep the original as " + NamePart(m_keptAs) + ": " +
                                       status.reason());
            break;
        case OutputStage::Read:
            error(FileFailureText(FileAction::Read, status) + romName());
            break;
        case OutputStage::SourceEnded:
            error("Error: Memcopy failed: " + CurrentRom.filename);
            break;
        case OutputStage::Write:
            error(IsChangedSinceRead(status)
                      ? "ERROR: File changed since it was read: " + romName()
                      : FileFailureText(FileAction::Write, status) + romName());
            break;
        case OutputStage::SramPatch:
            break;  // the patch's own line has told it
        case OutputStage::Verify:
            if (m_irreversibleCut) {
                skip(kIrreversibleTrimText + romName(), SkipReason::Decision);
                break;
            }
            if (m_datCheckWithCopy) {
                error(FileFailureText(FileAction::Read, status) + romName());
                break;
            }
            error(kRestoredNotTheDumpText + romName());
            m_frontEnd.host.diagnostic("Restored image of " + CurrentRom.filename +
                                       " not kept: " + status.reason());
            break;
        case OutputStage::Occupied:
            error("ERROR: A different file is already there, left as it is: " +
                  m_streamTarget.path + " (not replaced by " + CurrentRom.filename + " of " +
                  NamePart(CurrentRom.CompressedFile) + ")");
            break;
    }
    finish();
}

void EntryJob::recordPatch(const SramPatchResult& patch) {
    m_facts.sramPatch = patch.outcome;
    if (patch.outcome == SramPatchOutcome::Failed) {
        error("ERROR: SRAM patch failed (" + patch.line + "): " + romName());
    } else {
        line(patch.line);
    }
}

void EntryJob::DoRenameFile() {
    if (m_keepName || m_nameTakenByOther || CharacterCount(RenameFilename) < 12) {
        return;
    }
    const std::string oldName = NamePart(RenameFilename);
    const auto newName = NameWithoutSceneNumber(oldName);
    if (!newName || !m_writer.exists(RenameFilename)) {
        return;
    }
    const std::string newPath = FolderPart(RenameFilename) + *newName;
    const Status status = m_writer.rename(RenameFilename, newPath);
    const bool renamed = status.ok();
    m_facts.rename = renamed ? RenameOutcome::Renamed : RenameOutcome::Failed;
    line((renamed ? "Rename succesful: " : "Rename FAILED: ") + oldName + " -> " + *newName,
         renamed ? LineKind::Info : LineKind::Failure);
    if (!renamed) {
        // A failure is counted like any other.
        ++m_facts.errors;
        m_counted(CounterLabel::Errors, m_facts);
        m_frontEnd.host.diagnostic("Cannot rename " + RenameFilename + " to " + newPath + ": " +
                                   status.reason());
    }
}

}  // namespace ostravex
