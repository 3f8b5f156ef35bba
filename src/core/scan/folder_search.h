#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "io/status.h"

namespace ostravex {

// A directory entry as the folder search reports it; valid only during the call.
struct DirectoryEntry {
    std::string name;  // without its folder
    bool isFolder = false;
    bool isHidden = false;  // the name starts with "."
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // seconds since 1970
};

// The matches of one mask, in the order a search reports them: each with the index of
// the folder that holds it in `folders` (shared by all masks of one walk).
struct GatheredFinds {
    std::shared_ptr<std::vector<std::string>> folders;
    std::vector<std::pair<std::size_t, DirectoryEntry>> finds;
};

// The finds of one scan's walks, kept for the length of the scan, so that a later search
// over the same tree (the archive pass after the rom pass) reports them without walking the
// tree again. A walk also gathers the masks expected of later searches of its folder.
class SearchFindCache {
  public:
    // Search paths (a folder followed by masks, as `folderAndMasks`) whose matches the next
    // walk of their folder gathers as well.
    void expect(const std::string& folderAndMasks, bool recursive);
    void clear();

  private:
    friend class FolderSearch;
    using Key = std::pair<std::string, bool>;  // search path, recursive
    std::map<Key, GatheredFinds> m_finds;
    std::set<Key> m_expected;
};

// Walks a folder tree and reports every entry whose name matches one of a list of masks.
// Runs synchronously and lets pending events run between directory entries (through
// `pumpEvents`), so that a handler can stop the search in its middle.
class FolderSearch {
  public:
    using EntryHandler =
        std::function<void(const std::string& folder, const DirectoryEntry& entry)>;

    explicit FolderSearch(std::function<void()> pumpEvents = {}) : m_pump(std::move(pumpEvents)) {}

    // A folder path ending with "/" followed by masks separated by ";", for example
    // "/roms/*.nds;*.gba". Masks match names without regard to case ("*" and "?").
    std::string folderAndMasks;
    bool recursive = true;  // subfolders are searched too
    // Each match, with the folder that holds it (ending with "/").
    EntryHandler onMatch;
    // Each folder walked, with its own directory entry.
    EntryHandler onFolderEntered;
    // Each folder of the tree that cannot be read (its path, ending with "/"), and why; the
    // rest of the tree is still searched.
    std::function<void(const std::string& folder, const Status& why)> onUnreadableFolder;
    std::function<void()> onFinished;

    // Runs the whole search: all matches of the first mask over the whole tree, then those
    // of the next; in each folder its own matches before those of its subfolders, names
    // in case-insensitive order. The tree is walked once for all masks (a tree may hold
    // hundreds of thousands of files): the first mask's matches are reported during the
    // walk, the others' are gathered and reported after it. onFolderEntered is called once
    // per folder walked. A folder reached twice (symbolic-link cycles) is walked once.
    // Calls onFinished at the end, stopped or not.
    void run();

    // Ends the search at the next directory entry (from a handler or from pumped events).
    void stop() { m_stop = true; }
    bool stopped() const { return m_stop; }
    bool running() const { return m_running; }
    // The full path of every match reported to onMatch, in order.
    const std::vector<std::string>& foundPaths() const { return m_foundPaths; }

    // The search paths `folderAndMasks` stands for: its folder (up to the last "/")
    // followed by each of its masks. Masks hold no "/", so a folder name may hold ";".
    static std::vector<std::string> SearchPaths(const std::string& folderAndMasks);

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
    void walk(const std::string& folder, const DirectoryEntry& folderEntry,
              std::vector<Gathering>& masks, std::vector<std::string>& folders,
              VisitedFolders& visited);
    void report(const GatheredFinds& gathered);
    void reportUnreadable(const std::string& folder, const Status& status);
    void reportMatch(const std::string& folder, const DirectoryEntry& entry);
    void pump();

    std::function<void()> m_pump;
    SearchFindCache* m_cache = nullptr;
    bool m_stop = false;
    bool m_running = false;
    std::vector<std::string> m_foundPaths;
};

// True when `name` matches the wildcard `mask` ("*", "?"), letters compared without case.
bool MaskMatches(const std::string& mask, const std::string& name);

}  // namespace ostravex
