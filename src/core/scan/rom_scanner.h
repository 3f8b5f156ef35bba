#pragma once

#include <string>
#include <vector>

#include "host.h"
#include "romlist/rom_list_entry.h"
#include "scan/file_search.h"

namespace ostravex {

// Fills the ROM list: folder scans (".nds" and ".gba" files, then the rom members of zip,
// rar and 7z archives), single archives, drops and the path named on the command line.
// Every find is one ROM list entry added through the host. A halt requested through the
// host stops the scan at the next directory entry.
class RomScanner {
  public:
    explicit RomScanner(Host& host);

    // "Scan Folders" once its folder is chosen: empties the ROM list and scans `folder`.
    // Returns when the scan has ended, in the idle state.
    void ScanFolder(const std::string& folder);

    // Files and folders dropped on the window (the caller ignores drops while busy).
    void HandleDrop(const std::vector<std::string>& names);

    // The one path the program may be started with: a folder is scanned, a rom file is
    // listed, an archive has its rom members listed (with archive scanning on); a path
    // that names nothing is ignored.
    void HandleCommandLinePath(const std::string& path);

    // Lists the rom members of the archive `fullpath` + `info.Name` (by its extension).
    void ZipSearchFileFind(const std::string& fullpath, const TSearchRec& info);

    // The folder of the current or last scan, ending with "/".
    const std::string& scanFolder() const { return m_scanFolder; }
    bool DropScanActive() const { return m_dropScanActive; }

  private:
    void startFolderPass(const std::string& folder);
    void NDSSearchFileFind(const std::string& fullpath, const TSearchRec& info);
    void NDSSearchFinish();
    void ZipSearchFinish();
    void finishScan();
    void stopIfHaltRequested();
    void AddDragFiles(const std::string& folder);
    void ListZip(const std::string& archive);
    void ListRar(const std::string& archive);
    void ListSevenZip(const std::string& archive);
    bool archiveReadable(const std::string& archive);
    void reportUnreadableArchive(const std::string& archive, const std::string& reason);
    void reportDamagedArchive(const std::string& archive);
    void reportUnreadableName(const std::string& archive, std::size_t position);
    void addEntry(const RomListEntry& entry);
    void pumpEvents();

    Host& m_host;
    SearchFindCache m_finds;  // the archive pass takes its finds from the rom pass's walk
    TFileSearch m_ndsSearch;
    TFileSearch m_zipSearch;
    std::string m_scanFolder;
    bool m_dropScanActive = false;
    bool m_scanTimerEnabled = false;
};

// True for ".nds" and ".gba" names (extension compared without case).
bool IsRomName(const std::string& name);

}  // namespace ostravex
