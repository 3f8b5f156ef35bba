#include "scan/folder_search.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>

#include "io/ascii.h"
#include "io/paths.h"

namespace ostravex {
namespace {

struct DirectoryCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// What one folder holds: names in case-insensitive order, and which are folders.
struct FolderEntry {
    std::string name;
    bool isFolder = false;
};
using FolderListing = std::vector<FolderEntry>;

DirectoryEntry EntryOf(const std::string& name, const struct stat& info) {
    DirectoryEntry entry;
    entry.name = name;
    entry.isFolder = S_ISDIR(info.st_mode);
    entry.isHidden = !name.empty() && name[0] == '.';
    entry.size = entry.isFolder ? 0 : static_cast<std::uint64_t>(info.st_size);
    entry.modified = info.st_mtime;
    return entry;
}

// Reads a folder's entries, sorted without regard to case; the failure when it cannot be
// read to its end.
Status ReadFolder(const std::string& folder, FolderListing& listing) {
    std::unique_ptr<DIR, DirectoryCloser> dir(opendir(folder.c_str()));
    if (!dir) {
        return Status::fromErrno(errno);
    }
    while (true) {
        errno = 0;
        const dirent* item = readdir(dir.get());
        if (!item) {
            if (errno != 0) {
                return Status::fromErrno(errno);
            }
            break;
        }
        std::string name = item->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        bool isFolder = item->d_type == DT_DIR;
        if (item->d_type == DT_LNK || item->d_type == DT_UNKNOWN) {
            // Links are followed: a link to a folder is walked like the folder.
            struct stat info {};
            isFolder = stat((folder + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        }
        listing.push_back({std::move(name), isFolder});
    }
    std::vector<std::pair<std::string, std::size_t>> keys;
    keys.reserve(listing.size());
    for (std::size_t i = 0; i < listing.size(); ++i) {
        keys.emplace_back(AsciiLower(listing[i].name), i);
    }
    std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first
                                  : listing[a.second].name < listing[b.second].name;
    });
    FolderListing sorted;
    sorted.reserve(keys.size());
    for (const auto& key : keys) {
        sorted.push_back(std::move(listing[key.second]));
    }
    listing = std::move(sorted);
    return Status::success();
}

}  // namespace

void SearchFindCache::expect(const std::string& folderAndMasks, bool recursive) {
    for (const std::string& path : FolderSearch::SearchPaths(folderAndMasks)) {
        m_expected.insert({path, recursive});
    }
}

void SearchFindCache::clear() {
    m_finds.clear();
    m_expected.clear();
}

bool MaskMatches(const std::string& mask, const std::string& name) {
    // The common "*.ext" form is a suffix compare; anything else goes to fnmatch.
    if (mask.size() >= 2 && mask[0] == '*' && mask[1] == '.' &&
        mask.find_first_of("*?[", 1) == std::string::npos) {
        const std::size_t suffix = mask.size() - 1;
        return name.size() >= suffix &&
               EqualIgnoringAsciiCase(std::string_view(name).substr(name.size() - suffix),
                                      std::string_view(mask).substr(1));
    }
    return fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD | FNM_NOESCAPE) == 0;
}

std::vector<std::string> FolderSearch::SearchPaths(const std::string& folderAndMasks) {
    const std::string folder = FolderPart(folderAndMasks);
    const std::string masks = NamePart(folderAndMasks);
    std::vector<std::string> paths;
    std::size_t start = 0;
    while (true) {
        const std::size_t semicolon = masks.find(';', start);
        const std::string mask = masks.substr(start, semicolon - start);
        if (paths.empty() || !mask.empty()) {
            paths.push_back(folder + mask);
        }
        if (semicolon == std::string::npos) {
            return paths;
        }
        start = semicolon + 1;
    }
}

void FolderSearch::run() {
    m_stop = false;
    m_running = true;
    m_foundPaths.clear();
    SearchFindCache ownFinds;
    SearchFindCache& store = m_cache ? *m_cache : ownFinds;
    const std::vector<std::string> paths = SearchPaths(folderAndMasks);
    for (const std::string& path : paths) {
        if (m_stop) {
            break;
        }
        const auto cached = store.m_finds.find({path, recursive});
        if (cached != store.m_finds.end()) {
            report(cached->second);
        } else {
            searchPath(path, store, paths);
        }
    }
    if (onFinished) {
        onFinished();
    }
    m_running = false;
}

