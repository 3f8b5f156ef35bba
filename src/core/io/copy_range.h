#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "io/file.h"
#include "io/status.h"

namespace ostravex {

struct [[nodiscard]] CopyOutcome {
    enum class Kind { Done, SourceEnded, ReadFailed, WriteFailed };
    Kind kind = Kind::Done;
    Status status = Status::success();

    bool ok() const { return kind == Kind::Done; }
};

// Called after each chunk with the number of bytes copied so far.
using CopyProgress = std::function<void(std::uint64_t copied)>;

// Copies the first `length` bytes of `from` to the start of `to`. The kernel copies file to
// file where it can (no bytes pass through this process); elsewhere a 1 MiB buffer is used.
CopyOutcome CopyFileStart(const File& from, File& to, std::uint64_t length,
                          const CopyProgress& progress);

}  // namespace ostravex
