#include "trim/nds_decision.h"

#include <algorithm>
#include <array>
#include <numeric>

#include "romformat/nds_header.h"
#include "trim/file_failure_text.h"

namespace ostravex {

CutTarget TargetFromHeader(std::span<const std::uint8_t> header) {
    const std::uint32_t usedSize = LittleEndian32(header, kUsedRomSizeOffset);
    const std::uint8_t unitCode = header[kUnitCodeOffset];
    const bool dsiUnit = unitCode == 2 || unitCode == 3;
    // What the header itself declares used is never cut: the used size at 0x80 and, for a
    // DSi unit code, the total at 0x210, which counts the DSi area too.
    const std::uint32_t declaredUsed =
        dsiUnit ? std::max(usedSize, LittleEndian32(header, kTotalUsedSizeOffset)) : usedSize;
    const std::uint32_t twlOffset = LittleEndian32(header, kTwlDigestOffset);
    if (twlOffset != 0) {
        // The sums wrap at 32 bits, as the header's words do. The digest regions may end
        // before data the header declares (bytes between them and 0x210's total, or a stray
        // word in an NDS header), so they can only move the cut later.
        const std::uint32_t ntrEnd =
            LittleEndian32(header, kNtrDigestOffset) + LittleEndian32(header, kNtrDigestOffset + 4);
        const std::uint32_t twlEnd = twlOffset + LittleEndian32(header, kTwlDigestOffset + 4);
        return {std::max({declaredUsed, ntrEnd, twlEnd}), true};
    }
    // DSi homebrew often leaves the digest words at zero but marks itself DSi in the unit
    // code and states its full size at 0x210; the used size at 0x80 would cut off its
    // DSi-only code.
    if (declaredUsed > usedSize) {
        return {declaredUsed, true};
    }
    return {usedSize, false};
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
    if (cut < sourceSize && sourceSize < cut + kWifiBlockSize) {
        return verdict.finish(VerdictLine::Error,
                              "ERROR: Previous trimming was wrong. Untrimmed source rom needed: ");
    }
    if (sourceSize == cut) {
        return verdict.finish(VerdictLine::Skip,
                              "SKIP: File already trimmed (wifi status unknown): ");
    }

    const bool blockEndsFile = sourceSize == cut + kWifiBlockSize;
    if (sourceSize % kMebibyte != 0 && (target.dsiEnhanced || !blockEndsFile)) {
        verdict.note(VerdictLine::Note,
                     "WARNING: File was previously trimmed incorrectly (or rom is homebrew). "
                     "Proceeding to fix: ");
    }

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
