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
      m_romSearch([this] { pumpEvents(); }),
      m_archiveSearch([this] { pumpEvents(); }) {
    m_romSearch.onMatch = [this](const std::string& folder, const DirectoryEntry& found) {
        listFoundRom(folder, found);
    };
    m_romSearch.onFinished = [this] { romPassFinished(); };
    m_romSearch.setFindCache(&m_finds);
    m_archiveSearch.setFindCache(&m_finds);
    m_archiveSearch.onMatch = [this](const std::string& folder, const DirectoryEntry& found) {
        listFoundArchive(folder, found);
    };
    m_archiveSearch.onFinished = [this] { archivePassFinished(); };
    for (FolderSearch* search : {&m_romSearch, &m_archiveSearch}) {
        search->onUnreadableFolder = [this](const std::string& folder, const Status& why) {
            reportUnreadableFolder(folder, why);
        };
    }
}

void RomScanner::pumpEvents() {
    m_frontEnd.control.pump();
    stopIfHaltRequested();
}

void RomScanner::addEntry(const RomListEntry& entry) {
    m_host.addRomEntry(entry);
    ++m_listed;
}

void RomScanner::logError(const std::string& path, const std::string& line) {
    m_host.addScanFailure(path, line);
    ++m_errors;
}

void RomScanner::failureNotice(const std::string& text) {
    m_host.notice({NoticeKind::Failure, text, {}});
    ++m_failureNotices;
}

// ---- folder scans -----------------------------------------------------------------------

void RomScanner::scanFolderTree(const std::string& folder) {
    m_scanFolder = WithTrailingSlash(folder);
    m_finds.clear();
    m_unreadableFolders.clear();
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
    m_romSearch.folderAndMasks = folder + kRomMasks;
    m_romSearch.recursive = recursive;
    m_romSearch.run();
}

// A folder that cannot be read may hold roms: it is never passed over in silence. Both
// passes may meet it; it is told once.
void RomScanner::reportUnreadableFolder(const std::string& folder, const Status& why) {
    const std::string path =
        folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
    if (!m_unreadableFolders.insert(path).second) {
        return;
    }
    logError(path, "ERROR: Cannot read folder (" + why.reason() + "): " + path);
}

void RomScanner::listFoundRom(const std::string& folder, const DirectoryEntry& found) {
    addEntry(RomListEntry::file(folder + found.name));
}

void RomScanner::romPassFinished() {
    const RunOptions now = options();
    if (now.scanArchives && !m_romSearch.stopped()) {
        m_archiveSearch.folderAndMasks = m_scanFolder + kArchiveMasks;
        m_archiveSearch.recursive = now.recursiveScan;
        m_archiveSearch.run();
    } else if (!m_dropScanActive) {
        finishScan("File Scan Finished.");
    }
}

void RomScanner::archivePassFinished() {
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
    m_romSearch.stop();
    m_archiveSearch.stop();
    m_host.addLog("Operations Halted");
    m_dropScanActive = false;
}

// ---- archives ---------------------------------------------------------------------------

void RomScanner::listFoundArchive(const std::string& folder, const DirectoryEntry& found) {
    // A find of the folder search is a file (it may have gone since).
    listArchive(folder + found.name, PathKind::File);
}

void RomScanner::listArchive(const std::string& archive, PathKind kind) {
    if (!archiveReadable(archive, kind)) {
        return;
    }
    const std::string extension = LowerExtension(archive);
    if (extension == ".zip") {
        listZip(archive);
    } else if (extension == ".rar") {
        listRar(archive);
    } else if (extension == ".7z") {
        listSevenZip(archive);
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
    logError(archive, "ERROR: Cannot open archive (" + reason + "): " + NamePart(archive));
}

// A damaged archive lists the members read before the damage; the others may be roms.
void RomScanner::reportDamagedArchive(const std::string& archive) {
    logError(archive,
             "ERROR: Damaged archive, listed as far as it could be read: " + NamePart(archive));
}

void RomScanner::listZip(const std::string& archive) {
    ZipReader zip;
    if (Status status = zip.open(archive); !status) {
        return reportUnreadableArchive(archive, status.reason());
    }
    if (!zip.isZipFile()) {
        return reportUnreadableArchive(archive, "not a readable zip archive");
    }
    // Without its end record the directory was rebuilt from the members' own headers: the
    // archive was cut short or damaged.
    if (zip.rebuiltFromLocalHeaders()) {
        reportDamagedArchive(archive);
    }
    for (const ZipEntry& entry : zip.entries()) {
        const std::string name = entry.name();
        if (CharacterCount(name) >= 5 && IsRomName(name)) {
            addEntry(RomListEntry::inArchive(ArchiveKind::Zip, archive, name));
        }
    }
}

void RomScanner::listRar(const std::string& archive) {
    const RarNames listing = ListRarMembers(archive);
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

void RomScanner::listSevenZip(const std::string& archive) {
    const ArchiveListing listing = ListSevenZipItems(archive);
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
            addEntry(RomListEntry::inArchive(ArchiveKind::SevenZip, archive, item.path));
        }
    }
    if (listing.headerBroken) {
        reportDamagedArchive(archive);
    }
}

// A member whose name cannot be read may be a rom: it is not passed over in silence.
void RomScanner::reportUnreadableName(const std::string& archive, std::size_t position) {
    logError(archive, "ERROR: Cannot read the name of member " + std::to_string(position) +
                          " (not valid Unicode): " + NamePart(archive));
}

// ---- drops and the command line ---------------------------------------------------------

void RomScanner::scanDroppedFolder(const std::string& folder) {
    m_scanFolder = WithTrailingSlash(folder);
    m_scanTimerEnabled = true;
    m_host.setBusy(true);
    m_dropScanActive = true;
    startFolderPass(m_scanFolder);
}

void RomScanner::listDropped(const std::vector<std::string>& names, std::size_t listedBefore) {
    const std::vector<PathKind> kinds = KindsOfPaths(names);
    std::vector<DroppedPath> paths;
    paths.reserve(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        paths.push_back({names[i], kinds[i]});
    }
    listDropped(paths, listedBefore);
}

void RomScanner::listDropped(const std::vector<DroppedPath>& paths, std::size_t listedBefore) {
    m_listed = listedBefore;
    m_host.addLog("Dragged files Scan Started.");
    m_finds.clear();
    m_unreadableFolders.clear();
    m_host.setBusy(true);
    m_host.beginListUpdate();
    m_scanTimerEnabled = true;
    for (const DroppedPath& dropped : paths) {
        if (dropped.kind == PathKind::Folder) {
            scanDroppedFolder(dropped.path);
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

void RomScanner::listCommandLinePath(const std::string& path) {
    const PathKind kind = KindOfPath(path);
    if (kind == PathKind::Folder) {
        scanFolderTree(path);
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
