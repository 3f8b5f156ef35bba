#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include <sys/types.h>

#include "io/status.h"

namespace ostravex {

// One open file descriptor that closes itself. Every open takes an advisory exclusive
// lock, so two runs of the program (the window and a script, say) never work on the same
// file at once: one cutting an image in place while the other copies or patches it would
// leave a mix of both.
class File {
  public:
    // Which file an open descriptor is: two paths or descriptors are the same file when
    // their identities are equal.
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const Identity&) const = default;
    };
    // Which file, and the state it was in: a write, a truncation or a replacement changes
    // the size or the change time (kept in nanoseconds, as the file system gives them).
    struct Stamp {
        Identity identity;
        std::uint64_t size = 0;
        std::int64_t modifiedNs = 0;
        std::int64_t changedNs = 0;
        bool operator==(const Stamp&) const = default;
    };

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
    // A new file without a name in `folder`: nobody else sees it, and it vanishes when it
    // is closed, whenever the process ends.
    Status createUnnamed(const std::string& folder);
    // The same in `folder`, or, where no file can be made there (a read-only folder), in the
    // temporary folder ($TMPDIR, else /tmp).
    Status createUnnamedNear(const std::string& folder);

    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    // The size, permission bits and owner the file had when it was opened.
    std::uint64_t sizeAtOpen() const { return m_sizeAtOpen; }
    // How long ago that size was learnt (once the lock was held).
    std::chrono::steady_clock::duration sizeAge() const {
        return std::chrono::steady_clock::now() - m_sizeLearntAt;
    }
    unsigned permissionsAtOpen() const { return m_permissionsAtOpen; }
    uid_t ownerAtOpen() const { return m_ownerAtOpen; }
    gid_t groupAtOpen() const { return m_groupAtOpen; }
    Identity identity() const { return m_identity; }
    // The file's stamp as the open found it, once the lock was held.
    Stamp stampAtOpen() const { return m_stampAtOpen; }
    // The file's stamp now.
    Status currentStamp(Stamp& stamp) const;
    // The path it was opened by ends in a symbolic link (followed to this file).
    bool openedThroughLink() const { return m_openedThroughLink; }

    Status size(std::uint64_t& bytes) const;
    // Reads up to out.size() bytes at offset; `got` is short only at the end of the file.
    Status readAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& got) const;
    Status writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    Status setLength(std::uint64_t length);
    // Puts what was written to the file, and its size, on the disk (fsync).
    Status sync();
    // Reserves disk space for `length` bytes where the file system can, so that a full
    // disk shows before any byte is written; a no-op where it cannot.
    Status reserve(std::uint64_t length);
    // Gives the file these permission bits (as chmod does).
    Status setPermissions(unsigned permissions);
    // Gives the file this owner and group where the system lets this process do so (root,
    // or an owner giving its file to one of its own groups); elsewhere the file keeps the
    // ones it has, as it does on file systems that have no owners (FAT, exFAT).
    void setOwnerWherePermitted(uid_t owner, gid_t group);
    // Closes the file. A failed close can be the first report of a failed write (network
    // file systems, delayed allocation): a file that was written is closed with
    // closeChecked(), which returns that failure.
    void close() { (void)closeChecked(); }
    Status closeChecked();

  private:
    Status open(const std::string& path, int flags, bool lock = true);

    int m_fd = -1;
    std::uint64_t m_sizeAtOpen = 0;
    std::chrono::steady_clock::time_point m_sizeLearntAt;
    unsigned m_permissionsAtOpen = 0;
    uid_t m_ownerAtOpen = 0;
    gid_t m_groupAtOpen = 0;
    Identity m_identity;
    Stamp m_stampAtOpen;
    bool m_openedThroughLink = false;
};

// The reason an open fails when another run of the program (or another program taking the
// same advisory lock) holds the file.
bool IsHeldByAnotherRun(const Status& status);
// That failure, for a step that finds another run has done the work meanwhile.
Status HeldByAnotherRun();

// The identity of the file a path leads to (symbolic links followed), when it is a
// regular file.
std::optional<File::Identity> RegularFileIdentity(const std::string& path);

}  // namespace ostravex
