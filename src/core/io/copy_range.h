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
// Given each chunk's bytes, in order from the first, before they are written.
using CopyObserver = std::function<void(std::span<const std::uint8_t> chunk)>;

// Copies the first `length` bytes of `from` to the start of `to`. The kernel copies file to
// file where it can (no bytes pass through this process); elsewhere a 1 MiB buffer is used.
CopyOutcome CopyFileStart(const File& from, File& to, std::uint64_t length,
                          const CopyProgress& progress);

// The same, through a buffer, handing every chunk to `observer` as well: a copy that also
// hashes what it copies (checking a rom against DATs) reads the image once.
CopyOutcome CopyFileStartObserved(const File& from, File& to, std::uint64_t length,
                                  const CopyProgress& progress, const CopyObserver& observer);

// Writes `bytes` to the start of `to` in chunks.
CopyOutcome CopyBytesToFile(std::span<const std::uint8_t> bytes, File& to,
                            const CopyProgress& progress);

}  // namespace ostravex
