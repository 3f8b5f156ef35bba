#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <sys/types.h>

namespace ostravex {

// Every temporary file the program writes is named ".ostravex-PID-N.tmp" beside its final
// path: short, hidden, and carrying the writer's process id, so that one left behind by a
// killed process can be recognised and removed by the next run.
std::string TemporaryPath(const std::string& folder, pid_t owner, unsigned attempt);

// The process id in a temporary file's name, or nothing when the name is not one.
std::optional<pid_t> TemporaryOwner(std::string_view name);

// The temporary files this process is writing now, kept where a signal handler reaches them
// without allocating: a program ended by a signal (a second Ctrl-C) removes them first.
// A temporary is noted when it is created and let go once it has its final name or is gone.
void NoteTemporaryInUse(const std::string& path);
void NoteTemporaryDone(const std::string& path);
// Removes every temporary noted in use. Safe in a signal handler.
void RemoveTemporariesInUse() noexcept;

// Removes the temporary files in `folder` whose owner process no longer exists. Those of
// live processes (another run writing there now) are left alone.
void RemoveStaleTemporaries(const std::string& folder);

}  // namespace ostravex
