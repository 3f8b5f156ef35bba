#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
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

// The matches of one mask, in the order a search reports them: each with the index of
// the folder that holds it in `folders` (shared by all masks of one walk).
struct GatheredFinds {
    std::shared_ptr<std::vector<std::string>> folders;
    std::vector<std::pair<std::size_t, TSearchRec>> finds;
};

// The finds of one scan's walks, kept for the length of the scan, so that a later search
// over the same tree (the archive pass after the rom pass) reports them without walking the
// tree again. A walk also gathers the masks expected of later searches of its folder.
class SearchFindCache {
  public:
    // Search paths (a folder followed by masks, as `SearchFile`) whose matches the next
    // walk of their folder gathers as well.
    void expect(const std::string& searchFile, bool recursive);
    void clear();

  private:
    friend class TFileSearch;
    using Key = std::pair<std::string, bool>;  // search path, recursive
    std::map<Key, GatheredFinds> m_finds;
    std::set<Key> m_expected;
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
    // in case-insensitive order. The tree is walked once for all masks (a tree may hold
    // hundreds of thousands of files): the first mask's matches are reported during the
    // walk, the others' are gathered and reported after it. OnChangeFolder is called once
    // per folder walked. A folder reached twice (symbolic-link cycles) is walked once.
    // Calls OnFinish at the end, stopped or not.
    void Start();

    bool Stop() const { return m_stop; }
    void setStop(bool stop) { m_stop = stop; }
    bool Searching() const { return m_searching; }
    const std::vector<std::string>& FilesFound() const { return m_filesFound; }

    // The search paths SearchFile stands for: its folder (up to the last "/") followed by
    // each of its masks. Masks hold no "/", so a folder name may hold ";".
    static std::vector<std::string> SearchPaths(const std::string& searchFile);

    // Shares finds with other searches of the same scan (optional).
    void setFindCache(SearchFindCache* cache) { m_cache = cache; }

  private:
    using VisitedFolders = std::set<std::pair<std::uint64_t, std::uint64_t>>;
    struct Gathering {
        std::string mask;
        GatheredFinds* target;  // null: the matches are reported as they are found
    };

    void searchPath(const std::string& path, SearchFindCache& store,
                    const std::vector<std::string>& paths);
    void walk(const std::string& folder, const TSearchRec& folderInfo,
              std::vector<Gathering>& masks, std::vector<std::string>& folders,
              VisitedFolders& visited);
    void report(const GatheredFinds& gathered);
    void reportFind(const std::string& folder, const TSearchRec& info);
    void pump();

    std::function<void()> m_pump;
    SearchFindCache* m_cache = nullptr;
    bool m_stop = false;
    bool m_searching = false;
    std::vector<std::string> m_filesFound;
};

// True when `name` matches the wildcard `mask` ("*", "?"), letters compared without case.
bool MaskMatches(const std::string& mask, const std::string& name);

}  // namespace ostravex
