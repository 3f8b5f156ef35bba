#include "dat/dat_matcher.h"

#include <array>
#include <bit>

#include "romformat/nds_header.h"

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

}  // namespace

Status CartridgeSizeOf(const ByteSource& image, ImageKind kind,
                       std::optional<std::uint64_t>& size) {
    if (kind == ImageKind::Gba) {
        size = std::bit_ceil(image.size());
        return Status::success();
    }
    std::array<std::uint8_t, 1> capacity{};
    if (Status status = image.readZeroFilled(kDeviceCapacityOffset, capacity); !status) {
        return status;
    }
    size = CartridgeSizeFromCapacity(capacity[0]);
    return Status::success();
}

DatMatch MatchHashedImage(const DatIndex& index, const ImageHasher& hasher,
                          std::optional<std::uint64_t> cartridgeSize) {
    DatMatch match;
    match.image = hasher.digest();
    const std::uint64_t size = match.image.size;
    match.datSize = size;

    match.roms = WithSha1(index.find(size, match.image.crc32), match.image.sha1);
    if (!match.roms.empty()) {
        match.kind = DatMatchKind::FullDump;
        return match;
    }
    if (cartridgeSize && size < *cartridgeSize) {
        const std::vector<std::uint64_t> sizes = index.sizesBetween(size, *cartridgeSize);
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
    if (index.hasSize(size)) {
        match.kind = DatMatchKind::BadDump;
    }
    return match;
}

Status IdentifyImage(const DatIndex& index, const ByteSource& image, ImageKind kind,
                     ByteBuffer& buffer, DatMatch& match) {
    std::optional<std::uint64_t> cartridgeSize;
    if (Status status = CartridgeSizeOf(image, kind, cartridgeSize); !status) {
        return status;
    }
    ImageHasher hasher;
    if (Status status = HashRest(image, hasher, buffer); !status) {
        return status;
    }
    match = MatchHashedImage(index, hasher, cartridgeSize);
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
