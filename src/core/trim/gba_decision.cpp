#include "trim/gba_decision.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "io/byte_buffer.h"
#include "io/end_of_data.h"

#include "trim/file_failure_text.h"
#include "trim/image_scan.h"
#include "trim/nds_decision.h"

namespace ostravex {
namespace {

// The tail is read backwards in blocks of this size, so at most one block beyond the
// filler run is read.
constexpr std::size_t kTailBlock = 256 * 1024;

// The decision once the filler the image's last bytes show is known; `findDataEnd` gives
// one past the last byte that is not that filler.
template <typename FindDataEnd>
CutVerdict DecideGbaCutWith(const ByteSource& source, bool onlyPatch, FindDataEnd findDataEnd) {
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

    std::uint64_t dataEnd = 0;  // 1-based position of the last byte that is not filler
    if (Status status = findDataEnd(filler, dataEnd); !status) {
        return verdict.finish(VerdictLine::Error, FileFailureText(FileAction::Read, status));
    }
    if (dataEnd > 1) {
        verdict.cutSize = static_cast<std::int64_t>(dataEnd);
        return verdict;
    }
    return verdict.finish(VerdictLine::Skip, "SKIP: Error while trimming: ");
}

}  // namespace

CutVerdict DecideGbaCut(const ByteSource& source, bool onlyPatch) {
    return DecideGbaCutWith(
        source, onlyPatch, [&source](std::uint8_t filler, std::uint64_t& dataEnd) {
            const std::uint64_t sourceSize = source.size();
            // Sized to the image: a small image does not allocate and clear a whole block.
            ByteBuffer block(
                static_cast<std::size_t>(std::min<std::uint64_t>(kTailBlock, sourceSize)));
            for (std::uint64_t blockEnd = sourceSize; blockEnd > 0;) {
                const std::uint64_t blockStart =
                    blockEnd - std::min<std::uint64_t>(blockEnd, kTailBlock);
                const std::span<std::uint8_t> bytes(block.data(), blockEnd - blockStart);
                if (Status status = source.readZeroFilled(blockStart, bytes); !status) {
                    return status;
                }
                if (const std::size_t end = EndOfData(bytes, filler); end > 0) {
                    dataEnd = blockStart + end;
                    break;
                }
                blockEnd = blockStart;
            }
            return Status::success();
        });
}

CutVerdict DecideGbaCut(const ImageScan& scan, bool onlyPatch) {
    return DecideGbaCutWith(scan, onlyPatch, [&scan](std::uint8_t filler, std::uint64_t& dataEnd) {
        dataEnd = scan.endOfData(filler);
        return Status::success();
    });
}

}  // namespace ostravex
