#pragma once

#include "io/byte_source.h"
#include "trim/cut_verdict.h"
#include "trim/image_scan.h"

namespace ostravex {

// Decides where a GBA image is cut: right after its last byte that differs from the filler
// (0xFF or 0x00) its last three bytes show. Reads only the filler tail, backwards.
CutVerdict DecideGbaCut(const ByteSource& source, bool onlyPatch);
// The same decision from a scan of the image's bytes as they came.
CutVerdict DecideGbaCut(const ImageScan& scan, bool onlyPatch);

}  // namespace ostravex
