#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "io/byte_source.h"
#include "trim/cut_verdict.h"
#include "trim/nds_decision.h"

namespace ostravex {

// Restored images are padded with this byte, the value an unwritten cartridge chip reads.
constexpr std::uint8_t kRestoreFiller = 0xFF;

// Decides the size a trimmed image is padded back to. The verdict's cut size is then the
// full size (larger than the source); a skip or error finishes the entry as in a trim.
// NDS: the cartridge size its header states (128 KiB shifted left by the device-capacity
// byte, at most 512 MiB), only for a header whose checksum matches unless `headerCheck` is
// Off. GBA: the next power of two of at least 1 MiB, as GBA cartridges are 1-32 MiB, which
// is a guess (`sizeAssumed`).
// With `sizeFromDats`, the size is the DAT dump's, decided after the image is identified:
// only what makes an image unfit for any restore is decided here (too small an image, a
// header that does not check out), and the cut size is left at the image's own size.
CutVerdict DecideRestore(const ByteSource& source, bool gba,
                         HeaderCheck headerCheck = HeaderCheck::Required,
                         bool sizeFromDats = false);

// The log line of a restored entry; a size that was a guess is told with it.
std::string RestoredLine(const std::string& name, std::uint64_t bytesAdded,
                         std::optional<std::uint64_t> assumedSize = std::nullopt);

}  // namespace ostravex
