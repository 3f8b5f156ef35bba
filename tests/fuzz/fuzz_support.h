#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace ostravex::fuzz {

// A file that lives in memory only, reachable by a path: the readers under test open
// files by name, and a fuzzer writing to the disk for every input would spend its time
// there. One file serves every input of a process.
class MemoryFile {
  public:
    MemoryFile() : m_fd(memfd_create("fuzz-input", 0)) {
        if (m_fd < 0) {
            std::abort();
        }
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    ~MemoryFile() { ::close(m_fd); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    // Replaces the file's content with `data` and returns its path.
    const std::string& hold(const std::uint8_t* data, std::size_t size) {
        if (ftruncate(m_fd, 0) != 0) {
            std::abort();
        }
        std::size_t done = 0;
        while (done < size) {
            const ssize_t wrote = pwrite(m_fd, data + done, size - done, static_cast<off_t>(done));
            if (wrote <= 0) {
                std::abort();
            }
            done += static_cast<std::size_t>(wrote);
        }
        return m_path;
    }

  private:
    int m_fd;
    std::string m_path;
};

// Stops the run with a message when an oracle does not hold; libFuzzer keeps the input.
inline void Require(bool condition, const char* what) {
    if (!condition) {
        write(STDERR_FILENO, what, __builtin_strlen(what));
        write(STDERR_FILENO, "\n", 1);
        std::abort();
    }
}

}  // namespace ostravex::fuzz
