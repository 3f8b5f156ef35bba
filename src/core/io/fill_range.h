#pragma once

#include <cstdint>

#include "io/copy_range.h"
#include "io/file.h"
#include "io/status.h"

namespace ostravex {

// Writes `value` into every byte of `file` from `from` up to `to`, growing the file to `to`.
Status FillRange(File& file, std::uint64_t from, std::uint64_t to, std::uint8_t value,
                 const CopyProgress& progress);

}  // namespace ostravex
