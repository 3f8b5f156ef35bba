#include "io/fill_range.h"

#include <algorithm>
#include <vector>

namespace ostravex {
namespace {

// Few system calls per image, and progress still moves.
constexpr std::size_t kFillChunk = 1u << 20;

}  // namespace

Status FillRange(File& file, std::uint64_t from, std::uint64_t to, std::uint8_t value,
                 const CopyProgress& progress) {
    if (from >= to) {
        return Status::success();
    }
    const std::vector<std::uint8_t> chunk(
        static_cast<std::size_t>(std::min<std::uint64_t>(kFillChunk, to - from)), value);
    for (std::uint64_t offset = from; offset < to;) {
        const auto length =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), to - offset));
        if (Status status = file.writeAt(offset, std::span(chunk.data(), length)); !status) {
            return status;
        }
        offset += length;
        progress(offset);
    }
    return Status::success();
}

}  // namespace ostravex
