#include "scan/rom_scanner.h"

#include <cerrno>

#include "archive/rar_archive.h"
#include "archive/seven_zip_archive.h"
#include "archive/zip_reader.h"
#include "io/file.h"
#include "io/paths.h"
#include "romlist/rom_list_entry.h"
#include "runlog/counter_labels.h"

namespace ostravex {
namespace {

constexpr const char* kRomMasks = "*.nds;*.gba";
constexpr const char* kArchiveMasks = "*.zip;*.rar;*.7z";

bool IsArchiveName(const std::string& name) {
    const std::string extension = LowerExtension(name);
    return extension == ".zip" || extension == ".rar" || extension == ".7z";
}

}  // namespace

bool IsRomName(const std::string& name) {
    const std::string extension = LowerExtension(name);
    return extension == ".nds" || extension == ".gba";
}

RomScanner::RomScanner(const FrontEnd& frontEnd)
    : m_frontEnd(frontEnd),
      m_host(m_frontEnd.host),
      m_ndsSearch([this] { pumpEvents(); }),
      m_zipSearch([this] { pumpEvents(); }) {
    m_ndsSearch.OnFileFind = [this](const std::string& fullpath, const TSearchRec& info) {
        NDSSearchFileFind(fullpath, info);
    };
    m_ndsSearch.OnFinish = [this] { NDSSearchFinish(); };
    m_ndsSearch.setFindCache(&m_finds);
    m_zipSearch.setFindCache(&m_finds);
    m_zipSearch.OnFileFind = [this](const std::string& fullpath, const TSearchRec& info) {
        ZipSearchFileFind(fullpath, info);
    };
    m_zipSearch.OnFinish = [this] { ZipSearchFinish(); };
}

void RomScanner::pumpEvents() {
    m_frontEnd.control.pump();
    stopIfHaltRequested();
}

void RomScanner::addEntry(const RomListEntry& entry) {
    m_host.addRomEntry(entry);
    ++m_listed;
}

void RomScanner::logError(const std::string& line) {
    m_host.addLog(line, LineKind::Failure);
    ++m_errors;
}

void RomScanner::failureNotice(const std::string& text) {
    m_host.notice({NoticeKind::Failure, text, {}});
    ++m_failureNotices;
}

// ---- folder scans -----------------------------------------------------------------------

void RomScanner::ScanFolder(const std::string& folder) {
    m_scanFolder = WithTrailingSlash(folder);
    m_finds.clear();
    m_host.clearRomList();
    m_listed = 0;
    m_host.addLog("File Scan Started.");
    m_scanTimerEnabled = true;
    m_host.setBusy(true);
    m_host.beginListUpdate();
    m_dropScanActive = false;
    startFolderPass(m_scanFolder);
}

void RomScanner::startFolderPass(const std::string& folder) {
    const RunOptions now = options();
    const bool recursive = now.recursiveScan;
    if (now.scanArchives) {
        // The archive pass searches the same tree: the rom pass's walk finds the archives.
        m_finds.expect(folder + kArchiveMasks, recursive);
    }
    m_ndsSearch.SearchFile = folder + kRomMasks;
    m_ndsSearch.RecurseSubFolders = recursive;
    m_ndsSearch.Start();
}

void RomScanner::NDSSearchFileFind(const std::string& fullpath, const TSearchRec& info) {
    addEntry(RomListEntry::file(fullpath + info.Name));
}

void RomScanner::NDSSearchFinish() {
    const RunOptions now = options();
    if (now.scanArchives && !m_ndsSearch.Stop()) {
        m_zipSearch.SearchFile = m_scanFolder + kArchiveMasks;
        m_zipSearch.RecurseSubFolders = now.recursiveScan;
        m_zipSearch.Start();
    } else if (!m_dropScanActive) {
        finishScan("File Scan Finished.");
    }
}

void RomScanner::ZipSearchFinish() {
    if (!m_dropScanActive) {
        finishScan("File Scan Finished.");
    }
}

// The end of a folder scan or of a drop: the idle state, and the list's size.
void RomScanner::finishScan(const char* finishedLine) {
    m_dropScanActive = false;
    m_scanTimerEnabled = false;
    m_finds.clear();
    m_host.endListUpdate();
    m_host.setBusy(false);
    m_host.setLabel(CounterLabel::Complete, TrimmedLabel(m_listed));
    m_host.addLog(finishedLine);
    m_host.addLog(std::to_string(m_listed) + " roms found");
}

// Acts on "Stop" while a scan runs.
void RomScanner::stopIfHaltRequested() {
    if (!m_scanTimerEnabled || !m_frontEnd.control.haltRequested()) {
        return;
    }
    m_frontEnd.control.clearHalt();
    m_scanTimerEnabled = false;
    m_ndsSearch.setStop(true);
    m_zipSearch.setStop(true);
    m_host.addLog("Operations Halted");
    m_dropScanActive = false;
}

// ---- archives ---------------------------------------------------------------------------

void RomScanner::ZipSearchFileFind(const std::string& fullpath, const TSearchRec& info) {
    // A find of the folder search is a file (it may have gone since).
    listArchive(fullpath + info.Name, PathKind::File);
}

void RomScanner::listArchive(const std::string& archive, PathKind kind) {
    if (!archiveReadable(archive, kind)) {
        return;
    }
    const std::string extension = LowerExtension(archive);
    if (extension == ".zip") {
        ListZip(archive);
    } else if (extension == ".rar") {
        ListRar(archive);
    } else if (extension == ".7z") {
        ListSevenZip(archive);
    }
}

bool RomScanner::archiveReadable(const std::string& archive, PathKind kind) {
    File file;
    Status status =
        kind == PathKind::File ? file.openShared(archive) : Status::failure("the file has gone");
    if (!status && status.code() == ENOENT) {
        status = Status::failure("the file has gone");
    }
    if (!status) {
        // An archive that vanished or cannot be read does not end the scan.
        reportUnreadableArchive(archive, status.reason());
    }
    return status.ok();
}

// An archive that cannot be read may hold roms: it is never passed over in silence.
void RomScanner::reportUnreadableArchive(const std::string& archive, const std::string& reason) {
    logError("ERROR: Cannot open archive (" + reason + "): " + NamePart(archive));
}

// A damaged archive lists the members read before the damage; the others may be roms.
void RomScanner::reportDamagedArchive(const std::string& archive) {
    logError("ERROR: Damaged archive, listed as far as it could be read: " + NamePart(archive));
}

void RomScanner::ListZip(const std::string& archive) {
    TKAZip zip;
    if (Status status = zip.Open(archive); !status) {
        return reportUnreadableArchive(archive, status.reason());
    }
    if (!zip.IsZipFile()) {
        return reportUnreadableArchive(archive, "not a readable zip archive");
    }
    // Without its end record the directory was rebuilt from the members' own headers: the
    // archive was cut short or damaged.
    if (zip.HasBadEntries()) {
        reportDamagedArchive(archive);
    }
    for (const TKAZipEntriesEntry& entry : zip.Entries()) {
        const std::string name = TKAZip::GetUnicodeFilename(entry);
        if (CharacterCount(name) >= 5 && IsRomName(name)) {
            addEntry(RomListEntry::inArchive(ArchiveKind::Zip, archive, name));
        }
    }
}

void RomScanner::ListRar(const std::string& archive) {
    const RarNames listing = RarListFiles(archive, /*stripPaths=*/true);
    if (!listing.unreadable.empty()) {
        return reportUnreadableArchive(archive, listing.unreadable);
    }
    if (!listing.opened) {
        return reportUnreadableArchive(archive, "not a readable RAR archive");
    }
    for (const std::string& name : listing.names) {
        if (IsRomName(name)) {
            addEntry(RomListEntry::inArchive(ArchiveKind::Rar, archive, name));
        }
    }
    for (const std::size_t position : listing.unreadableNames) {
        reportUnreadableName(archive, position);
    }
    // The damage is an error line, counted, as for zip and 7z; the window also shows the
    // "File header broken" notice.
    if (listing.headerBroken) {
        reportDamagedArchive(archive);
        failureNotice("File header broken");
    }
}

void RomScanner::ListSevenZip(const std::string& archive) {
    const ArchiveListing listing = SevenZipList(archive);
    if (!listing.unreadable.empty()) {
        return reportUnreadableArchive(archive, listing.unreadable);
    }
    if (!listing.opened) {
        return reportUnreadableArchive(archive, "not a readable 7z archive");
    }
    const std::vector<ArchiveItem>& items = listing.items;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const ArchiveItem& item = items[i];
        if (item.nameUnreadable) {
            reportUnreadableName(archive, i + 1);
        } else if (!item.isFolder && IsRomName(item.path)) {
            addEntry(
                RomListEntry::inArchive(ArchiveKind::SevenZip, archive, MemberBaseName(item.path)));
        }
    }
    if (listing.headerBroken) {
        reportDamagedArchive(archive);
    }
}

