#pragma once

#include "io/byte_source.h"
#include "trim/cut_verdict.h"

namespace ostravex {

constexpr std::uint64_t kMinimumImageSize = 512;
constexpr std::uint64_t kWifiBlockSize = 136;  // the download-play block after the used area
constexpr std::uint64_t kMebibyte = 1048576;
// File sizes of two known harmful images.
constexpr std::uint64_t kBrickerSizes[] = {151361, 548673};

// Decides where an NDS image is cut: the used size its header states (for a DSi-enhanced
// image the end of its later digest region), plus the download-play block when present.
CutVerdict DecideNdsCut(const ByteSource& source, bool skipDsi);

// True when the 136 bytes of a download-play block are neither all 0xFF nor all 0x00.
bool IsWifiBlockPresent(std::span<const std::uint8_t> block);

}  // namespace ostravex
