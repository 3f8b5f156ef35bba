#include "trim/restore_decision.h"

#include <array>
#include <bit>

#include "trim/file_failure_text.h"
#include "trim/nds_decision.h"

namespace ostravex {
namespace {

// The largest NDS and DSi cartridges made hold 4 Gbit (512 MiB, capacity byte 12). A larger
// capacity is a damaged or foreign header: byte 15 would pad a 700 KB file to 4 GiB.
constexpr std::uint8_t kLargestCapacity = 12;
constexpr std::uint64_t kSmallestGbaCartridge = 1u << 20;
constexpr std::uint64_t kLargestGbaCartridge = 32u << 20;

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
    if (sourceSize > usedSize && sourceSize < usedSize + kWifiBlockSize) {
        // The download-play block was cut part-way; padding cannot bring its bytes back.
        return verdict.finish(VerdictLine::Error,
                              "ERROR: Previous trimming was wrong. Untrimmed source rom needed: ");
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
