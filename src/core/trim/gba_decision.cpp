#include "trim/gba_decision.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "io/byte_buffer.h"

#include "trim/file_failure_text.h"
#include "trim/nds_decision.h"

namespace ostravex {
namespace {

// The tail is read backwards in blocks of this size, so at most one block beyond the
// filler run is read.
constexpr std::size_t kTailBlock = 256 * 1024;

// Index one past the last byte of `bytes` that differs from `filler`; 0 when all are filler.
std::size_t EndOfData(std::span<const std::uint8_t> bytes, std::uint8_t filler) {
    std::size_t end = bytes.size();
    std::uint64_t pattern = 0;
    std::memset(&pattern, filler, sizeof pattern);
    while (end >= sizeof pattern) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + end - sizeof word, sizeof word);
        if (word != pattern) {
            break;
        }
        end -= sizeof word;
    }
    while (end > 0 && bytes[end - 1] == filler) {
        --end;
    }
    return end;
}

}  // namespace

CutVerdict DecideGbaCut(const ByteSource& source, bool onlyPatch) {
    CutVerdict verdict;
    const std::uint64_t sourceSize = source.size();
    if (sourceSize < kMinimumImageSize) {
        return verdict.finish(VerdictLine::Error, "ERROR: Incorrect File: ");
    }
    if (onlyPatch) {
        verdict.cutSize = static_cast<std::int64_t>(sourceSize);
        return verdict;
    }

    std::array<std::uint8_t, 3> tail{};
    if (Status status = source.readZeroFilled(sourceSize - tail.size(), tail); !status) {
        return verdict.finish(VerdictLine::Error, FileFailureText(FileAction::Read, status));
    }
    const std::uint8_t filler = tail[0];
    if ((filler != 0xFF && filler != 0x00) ||
        !std::all_of(tail.begin(), tail.end(), [&](std::uint8_t b) { return b == filler; })) {
        return verdict.finish(VerdictLine::Skip, "SKIP: File already trimmed: ");
    }

    // Sized to the image: a small image does not allocate and clear a whole block.
    ByteBuffer block(static_cast<std::size_t>(std::min<std::uint64_t>(kTailBlock, sourceSize)));
    std::uint64_t dataEnd = 0;  // 1-based position of the last byte that is not filler
    for (std::uint64_t blockEnd = sourceSize; blockEnd > 0;) {
        const std::uint64_t blockStart = blockEnd - std::min<std::uint64_t>(blockEnd, kTailBlock);
        const std::span<std::uint8_t> bytes(block.data(), blockEnd - blockStart);
        if (Status status = source.readZeroFilled(blockStart, bytes); !status) {
            return verdict.finish(VerdictLine::Error, FileFailureText(FileAction::Read, status));
        }
        const std::size_t end = EndOfData(bytes, filler);
        if (end > 0) {
            dataEnd = blockStart + end;
            break;
        }
        blockEnd = blockStart;
    }

    if (dataEnd > 1) {
        verdict.cutSize = static_cast<std::int64_t>(dataEnd);
        return verdict;
    }
    return verdict.finish(VerdictLine::Skip, "SKIP: Error while trimming: ");
}

}  // namespace ostravex
