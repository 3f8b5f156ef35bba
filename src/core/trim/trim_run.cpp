#include "trim/trim_run.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <span>
#include <stdexcept>

#include "io/byte_source.h"
#include "io/copy_range.h"
#include "io/fill_range.h"
#include "io/padded_byte_source.h"
#include "io/paths.h"
#include "runlog/counter_labels.h"
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

// The first `size` bytes of a source: the part of an image that a cut output would hold.
class LeadingBytes final : public ByteSource {
  public:
    LeadingBytes(const ByteSource& whole, std::uint64_t size) : m_whole(whole), m_size(size) {}
    std::uint64_t size() const override { return m_size; }
    Status readAt(std::uint64_t offset, std::span<std::uint8_t> out,
                  std::size_t& got) const override {
        got = 0;
        if (offset >= m_size) {
            return Status::success();
        }
        const auto length =
            static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), m_size - offset));
        return m_whole.readAt(offset, out.first(length), got);
    }

  private:
    const ByteSource& m_whole;
    std::uint64_t m_size;
};
}  // namespace

class TrimRun::OutputStrategy {
  public:
    virtual ~OutputStrategy() = default;
    // Whether a file to be cut in place is opened for update when it is examined.
    virtual bool opensSourceForUpdate() const = 0;
    virtual void createOutput(TrimRun& run, const std::string& path, bool mayReplace) const = 0;
    virtual void openInPlaceOutput(TrimRun& run, const std::string& path) const = 0;
    virtual void createBackedUpOutput(TrimRun& run, const std::string& path,
                                      const std::string& backup) const = 0;
    virtual void writeOutput(TrimRun& run) const = 0;
    // True when the file has (or would have) its new name.
    virtual bool rename(const std::string& from, const std::string& to) const = 0;
};

class TrimRun::WritingOutput final : public TrimRun::OutputStrategy {
  public:
    bool opensSourceForUpdate() const override { return true; }
    void createOutput(TrimRun& run, const std::string& path, bool mayReplace) const override {
        run.createOutput(path, mayReplace);
    }
    void openInPlaceOutput(TrimRun& run, const std::string& path) const override {
        run.openInPlaceOutput(path);
    }
    void createBackedUpOutput(TrimRun& run, const std::string& path,
                              const std::string& backup) const override {
        run.createBackedUpOutput(path, backup);
    }
    void writeOutput(TrimRun& run) const override { run.writeOutput(); }
    bool rename(const std::string& from, const std::string& to) const override {
        return RenameNoReplace(from, to).ok();
    }
};

class TrimRun::DryRunOutput final : public TrimRun::OutputStrategy {
  public:
    bool opensSourceForUpdate() const override { return false; }
    void createOutput(TrimRun&, const std::string&, bool) const override {}
    void openInPlaceOutput(TrimRun&, const std::string&) const override {}
    void createBackedUpOutput(TrimRun&, const std::string&, const std::string&) const override {}
    void writeOutput(TrimRun& run) const override { run.logPlannedOutput(); }
    bool rename(const std::string&, const std::string& to) const override {
        return !FileExists(to) && !DirectoryExists(to);
    }
};

RunEnd TrimRun::run(const std::vector<RomListEntry>& romlist) {
    static const WritingOutput kWriting;
    static const DryRunOutput kDryRun;
    m_strategy =
        m_host.option(Option::DryRun) ? static_cast<const OutputStrategy*>(&kDryRun) : &kWriting;
    m_host.setBusy(true);
    m_counters = RunCounters{};
    m_host.clearHalt();
    m_host.setGauge(Gauge::Run, 0, romlist.size());
    m_host.setLabel(CounterLabel::Savings, restoring() ? kAddedCaption : kSavingsCaption);
    m_host.setLabel(CounterLabel::Wifi, kWifiCaption);
    m_host.setLabel(CounterLabel::Errors, kErrorsCaption);
    m_host.setLabel(CounterLabel::Skipped, kSkippedCaption);
    m_host.clearLog();
    m_host.addLog("Log");
    m_host.addLog("");
    m_host.addLog("");
    m_output.forgetCleanedFolders();
    const auto start = std::chrono::steady_clock::now();

    for (std::size_t i = 0; i < romlist.size(); ++i) {
        CurrentRom = LoadInfo{};
        if (m_host.haltRequested()) {
            return halt();
        }
        if (processEntry(romlist[i]) == EntryEnd::Halted) {
            return halt();
        }
        endEntry();
        m_counters.ProcessedCount = static_cast<std::int32_t>(i + 1);
        m_host.setLabel(CounterLabel::Complete,
                        ProcessedLabel(m_counters.ProcessedCount, romlist.size()));
        m_host.setGauge(Gauge::Run, i + 1, romlist.size());
        if (m_host.option(Option::RemoveSceneNumbers)) {
            DoRenameFile();
        }
        reportEntry(romlist[i]);
        m_host.pump();
    }

    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    m_host.addLog("Processing Finished.");
    m_host.addLog("");
    m_host.addLog(
        "Trimming took " +
        FormatFixed2(static_cast<double>(elapsed.count()) / 1000.0, m_host.decimalSeparator()) +
        " seconds.");
    setSingleGauge(m_singleMaximum, m_singleMaximum);
    m_host.setGauge(Gauge::Run, romlist.size(), romlist.size());
    releaseHelpers();
    m_host.setBusy(false);
    return RunEnd::Finished;
}

