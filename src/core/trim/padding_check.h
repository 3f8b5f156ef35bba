#pragma once

#include <cstdint>
#include <span>

#include "io/byte_source.h"
#include "trim/cut_verdict.h"
#include "trim/image_scan.h"

namespace ostravex {

// Reads the bytes a cut would remove (from the cut size, a kept download-play block
// included, to the end) and turns the verdict into a skip unless they are all one filler
// value, 0xFF or 0x00: a cut then never drops data that lies beyond the used size.
void CheckCutPadding(const ByteSource& source, CutVerdict& verdict);
// The same check from a scan of the image's bytes as they came.
void CheckCutPadding(const ImageScan& scan, CutVerdict& verdict);

// True when every byte of `bytes` equals `filler`.
bool IsAllFiller(std::span<const std::uint8_t> bytes, std::uint8_t filler);

}  // namespace ostravex
