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

// Removes the temporary files in `folder` whose owner process no longer exists. Those of
// live processes (another run writing there now) are left alone.
void RemoveStaleTemporaries(const std::string& folder);

}  // namespace ostravex