TrimRun::EntryEnd TrimRun::processEntry(const RomListEntry& entry) {
    try {
        startEntry(entry);
        Loadrom();
        GetRenameFilename();
        if (CurrentRom.NeedsContinue) {
            return EntryEnd::Done;
        }
        m_host.pump();
        // The last moment to stop before anything of this entry is written.
        if (m_host.haltRequested()) {
            endEntry();
            return EntryEnd::Halted;
        }
        SetOutputFile();
        if (!CurrentRom.NeedsContinue) {
            WriteOutputFile();
        }
    } catch (const std::bad_alloc&) {
        failForMemory(entry);
    } catch (const std::length_error&) {
        failForMemory(entry);  // a size beyond what any allocation can give
    }
    return EntryEnd::Done;
}

// One entry that needs more memory than there is fails alone: what it began to write is
// dropped and the run goes on.
void TrimRun::failForMemory(const RomListEntry& entry) {
    endEntry();
    countError("ERROR: Not enough memory: " +
               (CurrentRom.filename.empty() ? NamePart(entry.romName()) : romName()));
    finishEntry();
}

RunEnd TrimRun::halt() {
    releaseHelpers();
    m_host.addLog("Operations Halted");
    m_host.clearHalt();
    m_host.setBusy(false);
    return RunEnd::Halted;
}

void TrimRun::startEntry(const RomListEntry& entry) {
    m_countersAtStart = m_counters;
    m_sizeBefore.reset();
    m_entryLog.startRecording();
    endEntry();
    m_entry = entry;
    CurrentRom = LoadInfoFromEntry(entry, m_host.fileMode(), m_host.outputFolder());
    SourceSize = 0;
    RomSavings = 0;
}

void TrimRun::endEntry() {
    m_source.close();
    m_sourceWritable = false;
    m_updateFailure = Status::success();
    m_output.discard();
    m_unchangedPatchLine.reset();
    m_patchPreviewed = false;
    RomBuffer.clear();
    RomBuffer.shrink_to_fit();
    m_memberSource.reset();
}

std::string TrimRun::romName() const {
    return NamePart(CurrentRom.filename);
}

void TrimRun::countError(const std::string& line) {
    m_host.addLog(line);
    ++m_counters.ErrorCount;
    m_host.setLabel(CounterLabel::Errors, ErrorsLabel(m_counters.ErrorCount));
}

void TrimRun::countSkip(const std::string& line) {
    m_host.addLog(line);
    ++m_counters.SkippedCount;
    m_host.setLabel(CounterLabel::Skipped, SkippedLabel(m_counters.SkippedCount));
}

void TrimRun::setSingleGauge(std::uint64_t position, std::uint64_t maximum) {
    m_singleMaximum = maximum;
    m_host.setGauge(Gauge::SingleRom, position, maximum);
}

// ---- examining the rom ------------------------------------------------------------------

