#pragma once

#include <string>

#include "io/file.h"
#include "io/status.h"

namespace ostravex {

// Whether the file at `path` holds exactly the bytes of `file`, read from its start. A
// failure to open or read either is returned as such.
Status SameContents(const File& file, const std::string& path, bool& same);

}  // namespace ostravex
