#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace ostravex {

constexpr std::uint32_t kFolderAttribute = 0x10;
constexpr std::uint32_t kHiddenAttribute = 0x02;
constexpr std::uint32_t kNormalAttribute = 0x20;

// A directory entry as the folder search reports it; valid only during the call.
struct TSearchRec {
    std::string Name;        // without its folder
    std::uint32_t Attr = 0;  // kFolderAttribute for folders, kHiddenAttribute for dot names
    std::uint64_t Size = 0;
    std::int64_t Time = 0;  // modification time, seconds since 1970
};

// Walks a folder tree and reports every entry whose name matches one of a list of masks.
// Runs synchronously and lets pending events run between directory entries (through
// `pumpEvents`), so that a handler can set Stop in the middle of a search.
class TFileSearch {
  public:
    using FileFindEvent = std::function<void(const std::string& fullpath, const TSearchRec& info)>;

    explicit TFileSearch(std::function<void()> pumpEvents = {}) : m_pump(std::move(pumpEvents)) {}

    // A folder path ending with "/" followed by masks separated by ";", for example
    // "/roms/*.nds;*.gba". Masks match names without regard to case ("*" and "?").
    std::string SearchFile;
    bool RecurseSubFolders = true;
    FileFindEvent OnFileFind;
    FileFindEvent OnChangeFolder;
    std::function<void()> OnFinish;

    // Runs the whole search: all matches of the first mask over the whole tree, then those
    // of the next; in each folder its own matches before those of its subfolders, names
    // in case-insensitive order. A folder reached twice (symbolic-link cycles) is walked
    // once per mask. Calls OnFinish at the end, stopped or not.
    void Start();

    bool Stop() const { return m_stop; }
    void setStop(bool stop) { m_stop = stop; }
    bool Searching() const { return m_searching; }
    const std::vector<std::string>& FilesFound() const { return m_filesFound; }

    // The search paths SearchFile stands for: each later mask takes the folder of the one
    // before it.
    static std::vector<std::string> SearchPaths(const std::string& searchFile);

  private:
    struct Entry {
        TSearchRec info;
        bool isFolder = false;
    };
    using VisitedFolders = std::set<std::pair<std::uint64_t, std::uint64_t>>;

    void searchPath(const std::string& path);
    void walk(const std::string& folder, const TSearchRec& folderInfo, const std::string& mask,
              VisitedFolders& visited);
    void pump();

    std::function<void()> m_pump;
    bool m_stop = false;
    bool m_searching = false;
    std::vector<std::string> m_filesFound;
};

// True when `name` matches the wildcard `mask` ("*", "?"), letters compared without case.
bool MaskMatches(const std::string& mask, const std::string& name);

}  // namespace ostravex