void TrimRun::Loadrom() {
    CurrentRom.iszip = false;
    if (CurrentRom.Compressed && !FileExists(CurrentRom.CompressedFile)) {
        countError("ERROR(2): File doesn't exist: " + NamePart(CurrentRom.CompressedFile));
        return finishEntry();
    }
    if (CurrentRom.Compressed) {
        extractMember();
        if (CurrentRom.NeedsContinue) {
            return;
        }
    }
    if (!openSource()) {
        return finishEntry();
    }

    const FileByteSource fileSource(m_source, static_cast<std::uint64_t>(SourceSize));
    const MemoryByteSource memorySource(RomBuffer);
    const ByteSource& source = m_memberSource     ? *m_memberSource
                               : CurrentRom.iszip ? static_cast<const ByteSource&>(memorySource)
                                                  : fileSource;
    CutVerdict verdict = restoring() ? DecideRestore(source, CurrentRom.GBAFile)
                         : CurrentRom.GBAFile
                             ? DecideGbaCut(source, m_host.option(Option::OnlyPatch))
                             : DecideNdsCut(source, m_host.option(Option::SkipDsi));
    if (!restoring() && m_host.option(Option::CheckPadding)) {
        CheckCutPadding(source, verdict);
    }
    if (CurrentRom.GBAFile) {
        m_host.pump();
    }
    if (!applyVerdict(verdict)) {
        m_source.close();
        return finishEntry();
    }
    CurrentRom.RomSize = *verdict.cutSize;
    CurrentRom.haswifi = verdict.hasWifi;
    accountSavings();

    if (!CurrentRom.iszip && IsWrittenInPlace(CurrentRom, m_host.fileMode()) && !m_sourceWritable) {
        m_source.close();
    }
    // Otherwise a file source stays open: cut in place, it becomes the output itself;
    // copied, its first RomSize bytes are streamed into the output when it is written, so
    // no copy of the image is held in memory.
    setSingleGauge(m_singleMaximum, m_singleMaximum);
}

void TrimRun::extractMember() {
    const ArchiveKind kind = m_entry.archive.value();  // only called for members
    const bool extractsToDisk = kind != ArchiveKind::Zip;
    if (extractsToDisk && m_host.fileMode() == FileMode::Folder &&
        m_host.option(Option::DontOverwrite) &&
        FileExists(m_host.outputFolder() + StripMemberPath(CurrentRom.filename))) {
        countError("Error: file-exists in the new output folder. Skipping this rom");
        return finishEntry();
    }
    ExtractionContext context{CurrentRom, RomBuffer, m_host,
                              [this](const std::string& line) { countError(line); },
                              m_memberSource};
    m_extraction.SetCompressedStuff(kind, context);
}

bool TrimRun::openSource() {
    if (CurrentRom.iszip) {
        SourceSize =
            static_cast<std::int64_t>(m_memberSource ? m_memberSource->size() : RomBuffer.size());
        m_sizeBefore = static_cast<std::uint64_t>(SourceSize);
        setSingleGauge(0, 100);
        return true;
    }
    // A file cut in place is opened once, for update, and read and cut through the same
    // descriptor. Without write access it is still examined; the output step reports why
    // it cannot be cut.
    const bool forUpdate =
        m_strategy->opensSourceForUpdate() && IsWrittenInPlace(CurrentRom, m_host.fileMode());
    Status status = forUpdate ? m_source.openForUpdate(CurrentRom.RawName)
                              : m_source.openForReading(CurrentRom.RawName);
    m_sourceWritable = forUpdate && status.ok();
    if (forUpdate && !status && IsMissingWriteAccess(status.code())) {
        m_updateFailure = status;
        status = m_source.openForReading(CurrentRom.RawName);
    }
    if (IsHeldByAnotherRun(status)) {
        m_source.close();
        countSkip("SKIP: In use by another run: " + NamePart(CurrentRom.RawName));
        return false;
    }
    if (!status) {
        m_source.close();
        countError(CurrentRom.Compressed || FileExists(CurrentRom.RawName)
                       ? FileFailureText(FileAction::Open, status) + NamePart(CurrentRom.RawName)
                       : "ERROR: File doesn't exist: " + NamePart(CurrentRom.RawName));
        return false;
    }
    const std::uint64_t size = m_source.sizeAtOpen();
    SourceSize = static_cast<std::int64_t>(size);
    m_sizeBefore = size;
    setSingleGauge(0, size);
    return true;
}

bool TrimRun::applyVerdict(const CutVerdict& verdict) {
    for (const VerdictMessage& message : verdict.messages) {
        const std::string line = message.text + romName();
        switch (message.kind) {
            case VerdictLine::Note:
                m_host.addLog(line);
                break;
            case VerdictLine::Bricker:
                m_host.addLog(line);
                m_host.notice(kBrickerNotice);
                break;
            case VerdictLine::Wifi:
                m_host.addLog(line);
                ++m_counters.WifiCount;
                m_host.setLabel(CounterLabel::Wifi, WifiLabel(m_counters.WifiCount));
                break;
            case VerdictLine::Skip:
                countSkip(line);
                return false;
            case VerdictLine::Error:
                countError(line);
                return false;
        }
    }
    return verdict.cutSize.has_value();
}

