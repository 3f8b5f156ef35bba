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

// True when `text` is well-formed UTF-8: no stray continuation bytes, overlong forms,
// surrogates or code points past U+10FFFF.
inline bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = lead < 0xC2   ? 0
                                   : lead < 0xE0 ? 2
                                   : lead < 0xF0 ? 3
                                   : lead < 0xF5 ? 4
                                                 : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        const auto second = static_cast<unsigned char>(text[i + 1]);
        const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        if (second < low || second > high) {
            return false;
        }
        for (std::size_t k = 2; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

}  // namespace ostravex::fuzz
