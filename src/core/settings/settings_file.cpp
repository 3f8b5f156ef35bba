#include "settings/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "io/file.h"
#include "io/paths.h"

namespace ostravex {
namespace {

Status CreateFolders(const std::string& folder) {
    std::string path;
    std::size_t start = 0;
    while (start < folder.size()) {
        const std::size_t slash = folder.find('/', start);
        path = folder.substr(0, slash == std::string::npos ? folder.size() : slash + 1);
        start = slash == std::string::npos ? folder.size() : slash + 1;
        if (path.empty() || path == "/") {
            continue;
        }
        if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
            return Status::fromErrno(errno);
        }
    }
    return Status::success();
}

// Symbolic links followed at most, as the system itself follows them.
constexpr int kMaxLinkHops = 40;

// The file a write through `path` changes: the end of its chain of symbolic links (a relative
// link read from the folder the link stands in), or `path` itself when it is no link. A link
// that leads nowhere yet gives the name the file is to be created under.
Status FinalTarget(const std::string& path, std::string& target) {
    target = path;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat info {};
        if (lstat(target.c_str(), &info) != 0) {
            return errno == ENOENT ? Status::success() : Status::fromErrno(errno);
        }
        if (!S_ISLNK(info.st_mode)) {
            // Only a regular file is written over: a device, a fifo or a folder at the store's
            // place is not the program's to replace.
            return S_ISREG(info.st_mode) ? Status::success()
                                         : Status::failure("not a regular file");
        }
        std::string link(PATH_MAX, '\0');
        const ssize_t length = readlink(target.c_str(), link.data(), link.size());
        if (length < 0) {
            return Status::fromErrno(errno);
        }
        link.resize(static_cast<std::size_t>(length));
        target = link.starts_with('/') ? link : FolderPart(target) + link;
    }
    return Status::fromErrno(ELOOP);
}

// A new temporary file beside `target`, under a name nobody else has: it is created, never
// opened if something (a fifo, a link to another file) already stands at that name.
Status CreateTemporaryBeside(const std::string& target, std::string& temporary, int& fd) {
    temporary = FolderPart(target) + "." + NamePart(target) + ".XXXXXX";
    // O_CREAT|O_EXCL: a name that exists, a symbolic link among them, is refused, not opened.
    fd = mkostemp(temporary.data(), O_CLOEXEC);
    return fd >= 0 ? Status::success() : Status::fromErrno(errno);
}

Status WriteWhole(int fd, const std::string& content) {
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = write(fd, content.data() + written, content.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Status::fromErrno(errno);
        }
        written += static_cast<std::size_t>(n);
    }
    return Status::success();
}

// The new content, complete on the disk, under the temporary's name; the file it replaces
// keeps its permission bits (a new store is the user's alone).
Status WriteTemporary(int fd, const std::string& target, const std::string& content) {
    struct stat existing {};
    if (stat(target.c_str(), &existing) == 0 && fchmod(fd, existing.st_mode & 07777) != 0) {
        return Status::fromErrno(errno);
    }
    if (Status status = WriteWhole(fd, content); !status) {
        return status;
    }
    if (fsync(fd) != 0) {
        return Status::fromErrno(errno);
    }
    return Status::success();
}

// The rename itself is kept by the disk once the folder holding it is.
void SyncFolder(const std::string& folder) {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)fsync(fd);
        close(fd);
    }
}

}  // namespace

std::string SettingsFilePath() {
    std::string base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
        base = config;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.config";
    } else {
        base = ".config";
    }
    return WithTrailingSlash(base) + "ostravex/settings.reg";
}

Status LoadSettingsFile(const std::string& path, RegFile& file) {
    file = RegFile();
    File source;
    if (Status status = source.openShared(path); !status) {
        // No file there: nothing stored yet (or a file stands where a folder of the path
        // should, which the save reports).
        const bool missing = status.code() == ENOENT || status.code() == ENOTDIR;
        return missing ? Status::success() : status;
    }
    // Read to the end rather than to the size the file had at its opening: the system does
    // not tell the size of every file, and one may grow while it is read.
    std::string content;
    content.reserve(static_cast<std::size_t>(std::min(source.sizeAtOpen(), kMaxSettingsFileBytes)));
    constexpr std::size_t kChunk = 64 * 1024;
    for (std::size_t got = kChunk; got == kChunk;) {
        const std::size_t before = content.size();
        content.resize(before + kChunk);
        if (Status status = source.readAt(
                before, {reinterpret_cast<std::uint8_t*>(content.data() + before), kChunk}, got);
            !status) {
            return status;
        }
        content.resize(before + got);
        if (content.size() > kMaxSettingsFileBytes) {
            return Status::failure("larger than " +
                                   std::to_string(kMaxSettingsFileBytes / (1 << 20)) + " MiB");
        }
    }
    file = RegFile::Parse(content);
    return Status::success();
}

Status SaveSettingsFile(const std::string& path, const RegFile& file) {
    if (Status status = CreateFolders(FolderPart(path)); !status) {
        return status;
    }
    std::string target;
    if (Status status = FinalTarget(path, target); !status) {
        return status;
    }
    std::string temporary;
    int fd = -1;
    if (Status status = CreateTemporaryBeside(target, temporary, fd); !status) {
        return status;
    }
    Status written = WriteTemporary(fd, target, file.Serialize());
    if (close(fd) != 0 && written) {
        written = Status::fromErrno(errno);
    }
    if (written) {
        written = RenameReplacing(temporary, target);
    }
    if (!written) {
        unlink(temporary.c_str());
        return written;
    }
    SyncFolder(FolderPart(target));
    return Status::success();
}

}  // namespace ostravex
