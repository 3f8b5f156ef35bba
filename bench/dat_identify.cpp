// Identifies one image against DATs the way a run with DATs will: one read of the image
// through the engine's hashing, the match, and the reversibility check of a cut at the used
// size its header states (NDS) or at its data end (GBA). Prints the match; used by
// dat_hash_bench.py beside `sha1sum` of the same file.
//
//   dat_identify [--dat FILE]... IMAGE
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dat/dat_file.h"
#include "dat/dat_index.h"
#include "dat/dat_matcher.h"
#include "dat/image_hasher.h"
#include "io/file.h"
#include "romformat/nds_header.h"

using namespace ostravex;

int main(int argc, char** argv) {
    DatIndex index;
    std::string imagePath;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dat") == 0 && i + 1 < argc) {
            DatFile dat;
            if (Status status = LoadDatFile(argv[++i], dat); !status) {
                std::fprintf(stderr, "%s: %s\n", argv[i], status.reason().c_str());
                return 1;
            }
            index.add(std::move(dat));
        } else {
            imagePath = argv[i];
        }
    }
    File file;
    if (imagePath.empty() || !file.openForReading(imagePath).ok()) {
        std::fprintf(stderr, "usage: dat_identify [--dat FILE]... IMAGE\n");
        return 2;
    }
    const bool gba = imagePath.size() > 4 && imagePath.substr(imagePath.size() - 4) == ".gba";
    const FileByteSource source(file, file.sizeAtOpen());
    ImageHasher hasher;
    ByteBuffer buffer;
    if (!HashRest(source, hasher, buffer).ok()) {
        std::fprintf(stderr, "%s: cannot be read\n", imagePath.c_str());
        return 1;
    }
    const DatMatch match = MatchHashedImage(
        index, hasher, LargestCartridgeSize(gba ? ImageKind::Gba : ImageKind::Nds));
    std::uint32_t usedSize = 0;
    if (!gba && !source.readWord32(kUsedRomSizeOffset, usedSize).ok()) {
        return 1;
    }
    const std::uint64_t cut = gba ? hasher.dataEnd(0xFF) : usedSize;
    const std::optional<std::uint8_t> reversible = ReversibleFiller(match, hasher, cut);
    static const char* const kKinds[] = {"full dump", "trimmed dump", "bad dump", "in no DAT"};
    std::printf("%s crc32 %08x sha1 %s: %s", imagePath.c_str(), match.image.crc32,
                HexText(match.image.sha1).c_str(), kKinds[static_cast<int>(match.kind)]);
    for (const IndexedRom& rom : match.roms) {
        std::printf(" [%s: %s]", rom.dat->name.c_str(), rom.rom->gameName.c_str());
    }
    std::printf("; a cut at %llu is %s\n", static_cast<unsigned long long>(cut),
                reversible ? "reversible" : "not reversible");
    return 0;
}
