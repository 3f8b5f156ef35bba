#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dat/dat_index.h"
#include "dat/image_hasher.h"
#include "io/byte_buffer.h"
#include "io/byte_source.h"
#include "io/status.h"

namespace ostravex {

enum class ImageKind { Nds, Gba };

enum class DatMatchKind {
    FullDump,     // the image as it is is a dump of a DAT
    TrimmedDump,  // the image padded with `filler` to a DAT size is a dump of a DAT
    // The image claims to be a DAT's dump (its header's game code is the dump's serial, or
    // its file name the dump's name), has its size, and has not its checksums.
    BadDump,
    NotInDat,  // neither
};

// What the loaded DATs say about one image.
struct DatMatch {
    DatMatchKind kind = DatMatchKind::NotInDat;
    // FullDump, TrimmedDump: every DAT rom the image is, in the order the DATs were loaded
    // (a dump listed in two DATs is found in both). Empty otherwise.
    std::vector<IndexedRom> roms;
    // TrimmedDump: the byte the image was padded with (0xFF or 0x00).
    std::optional<std::uint8_t> filler;
    // The size of the dump in the DAT: the image's own size for FullDump and BadDump, the
    // padded size for TrimmedDump.
    std::uint64_t datSize = 0;
    // The image as it is.
    ImageDigest image;
};

// The largest cartridge of each kind (GBA 32 MiB, NDS 512 MiB): a trimmed dump is looked for
// at every size the DATs list between the image's own and this.
std::uint64_t LargestCartridgeSize(ImageKind kind);

// What an image says it is, besides its bytes: the evidence that makes an image of a DAT
// dump's size and other checksums a bad dump of it, rather than some other file.
struct ImageClaims {
    std::string gameCode;  // its header's game code (NDS 0x0C, GBA 0xAC); empty if it has none
    std::string name;      // its file name without folder, extension and scene number
};

// The claims of `image`: its game code, read from its header, and `name` as given.
[[nodiscard]] Status ReadImageClaims(const ByteSource& image, ImageKind kind, std::string name,
                                     ImageClaims& claims);

// Identifies an image from its hashes (`hasher` has seen every byte of it): first as it is;
// if it is in no DAT and shorter than `largestSize`, as if padded with 0xFF, then 0x00, to
// each DAT size between its own and that. Only a padded size and CRC-32 that a DAT lists
// costs a SHA-1 of the padding; nothing is read. The cost does not depend on how many roms
// the DATs hold. An image of a dump's size that is none is a bad dump only when `claims`
// say it is that dump.
DatMatch MatchHashedImage(const DatIndex& index, const ImageHasher& hasher,
                          std::optional<std::uint64_t> largestSize, const ImageClaims& claims = {});

// Reads the whole image once and identifies it; `name` is its file name (see ImageClaims).
[[nodiscard]] Status IdentifyImage(const DatIndex& index, const ByteSource& image, ImageKind kind,
                                   const std::string& name, ByteBuffer& buffer, DatMatch& match);

// The filler with which the image cut to `cutSize` pads back to the matched DAT dump, byte
// for byte; empty when no filler does (the cut would drop data), and for an image that
// matched no dump. For a trimmed dump only its own filler can; for a full dump 0xFF is
// tried first, then 0x00.
std::optional<std::uint8_t> ReversibleFiller(const DatMatch& match, const ImageHasher& hasher,
                                             std::uint64_t cutSize);

// How a trimmed dump is restored: padded to `size` with `filler`, which gives the SHA-1
// the DAT lists. Empty unless the match is a trimmed dump.
struct DatRestore {
    std::uint64_t size;
    std::uint8_t filler;
};
std::optional<DatRestore> RestoreFromMatch(const DatMatch& match);

// True when the hashed bytes are the DAT rom: same size, CRC-32 and (when the DAT gives
// it) SHA-1. For verifying what a restore wrote.
bool IsDatRom(const ImageDigest& digest, const DatRom& rom);

}  // namespace ostravex