void TrimRun::accountSavings() {
    RomSavings = SourceSize - CurrentRom.RomSize;
    if (restoring()) {
        m_counters.TotalAdded -= RomSavings;
        return m_host.setLabel(CounterLabel::Savings,
                               AddedLabel(m_counters.TotalAdded, m_host.decimalSeparator()));
    }
    m_counters.TotalSavings += RomSavings;
    m_host.setLabel(CounterLabel::Savings,
                    SavingsLabel(m_counters.TotalSavings, m_host.decimalSeparator()));
}

// ---- writing the result -----------------------------------------------------------------

void TrimRun::GetRenameFilename() {
    RenameFilename = RenameTarget(CurrentRom, m_host.fileMode(), m_host.outputFolder());
}

void TrimRun::SetOutputFile() {
    CurrentRom.NeedsContinue = false;
    if (!restoring()) {
        m_host.addLog(CurrentRom.filename + ": " + std::to_string(RomSavings));
    }
    const std::string outputName = StripMemberPath(CurrentRom.filename);

    switch (m_host.fileMode()) {
        case FileMode::Overwrite: {
            const std::string path = CurrentRom.OutFolder + outputName;
            if (CurrentRom.iszip) {
                m_strategy->createOutput(*this, path, /*mayReplace=*/true);
            } else {
                m_strategy->openInPlaceOutput(*this, path);
            }
            return;
        }
        case FileMode::Backup: {
            const std::string path = CurrentRom.OutFolder + outputName;
            if (CurrentRom.iszip) {
                // A zip member replaces an earlier output; the archive is its original.
                m_strategy->createOutput(*this, path, /*mayReplace=*/true);
            } else {
                openBackedUpOutput(path);
            }
            return;
        }
        case FileMode::Folder: {
            const std::string path = m_host.outputFolder() + outputName;
            const bool extractedMember = CurrentRom.Compressed && !CurrentRom.iszip;
            const bool dontOverwrite = m_host.option(Option::DontOverwrite);
            // Extracted members were tested before extraction; they stand there now.
            if (dontOverwrite && !extractedMember && FileExists(path)) {
                countError("Error: file-exists in the new output folder. Skipping this rom");
                return finishEntry();
            }
            if (extractedMember && FileExists(CurrentRom.RawName)) {
                m_strategy->openInPlaceOutput(*this, CurrentRom.RawName);
            } else {
                m_strategy->createOutput(*this, path, /*mayReplace=*/!dontOverwrite);
            }
            return;
        }
    }
}

void TrimRun::createOutput(const std::string& path, bool mayReplace) {
    if (const Status status = m_output.createNew(path, mayReplace); !status) {
        failOutput(FileFailureText(FileAction::Create, status) + romName());
    }
}

void TrimRun::openInPlaceOutput(const std::string& path) {
    if (!m_updateFailure) {
        return failOutput(FileFailureText(FileAction::Open, m_updateFailure) + romName());
    }
    // The source is open, and locked, whenever it was read from a file.
    if (m_source.isOpen() && changesMoreThanACut()) {
        if (Status status = m_output.createReplacement(path, m_source); !status) {
            failOutput(FileFailureText(FileAction::Create, status) + romName());
        }
        return;
    }
    if (m_sourceWritable) {
        m_output.adoptInPlace(std::move(m_source), path);
        m_sourceWritable = false;
        return;
    }
    if (Status status = m_output.openInPlace(path); !status) {
        failOutput(FileFailureText(FileAction::Open, status) + romName());
    }
}

// A cut alone is one ftruncate, done in place. Padding or patching writes bytes, which a
// kill could leave half written: such an image is written whole beside the rom and renamed
// over it. A patch that would change nothing leaves the cut in place.
bool TrimRun::changesMoreThanACut() {
    if (restoring()) {
        return true;
    }
    const auto size = static_cast<std::uint64_t>(CurrentRom.RomSize);
    if (!CurrentRom.GBAFile || !m_host.option(Option::SramPatch) ||
        !m_patcher.checkImageSize(size)) {
        return false;
    }
    bool changes = true;
    std::string line;
    const Status previewed = m_patcher.preview(FileByteSource(m_source, size), changes, line);
    // Either way the image is not searched a second time.
    if (previewed && !changes) {
        m_unchangedPatchLine = line;
    }
    m_patchPreviewed = previewed && changes;
    return !previewed || changes;
}

