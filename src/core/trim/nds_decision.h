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
// The skip line of an image whose header checksum is wrong: a damaged dump, or a file that
// is no NDS image at all, whose "used size" is whatever its bytes happen to say.
inline constexpr const char* kHeaderMismatchSkipText =
    "SKIP: Header checksum does not match (damaged or not an NDS image): ";

// Whether an NDS image is changed only when its header checksum matches. The window always
// requires it; the command line can turn it off for images the user vouches for.
enum class HeaderCheck { Required, Off };

// The header words the decision needs lie below 0x214; a shorter image reads zero there.
constexpr std::size_t kDecisionHeaderBytes = kTotalUsedSizeOffset + 4;

struct CutTarget {
    std::uint64_t size = 0;  // T: where the image is cut, before any download-play block
    bool dsiEnhanced = false;
};

// Where the header says the image's data ends, from its first kDecisionHeaderBytes bytes:
// the used size at 0x80 and, for a DSi unit code (2 or 3), the total at 0x210 when larger;
// the end of a DSi-enhanced image's digest regions only ever moves the cut later. A DSi unit
// code always marks the image DSi-enhanced; so do digest words, except on a DS-only image
// (unit code 0), whose digest words are ignored.
CutTarget TargetFromHeader(std::span<const std::uint8_t> header);

// Finishes `verdict` as the header-mismatch skip and returns true when the check is
// required and the header's checksum is wrong. `header` holds the first
// kDecisionHeaderBytes bytes of the image.
bool RefuseUncheckedHeader(std::span<const std::uint8_t> header, HeaderCheck check,
                           CutVerdict& verdict);

// Decides where an NDS image is cut: the used size its header states (for a DSi-enhanced
// image the end of its later digest region), plus the download-play block when present.
// Fewer than a block's bytes after the used size are cut when they are all 0xFF or all
// 0x00, and an error otherwise.
// An image whose header checksum is wrong is skipped unless `headerCheck` is Off.
CutVerdict DecideNdsCut(const ByteSource& source, bool skipDsi,
                        HeaderCheck headerCheck = HeaderCheck::Required);

// True when the 136 bytes of a download-play block are neither all 0xFF nor all 0x00.
bool IsWifiBlockPresent(std::span<const std::uint8_t> block);

}  // namespace ostravex
