#include "scan/rom_file_walk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <set>
#include <utility>

#include "io/paths.h"

namespace ostravex {
namespace {

struct DirectoryEntry {
    std::string name;
    bool isDirectory = false;
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

struct DirectoryCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

std::vector<DirectoryEntry> ReadDirectory(const std::string& folder) {
    std::vector<DirectoryEntry> entries;
    std::unique_ptr<DIR, DirectoryCloser> dir(opendir(folder.c_str()));
    if (!dir) {
        return entries;
    }
    while (const dirent* item = readdir(dir.get())) {
        const std::string name = item->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat info {};
        const bool isDirectory = stat((folder + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        entries.push_back({name, isDirectory});
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        const std::string foldedA = FoldCase(a.name);
        const std::string foldedB = FoldCase(b.name);
        return foldedA != foldedB ? foldedA < foldedB : a.name < b.name;
    });
    return entries;
}

class Walk {
  public:
    Walk(std::string extension, bool recursive, Host& host, std::vector<std::string>& found)
        : m_extension(std::move(extension)), m_recursive(recursive), m_host(host), m_found(found) {}

    bool halted() const { return m_halted; }

    void folder(const std::string& path) {
        struct stat info {};
        if (stat(path.c_str(), &info) != 0 ||
            !m_visited.insert({info.st_dev, info.st_ino}).second) {
            return;
        }
        const std::vector<DirectoryEntry> entries = ReadDirectory(path);
        for (const DirectoryEntry& entry : entries) {
            if (stopRequested()) {
                return;
            }
            if (LowerExtension(entry.name) == m_extension) {
                m_found.push_back(path + entry.name);
            }
        }
        if (!m_recursive) {
            return;
        }
        for (const DirectoryEntry& entry : entries) {
            if (stopRequested()) {
                return;
            }
            if (entry.isDirectory) {
                folder(path + entry.name + "/");
            }
        }
    }

  private:
    bool stopRequested() {
        m_host.pump();
        m_halted = m_halted || m_host.haltRequested();
        return m_halted;
    }

    std::string m_extension;
    bool m_recursive;
    Host& m_host;
    std::vector<std::string>& m_found;
    std::set<std::pair<dev_t, ino_t>> m_visited;
    bool m_halted = false;
};

}  // namespace

WalkEnd FindRomFiles(const std::string& folder, bool recursive, Host& host,
                     std::vector<std::string>& found) {
    for (const char* extension : {".nds", ".gba"}) {
        Walk walk(extension, recursive, host, found);
        walk.folder(WithTrailingSlash(folder));
        if (walk.halted()) {
            return WalkEnd::Halted;
        }
    }
    return WalkEnd::Finished;
}

}  // namespace ostravex