// The trimmed copy is written beside the original under a temporary name; only when it
// is complete does the original get its ".bak" name (OutputFile::commit), so the rom's
// name never stands empty while a copy is made.
void TrimRun::openBackedUpOutput(const std::string& path) {
    const std::string backup = path + ".bak";
    if (Status free = BackupNameUsable(backup, m_source); !free) {
        return refuseBackup(backup, free);
    }
    m_strategy->createBackedUpOutput(*this, path, backup);
}

void TrimRun::createBackedUpOutput(const std::string& path, const std::string& backup) {
    if (Status status = m_output.createReplacement(path, m_source); !status) {
        return refuseBackup(backup, status);
    }
    m_output.keepOriginalAs(backup);
}

void TrimRun::refuseBackup(const std::string& backup, const Status& reason) {
    m_output.discard();
    countError("Error: File is Read-Only: " + CurrentRom.filename);
    m_host.diagnostic("Cannot keep the original as " + NamePart(backup) + ": " + reason.reason());
    finishEntry();
}

void TrimRun::failOutput(const std::string& line) {
    m_output.discard();
    countError(line);
    finishEntry();
}

void TrimRun::WriteOutputFile() {
    m_strategy->writeOutput(*this);
}

void TrimRun::logPlannedOutput() {
    if (CurrentRom.GBAFile && m_host.option(Option::SramPatch) &&
        !refuseOversizedSramPatch(static_cast<std::uint64_t>(CurrentRom.RomSize))) {
        if (Status status = logPlannedSramPatch(); !status) {
            countError(sramPatchFailureLine(status));
            return m_source.close();
        }
    }
    logRestored();
    m_source.close();
}

void TrimRun::writeOutput() {
    const auto cutSize = static_cast<std::uint64_t>(CurrentRom.RomSize);
    // A restore keeps the whole source and pads it up to the cut size.
    const auto keptSize = std::min(cutSize, static_cast<std::uint64_t>(SourceSize));
    setSingleGauge(0, cutSize);
    File& output = m_output.file();
    const CopyProgress progress = [this, cutSize](std::uint64_t copied) {
        setSingleGauge(copied, cutSize);
        m_host.pump();
    };

    if (m_output.inPlace()) {
        if (Status status = m_output.cutInPlace(keptSize); !status) {
            return failOutput(writeFailureLine(status));
        }
    } else {
        if (Status status = output.reserve(cutSize); !status) {
            return failOutput(FileFailureText(FileAction::Write, status) + romName());
        }
        const CopyOutcome outcome =
            CurrentRom.iszip
                ? CopyBytesToFile(std::span(RomBuffer).first(static_cast<std::size_t>(keptSize)),
                                  output, progress)
                : CopyFileStart(m_source, output, keptSize, progress);
        switch (outcome.kind) {
            case CopyOutcome::Kind::Done:
                break;
            case CopyOutcome::Kind::SourceEnded:
                return failOutput("Error: Memcopy failed: " + CurrentRom.filename);
            case CopyOutcome::Kind::ReadFailed:
                return failOutput(FileFailureText(FileAction::Read, outcome.status) + romName());
            case CopyOutcome::Kind::WriteFailed:
                return failOutput(FileFailureText(FileAction::Write, outcome.status) + romName());
        }
        if (Status status = output.setLength(cutSize); !status) {
            return failOutput(FileFailureText(FileAction::Write, status) + romName());
        }
    }
    // The source stays open, and locked, until its replacement has its name.
    if (Status status = FillRange(output, keptSize, cutSize, kRestoreFiller, progress); !status) {
        return failOutput(FileFailureText(FileAction::Write, status) + romName());
    }

    if (CurrentRom.GBAFile && m_host.option(Option::SramPatch) &&
        !refuseOversizedSramPatch(cutSize)) {
        if (m_unchangedPatchLine) {
            m_host.addLog(*m_unchangedPatchLine);
        } else if (Status status = m_patchPreviewed ? m_patcher.applyPreview(output, m_host)
                                                    : m_patcher.SRAMPatch(output, m_host);
                   !status) {
            // The output is dropped: the rom keeps its original bytes, in place too.
            return failOutput(sramPatchFailureLine(status));
        }
    }
    if (Status status = m_output.commit(progress); !status) {
        if (m_output.failedStep() == OutputStep::KeepOriginal) {
            return refuseBackup(
                CurrentRom.OutFolder + StripMemberPath(CurrentRom.filename) + ".bak", status);
        }
        return failOutput(writeFailureLine(status));
    }
    m_source.close();
    logRestored();
}

