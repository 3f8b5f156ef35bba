#pragma once

#include <set>
#include <string>
#include <vector>

#include "host/front_end.h"
#include "io/paths.h"
#include "romlist/rom_list_entry.h"
#include "scan/folder_search.h"

namespace ostravex {

// Fills the ROM list: folder scans (".nds" and ".gba" files, then the rom members of zip,
// rar and 7z archives), single archives, drops and the path named on the command line.
// Every find is one ROM list entry added through the host. A halt requested through the
// front end's control stops the scan at the next directory entry.
class RomScanner {
  public:
    explicit RomScanner(const FrontEnd& frontEnd);

    // "Scan Folders" once its folder is chosen: empties the ROM list and scans `folder`.
    // Returns when the scan has ended, in the idle state.
    void scanFolderTree(const std::string& folder);

    // A dropped file or folder, and what it is, when the caller knows.
    struct DroppedPath {
        std::string path;
        PathKind kind = PathKind::Missing;
    };
    // Files and folders dropped on the window (the caller ignores drops while busy), added
    // to a list that holds `listedBefore` entries.
    void listDropped(const std::vector<std::string>& names, std::size_t listedBefore);
    void listDropped(const std::vector<DroppedPath>& paths, std::size_t listedBefore);

    // The one path the program may be started with: a folder is scanned, a rom file is
    // listed, an archive has its rom members listed (with archive scanning on); a path
    // that names nothing is ignored.
    void listCommandLinePath(const std::string& path);

    // The folder of the current or last scan, ending with "/".
    const std::string& scanFolder() const { return m_scanFolder; }

    // What the scans so far have reported: error lines, and failures at all (error lines
    // and failure notices).
    int errorCount() const { return m_errors; }
    int failureCount() const { return m_errors + m_failureNotices; }

  private:
    void startFolderPass(const std::string& folder);
    // The folder search's handlers: a rom file of the folder pass is listed, an archive of
    // the archive pass has its rom members listed (by its extension).
    void listFoundRom(const std::string& folder, const DirectoryEntry& found);
    void listFoundArchive(const std::string& folder, const DirectoryEntry& found);
    void reportUnreadableFolder(const std::string& folder, const Status& why);
    void romPassFinished();
    void archivePassFinished();
    void finishScan(const char* finishedLine);
    void stopIfHaltRequested();
    void scanDroppedFolder(const std::string& folder);
    // Lists the rom members of an archive; `kind` is what the path was found to be.
    void listArchive(const std::string& archive, PathKind kind);
    void listZip(const std::string& archive);
    void listRar(const std::string& archive);
    void listSevenZip(const std::string& archive);
    bool archiveReadable(const std::string& archive, PathKind kind);
    void reportUnreadableArchive(const std::string& archive, const std::string& reason);
    void reportDamagedArchive(const std::string& archive);
    void reportUnreadableName(const std::string& archive, std::size_t position);
    void addEntry(const RomListEntry& entry);
    // An error line about `path` (a folder, an archive), counted.
    void logError(const std::string& path, const std::string& line);
    void failureNotice(const std::string& text);
    void pumpEvents();
    RunOptions options() const { return m_frontEnd.options.current(); }

    FrontEnd m_frontEnd;
    Host& m_host;
    std::size_t m_listed = 0;  // entries in the ROM list
    int m_errors = 0;
    int m_failureNotices = 0;
    std::set<std::string> m_unreadableFolders;  // told so far in this scan or drop
    SearchFindCache m_finds;  // the archive pass takes its finds from the rom pass's walk
    FolderSearch m_romSearch;
    FolderSearch m_archiveSearch;
    std::string m_scanFolder;
    bool m_dropScanActive = false;
    bool m_scanTimerEnabled = false;
};

// True for ".nds" and ".gba" names (extension compared without case).
bool IsRomName(const std::string& name);

}  // namespace ostravex
