#include "trim/trim_run.h"

#include <algorithm>
#include <chrono>
#include <span>

#include "io/byte_source.h"
#include "io/copy_range.h"
#include "io/paths.h"
#include "trim/counter_labels.h"
#include "trim/file_failure_text.h"
#include "trim/gba_decision.h"
#include "trim/nds_decision.h"
#include "trim/output_placement.h"

namespace ostravex {

namespace {
constexpr const char* kBrickerNotice = "WARNING: POSSIBLE BRICKER DETECTED!!! CHECK LOG!";
}  // namespace

RunEnd TrimRun::run(const std::vector<std::string>& romlist) {
    m_host.setBusy(true);
    m_counters = RunCounters{};
    m_host.clearHalt();
    m_host.setGauge(Gauge::Run, 0, romlist.size());
    m_host.setLabel(CounterLabel::Savings, kSavingsCaption);
    m_host.setLabel(CounterLabel::Wifi, kWifiCaption);
    m_host.setLabel(CounterLabel::Errors, kErrorsCaption);
    m_host.setLabel(CounterLabel::Skipped, kSkippedCaption);
    m_host.clearLog();
    m_host.addLog("Log");
    m_host.addLog("");
    m_host.addLog("");
    const auto start = std::chrono::steady_clock::now();

    for (std::size_t i = 0; i < romlist.size(); ++i) {
        CurrentRom = LoadInfo{};
        if (m_host.haltRequested()) {
            return halt();
        }
        startEntry(romlist[i]);
        Loadrom();
        GetRenameFilename();
        if (!CurrentRom.NeedsContinue) {
            m_host.pump();
            // The last moment to stop before anything of this entry is written.
            if (m_host.haltRequested()) {
                endEntry();
                return halt();
            }
            SetOutputFile();
            if (!CurrentRom.NeedsContinue) {
                WriteOutputFile();
            }
        }
        endEntry();
        m_counters.ProcessedCount = static_cast<std::int32_t>(i + 1);
        m_host.setLabel(CounterLabel::Complete,
                        ProcessedLabel(m_counters.ProcessedCount, romlist.size()));
        m_host.setGauge(Gauge::Run, i + 1, romlist.size());
        if (m_host.option(Option::RemoveSceneNumbers)) {
            DoRenameFile();
        }
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
    m_sramPatcher.releaseSnapshot();
    m_extraction->runEnded();
    m_host.setBusy(false);
    return RunEnd::Finished;
}

RunEnd TrimRun::halt() {
    m_sramPatcher.releaseSnapshot();
    m_extraction->runEnded();
    m_host.addLog("Operations Halted");
    m_host.clearHalt();
    m_host.setBusy(false);
    return RunEnd::Halted;
}

void TrimRun::startEntry(const std::string& entry) {
    endEntry();
    CurrentRom = LoadInfoFromEntry(entry, m_host.fileMode(), m_host.outputFolder());
    SourceSize = 0;
    RomSavings = 0;
}

void TrimRun::endEntry() {
    m_source.close();
    if (m_output.isOpen()) {
        m_output.discard();
        restoreBackup();
    }
    RomBuffer.clear();
    RomBuffer.shrink_to_fit();
    m_memberSource.reset();
    m_backupPath.clear();
    m_originalPath.clear();
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
    if (!CurrentRom.Compressed && !FileExists(CurrentRom.RawName)) {
        countError("ERROR: File doesn't exist: " + NamePart(CurrentRom.RawName));
        return finishEntry();
    }
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
    const CutVerdict verdict = CurrentRom.GBAFile
                                   ? DecideGbaCut(source, m_host.option(Option::OnlyPatch))
                                   : DecideNdsCut(source, m_host.option(Option::SkipDsi));
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

    if (!CurrentRom.iszip && IsWrittenInPlace(CurrentRom, m_host.fileMode())) {
        // Cut in place: nothing is copied, the file is only shortened.
        m_source.close();
    }
    // Otherwise a file source stays open: its first RomSize bytes are streamed into the
    // output when it is written, so no copy of the image is held in memory.
    setSingleGauge(m_singleMaximum, m_singleMaximum);
}

void TrimRun::extractMember() {
    // Only entries with an archive prefix are members (LoadInfoFromEntry).
    const ArchiveKind kind = ArchiveKindOfEntry(CurrentRom.RawName).value();
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
    m_extraction->SetCompressedStuff(kind, context);
}

bool TrimRun::openSource() {
    if (CurrentRom.iszip) {
        SourceSize =
            static_cast<std::int64_t>(m_memberSource ? m_memberSource->size() : RomBuffer.size());
        setSingleGauge(0, 100);
        return true;
    }
    std::uint64_t size = 0;
    Status status = m_source.openForReading(CurrentRom.RawName);
    if (status) {
        status = m_source.size(size);
    }
    if (!status) {
        m_source.close();
        countError(FileFailureText(FileAction::Open, status) + NamePart(CurrentRom.RawName));
        return false;
    }
    SourceSize = static_cast<std::int64_t>(size);
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
    m_host.addLog(CurrentRom.filename + ": " + std::to_string(RomSavings));
    const std::string outputName = StripMemberPath(CurrentRom.filename);

    switch (m_host.fileMode()) {
        case FileMode::Overwrite: {
            const std::string path = CurrentRom.OutFolder + outputName;
            openOutput(path, !CurrentRom.iszip, /*mayReplace=*/true);
            return;
        }
        case FileMode::Backup: {
            const std::string path = CurrentRom.OutFolder + outputName;
            if (!CurrentRom.iszip) {
                const std::string backup = path + ".bak";
                const Status moved =
                    dryRun() ? (FileExists(backup) ? Status::fromErrno(EEXIST) : Status::success())
                             : RenameNoReplace(path, backup);
                if (!moved) {
                    countError("Error: File is Read-Only: " + CurrentRom.filename);
                    return finishEntry();
                }
                if (!dryRun()) {
                    m_backupPath = backup;
                    m_originalPath = path;
                }
            }
            // The original's name is free now; a zip member replaces an earlier output.
            openOutput(path, /*inPlace=*/false, /*mayReplace=*/CurrentRom.iszip);
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
                openOutput(CurrentRom.RawName, /*inPlace=*/true, /*mayReplace=*/true);
            } else {
                openOutput(path, /*inPlace=*/false, /*mayReplace=*/!dontOverwrite);
            }
            return;
        }
    }
}

bool TrimRun::openOutput(const std::string& path, bool inPlace, bool mayReplace) {
    if (dryRun()) {
        return true;
    }
    const Status status =
        inPlace ? m_output.openInPlace(path) : m_output.createNew(path, mayReplace);
    if (!status) {
        failOutput(FileFailureText(inPlace ? FileAction::Open : FileAction::Create, status) +
                   romName());
        return false;
    }
    return true;
}

void TrimRun::failOutput(const std::string& line) {
    m_output.discard();
    countError(line);
    restoreBackup();
    finishEntry();
}

void TrimRun::restoreBackup() {
    if (m_backupPath.empty()) {
        return;
    }
    if (Status status = RenameNoReplace(m_backupPath, m_originalPath); !status) {
        m_host.addLog("ERROR: Cannot give the original its name back (" + status.reason() +
                      "): " + NamePart(m_backupPath));
    }
    m_backupPath.clear();
    m_originalPath.clear();
}

void TrimRun::WriteOutputFile() {
    if (dryRun()) {
        m_source.close();
        return;
    }
    const auto cutSize = static_cast<std::uint64_t>(CurrentRom.RomSize);
    setSingleGauge(0, cutSize);
    File& output = m_output.file();

    if (m_output.inPlace()) {
        if (Status status = output.setLength(cutSize); !status) {
            return failOutput(FileFailureText(FileAction::Write, status) + romName());
        }
    } else {
        if (Status status = output.reserve(cutSize); !status) {
            return failOutput(FileFailureText(FileAction::Write, status) + romName());
        }
        const CopyProgress progress = [this, cutSize](std::uint64_t copied) {
            setSingleGauge(copied, cutSize);
            m_host.pump();
        };
        const CopyOutcome outcome =
            CurrentRom.iszip
                ? CopyBytesToFile(std::span(RomBuffer).first(static_cast<std::size_t>(cutSize)),
                                  output, progress)
                : CopyFileStart(m_source, output, cutSize, progress);
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
    m_source.close();

    if (CurrentRom.GBAFile && m_host.option(Option::SramPatch)) {
        if (Status status = m_patcher->SRAMPatch(output, m_host); !status) {
            // A new output is dropped (the original stays); in place, the patcher has put
            // the image back as it was before patching.
            return failOutput("ERROR: SRAM patch failed (" + status.reason() + "): " + romName());
        }
    }
    if (Status status = m_output.commit(); !status) {
        return failOutput(FileFailureText(FileAction::Write, status) + romName());
    }
    m_backupPath.clear();
    m_originalPath.clear();
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
    bool renamed = false;
    if (dryRun()) {
        renamed = !FileExists(newPath) && !DirectoryExists(newPath);
    } else {
        renamed = RenameNoReplace(RenameFilename, newPath).ok();
    }
    m_host.addLog((renamed ? "Rename succesful: " : "Rename FAILED: ") + oldName + " -> " +
                  *newName);
}

}  // namespace ostravex