std::string TrimRun::writeFailureLine(const Status& status) const {
    if (IsChangedSinceRead(status)) {
        return "ERROR: File changed since it was read: " + romName();
    }
    return FileFailureText(FileAction::Write, status) + romName();
}

void TrimRun::logRestored() {
    if (restoring()) {
        m_host.addLog(RestoredLine(CurrentRom.filename, static_cast<std::uint64_t>(-RomSavings)));
    }
}

void TrimRun::reportEntry(const RomListEntry& entry) {
    EntryReport report;
    report.listText = entry.text();
    report.gba = CurrentRom.GBAFile;
    if (entry.isMember()) {
        report.archive = entry.path;
        report.member = entry.member;
    }
    report.lines = m_entryLog.takeLines();
    report.notices = m_entryLog.takeNotices();
    const ostravex::EntryEnd end{
        .errorCounted = m_counters.ErrorCount > m_countersAtStart.ErrorCount,
        .skipCounted = m_counters.SkippedCount > m_countersAtStart.SkippedCount,
        .finishedEarly = CurrentRom.NeedsContinue,
        .restoring = restoring(),
        .hasWifi = CurrentRom.haswifi};
    report.outcome = OutcomeOfEntry(end, report.lines);
    report.sizeBefore = m_sizeBefore;
    const bool written = report.outcome == EntryOutcome::Trimmed ||
                         report.outcome == EntryOutcome::Wifi ||
                         report.outcome == EntryOutcome::Restored;
    report.sizeAfter =
        written ? std::optional(static_cast<std::uint64_t>(CurrentRom.RomSize)) : m_sizeBefore;
    if (report.sizeBefore && report.sizeAfter) {
        report.bytesSaved = static_cast<std::int64_t>(*report.sizeBefore) -
                            static_cast<std::int64_t>(*report.sizeAfter);
    }
    report.sramPatch = SramPatchOutcomeOf(report.lines);
    m_host.entryFinished(report);
}

std::string TrimRun::sramPatchFailureLine(const Status& status) const {
    return "ERROR: SRAM patch failed (" + status.reason() + "): " + romName();
}

// No cartridge is larger than 32 MiB: such an image is not patched, while its trimming goes
// on as decided (written in a real run, reported in a dry run).
bool TrimRun::refuseOversizedSramPatch(std::uint64_t imageSize) {
    if (Status fits = m_patcher.checkImageSize(imageSize); !fits) {
        countError(sramPatchFailureLine(fits));
        return true;
    }
    return false;
}

// A dry run writes nothing: the patch is planned on the bytes the output would hold,
// read in blocks as a real patch reads them, and only its log line is given.
Status TrimRun::logPlannedSramPatch() {
    const auto size = static_cast<std::uint64_t>(CurrentRom.RomSize);
    // A restored image is its whole source followed by filler.
    const auto kept = std::min(size, static_cast<std::uint64_t>(SourceSize));
    std::string line;
    const auto planOn = [&](const ByteSource& image) {
        return m_patcher.planLine(PaddedByteSource(image, size, kRestoreFiller), line);
    };
    if (CurrentRom.iszip) {
        // A member is either in the rom buffer or read where it lies in its archive.
        const MemoryByteSource buffered(RomBuffer);
        const ByteSource& member =
            m_memberSource ? *m_memberSource : static_cast<const ByteSource&>(buffered);
        if (Status status = planOn(LeadingBytes(member, kept)); !status) {
            return status;
        }
    } else {
        File source;
        if (Status status = source.openForReading(CurrentRom.RawName); !status) {
            return status;
        }
        if (source.sizeAtOpen() < kept) {
            return Status::failure("the image could not be read whole");
        }
        if (Status status = planOn(FileByteSource(source, kept)); !status) {
            return status;
        }
    }
    m_host.addLog(line);
    return Status::success();
}

void TrimRun::releaseHelpers() {
    m_patcher.runEnded();
    m_extraction.runEnded();
}

void TrimRun::DoRenameFile() {
    if (!FileExists(RenameFilename) || CharacterCount(RenameFilename) < 12) {
        return;
    }
    const std::string oldName = NamePart(RenameFilename);
    const auto newName = NameWithoutSceneNumber(oldName);
    if (!newName) {
        return;
    }
    const std::string newPath = FolderPart(RenameFilename) + *newName;
    const bool renamed = m_strategy->rename(RenameFilename, newPath);
    m_host.addLog((renamed ? "Rename succesful: " : "Rename FAILED: ") + oldName + " -> " +
                  *newName);
}

}  // namespace ostravex
