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

}  // namespace

bool MaskMatches(const std::string& mask, const std::string& name) {
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

    std::vector<Entry> entries;
    {
        std::unique_ptr<DIR, DirectoryCloser> dir(opendir(listed.c_str()));
        if (!dir) {
            return;  // a folder that cannot be listed is passed over
        }
        while (const dirent* item = readdir(dir.get())) {
            const std::string name = item->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            Entry entry;
            entry.info.Name = name;
            entry.isFolder = item->d_type == DT_DIR;
            if (item->d_type == DT_LNK || item->d_type == DT_UNKNOWN) {
                // Links are followed: a link to a folder is walked like the folder.
                struct stat info {};
                entry.isFolder = stat((listed + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
            }
            entries.push_back(std::move(entry));
        }
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        const std::string foldedA = FoldCase(a.info.Name);
        const std::string foldedB = FoldCase(b.info.Name);
        return foldedA != foldedB ? foldedA < foldedB : a.info.Name < b.info.Name;
    });

    for (const Entry& entry : entries) {
        if (m_stop) {
            return;
        }
        if (MaskMatches(mask, entry.info.Name) && OnFileFind) {
            // Size, time and attributes are looked up for matches only: a tree holds many
            // more files than roms.
            struct stat info {};
            const TSearchRec record = stat((listed + entry.info.Name).c_str(), &info) == 0
                                          ? RecordOf(entry.info.Name, info)
                                          : entry.info;
            OnFileFind(folder, record);
            m_filesFound.push_back(folder + entry.info.Name);
        }
        pump();
    }
    for (const Entry& entry : entries) {
        if (m_stop) {
            return;
        }
        pump();
        if (entry.isFolder && RecurseSubFolders) {
            walk(folder + entry.info.Name + "/", entry.info, mask, visited);
        }
    }
}

void TFileSearch::pump() {
    if (m_pump) {
        m_pump();
    }
}

}  // namespace ostravex