// A member whose name cannot be read may be a rom: it is not passed over in silence.
void RomScanner::reportUnreadableName(const std::string& archive, std::size_t position) {
    logError("ERROR: Cannot read the name of member " + std::to_string(position) +
             " (not valid Unicode): " + NamePart(archive));
}

// ---- drops and the command line ---------------------------------------------------------

void RomScanner::AddDragFiles(const std::string& folder) {
    m_scanFolder = WithTrailingSlash(folder);
    m_scanTimerEnabled = true;
    m_host.setBusy(true);
    m_dropScanActive = true;
    startFolderPass(m_scanFolder);
}

void RomScanner::HandleDrop(const std::vector<std::string>& names, std::size_t listedBefore) {
    std::vector<DroppedPath> paths;
    paths.reserve(names.size());
    for (const std::string& name : names) {
        paths.push_back({name, KindOfPath(name)});
    }
    HandleDrop(paths, listedBefore);
}

void RomScanner::HandleDrop(const std::vector<DroppedPath>& paths, std::size_t listedBefore) {
    m_listed = listedBefore;
    m_host.addLog("Dragged files Scan Started.");
    m_finds.clear();
    m_host.setBusy(true);
    m_host.beginListUpdate();
    m_scanTimerEnabled = true;
    for (const DroppedPath& dropped : paths) {
        if (dropped.kind == PathKind::Folder) {
            AddDragFiles(dropped.path);
        }
        // The three tests are independent: a folder named "x.nds" is listed itself too.
        if (IsRomName(dropped.path)) {
            addEntry(RomListEntry::file(dropped.path));
        }
        if (options().scanArchives && IsArchiveName(dropped.path)) {
            listArchive(dropped.path, dropped.kind);
        }
    }
    finishScan("Files dragged Scan Finished.");
}

void RomScanner::HandleCommandLinePath(const std::string& path) {
    const PathKind kind = KindOfPath(path);
    if (kind == PathKind::Folder) {
        ScanFolder(path);
        return;
    }
    if (kind != PathKind::File) {
        return;
    }
    if (IsRomName(path)) {
        addEntry(RomListEntry::file(path));
    }
    if (options().scanArchives && IsArchiveName(path)) {
        listArchive(path, kind);
    }
    if (m_listed > 0) {
        m_host.setBusy(false);
    }
}

}  // namespace ostravex
