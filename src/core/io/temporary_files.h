#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <sys/types.h>

#include "io/file.h"
#include "io/status.h"

namespace ostravex {

// Every temporary file the program writes is named ".ostravex-PID-N.tmp" beside its final
// path: short, hidden, and unique among the writers of one machine. The process id only
// makes the name unique; it says nothing about whether the writer still runs (a process
// in another PID namespace, or on another machine sharing the folder, has ids of its own).
std::string TemporaryPath(const std::string& folder, pid_t owner, unsigned attempt);

// The process id in a temporary file's name, or nothing when the name is not one.
std::optional<pid_t> TemporaryOwner(std::string_view name);

// The mark of a temporary file being written: an open-file-description lock (F_OFD_SETLK)
// on the whole file. Such a lock is seen by every process of the machine, whatever its
// PID namespace, and by the other clients of a network file system that passes locks on
// (NFS, SMB). It is held on a descriptor of its own that shares the file's open
// description, so it stays held after the file is closed, until the temporary has its
// final name or is gone; a killed writer's lock goes with the process.
class TemporaryLock {
  public:
    TemporaryLock() = default;
    ~TemporaryLock();
    TemporaryLock(const TemporaryLock&) = delete;
    TemporaryLock& operator=(const TemporaryLock&) = delete;

    // Takes the lock on the temporary open (for writing) as `file`. EAGAIN when another
    // open description holds a lock on it: the cleaning of another run took it as stale.
    Status take(const File& file);
    void release();

  private:
    int m_fd = -1;
};

// Creates a new temporary file in `folder` (empty or ending in "/"), open for reading and
// writing as `file`, marked by `lock` and noted in use; `path` receives its name.
Status CreateTemporary(const std::string& folder, File& file, TemporaryLock& lock,
                       std::string& path);

// The temporary files this process is writing now, kept where a signal handler reaches them
// without allocating: a program ended by a signal (a second Ctrl-C) removes them first.
// A temporary is noted when it is created and let go once it has its final name or is gone.
void NoteTemporaryInUse(const std::string& path);
void NoteTemporaryDone(const std::string& path);
// Removes every temporary noted in use. Safe in a signal handler.
void RemoveTemporariesInUse() noexcept;

// Removes the temporary files in `folder` that nobody writes any more: those on which
// both the temporary's lock and the lock every open File takes can be had. One that is
// held, by another run of this machine or of another one, is left alone, and so is one
// that cannot be opened to look.
void RemoveStaleTemporaries(const std::string& folder);

}  // namespace ostravex
