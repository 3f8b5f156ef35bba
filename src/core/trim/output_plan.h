#pragma once

#include <optional>
#include <string>

#include "io/status.h"
#include "trim/output_writer.h"

namespace ostravex {

// The checks an output must pass before anything of it is read into it or written: the
// folder that receives the new file (beside the file a symbolic link leads to, for a
// replacement of the rom) can take one, the final name is no folder and, for a new file
// that must not replace anything, is not taken by something that is not a regular file,
// and the folder of a ".bak" can take the backup's name. A run and a dry run both make
// them here, so that a dry run meets what the run would meet. What the run itself has
// changed so far (names it made or freed) is each writer's own account.
std::optional<OutputFailure> CheckOutputPlan(const OutputTarget& target);

// Whether the folder of `to` lets `from` take that name. Whether the name is free is each
// writer's own account.
Status CheckRenamePlan(const std::string& from, const std::string& to);

}  // namespace ostravex
