#include "scan/file_search.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "io/paths.h"

namespace ostravex {
namespace {

struct DirectoryCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

char FoldCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string FoldCase(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        c = FoldCase(c);
    }
    return folded;
}

bool EqualWithoutCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldCase(x) == FoldCase(y);
           });
}

// What one folder holds: names in case-insensitive order, and which are folders.
struct FolderEntry {
    std::string name;
    bool isFolder = false;
};
using FolderListing = std::vector<FolderEntry>;

TSearchRec RecordOf(const std::string& name, const struct stat& info) {
    TSearchRec record;
    record.Name = name;
    record.Size = S_ISDIR(info.st_mode) ? 0 : static_cast<std::uint64_t>(info.st_size);
    record.Time = info.st_mtime;
    record.Attr = S_ISDIR(info.st_mode) ? kFolderAttribute : kNormalAttribute;
    if (!name.empty() && name[0] == '.') {
        record.Attr |= kHiddenAttribute;
    }
    return record;
}

// Reads a folder's entries, sorted without regard to case. False when it cannot be read.
bool ReadFolder(const std::string& folder, FolderListing& listing) {
    std::unique_ptr<DIR, DirectoryCloser> dir(opendir(folder.c_str()));
    if (!dir) {
        return false;
    }
    while (const dirent* item = readdir(dir.get())) {
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
        keys.emplace_back(FoldCase(listing[i].name), i);
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
    return true;
}

}  // namespace

void SearchFindCache::expect(const std::string& searchFile, bool recursive) {
    for (const std::string& path : TFileSearch::SearchPaths(searchFile)) {
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
               EqualWithoutCase(std::string_view(name).substr(name.size() - suffix),
                                std::string_view(mask).substr(1));
    }
    return fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD | FNM_NOESCAPE) == 0;
}

std::vector<std::string> TFileSearch::SearchPaths(const std::string& searchFile) {
    const std::string folder = FolderPart(searchFile);
    const std::string masks = NamePart(searchFile);
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

void TFileSearch::Start() {
    m_stop = false;
    m_searching = true;
    m_filesFound.clear();
    SearchFindCache ownFinds;
    SearchFindCache& store = m_cache ? *m_cache : ownFinds;
    const std::vector<std::string> paths = SearchPaths(SearchFile);
    for (const std::string& path : paths) {
        if (m_stop) {
            break;
        }
        const auto cached = store.m_finds.find({path, RecurseSubFolders});
        if (cached != store.m_finds.end()) {
            report(cached->second);
        } else {
            searchPath(path, store, paths);
        }
    }
    if (OnFinish) {
        OnFinish();
    }
    m_searching = false;
}

// Walks the folder of `path` once: its matches are reported as they are found, and those
// of the other masks of this search and of the masks the store expects in that folder are
// gathered for later.
void TFileSearch::searchPath(const std::string& path, SearchFindCache& store,
                             const std::vector<std::string>& paths) {
    const std::string folder = FolderPart(path);
    std::set<SearchFindCache::Key> wanted = store.m_expected;
    for (const std::string& other : paths) {
        wanted.insert({other, RecurseSubFolders});
    }
    std::vector<Gathering> masks{{NamePart(path), nullptr}};
    std::vector<SearchFindCache::Key> gathered;
    for (const SearchFindCache::Key& candidate : wanted) {
        if (candidate.first != path && candidate.second == RecurseSubFolders &&
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
        walk(folder, RecordOf(NamePart(folderWithoutSlash), info), masks, *folders, visited);
    }
    if (m_stop) {
        // What an unfinished walk gathered is no answer for a later search.
        for (const SearchFindCache::Key& key : gathered) {
            store.m_finds.erase(key);
        }
    }
}

void TFileSearch::walk(const std::string& folder, const TSearchRec& folderInfo,
                       std::vector<Gathering>& masks, std::vector<std::string>& folders,
                       VisitedFolders& visited) {
    const std::string listed = folder.empty() ? "./" : folder;
    struct stat self {};
    if (stat(listed.c_str(), &self) != 0) {
        return;
    }
    if (!visited.insert({self.st_dev, self.st_ino}).second) {
        return;
    }
    if (OnChangeFolder) {
        OnChangeFolder(folder, folderInfo);
    }
    FolderListing entries;
    if (!ReadFolder(listed, entries)) {
        return;  // a folder that cannot be listed is passed over
    }

    std::optional<std::size_t> folderIndex;
    for (const FolderEntry& entry : entries) {
        if (m_stop) {
            return;
        }
        std::optional<TSearchRec> record;
        for (Gathering& mask : masks) {
            if (!MaskMatches(mask.mask, entry.name)) {
                continue;
            }
            if (!record) {
                // Size, time and attributes are looked up for matches only: a tree holds
                // many more files than roms.
                struct stat info {};
                record.emplace();
                record->Name = entry.name;
                if (stat((listed + entry.name).c_str(), &info) == 0) {
                    *record = RecordOf(entry.name, info);
                }
            }
            if (!mask.target) {
                reportFind(folder, *record);
                continue;
            }
            if (!folderIndex) {
                folderIndex = folders.size();
                folders.push_back(folder);
            }
            mask.target->finds.emplace_back(*folderIndex, *record);
        }
        pump();
    }
    for (const FolderEntry& entry : entries) {
        if (m_stop) {
            return;
        }
        pump();
        if (entry.isFolder && RecurseSubFolders) {
            TSearchRec info;
            info.Name = entry.name;
            info.Attr = kFolderAttribute;
            walk(folder + entry.name + "/", info, masks, folders, visited);
        }
    }
}

void TFileSearch::report(const GatheredFinds& gathered) {
    for (const auto& [folderIndex, info] : gathered.finds) {
        if (m_stop) {
            return;
        }
        reportFind((*gathered.folders)[folderIndex], info);
        pump();
    }
}

void TFileSearch::reportFind(const std::string& folder, const TSearchRec& info) {
    if (OnFileFind) {
        OnFileFind(folder, info);
        m_filesFound.push_back(folder + info.Name);
    }
}

void TFileSearch::pump() {
    if (m_pump) {
        m_pump();
    }
}

}  // namespace ostravex
