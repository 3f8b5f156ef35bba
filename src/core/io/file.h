#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "io/status.h"

namespace ostravex {

// One open file descriptor that closes itself. Every open takes an advisory exclusive
// lock, so two runs of the program (the window and a script, say) never work on the same
// file at once: one cutting an image in place while the other copies or patches it would
// leave a mix of both.
class File {
  public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // An existing regular file, for reading only.
    Status openForReading(const std::string& path);
    // The same without the lock: other programs may read and write it meanwhile (archives,
    // which are never written).
    Status openShared(const std::string& path);
    // An existing regular file, for reading and writing.
    Status openForUpdate(const std::string& path);
    // A new file that must not exist yet (read and write access).
    Status createNew(const std::string& path);

    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    // The size and permission bits the file had when it was opened.
    std::uint64_t sizeAtOpen() const { return m_sizeAtOpen; }
    unsigned permissionsAtOpen() const { return m_permissionsAtOpen; }

    Status size(std::uint64_t& bytes) const;
    // Reads up to out.size() bytes at offset; `got` is short only at the end of the file.
    Status readAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& got) const;
    Status writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    Status setLength(std::uint64_t length);
    // Reserves disk space for `length` bytes where the file system can, so that a full
    // disk shows before any byte is written; a no-op where it cannot.
    Status reserve(std::uint64_t length);
    // Gives the file these permission bits (as chmod does).
    Status setPermissions(unsigned permissions);
    // Closes the file. A failed close can be the first report of a failed write (network
    // file systems, delayed allocation): a file that was written is closed with
    // closeChecked(), which returns that failure.
    void close() { (void)closeChecked(); }
    Status closeChecked();

  private:
    Status open(const std::string& path, int flags, bool lock = true);

    int m_fd = -1;
    std::uint64_t m_sizeAtOpen = 0;
    unsigned m_permissionsAtOpen = 0;
};

}  // namespace ostravex
