#include "io/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>

#include "io/ascii.h"
#include "io/utf8.h"

namespace ostravex {

std::string NamePart(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string FolderPart(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string LowerExtension(std::string_view name) {
    const auto slash = name.rfind('/');
    const std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
    const auto dot = base.rfind('.');
    if (dot == std::string_view::npos) {
        return {};
    }
    return AsciiLower(base.substr(dot));
}

std::string WithTrailingSlash(std::string_view path) {
    std::string result(path);
    if (!result.empty() && result.back() != '/') {
        result += '/';
    }
    return result;
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

PathKind KindOfPath(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return PathKind::Missing;
    }
    if (S_ISDIR(info.st_mode)) {
        return PathKind::Folder;
    }
    return S_ISREG(info.st_mode) ? PathKind::File : PathKind::Other;
}

namespace {

// Paths that share a folder with fewer others are asked about one by one: a stat each is
// cheaper than opening and reading a folder that may hold many more entries.
constexpr std::size_t kFolderReadFrom = 8;

PathKind KindOfEntry(unsigned char type) {
    switch (type) {
        case DT_REG:
            return PathKind::File;
        case DT_DIR:
            return PathKind::Folder;
        default:
            return PathKind::Other;
    }
}

using NamesInFolder = std::map<std::string, std::vector<std::size_t>, std::less<>>;

// Fills in the kinds of the names `wanted` (name -> indices into `kinds`) from one read of
// `folder`. A name met whose kind the entry does not tell (a link, a file system that does
// not say) is left unset, to be asked about alone; a name not met is missing. False when
// the folder cannot be read to its end: then nothing is filled in.
bool KindsFromFolder(const std::string& folder, const NamesInFolder& wanted,
                     std::vector<std::optional<PathKind>>& kinds) {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::vector<std::pair<std::size_t, std::optional<PathKind>>> met;
    alignas(dirent64) char buffer[32768];
    ssize_t got = 0;
    while ((got = getdents64(fd, buffer, sizeof buffer)) > 0) {
        for (ssize_t offset = 0; offset < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + offset);
            offset += entry->d_reclen;
            const auto found = wanted.find(std::string_view(entry->d_name));
            if (found == wanted.end()) {
                continue;
            }
            const bool told = entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN;
            for (const std::size_t index : found->second) {
                met.emplace_back(index,
                                 told ? std::optional(KindOfEntry(entry->d_type)) : std::nullopt);
            }
        }
    }
    close(fd);
    if (got < 0) {
        return false;
    }
    for (const auto& [name, indices] : wanted) {
        for (const std::size_t index : indices) {
            kinds[index] = PathKind::Missing;
        }
    }
    for (const auto& [index, kind] : met) {
        kinds[index] = kind;
    }
    return true;
}

}  // namespace

std::vector<PathKind> KindsOfPaths(const std::vector<std::string>& paths) {
    std::vector<std::optional<PathKind>> kinds(paths.size());
    std::map<std::string, NamesInFolder> folders;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string name = NamePart(paths[i]);
        if (name.empty() || name == "." || name == "..") {
            continue;  // asked about alone
        }
        const std::string folder = FolderPart(paths[i]);
        folders[folder][name].push_back(i);
    }
    for (const auto& [folder, wanted] : folders) {
        std::size_t pathsInFolder = 0;
        for (const auto& [name, indices] : wanted) {
            pathsInFolder += indices.size();
        }
        if (pathsInFolder >= kFolderReadFrom) {
            (void)KindsFromFolder(folder, wanted, kinds);
        }
    }
    std::vector<PathKind> result;
    result.reserve(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        result.push_back(kinds[i] ? *kinds[i] : KindOfPath(paths[i]));
    }
    return result;
}

Status CheckCanCreateIn(const std::string& folder) {
    const std::string where = folder.empty() ? "." : folder;
    // An unnamed file: created in the folder as a new file would be, but with no name, so
    // the folder is left as it was when it is closed.
    const int fd = open(where.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        close(fd);
        return Status::success();
    }
    const int error = errno;
    // File systems without unnamed files: the folder's permissions say what a creation
    // would meet.
    if (error != EOPNOTSUPP && error != EISDIR && error != EINVAL) {
        return Status::fromErrno(error);
    }
    if (access(where.c_str(), W_OK | X_OK) != 0) {
        return Status::fromErrno(errno);
    }
    return Status::success();
}

Status NameIsFree(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0) {
        return Status::fromErrno(EEXIST);
    }
    if (errno != ENOENT) {
        return Status::fromErrno(errno);
    }
    return Status::success();
}

std::optional<std::string> SymbolicLinkTarget(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return std::nullopt;
    }
    const std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr),
                                                           &std::free);
    if (!real) {
        return std::nullopt;
    }
    return std::string(real.get());
}

Status RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return Status::success();
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return Status::fromErrno(errno);
    }
    // File systems without RENAME_NOREPLACE: a hard link also fails when the target
    // exists, and removing the old name afterwards completes the move.
    if (link(from.c_str(), to.c_str()) != 0) {
        if (errno != EPERM && errno != EOPNOTSUPP) {
            return Status::fromErrno(errno);
        }
        // No hard links either (FAT cards): test, then rename. Only a file created in
        // between could be replaced.
        struct stat info {};
        if (lstat(to.c_str(), &info) == 0) {
            return Status::fromErrno(EEXIST);
        }
        return RenameReplacing(from, to);
    }
    if (unlink(from.c_str()) != 0) {
        const int error = errno;
        unlink(to.c_str());
        return Status::fromErrno(error);
    }
    return Status::success();
}

Status RenameReplacing(const std::string& from, const std::string& to) {
    if (rename(from.c_str(), to.c_str()) != 0) {
        return Status::fromErrno(errno);
    }
    return Status::success();
}

std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); at += DecodeUtf8(text, at).length) {
        ++count;
    }
    return count;
}

}  // namespace ostravex
