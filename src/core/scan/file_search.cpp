#include "scan/file_search.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "io/paths.h"

namespace ostravex {
namespace {

struct DirectoryCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

std::string FoldCase(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return folded;
}

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
        listing.entries.push_back({std::move(name), isFolder});
    }
    std::vector<std::pair<std::string, std::size_t>> keys;
    keys.reserve(listing.entries.size());
    for (std::size_t i = 0; i < listing.entries.size(); ++i) {
        keys.emplace_back(FoldCase(listing.entries[i].name), i);
    }
    std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first
                                  : listing.entries[a.second].name < listing.entries[b.second].name;
    });
    std::vector<FolderListing::Entry> sorted;
    sorted.reserve(keys.size());
    for (const auto& key : keys) {
        sorted.push_back(std::move(listing.entries[key.second]));
    }
    listing.entries = std::move(sorted);
    return true;
}

}  // namespace

const FolderListing* FolderListingCache::find(const std::string& folder) const {
    const auto it = m_listings.find(folder);
    return it == m_listings.end() ? nullptr : &it->second;
}

const FolderListing& FolderListingCache::store(const std::string& folder, FolderListing listing) {
    return m_listings.insert_or_assign(folder, std::move(listing)).first->second;
}

bool MaskMatches(const std::string& mask, const std::string& name) {
    // The common "*.ext" form is a suffix compare; anything else goes to fnmatch.
    if (mask.size() >= 2 && mask[0] == '*' && mask[1] == '.' &&
        mask.find_first_of("*?[", 1) == std::string::npos) {
        const std::size_t suffix = mask.size() - 1;
        return name.size() >= suffix &&
               FoldCase(std::string_view(name).substr(name.size() - suffix)) ==
                   FoldCase(std::string_view(mask).substr(1));
    }
    return fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD | FNM_NOESCAPE) == 0;
}

std::vector<std::string> TFileSearch::SearchPaths(const std::string& searchFile) {
    std::vector<std::string> paths;
    std::size_t start = 0;
    std::string previous;
    while (start <= searchFile.size()) {
        const std::size_t semicolon = searchFile.find(';', start);
        const std::string segment = searchFile.substr(
            start, semicolon == std::string::npos ? std::string::npos : semicolon - start);
        if (paths.empty()) {
            paths.push_back(segment);
        } else if (!segment.empty()) {
            paths.push_back(FolderPart(previous) + segment);
        }
        previous = paths.back();
        if (semicolon == std::string::npos) {
            break;
        }
        start = semicolon + 1;
    }
    return paths;
}

void TFileSearch::Start() {
    m_stop = false;
    m_searching = true;
    m_filesFound.clear();
    for (const std::string& path : SearchPaths(SearchFile)) {
        if (m_stop) {
            break;
        }
        searchPath(path);
    }
    if (OnFinish) {
        OnFinish();
    }
    m_searching = false;
}

void TFileSearch::searchPath(const std::string& path) {
    const std::string folder = FolderPart(path);
    const std::string mask = NamePart(path);
    const std::string folderWithoutSlash =
        folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder;
    struct stat info {};
    if (stat(folderWithoutSlash.empty() ? "." : folderWithoutSlash.c_str(), &info) != 0 ||
        !S_ISDIR(info.st_mode)) {
        return;
    }
    VisitedFolders visited;
    walk(folder, RecordOf(NamePart(folderWithoutSlash), info), mask, visited);
}

void TFileSearch::walk(const std::string& folder, const TSearchRec& folderInfo,
                       const std::string& mask, VisitedFolders& visited) {
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

    const FolderListing* cached = m_cache ? m_cache->find(listed) : nullptr;
    FolderListing read;
    if (!cached) {
        if (!ReadFolder(listed, read)) {
            return;  // a folder that cannot be listed is passed over
        }
        cached = m_cache ? &m_cache->store(listed, std::move(read)) : &read;
    }
    const std::vector<FolderListing::Entry>& entries = cached->entries;

    for (const FolderListing::Entry& entry : entries) {
        if (m_stop) {
            return;
        }
        if (OnFileFind && MaskMatches(mask, entry.name)) {
            // Size, time and attributes are looked up for matches only: a tree holds many
            // more files than roms.
            struct stat info {};
            TSearchRec record;
            record.Name = entry.name;
            if (stat((listed + entry.name).c_str(), &info) == 0) {
                record = RecordOf(entry.name, info);
            }
            OnFileFind(folder, record);
            m_filesFound.push_back(folder + entry.name);
        }
        pump();
    }
    for (const FolderListing::Entry& entry : entries) {
        if (m_stop) {
            return;
        }
        pump();
        if (entry.isFolder && RecurseSubFolders) {
            TSearchRec info;
            info.Name = entry.name;
            info.Attr = kFolderAttribute;
            walk(folder + entry.name + "/", info, mask, visited);
        }
    }
}

void TFileSearch::pump() {
    if (m_pump) {
        m_pump();
    }
}

}  // namespace ostravex
