#include "trim/entry_job.h"

#include <cerrno>

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
constexpr const char* kFileExistsText =
    "Error: file-exists in the new output folder. Skipping this rom";

// Why the original could not keep its ".bak" name, in the words of what the user sees.
std::string BackupFailureCause(const Status& status) {
    switch (status.code()) {
        case EEXIST:
            return "it already exists";
        case EACCES:
        case EPERM:
        case EROFS:
            return "the folder is read-only (" + status.reason() + ")";
        default:
            return status.reason();
    }
}

}  // namespace

EntryJob::EntryJob(const JobServices& services, const RomListEntry& entry,
                   DatCheckAhead checkedAhead)
    : m_frontEnd(services.frontEnd),
      m_patcher(services.patcher),
      m_writer(services.writer),
      m_setSingleGauge(services.setSingleGauge),
      m_options(m_frontEnd.options.current()),
      m_restoring(m_options.restore),
      m_archiveKind(entry.archive),
      m_identifyOnly(services.identifyOnly && services.dats),
      m_record(m_frontEnd.host, services.counted),
      m_rom(RomJobFromEntry(entry, m_options.fileMode, m_options.outputFolder)),
      m_acquisition({.record = m_record,
                     .writer = services.writer,
                     .extraction = services.extraction,
                     .gauge = services.setSingleGauge,
                     .pump = [this] { pump(); }},
                    m_options, m_rom),
      m_checkedAhead(std::move(checkedAhead)) {
    EntryFacts& facts = m_record.facts();
    facts.listText = entry.text();
    facts.gba = m_rom.gba;
    facts.restoring = m_restoring;
    facts.path = entry.path;
    if (entry.isMember()) {
        facts.archive = entry.path;
        facts.member = entry.member;
    }
    if (services.dats) {
        m_dat.emplace(m_record, *services.dats);
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
    m_acquisition.release();
    m_receiver = nullptr;
    m_unnamedCopy.close();
}

std::string EntryJob::romName() const {
    return NamePart(m_rom.name);
}

// The rom's name as the line of its savings gives it: for a member, its path in the archive
// ("sub/a.nds"), so that the lines of one entry all name the same rom.
std::string EntryJob::entryName() const {
    return m_rom.name;
}

// The rom's name in the lines that report a change of it. A symbolic link is followed, so
// the file that changes is the one it leads to: that file is named after the link.
std::string EntryJob::changedName() const {
    const EntryFacts& facts = m_record.facts();
    return facts.linkTarget ? m_rom.name + " -> " + *facts.linkTarget : m_rom.name;
}

void EntryJob::failForMemory() {
    failWith("ERROR: Not enough memory: " + romName());
}

void EntryJob::failForUnexpected(const std::string& what) {
    failWith("ERROR: Cannot process file (" + what + "): " + romName());
}

void EntryJob::failWith(const std::string& text) {
    // Whatever was readied for the output goes with it: its temporary is removed.
    release();
    m_record.error(text);
    m_record.facts().written = false;
    m_record.facts().sizeAfter.reset();
    finish();
}

// ---- acquire, decide, identify ----------------------------------------------------------

void EntryJob::examine() {
    if (m_identifyOnly) {
        return examineForIdentification();
    }
    m_renameTarget = RenameTarget(m_rom, m_options.fileMode, m_options.outputFolder);
    m_handOversAtOpen = m_frontEnd.control.handOvers();
    if (!acquire()) {
        return finish();
    }
    CutVerdict verdict = decide();
    if (m_rom.gba) {
        pump();
    }
    // An image whose header does not check out keeps even its name.
    m_keepName = verdict.headerMismatch;
    if (m_dat && !identify()) {
        return finish();
    }
    if (!applyVerdict(verdict)) {
        return finish();
    }
    if (m_dat) {
        const bool kept = m_restoring
                              ? m_dat->restoreToTheDump(verdict, entryName())
                              : m_dat->keepsTheDump(static_cast<std::uint64_t>(*verdict.cutSize),
                                                    m_acquisition.size(), entryName());
        if (!kept) {
            return finish();
        }
    }
    m_rom.resultSize = *verdict.cutSize;
    m_sizeAssumed = verdict.sizeAssumed;
    accountSavings();
}

// A member is read as it comes, straight into a new file beside its final name: only its
// finished result ever takes that name, so a run stopped half-way leaves no untrimmed
// member where a result is expected.
bool EntryJob::acquire() {
    if (!m_archiveKind) {
        return m_acquisition.openFile(RomAccess::AsTheRunNeeds);
    }
    if (!archiveExists()) {
        return false;
    }
    const std::string outputPath = memberOutputPath();
    // Where the result was to go, also when the member cannot be had.
    m_record.facts().output = outputPath;
    prepareMemberOutput(outputPath);
    if (m_memberOutputFailure) {
        // Nothing is read for an output that cannot be made.
        failOutput(*m_memberOutputFailure);
        return false;
    }
    return m_acquisition.readMember(*m_archiveKind, m_receiver);
}

bool EntryJob::archiveExists() {
    if (!m_writer.exists(m_rom.archivePath)) {
        m_record.error("ERROR(2): File doesn't exist: " + NamePart(m_rom.archivePath));
        return false;
    }
    return true;
}

// Identifying alone: the rom is read and identified, and the entry ends there.
void EntryJob::examineForIdentification() {
    if (acquireToRead()) {
        identify();
    }
    finish();
}

// A rom file is opened for reading only. A member is read into a file without a name, beside
// its archive or else in the temporary folder, since hashing reads it whole.
bool EntryJob::acquireToRead() {
    if (!m_archiveKind) {
        return m_acquisition.openFile(RomAccess::ReadOnly);
    }
    if (!archiveExists()) {
        return false;
    }
    if (Status status = m_unnamedCopy.createUnnamedNear(FolderPart(m_rom.archivePath)); !status) {
        m_record.error(FileFailureText(FileAction::Create, status) + entryName());
        return false;
    }
    return m_acquisition.readMember(*m_archiveKind, &m_unnamedCopy);
}

// Where a member's result goes: beside its archive, or into the output folder.
std::string EntryJob::memberOutputPath() const {
    const std::string& folder =
        m_options.fileMode == FileMode::Folder ? m_options.outputFolder : m_rom.outputFolder;
    return folder + StripMemberPath(m_rom.name);
}

// The output of a member is readied before its bytes come, so that they go into it at
// once. Why it could not be is told where a rom file's output failure is told.
void EntryJob::prepareMemberOutput(const std::string& path) {
    m_memberTarget = OutputTarget{OutputTarget::Kind::NewFile, path, "", false};
    m_memberTarget.neverReplaces = true;
    const bool taken = m_writer.exists(path);
    m_nameTakenByOther = taken;
    // The image is needed whole to compare its result with the file that stands there, to
    // patch it, or to hash it for the DATs.
    const bool imageNeeded = taken || m_dat || (m_rom.gba && m_options.sramPatch);
    m_memberOutputFailure = m_writer.prepareStreamed(m_memberTarget, imageNeeded, m_receiver);
    m_outputPrepared = !m_memberOutputFailure;
}

// A member read as it came is decided from its scan, which gives the same decisions.
CutVerdict EntryJob::decide() const {
    const ImageScan* scan = m_acquisition.scan();
    const ByteSource& source = scan ? *scan : m_acquisition.bytes();
    const HeaderCheck headerCheck =
        m_options.headerCheck ? HeaderCheck::Required : HeaderCheck::Off;
    if (m_restoring) {
        // With DATs, the dump the image is decides its size.
        return DecideRestore(source, m_rom.gba, headerCheck, m_dat.has_value());
    }
    CutVerdict verdict = !m_rom.gba ? DecideNdsCut(source, m_options.skipDsi, headerCheck)
                         : scan     ? DecideGbaCut(*scan, m_options.onlyPatch)
                                    : DecideGbaCut(source, m_options.onlyPatch);
    if (m_options.checkPadding) {
        if (scan) {
            CheckCutPadding(*scan, verdict);
        } else {
            CheckCutPadding(source, verdict);
        }
    }
    return verdict;
}

bool EntryJob::applyVerdict(const CutVerdict& verdict) {
    for (const VerdictMessage& message : verdict.messages) {
        const std::string text = message.text + romName();
        switch (message.kind) {
            case VerdictLine::Note:
                m_record.line(text);
                break;
            case VerdictLine::Bricker:
                m_record.line(text);
                m_record.notice({NoticeKind::Warning, kBrickerNotice, {}});
                break;
            case VerdictLine::Wifi:
                m_record.line(text);
                m_record.facts().wifi = true;
                m_record.counted(CounterLabel::Wifi);
                break;
            case VerdictLine::Skip:
                m_record.skip(text, SkipReason::Decision);
                return false;
            case VerdictLine::DsiSkip:
                m_record.skip(text, SkipReason::Dsi);
                return false;
            case VerdictLine::Error:
                m_record.error(text);
                return false;
        }
    }
    return verdict.cutSize.has_value();
}

// The one place an entry is identified against the DATs, whatever the file option.
// A rom file read as it is (not as this run has left it) may have been checked ahead.
bool EntryJob::identify() {
    std::optional<DatCheck> checkedAhead;
    if (m_checkedAhead && m_acquisition.file()) {
        checkedAhead = m_checkedAhead(*m_acquisition.file());
    }
    if (checkedAhead) {
        m_dat->identifyFrom(std::move(*checkedAhead), entryName());
    } else if (!m_dat->identify(m_acquisition.bytes(), m_rom.gba ? ImageKind::Gba : ImageKind::Nds,
                                entryName())) {
        return false;
    }
    pump();
    return true;
}

void EntryJob::accountSavings() {
    m_savings = static_cast<std::int64_t>(m_acquisition.size()) - m_rom.resultSize;
    m_record.facts().decidedSize = static_cast<std::uint64_t>(m_rom.resultSize);
    m_record.counted(CounterLabel::Savings);
}

// ---- plan the output --------------------------------------------------------------------

void EntryJob::prepareOutput() {
    if (finished()) {
        return;
    }
    if (!m_restoring) {
        m_record.line(changedName() + ": " + std::to_string(m_savings));
    }
    if (m_archiveKind) {
        m_record.facts().output = m_memberTarget.path;
        return;  // readied before the bytes came, which are in it now
    }
    OutputTarget target = chooseTarget();
    if (target.kind == OutputTarget::Kind::InPlace) {
        if (m_acquisition.updateRefusal()) {
            return failOutput({OutputStage::Open, *m_acquisition.updateRefusal()});
        }
        if (changesMoreThanACut()) {
            target.kind = OutputTarget::Kind::Replace;
        }
    }
    m_record.facts().output = target.path;
    m_keptAs = target.backup;
    m_outputPrepared = true;
    if (const std::optional<OutputFailure> failure =
            m_writer.prepare(target, m_acquisition.source())) {
        m_outputPrepared = false;
        return failOutput(*failure);
    }
}

// Where the result of a rom file goes, by the file option.
OutputTarget EntryJob::chooseTarget() const {
    const std::string name = StripMemberPath(m_rom.name);
    switch (m_options.fileMode) {
        case FileMode::Overwrite:
            return {OutputTarget::Kind::InPlace, m_rom.outputFolder + name, "", false};
        case FileMode::Backup:
            return {OutputTarget::Kind::KeepOriginal, m_rom.outputFolder + name,
                    m_rom.outputFolder + name + ".bak", false};
        case FileMode::Folder: {
            OutputTarget target{OutputTarget::Kind::NewFile, m_options.outputFolder + name, "",
                                !m_options.dontOverwrite};
            // "Don't overwrite" refuses only a file that is not already the result.
            target.neverReplaces = m_options.dontOverwrite;
            return target;
        }
    }
    return {};
}

// A cut alone is one ftruncate, done in place; a restore only appends filler at the end of
// the rom, which a kill leaves as the rom followed by part of its filler (the next restore
// completes it, a trim cuts it back). A patch writes bytes inside the image, which a kill
// could leave half written: such an image is written whole beside the rom and renamed over
// it. A patch that would change nothing leaves the cut in place, and is not searched for a
// second time.
bool EntryJob::changesMoreThanACut() {
    if (m_restoring) {
        return m_rom.gba && m_options.sramPatch;
    }
    const auto size = static_cast<std::uint64_t>(m_rom.resultSize);
    if (!m_rom.gba || !m_options.sramPatch || !m_patcher.checkImageSize(size)) {
        return false;
    }
    SramPatchResult planned;
    if (!m_patcher.plan(LeadingBytes(m_acquisition.bytes(), size), planned)) {
        return true;  // without an answer the patch is taken to change the image
    }
    m_plannedPatch = planned;
    return planned.outcome == SramPatchOutcome::Patched;
}

// ---- write ------------------------------------------------------------------------------

void EntryJob::writeOutput() {
    if (finished()) {
        return;
    }
    const auto size = static_cast<std::uint64_t>(m_rom.resultSize);
    m_setSingleGauge(0, size);
    const DatRom* restoredDump = m_dat ? m_dat->restoredDump() : nullptr;
    OutputContent content{
        .image = m_acquisition.bytes(),
        .file = m_acquisition.file(),
        // A restore keeps the whole rom and pads it up to its size.
        .keptSize = std::min(size, m_acquisition.size()),
        .size = size,
        .sramPatch = m_rom.gba && m_options.sramPatch,
        .plannedPatch = m_plannedPatch ? &*m_plannedPatch : nullptr,
        .filler = m_dat ? m_dat->restoreFiller() : kRestoreFiller,
        .verify = {},
        .inOutput = m_archiveKind.has_value(),
        .sizeMayHaveChanged = m_frontEnd.control.handOvers() != m_handOversAtOpen,
        .origin = {},
    };
    content.origin = resultOrigin(content);
    if (restoredDump) {
        content.verify = [restoredDump](const ByteSource& result) {
            return VerifyDatDump(result, *restoredDump);
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
    EntryFacts& facts = m_record.facts();
    if (result.alreadyThere) {
        m_nameTakenByOther = false;
        facts.sizeAfter = result.size;  // what the file at the output's name holds
        const std::string name = NamePart(facts.output.value_or(m_memberTarget.path));
        return m_record.skip(
            (result.madeInThisRun ? "SKIP: Already there, made earlier in this run: "
                                  : "SKIP: Already there from an earlier run: ") +
                name,
            SkipReason::Decision);
    }
    facts.written = true;
    facts.sizeAfter = result.size;
    if (m_restoring) {
        m_record.line(RestoredLine(changedName(), static_cast<std::uint64_t>(-m_savings),
                                   m_sizeAssumed ? std::optional(size) : std::nullopt));
    }
}

// The rom file, or the archive and member, the result is made of, and how.
ResultOrigin EntryJob::resultOrigin(const OutputContent& content) const {
    return {
        .source = m_archiveKind ? m_rom.archivePath + "| " + m_rom.name : m_rom.filePath,
        .keptSize = content.keptSize,
        .size = content.size,
        .filler = content.filler,
        .sramPatch = content.sramPatch,
    };
}

void EntryJob::failOutput(const OutputFailure& failure) {
    if (m_outputPrepared) {
        m_writer.discard();
        m_outputPrepared = false;
    }
    const Status& status = failure.status;
    switch (failure.stage) {
        case OutputStage::Open:
            m_record.error(FileFailureText(FileAction::Open, status) + romName());
            break;
        case OutputStage::Create:
            m_record.error(FileFailureText(FileAction::Create, status) + romName());
            break;
        case OutputStage::KeepOriginal:
            if (IsHeldByAnotherRun(status)) {
                // Another run kept the original and put its result in place meanwhile.
                m_record.skip("SKIP: In use by another run: " + romName(), SkipReason::Decision);
                break;
            }
            // The text users know, whatever the cause; the cause is told beside it.
            m_record.error("Error: File is Read-Only: " + m_rom.name);
            m_record.diagnostic("Cannot keep the original as " + NamePart(m_keptAs) + ": " +
                                BackupFailureCause(status));
            break;
        case OutputStage::Read:
            m_record.error(FileFailureText(FileAction::Read, status) + romName());
            break;
        case OutputStage::SourceEnded:
            // The rom ended before the bytes it had when it was read: it shrank since.
            m_record.error("ERROR: File changed since it was read: " + romName());
            break;
        case OutputStage::Write:
            m_record.error(IsChangedSinceRead(status)
                               ? "ERROR: File changed since it was read: " + romName()
                               : FileFailureText(FileAction::Write, status) + romName());
            break;
        case OutputStage::SramPatch:
            break;  // the patch's own line has told it
        case OutputStage::Verify:
            m_record.error(kRestoredNotTheDumpText + entryName());
            m_record.diagnostic("Restored image of " + m_rom.name +
                                " not kept: " + status.reason());
            break;
        case OutputStage::Occupied:
            // The file there is not this run's result: it keeps its name too.
            m_nameTakenByOther = true;
            if (m_options.fileMode == FileMode::Folder && m_options.dontOverwrite) {
                m_record.error(kFileExistsText);
                break;
            }
            m_record.error(
                "ERROR: A different file is already there, left as it is: " + m_memberTarget.path +
                " (not replaced by " + m_rom.name + " of " + NamePart(m_rom.archivePath) + ")");
            break;
    }
    finish();
}

void EntryJob::recordPatch(const SramPatchResult& patch) {
    m_record.facts().sramPatch = patch.outcome;
    if (patch.outcome == SramPatchOutcome::Failed) {
        m_record.error("ERROR: SRAM patch failed (" + patch.line + "): " + romName());
        return;
    }
    m_record.line(patch.line);
    const std::optional<DatFacts>& dat = m_record.facts().dat;
    const bool aDump = dat && (dat->match == DatMatchOutcome::FullDump ||
                               dat->match == DatMatchOutcome::TrimmedDump);
    if (aDump && patch.outcome == SramPatchOutcome::Patched) {
        // Only a backup keeps the dump now: a later restore cannot find it in the DATs.
        m_record.line("WARNING: Patched, no longer the DAT's dump: " + entryName(),
                      LineKind::Warning);
    }
}

// ---- rename -----------------------------------------------------------------------------

void EntryJob::removeSceneNumber() {
    if (m_keepName || m_nameTakenByOther || CharacterCount(m_renameTarget) < 12) {
        return;
    }
    const std::string oldName = NamePart(m_renameTarget);
    const auto newName = NameWithoutSceneNumber(oldName);
    if (!newName || !m_writer.exists(m_renameTarget)) {
        return;
    }
    const std::string newPath = FolderPart(m_renameTarget) + *newName;
    const Status status = m_writer.rename(m_renameTarget, newPath);
    const bool renamed = status.ok();
    EntryFacts& facts = m_record.facts();
    facts.rename = renamed ? RenameOutcome::Renamed : RenameOutcome::Failed;
    if (renamed && facts.output == m_renameTarget) {
        // The output now stands under its new name only.
        facts.renamedFrom = m_renameTarget;
        facts.output = newPath;
    }
    m_record.line(
        (renamed ? "Rename succesful: " : "Rename FAILED: ") + oldName + " -> " + *newName,
        renamed ? LineKind::Info : LineKind::Failure);
    if (!renamed) {
        // A failure is counted like any other.
        facts.renameFailure = status.reason();
        m_record.countError();
        m_record.diagnostic("Cannot rename " + m_renameTarget + " to " + newPath + ": " +
                            status.reason());
    }
}

}  // namespace ostravex
