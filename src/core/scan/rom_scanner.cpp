#include "scan/rom_scanner.h"

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

RomScanner::RomScanner(Host& host)
    : m_host(host), m_ndsSearch([this] { pumpEvents(); }), m_zipSearch([this] { pumpEvents(); }) {
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
    m_host.pump();
    stopIfHaltRequested();
}

void RomScanner::addEntry(const RomListEntry& entry) {
    m_host.addRomEntry(entry);
}

// ---- folder scans -----------------------------------------------------------------------

void RomScanner::ScanFolder(const std::string& folder) {
    m_scanFolder = WithTrailingSlash(folder);
    m_finds.clear();
    m_host.clearRomList();
    m_host.addLog("File Scan Started.");
    m_scanTimerEnabled = true;
    m_host.setBusy(true);
    m_host.beginListUpdate();
    m_dropScanActive = false;
    startFolderPass(m_scanFolder);
}

void RomScanner::startFolderPass(const std::string& folder) {
    const bool recursive = m_host.option(Option::RecursiveScan);
    if (m_host.option(Option::ScanArchives)) {
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
    if (m_host.option(Option::ScanArchives) && !m_ndsSearch.Stop()) {
        m_zipSearch.SearchFile = m_scanFolder + kArchiveMasks;
        m_zipSearch.RecurseSubFolders = m_host.option(Option::RecursiveScan);
        m_zipSearch.Start();
    } else if (!m_dropScanActive) {
        finishScan();
    }
}

void RomScanner::ZipSearchFinish() {
    if (!m_dropScanActive) {
        finishScan();
    }
}

void RomScanner::finishScan() {
    m_scanTimerEnabled = false;
    m_finds.clear();
    m_host.endListUpdate();
    m_host.setBusy(false);
    m_host.setLabel(CounterLabel::Complete, TrimmedLabel(m_host.romEntryCount()));
    m_host.addLog("File Scan Finished.");
    m_host.addLog(std::to_string(m_host.romEntryCount()) + " roms found");
}

// Acts on "Stop" while a scan runs.
void RomScanner::stopIfHaltRequested() {
    if (!m_scanTimerEnabled || !m_host.haltRequested()) {
        return;
    }
    m_host.clearHalt();
    m_scanTimerEnabled = false;
    m_ndsSearch.setStop(true);
    m_zipSearch.setStop(true);
    m_host.addLog("Operations Halted");
    m_dropScanActive = false;
}

// ---- archives ---------------------------------------------------------------------------

void RomScanner::ZipSearchFileFind(const std::string& fullpath, const TSearchRec& info) {
    const std::string archive = fullpath + info.Name;
    const std::string extension = LowerExtension(info.Name);
    if (extension == ".zip") {
        ListZip(archive);
    } else if (extension == ".rar") {
        ListRar(archive);
    } else if (extension == ".7z") {
        ListSevenZip(archive);
    }
}

bool RomScanner::archiveReadable(const std::string& archive) {
    File file;
    Status status =
        FileExists(archive) ? file.openShared(archive) : Status::failure("the file has gone");
    if (!status) {
        // An archive that vanished or cannot be read does not end the scan.
        reportUnreadableArchive(archive, status.reason());
    }
    return status.ok();
}

// An archive that cannot be read may hold roms: it is never passed over in silence.
void RomScanner::reportUnreadableArchive(const std::string& archive, const std::string& reason) {
    m_host.addLog("ERROR: Cannot open archive (" + reason + "): " + NamePart(archive));
}

// A damaged archive lists the members read before the damage; the others may be roms.
void RomScanner::reportDamagedArchive(const std::string& archive) {
    m_host.addLog("ERROR: Damaged archive, listed as far as it could be read: " +
                  NamePart(archive));
}

void RomScanner::ListZip(const std::string& archive) {
    if (!archiveReadable(archive)) {
        return;
    }
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
    if (!archiveReadable(archive)) {
        return;
    }
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
    // The notice reports the damage (and fails the command line's call).
    if (listing.headerBroken) {
        m_host.notice("File header broken");
    }
}

void RomScanner::ListSevenZip(const std::string& archive) {
    if (!archiveReadable(archive)) {
        return;
    }
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
    m_host.addLog("ERROR: Cannot read the name of member " + std::to_string(position) +
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

void RomScanner::HandleDrop(const std::vector<std::string>& names) {
    m_host.addLog("Dragged files Scan Started.");
    m_finds.clear();
    m_host.setBusy(true);
    m_host.beginListUpdate();
    m_scanTimerEnabled = true;
    for (const std::string& name : names) {
        if (DirectoryExists(name)) {
            AddDragFiles(name);
        }
        // The three tests are independent: a folder named "x.nds" is listed itself too.
        if (IsRomName(name)) {
            addEntry(RomListEntry::file(name));
        }
        if (m_host.option(Option::ScanArchives) && IsArchiveName(name)) {
            TSearchRec info;
            info.Name = NamePart(name);
            ZipSearchFileFind(FolderPart(name), info);
        }
    }
    m_dropScanActive = false;
    m_scanTimerEnabled = false;
    m_finds.clear();
    m_host.endListUpdate();
    m_host.setBusy(false);
    m_host.setLabel(CounterLabel::Complete, TrimmedLabel(m_host.romEntryCount()));
    m_host.addLog("Files dragged Scan Finished.");
    m_host.addLog(std::to_string(m_host.romEntryCount()) + " roms found");
}

void RomScanner::HandleCommandLinePath(const std::string& path) {
    if (DirectoryExists(path)) {
        ScanFolder(path);
        return;
    }
    if (!FileExists(path)) {
        return;
    }
    if (IsRomName(path)) {
        addEntry(RomListEntry::file(path));
    }
    if (m_host.option(Option::ScanArchives) && IsArchiveName(path)) {
        TSearchRec info;
        info.Name = NamePart(path);
        ZipSearchFileFind(FolderPart(path), info);
    }
    if (m_host.romEntryCount() > 0) {
        m_host.setBusy(false);
    }
}

}  // namespace ostravex
