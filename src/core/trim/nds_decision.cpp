#include "trim/nds_decision.h"

#include <algorithm>
#include <array>
#include <numeric>

#include "romformat/nds_header.h"
#include "trim/file_failure_text.h"
#include "trim/padding_check.h"

namespace ostravex {
namespace {

// Unit codes at 0x12.
constexpr std::uint8_t kUnitCodeNds = 0;  // DS only
constexpr std::uint8_t kUnitCodeDsiEnhanced = 2;
constexpr std::uint8_t kUnitCodeDsiExclusive = 3;

// Whether the size of a file about to be cut at `cut` suggests that another tool trimmed
// it before: neither whole mebibytes nor the cartridge size its header names, nor (unless
// the image is DSi-enhanced) the used size plus a download-play block, which has a warning
// of its own.
bool SizeSuggestsEarlierTrim(std::uint64_t sourceSize, std::uint64_t cut, bool dsiEnhanced,
                             std::span<const std::uint8_t> header) {
    if (sourceSize % kMebibyte == 0 ||
        sourceSize == CartridgeSizeFromCapacity(header[kDeviceCapacityOffset])) {
        return false;
    }
    return dsiEnhanced || sourceSize != cut + kWifiBlockSize;
}

// True when every byte is 0xFF or every byte is 0x00.
bool IsOneFillerRun(std::span<const std::uint8_t> bytes) {
    return IsAllFiller(bytes, 0xFF) || IsAllFiller(bytes, 0x00);
}

}  // namespace

CutTarget TargetFromHeader(std::span<const std::uint8_t> header) {
    const std::uint32_t usedSize = LittleEndian32(header, kUsedRomSizeOffset);
    const std::uint8_t unitCode = header[kUnitCodeOffset];
    const bool dsiUnit = unitCode == kUnitCodeDsiEnhanced || unitCode == kUnitCodeDsiExclusive;
    // What the header itself declares used is never cut: the used size at 0x80 and, for a
    // DSi unit code, the total at 0x210, which counts the DSi area too.
    const std::uint32_t declaredUsed =
        dsiUnit ? std::max(usedSize, LittleEndian32(header, kTotalUsedSizeOffset)) : usedSize;
    // A DS-only image has no digest regions; whatever a build tool left in those words is
    // no part of the image.
    const std::uint32_t twlOffset =
        unitCode == kUnitCodeNds ? 0 : LittleEndian32(header, kTwlDigestOffset);
    if (twlOffset != 0) {
        // The sums wrap at 32 bits, as the header's words do. The digest regions may end
        // before data the header declares (bytes between them and 0x210's total), so they
        // can only move the cut later.
        const std::uint32_t ntrEnd =
            LittleEndian32(header, kNtrDigestOffset) + LittleEndian32(header, kNtrDigestOffset + 4);
        const std::uint32_t twlEnd = twlOffset + LittleEndian32(header, kTwlDigestOffset + 4);
        return {std::max({declaredUsed, ntrEnd, twlEnd}), true};
    }
    // A DSi unit code marks a DSi image whatever its size words say. DSi homebrew often
    // leaves the digest words at zero and states its full size at 0x210 only; the used size
    // at 0x80 would cut off its DSi-only code.
    return {declaredUsed, dsiUnit};
}

bool RefuseUncheckedHeader(std::span<const std::uint8_t> header, HeaderCheck check,
                           CutVerdict& verdict) {
    if (check == HeaderCheck::Off || HeaderChecksumMatches(header)) {
        return false;
    }
    verdict.finish(VerdictLine::Skip, kHeaderMismatchSkipText);
    verdict.headerMismatch = true;
    return true;
}

bool IsWifiBlockPresent(std::span<const std::uint8_t> block) {
    const unsigned sum = std::accumulate(block.begin(), block.end(), 0u);
    return sum != 0 && sum != 255u * block.size();
}

CutVerdict DecideNdsCut(const ByteSource& source, bool skipDsi, HeaderCheck headerCheck) {
    CutVerdict verdict;
    const std::uint64_t sourceSize = source.size();
    if (std::find(std::begin(kBrickerSizes), std::end(kBrickerSizes), sourceSize) !=
        std::end(kBrickerSizes)) {
        verdict.note(VerdictLine::Bricker, "WARNING: POSSIBLE BRICKER: ");
    }
    if (sourceSize < kMinimumImageSize) {
        return verdict.finish(VerdictLine::Error, "ERROR: Incorrect File: ");
    }

    std::array<std::uint8_t, kDecisionHeaderBytes> header{};
    if (Status status = source.readZeroFilled(0, header); !status) {
        return verdict.finish(VerdictLine::Error, FileFailureText(FileAction::Read, status));
    }
    if (RefuseUncheckedHeader(header, headerCheck, verdict)) {
        return verdict;
    }
    const CutTarget target = TargetFromHeader(header);
    std::uint64_t cut = target.size;
    if (target.dsiEnhanced) {
        if (skipDsi) {
            return verdict.finish(VerdictLine::DsiSkip, kDsiSkipText);
        }
        verdict.note(VerdictLine::Note, "WARNING: DSi rom: ");
    }

    if (cut > sourceSize || cut == 0) {
        return verdict.finish(VerdictLine::Error,
                              "ERROR: File size mismatch or previously overtrimmed: ");
    }
    // Fewer bytes than a download-play block after the cut are either what is left of a
    // block an earlier trim cut part-way, or padding a build tool added for alignment. Only
    // padding, all one filler value, is safe to cut; nothing of a block is lost with it.
    const std::uint64_t afterCut = sourceSize - cut;
    const bool onlyPaddingFollows = afterCut > 0 && afterCut < kWifiBlockSize;
    if (onlyPaddingFollows) {
        std::array<std::uint8_t, kWifiBlockSize - 1> tail{};
        const auto padding = std::span(tail).first(static_cast<std::size_t>(afterCut));
        if (Status status = source.readZeroFilled(cut, padding); !status) {
            return verdict.finish(VerdictLine::Error, FileFailureText(FileAction::Read, status));
        }
        if (!IsOneFillerRun(padding)) {
            return verdict.finish(
                VerdictLine::Error,
                "ERROR: Previous trimming was wrong. Untrimmed source rom needed: ");
        }
    }
    if (afterCut == 0) {
        return verdict.finish(VerdictLine::Skip,
                              "SKIP: File already trimmed (wifi status unknown): ");
    }

    if (SizeSuggestsEarlierTrim(sourceSize, cut, target.dsiEnhanced, header)) {
        verdict.note(VerdictLine::Note,
                     "WARNING: File was previously trimmed incorrectly (or rom is homebrew). "
                     "Proceeding to fix: ");
    }
    if (onlyPaddingFollows) {
        verdict.cutSize = static_cast<std::int64_t>(cut);
        return verdict;
    }

    const bool blockEndsFile = afterCut == kWifiBlockSize;
    std::array<std::uint8_t, kWifiBlockSize> block{};
    if (Status status = source.readZeroFilled(cut, block); !status) {
        return verdict.finish(VerdictLine::Error, FileFailureText(FileAction::Read, status));
    }
    verdict.hasWifi = IsWifiBlockPresent(block);
    if (verdict.hasWifi && blockEndsFile && !target.dsiEnhanced) {
        return verdict.finish(VerdictLine::Skip, "SKIP: File already trimmed (WIFI data found): ");
    }
    if (!target.dsiEnhanced && !verdict.hasWifi && blockEndsFile) {
        verdict.note(VerdictLine::Note,
                     "WARNING: File was previously trimmed incorrectly. Proceeding to fix: ");
    }
    if (verdict.hasWifi) {
        verdict.note(VerdictLine::Wifi, "INFO: Wifi game: ");
        cut += kWifiBlockSize;
    }
    verdict.cutSize = static_cast<std::int64_t>(cut);
    return verdict;
}

}  // namespace ostravex
