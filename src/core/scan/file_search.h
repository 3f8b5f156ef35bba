#pragma once

#include <cstdint>
#include <functional>
#include <map>
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

// What one folder holds: names in case-insensitive order, and which are folders.
struct FolderListing {
    struct Entry {
        std::string name;
        bool isFolder = false;
    };
    std::vector<Entry> entries;
};

// Folder listings kept for the length of one scan, so that the searches for several masks
// (roms, then zip, rar and 7z archives) read each folder from disk once.
class FolderListingCache {
  public:
    const FolderListing* find(const std::string& folder) const;
    const FolderListing& store(const std::string& folder, FolderListing listing);
    void clear() { m_listings.clear(); }

  private:
    std::map<std::string, FolderListing> m_listings;
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

    // Shares folder listings with other searches of the same scan (optional).
    void setListingCache(FolderListingCache* cache) { m_cache = cache; }

  private:
    using VisitedFolders = std::set<std::pair<std::uint64_t, std::uint64_t>>;

    void searchPath(const std::string& path);
    void walk(const std::string& folder, const TSearchRec& folderInfo, const std::string& mask,
              VisitedFolders& visited);
    void pump();

    std::function<void()> m_pump;
    FolderListingCache* m_cache = nullptr;
    bool m_stop = false;
    bool m_searching = false;
    std::vector<std::string> m_filesFound;
};

// True when `name` matches the wildcard `mask` ("*", "?"), letters compared without case.
bool MaskMatches(const std::string& mask, const std::string& name);

}  // namespace ostravex
