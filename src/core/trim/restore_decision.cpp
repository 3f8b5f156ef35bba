#include "trim/restore_decision.h"

#include <algorithm>
#include <array>
#include <bit>
#include <span>
#include <vector>

#include "trim/file_failure_text.h"
#include "trim/image_scan.h"
#include "trim/nds_decision.h"
#include "trim/padding_check.h"

namespace ostravex {
namespace {

// The largest NDS and DSi cartridges made hold 4 Gbit (512 MiB, capacity byte 12). A larger
// capacity is a damaged or foreign header: byte 15 would pad a 700 KB file to 4 GiB.
constexpr std::uint8_t kLargestCapacity = 12;
constexpr std::uint64_t kSmallestGbaCartridge = 1u << 20;
constexpr std::uint64_t kLargestGbaCartridge = 32u << 20;

// Whether every byte of `source` from `from` on is the restore filler. A member's scan
// tells it from where its data ends; a file is read.
Status OnlyFillerFrom(const ByteSource& source, std::uint64_t from, bool& onlyFiller) {
    onlyFiller = true;
    if (from >= source.size()) {
        return Status::success();
    }
    if (const auto* scan = dynamic_cast<const ImageScan*>(&source)) {
        onlyFiller = scan->endOfData(kRestoreFiller) <= from;
        return Status::success();
    }
    constexpr std::size_t kChunk = 1u << 20;
    std::vector<std::uint8_t> chunk(
        static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, source.size() - from)));
    for (std::uint64_t offset = from; offset < source.size() && onlyFiller;) {
        const auto length =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), source.size() - offset));
        const std::span<std::uint8_t> part(chunk.data(), length);
        if (Status status = source.readZeroFilled(offset, part); !status) {
            return status;
        }
        onlyFiller = IsAllFiller(part, kRestoreFiller);
        offset += length;
    }
    return Status::success();
}

CutVerdict DecideNdsRestore(const ByteSource& source, HeaderCheck headerCheck) {
    CutVerdict verdict;
    const std::uint64_t sourceSize = source.size();
    std::array<std::uint8_t, kDecisionHeaderBytes> header{};
    if (Status status = source.readZeroFilled(0, header); !status) {
        return verdict.finish(VerdictLine::Error, FileFailureText(FileAction::Read, status));
    }
    if (RefuseUncheckedHeader(header, headerCheck, verdict)) {
        return verdict;
    }
    // The data ends where a trim would cut; a DSi-enhanced image's DSi area counts too.
    const std::uint64_t usedSize = TargetFromHeader(header).size;
    const std::uint8_t capacity = header[kDeviceCapacityOffset];
    if (capacity > kLargestCapacity) {
        return verdict.finish(
            VerdictLine::Skip,
            "SKIP: Cartridge size in the header is above 512 MiB, not restored: ");
    }
    const std::uint64_t cartridgeSize = *CartridgeSizeFromCapacity(capacity);
    if (cartridgeSize < usedSize) {
        return verdict.finish(
            VerdictLine::Skip,
            "SKIP: Cartridge size in the header is below the used size, not restored: ");
    }
    if (sourceSize >= cartridgeSize) {
        return verdict.finish(VerdictLine::Skip,
                              "SKIP: Already at its cartridge size, not restored: ");
    }
    if (usedSize > sourceSize) {
        // Padding would put filler where data is missing.
        return verdict.finish(VerdictLine::Error,
                              "ERROR: File size mismatch or previously overtrimmed: ");
    }
    // After the data only filler may stand, beyond the download-play block where there is
    // room for one: what a restore stopped part-way leaves, which this one completes.
    const bool roomForBlock = sourceSize >= usedSize + kWifiBlockSize;
    bool onlyFiller = false;
    if (Status status =
            OnlyFillerFrom(source, roomForBlock ? usedSize + kWifiBlockSize : usedSize, onlyFiller);
        !status) {
        return verdict.finish(VerdictLine::Error, FileFailureText(FileAction::Read, status));
    }
    if (!onlyFiller && !roomForBlock) {
        // The download-play block was cut part-way; padding cannot bring its bytes back.
        return verdict.finish(VerdictLine::Error,
                              "ERROR: Previous trimming was wrong. Untrimmed source rom needed: ");
    }
    if (!onlyFiller) {
        // Data the header does not count: not what a restore leaves.
        return verdict.finish(VerdictLine::Skip,
                              "SKIP: Bytes after the used size are not filler, not restored: ");
    }
    verdict.cutSize = static_cast<std::int64_t>(cartridgeSize);
    return verdict;
}

CutVerdict DecideGbaRestore(const ByteSource& source) {
    CutVerdict verdict;
    const std::uint64_t sourceSize = source.size();
    if (std::has_single_bit(sourceSize)) {
        return verdict.finish(VerdictLine::Skip,
                              "SKIP: Size is already a power of two, not restored: ");
    }
    if (sourceSize > kLargestGbaCartridge) {
        return verdict.finish(VerdictLine::Skip,
                              "SKIP: Larger than a GBA cartridge (32 MiB), not restored: ");
    }
    verdict.cutSize =
        static_cast<std::int64_t>(std::max(kSmallestGbaCartridge, std::bit_ceil(sourceSize)));
    verdict.sizeAssumed = true;
    return verdict;
}

}  // namespace

CutVerdict DecideRestore(const ByteSource& source, bool gba, HeaderCheck headerCheck,
                         bool sizeFromDats) {
    CutVerdict verdict;
    if (source.size() < kMinimumImageSize) {
        return verdict.finish(VerdictLine::Error, "ERROR: Incorrect File: ");
    }
    if (sizeFromDats) {
        if (!gba) {
            std::array<std::uint8_t, kDecisionHeaderBytes> header{};
            if (Status status = source.readZeroFilled(0, header); !status) {
                return verdict.finish(VerdictLine::Error,
                                      FileFailureText(FileAction::Read, status));
            }
            if (RefuseUncheckedHeader(header, headerCheck, verdict)) {
                return verdict;
            }
        }
        verdict.cutSize = static_cast<std::int64_t>(source.size());
        return verdict;
    }
    return gba ? DecideGbaRestore(source) : DecideNdsRestore(source, headerCheck);
}

std::string RestoredLine(const std::string& name, std::uint64_t bytesAdded,
                         std::optional<std::uint64_t> assumedSize) {
    std::string line = "RESTORED: " + name + ": " + std::to_string(bytesAdded) + " bytes added";
    if (assumedSize) {
        line += " (assumed " + std::to_string(*assumedSize >> 20) + " MiB)";
    }
    return line;
}

}  // namespace ostravex
