#include "dat/dat_matcher.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace ostravex {
namespace {

constexpr std::array<std::uint8_t, 2> kFillers = {0xFF, 0x00};

// The roms among `candidates` whose SHA-1 is `sha1`; a rom without one in its DAT is taken
// on its size and CRC-32 alone.
std::vector<IndexedRom> WithSha1(std::span<const IndexedRom> candidates, const Sha1Digest& sha1) {
    std::vector<IndexedRom> roms;
    for (const IndexedRom& candidate : candidates) {
        if (!candidate.rom->sha1 || *candidate.rom->sha1 == sha1) {
            roms.push_back(candidate);
        }
    }
    return roms;
}

constexpr std::uint64_t kNdsGameCodeOffset = 0x0C;
constexpr std::uint64_t kGbaGameCodeOffset = 0xAC;

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

std::string_view WithoutExtension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
}

// A serial names the game code alone ("AXVE") or among its parts ("NTR-AXVE-EUR").
bool SerialNames(std::string_view serial, std::string_view gameCode) {
    for (std::size_t start = 0; start <= serial.size();) {
        const std::size_t end = std::min(serial.find('-', start), serial.size());
        if (SameIgnoringCase(serial.substr(start, end - start), gameCode)) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// Whether the image claims to be one of the DAT's dumps of its size.
bool ClaimsADump(const DatIndex& index, std::uint64_t size, const ImageClaims& claims) {
    for (const IndexedRom& found : index.romsOfSize(size)) {
        const DatRom& rom = *found.rom;
        if (!claims.gameCode.empty() && SerialNames(rom.serial, claims.gameCode)) {
            return true;
        }
        if (!claims.name.empty() && (SameIgnoringCase(claims.name, WithoutExtension(rom.romName)) ||
                                     SameIgnoringCase(claims.name, rom.gameName))) {
            return true;
        }
    }
    return false;
}

// A game code is four letters or digits; anything else (homebrew's "####", zeros) names
// no game.
bool IsGameCode(std::span<const std::uint8_t> code) {
    return std::all_of(code.begin(), code.end(), [](std::uint8_t c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
}

}  // namespace

std::uint64_t LargestCartridgeSize(ImageKind kind) {
    return kind == ImageKind::Gba ? 32u << 20 : 512u << 20;
}

Status ReadImageClaims(const ByteSource& image, ImageKind kind, std::string name,
                       ImageClaims& claims) {
    std::array<std::uint8_t, 4> code{};
    const std::uint64_t at = kind == ImageKind::Gba ? kGbaGameCodeOffset : kNdsGameCodeOffset;
    if (Status status = image.readZeroFilled(at, code); !status) {
        return status;
    }
    claims.gameCode = IsGameCode(code) ? std::string(code.begin(), code.end()) : std::string();
    claims.name = std::move(name);
    return Status::success();
}

DatMatch MatchHashedImage(const DatIndex& index, const ImageHasher& hasher,
                          std::optional<std::uint64_t> largestSize, const ImageClaims& claims) {
    DatMatch match;
    match.image = hasher.digest();
    const std::uint64_t size = match.image.size;
    match.datSize = size;

    match.roms = WithSha1(index.find(size, match.image.crc32), match.image.sha1);
    if (!match.roms.empty()) {
        match.kind = DatMatchKind::FullDump;
        return match;
    }
    if (largestSize && size < *largestSize) {
        const std::vector<std::uint64_t> sizes = index.sizesBetween(size, *largestSize);
        for (const std::uint8_t filler : kFillers) {
            for (const std::uint64_t datSize : sizes) {
                const std::span<const IndexedRom> candidates =
                    index.find(datSize, hasher.paddedCrc32(filler, datSize));
                if (candidates.empty()) {
                    continue;
                }
                match.roms = WithSha1(candidates, hasher.paddedSha1(filler, datSize));
                if (!match.roms.empty()) {
                    match.kind = DatMatchKind::TrimmedDump;
                    match.filler = filler;
                    match.datSize = datSize;
                    return match;
                }
            }
        }
    }
    if (ClaimsADump(index, size, claims)) {
        match.kind = DatMatchKind::BadDump;
    }
    return match;
}

Status IdentifyImage(const DatIndex& index, const ByteSource& image, ImageKind kind,
                     const std::string& name, ByteBuffer& buffer, DatMatch& match) {
    ImageClaims claims;
    if (Status status = ReadImageClaims(image, kind, name, claims); !status) {
        return status;
    }
    ImageHasher hasher;
    if (Status status = HashRest(image, hasher, buffer); !status) {
        return status;
    }
    match = MatchHashedImage(index, hasher, LargestCartridgeSize(kind), claims);
    return Status::success();
}

std::optional<std::uint8_t> ReversibleFiller(const DatMatch& match, const ImageHasher& hasher,
                                             std::uint64_t cutSize) {
    // The image (padded with the match's filler) is the dump, so the cut result padded with
    // a filler is the dump again exactly when every byte the cut drops is that filler.
    if (match.kind == DatMatchKind::TrimmedDump) {
        return hasher.dataEnd(*match.filler) <= cutSize ? match.filler : std::nullopt;
    }
    if (match.kind == DatMatchKind::FullDump) {
        for (const std::uint8_t filler : kFillers) {
            if (hasher.dataEnd(filler) <= cutSize) {
                return filler;
            }
        }
    }
    return std::nullopt;
}

std::optional<DatRestore> RestoreFromMatch(const DatMatch& match) {
    if (match.kind != DatMatchKind::TrimmedDump) {
        return std::nullopt;
    }
    return DatRestore{match.datSize, *match.filler};
}

bool IsDatRom(const ImageDigest& digest, const DatRom& rom) {
    return digest.size == rom.size && digest.crc32 == rom.crc32 &&
           (!rom.sha1 || *rom.sha1 == digest.sha1);
}

}  // namespace ostravex
