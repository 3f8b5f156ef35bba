#include "settings/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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
    const std::string temporary = path + ".tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return Status::fromErrno(errno);
    }
    const std::string content = file.Serialize();
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = write(fd, content.data() + written, content.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            close(fd);
            unlink(temporary.c_str());
            return Status::fromErrno(error);
        }
        written += static_cast<std::size_t>(n);
    }
    if (fsync(fd) != 0 || close(fd) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return Status::fromErrno(error);
    }
    if (Status status = RenameReplacing(temporary, path); !status) {
        unlink(temporary.c_str());
        return status;
    }
    return Status::success();
}

}  // namespace ostravex
