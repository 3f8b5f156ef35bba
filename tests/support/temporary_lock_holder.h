#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace ostravex::testing {

// An open description of a file that holds a temporary's lock on it, as a run writing that
// temporary does (from whatever PID namespace, or from another machine sharing the folder).
class TemporaryLockHolder {
  public:
    explicit TemporaryLockHolder(const std::string& path)
        : m_fd(open(path.c_str(), O_RDWR | O_CLOEXEC)) {
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        m_held = m_fd >= 0 && fcntl(m_fd, F_OFD_SETLK, &lock) == 0;
    }
    ~TemporaryLockHolder() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    TemporaryLockHolder(const TemporaryLockHolder&) = delete;
    TemporaryLockHolder& operator=(const TemporaryLockHolder&) = delete;

    bool held() const { return m_held; }

  private:
    int m_fd;
    bool m_held = false;
};

// Whether another open description could take a temporary's lock on `path` now.
inline bool TemporaryLockFree(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    const bool free = fcntl(fd, F_OFD_SETLK, &lock) == 0;
    close(fd);
    return free;
}

}  // namespace ostravex::testing
