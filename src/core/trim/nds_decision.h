#pragma once

#include <span>

#include "io/byte_source.h"
#include "romformat/nds_header.h"
#include "trim/cut_verdict.h"

namespace ostravex {

constexpr std::uint64_t kMinimumImageSize = 512;
constexpr std::uint64_t kWifiBlockSize = 136;  // the download-play block after the used area
constexpr std::uint64_t kMebibyte = 1048576;
// File sizes of two known harmful images.
constexpr std::uint64_t kBrickerSizes[] = {151361, 548673};

// The skip line of a DSi-enhanced image when "Skip DSi roms" is on.
inline constexpr const char* kDsiSkipText = "SKIP: DSi rom, skipping trimming: ";

// The header words the decision needs lie below 0x214; a shorter image reads zero there.
constexpr std::size_t kDecisionHeaderBytes = kTotalUsedSizeOffset + 4;

struct CutTarget {
    std::uint64_t size = 0;  // T: where the image is cut, before any download-play block
    bool dsiEnhanced = false;
};

// Where the header says the image's data ends, from its first kDecisionHeaderBytes bytes.
CutTarget TargetFromHeader(std::span<const std::uint8_t> header);

// Decides where an NDS image is cut: the used size its header states (for a DSi-enhanced
// image the end of its later digest region), plus the download-play block when present.
CutVerdict DecideNdsCut(const ByteSource& source, bool skipDsi);

// True when the 136 bytes of a download-play block are neither all 0xFF nor all 0x00.
bool IsWifiBlockPresent(std::span<const std::uint8_t> block);

}  // namespace ostravex
