#include "io/temporary_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>

namespace ostravex {
namespace {

constexpr std::string_view kPrefix = ".ostravex-";
constexpr std::string_view kSuffix = ".tmp";

bool AllDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// A lock on the whole file, of the given type, for F_OFD_SETLK.
struct flock WholeFileLock(short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;  // to the end, however long the file grows
    lock.l_pid = 0;  // required for open-file-description locks
    return lock;
}

// Whether nobody writes the temporary open as `fd` any more: its temporary lock and the
// lock every open File takes can both be had. Both are shared locks, held by this open
// description until it is closed.
bool NobodyWrites(int fd) {
    struct flock lock = WholeFileLock(F_RDLCK);
    return fcntl(fd, F_OFD_SETLK, &lock) == 0 && flock(fd, LOCK_SH | LOCK_NB) == 0;
}

// Removes the temporary `name` of the folder open as `folderFd` when nobody writes it. The
// locks are held while it is removed, and what is removed is the file that was looked at:
// a writer that creates a temporary and loses this race sees that its file lost the name.
void RemoveIfStale(int folderFd, const char* name) {
    const int fd =
        openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    struct stat opened {};
    struct stat named {};
    if (fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && NobodyWrites(fd) &&
        fstatat(folderFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
        unlinkat(folderFd, name, 0);
    }
    close(fd);
}

// A few temporaries at most are written at once (an output and the copy of its original).
struct TemporarySlot {
    enum State { Free, Filling, InUse };
    std::atomic<int> state{Free};
    char path[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free, "read in a signal handler");
TemporarySlot g_temporaries[4];

}  // namespace

void NoteTemporaryInUse(const std::string& path) {
    if (path.size() >= PATH_MAX) {
        return;
    }
    for (TemporarySlot& slot : g_temporaries) {
        int expected = TemporarySlot::Free;
        if (slot.state.compare_exchange_strong(expected, TemporarySlot::Filling)) {
            std::memcpy(slot.path, path.c_str(), path.size() + 1);
            slot.state.store(TemporarySlot::InUse);
            return;
        }
    }
}

void NoteTemporaryDone(const std::string& path) {
    for (TemporarySlot& slot : g_temporaries) {
        if (slot.state.load() == TemporarySlot::InUse && path == slot.path) {
            slot.state.store(TemporarySlot::Free);
            return;
        }
    }
}

void RemoveTemporariesInUse() noexcept {
    for (TemporarySlot& slot : g_temporaries) {
        if (slot.state.load() == TemporarySlot::InUse) {
            unlink(slot.path);
        }
    }
}

std::string TemporaryPath(const std::string& folder, pid_t owner, unsigned attempt) {
    return folder + std::string(kPrefix) + std::to_string(owner) + "-" + std::to_string(attempt) +
           std::string(kSuffix);
}

TemporaryLock::~TemporaryLock() {
    release();
}

Status TemporaryLock::take(const File& file) {
    release();
    // A descriptor of its own, on the file's open description: the lock belongs to the
    // description and lasts until its last descriptor is closed.
    const int fd = fcntl(file.descriptor(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        return Status::fromErrno(errno);
    }
    struct flock lock = WholeFileLock(F_WRLCK);
    if (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        const int error = errno == EACCES ? EAGAIN : errno;
        close(fd);
        return Status::fromErrno(error);
    }
    m_fd = fd;
    return Status::success();
}

void TemporaryLock::release() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

Status CreateTemporary(const std::string& folder, File& file, TemporaryLock& lock,
                       std::string& path) {
    static std::atomic<unsigned> attempts{0};
    for (int tries = 0; tries < 100; ++tries) {
        const std::string candidate = TemporaryPath(folder, getpid(), ++attempts);
        Status status = file.createNew(candidate);
        if (status.code() == EEXIST) {
            continue;
        }
        if (!status) {
            return status;
        }
        status = lock.take(file);
        // A file system without such locks (ENOLCK, EINVAL) keeps its temporaries from
        // every cleaning alike: the cleaning cannot take the lock either.
        const bool takenByCleaning = status.code() == EAGAIN;
        // The cleaning of another run may have taken the new file as stale between its
        // creation and the lock, and removed it.
        if (takenByCleaning || RegularFileIdentity(candidate) != file.identity()) {
            file.close();
            lock.release();
            continue;
        }
        path = candidate;
        NoteTemporaryInUse(path);
        return Status::success();
    }
    return Status::fromErrno(EEXIST);
}

std::optional<pid_t> TemporaryOwner(std::string_view name) {
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) {
        return std::nullopt;
    }
    name.remove_prefix(kPrefix.size());
    name.remove_suffix(kSuffix.size());
    const auto dash = name.find('-');
    if (dash == std::string_view::npos || !AllDigits(name.substr(0, dash)) ||
        !AllDigits(name.substr(dash + 1))) {
        return std::nullopt;
    }
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + dash, pid);
    if (error != std::errc() || pid <= 0) {
        return std::nullopt;
    }
    return pid;
}

void RemoveStaleTemporaries(const std::string& folder) {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
        close(fd);
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        if (TemporaryOwner(entry->d_name)) {
            RemoveIfStale(fd, entry->d_name);
        }
    }
    closedir(dir);
}

}  // namespace ostravex
