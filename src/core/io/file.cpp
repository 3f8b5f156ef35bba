#include "io/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace ostravex {
namespace {

constexpr const char* kHeldByAnotherRun = "in use by another program";

std::int64_t Nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

File::Stamp StampOf(const struct stat& info) {
    return {
        .identity = {info.st_dev, info.st_ino},
        .size = static_cast<std::uint64_t>(info.st_size),
        .modifiedNs = Nanoseconds(info.st_mtim),
        .changedNs = Nanoseconds(info.st_ctim),
    };
}

}  // namespace

File::~File() {
    close();
}

File::File(File&& other) noexcept
    : m_fd(other.m_fd),
      m_sizeAtOpen(other.m_sizeAtOpen),
      m_sizeLearntAt(other.m_sizeLearntAt),
      m_permissionsAtOpen(other.m_permissionsAtOpen),
      m_ownerAtOpen(other.m_ownerAtOpen),
      m_groupAtOpen(other.m_groupAtOpen),
      m_identity(other.m_identity),
      m_stampAtOpen(other.m_stampAtOpen),
      m_openedThroughLink(other.m_openedThroughLink) {
    other.m_fd = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = other.m_fd;
        m_sizeAtOpen = other.m_sizeAtOpen;
        m_sizeLearntAt = other.m_sizeLearntAt;
        m_permissionsAtOpen = other.m_permissionsAtOpen;
        m_ownerAtOpen = other.m_ownerAtOpen;
        m_groupAtOpen = other.m_groupAtOpen;
        m_identity = other.m_identity;
        m_stampAtOpen = other.m_stampAtOpen;
        m_openedThroughLink = other.m_openedThroughLink;
        other.m_fd = -1;
    }
    return *this;
}

Status File::openForReading(const std::string& path) {
    return open(path, O_RDONLY);
}

Status File::openShared(const std::string& path) {
    return open(path, O_RDONLY, false);
}

Status File::openForUpdate(const std::string& path) {
    return open(path, O_RDWR);
}

Status File::createNew(const std::string& path) {
    return open(path, O_RDWR | O_CREAT | O_EXCL);
}

Status File::createUnnamed(const std::string& folder) {
    return open(folder.empty() ? std::string(".") : folder, O_RDWR | O_TMPFILE, false);
}

Status File::createUnnamedNear(const std::string& folder) {
    if (Status status = createUnnamed(folder); status) {
        return status;
    }
    const char* temporary = std::getenv("TMPDIR");
    return createUnnamed(temporary && *temporary ? temporary : "/tmp");
}

Status File::open(const std::string& path, int flags, bool lock) {
    close();
    // O_NONBLOCK keeps a fifo or device under a rom's name from hanging the open. It is
    // left set: on a regular file it changes nothing, and clearing it would cost two
    // system calls per file.
    // A symbolic link at the path's end is followed, on a second try: the first tells,
    // without a call of its own, whether the path is one.
    int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0666);
    const bool throughLink = fd < 0 && errno == ELOOP;
    if (throughLink) {
        fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    }
    if (fd < 0) {
        return Status::fromErrno(errno);
    }
    if (lock && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            return Status::failure(kHeldByAnotherRun, EWOULDBLOCK);
        }
        return Status::fromErrno(error);
    }
    // Looked at once the lock is held: another run that had the file until then may have
    // cut it, and what it left is what this run reads.
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return Status::failure("not a regular file");
    }
    m_fd = fd;
    m_sizeAtOpen = static_cast<std::uint64_t>(info.st_size);
    m_sizeLearntAt = std::chrono::steady_clock::now();  // read from the vDSO: no system call
    m_permissionsAtOpen = info.st_mode & 07777;
    m_ownerAtOpen = info.st_uid;
    m_groupAtOpen = info.st_gid;
    m_identity = {info.st_dev, info.st_ino};
    m_stampAtOpen = StampOf(info);
    m_openedThroughLink = throughLink;
    return Status::success();
}

Status File::size(std::uint64_t& bytes) const {
    struct stat info {};
    if (fstat(m_fd, &info) != 0) {
        return Status::fromErrno(errno);
    }
    bytes = static_cast<std::uint64_t>(info.st_size);
    return Status::success();
}

Status File::currentStamp(Stamp& stamp) const {
    struct stat info {};
    if (fstat(m_fd, &info) != 0) {
        return Status::fromErrno(errno);
    }
    stamp = StampOf(info);
    return Status::success();
}

Status File::readAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& got) const {
    got = 0;
    while (got < out.size()) {
        const ssize_t n =
            pread(m_fd, out.data() + got, out.size() - got, static_cast<off_t>(offset + got));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Status::fromErrno(errno);
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return Status::success();
}

Status File::writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = pwrite(m_fd, bytes.data() + done, bytes.size() - done,
                                 static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Status::fromErrno(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    return Status::success();
}

Status File::setLength(std::uint64_t length) {
    if (ftruncate(m_fd, static_cast<off_t>(length)) != 0) {
        return Status::fromErrno(errno);
    }
    return Status::success();
}

Status File::sync() {
    if (fsync(m_fd) != 0) {
        return Status::fromErrno(errno);
    }
    return Status::success();
}

Status File::reserve(std::uint64_t length) {
    if (length == 0) {
        return Status::success();
    }
    if (fallocate(m_fd, 0, 0, static_cast<off_t>(length)) != 0) {
        if (errno == EOPNOTSUPP || errno == ENOSYS) {
            return Status::success();
        }
        return Status::fromErrno(errno);
    }
    return Status::success();
}

Status File::setPermissions(unsigned permissions) {
    if (fchmod(m_fd, static_cast<mode_t>(permissions)) != 0) {
        return Status::fromErrno(errno);
    }
    return Status::success();
}

void File::setOwnerWherePermitted(uid_t owner, gid_t group) {
    // A refusal (EPERM) leaves the file as the system made it, owned by this process.
    (void)fchown(m_fd, owner, group);
}

Status File::closeChecked() {
    if (m_fd < 0) {
        return Status::success();
    }
    const int result = ::close(m_fd);
    m_fd = -1;
    // After EINTR the descriptor is gone on Linux and nothing was lost.
    if (result != 0 && errno != EINTR) {
        return Status::fromErrno(errno);
    }
    return Status::success();
}

Status HeldByAnotherRun() {
    return Status::failure(kHeldByAnotherRun, EWOULDBLOCK);
}

bool IsHeldByAnotherRun(const Status& status) {
    return !status && status.code() == EWOULDBLOCK && status.reason() == kHeldByAnotherRun;
}

std::optional<File::Identity> RegularFileIdentity(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return File::Identity{info.st_dev, info.st_ino};
}

}  // namespace ostravex