// Walks the folder of `path` once: its matches are reported as they are found, and those
// of the other masks of this search and of the masks the store expects in that folder are
// gathered for later.
void FolderSearch::searchPath(const std::string& path, SearchFindCache& store,
                              const std::vector<std::string>& paths) {
    const std::string folder = FolderPart(path);
    std::set<SearchFindCache::Key> wanted = store.m_expected;
    for (const std::string& other : paths) {
        wanted.insert({other, recursive});
    }
    std::vector<Gathering> masks{{NamePart(path), nullptr}};
    std::vector<SearchFindCache::Key> gathered;
    for (const SearchFindCache::Key& candidate : wanted) {
        if (candidate.first != path && candidate.second == recursive &&
            FolderPart(candidate.first) == folder && !store.m_finds.count(candidate)) {
            masks.push_back({NamePart(candidate.first), &store.m_finds[candidate]});
            gathered.push_back(candidate);
        }
    }
    auto folders = std::make_shared<std::vector<std::string>>();
    for (Gathering& mask : masks) {
        if (mask.target) {
            mask.target->folders = folders;
        }
    }
    const std::string folderWithoutSlash =
        folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder;
    struct stat info {};
    if (stat(folderWithoutSlash.empty() ? "." : folderWithoutSlash.c_str(), &info) == 0 &&
        S_ISDIR(info.st_mode)) {
        VisitedFolders visited;
        walk(folder, EntryOf(NamePart(folderWithoutSlash), info), masks, *folders, visited);
    }
    if (m_stop) {
        // What an unfinished walk gathered is no answer for a later search.
        for (const SearchFindCache::Key& key : gathered) {
            store.m_finds.erase(key);
        }
    }
}

void FolderSearch::walk(const std::string& folder, const DirectoryEntry& folderEntry,
                        std::vector<Gathering>& masks, std::vector<std::string>& folders,
                        VisitedFolders& visited) {
    const std::string listed = folder.empty() ? "./" : folder;
    struct stat self {};
    if (stat(listed.c_str(), &self) != 0) {
        // A folder that went away since its parent was listed holds nothing any more.
        if (errno != ENOENT) {
            reportUnreadable(folder, Status::fromErrno(errno));
        }
        return;
    }
    if (!visited.insert({self.st_dev, self.st_ino}).second) {
        return;
    }
    if (onFolderEntered) {
        onFolderEntered(folder, folderEntry);
    }
    FolderListing entries;
    if (Status status = ReadFolder(listed, entries); !status) {
        // It may hold roms: said, and the rest of the tree is still searched.
        reportUnreadable(folder, status);
        return;
    }

    std::optional<std::size_t> folderIndex;
    for (const FolderEntry& entry : entries) {
        if (m_stop) {
            return;
        }
        std::optional<DirectoryEntry> found;
        for (Gathering& mask : masks) {
            if (!MaskMatches(mask.mask, entry.name)) {
                continue;
            }
            if (!found) {
                // Size, time and kind are looked up for matches only: a tree holds many
                // more files than roms.
                struct stat info {};
                found.emplace();
                found->name = entry.name;
                if (stat((listed + entry.name).c_str(), &info) == 0) {
                    *found = EntryOf(entry.name, info);
                }
            }
            if (!mask.target) {
                reportMatch(folder, *found);
                continue;
            }
            if (!folderIndex) {
                folderIndex = folders.size();
                folders.push_back(folder);
            }
            mask.target->finds.emplace_back(*folderIndex, *found);
        }
        pump();
    }
    for (const FolderEntry& entry : entries) {
        if (m_stop) {
            return;
        }
        pump();
        if (entry.isFolder && recursive) {
            DirectoryEntry subfolder;
            subfolder.name = entry.name;
            subfolder.isFolder = true;
            walk(folder + entry.name + "/", subfolder, masks, folders, visited);
        }
    }
}

void FolderSearch::report(const GatheredFinds& gathered) {
    for (const auto& [folderIndex, found] : gathered.finds) {
        if (m_stop) {
            return;
        }
        reportMatch((*gathered.folders)[folderIndex], found);
        pump();
    }
}

void FolderSearch::reportMatch(const std::string& folder, const DirectoryEntry& entry) {
    if (onMatch) {
        onMatch(folder, entry);
        m_foundPaths.push_back(folder + entry.name);
    }
}

void FolderSearch::reportUnreadable(const std::string& folder, const Status& status) {
    if (onUnreadableFolder) {
        onUnreadableFolder(folder, status);
    }
}

void FolderSearch::pump() {
    if (m_pump) {
        m_pump();
    }
}

}  // namespace ostravex
