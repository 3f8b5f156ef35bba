// DATs: loading a generated 10,000-game DAT in each format (goal: under 200 ms), and
// identifying an image against DATs of 1,000 to 1,000,000 roms, whose cost must not grow
// with the DAT.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "dat/dat_file.h"
#include "dat/dat_index.h"
#include "dat/dat_matcher.h"
#include "dat/image_hasher.h"

namespace {

using namespace ostravex;

constexpr std::uint64_t kCartridgeSizes[] = {8u << 20,   16u << 20,  32u << 20, 64u << 20,
                                             128u << 20, 256u << 20, 512u << 20};

std::string Hex(std::mt19937_64& random, std::size_t digits) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(digits, '0');
    for (char& c : text) {
        c = kDigits[random() & 15];
    }
    return text;
}

// A DAT in No-Intro's layout with `games` games of one rom each, names with "&" and
// non-ASCII letters, in either format.
std::string GeneratedDat(std::size_t games, DatFormat format) {
    std::mt19937_64 random(games);
    std::string text;
    if (format == DatFormat::LogiqxXml) {
        text =
            "<?xml version=\"1.0\"?>\n<!DOCTYPE datafile PUBLIC \"-//Logiqx//DTD ROM Management "
            "Datafile//EN\" \"http://www.logiqx.com/Dats/datafile.dtd\">\n<datafile>\n\t<header>\n"
            "\t\t<name>Generated - Nintendo DS</name>\n\t\t<version>1</version>\n\t</header>\n";
    } else {
        text = "clrmamepro (\n\tname \"Generated - Nintendo DS\"\n\tversion 1\n)\n\n";
    }
    for (std::size_t i = 0; i < games; ++i) {
        const std::string name =
            "Pok\xC3\xA9mon & Friends " + std::to_string(i) + " (Europe) (En,Fr,De,Es,It)";
        const std::string size = std::to_string(kCartridgeSizes[random() % 7]);
        const std::string crc = Hex(random, 8);
        const std::string md5 = Hex(random, 32);
        const std::string sha1 = Hex(random, 40);
        if (format == DatFormat::LogiqxXml) {
            std::string xmlName = name;
            xmlName.replace(xmlName.find('&'), 1, "&amp;");
            text += "\t<game name=\"" + xmlName + "\">\n\t\t<description>" + xmlName +
                    "</description>\n\t\t<rom name=\"" + xmlName + ".nds\" size=\"" + size +
                    "\" crc=\"" + crc + "\" md5=\"" + md5 + "\" sha1=\"" + sha1 +
                    "\" status=\"verified\"/>\n\t</game>\n";
        } else {
            text += "game (\n\tname \"" + name + "\"\n\tdescription \"" + name +
                    "\"\n\trom ( name \"" + name + ".nds\" size " + size + " crc " + crc + " md5 " +
                    md5 + " sha1 " + sha1 + " )\n)\n\n";
        }
    }
    return text + (format == DatFormat::LogiqxXml ? "</datafile>\n" : "");
}

std::string WrittenDat(std::size_t games, DatFormat format) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string path = std::string(tmp ? tmp : "/tmp") + "/ostravex-bench-" +
                             std::to_string(games) +
                             (format == DatFormat::LogiqxXml ? ".xml.dat" : ".cmp.dat");
    std::ofstream(path, std::ios::binary) << GeneratedDat(games, format);
    return path;
}

void LoadDat(benchmark::State& state, DatFormat format) {
    const std::string path = WrittenDat(static_cast<std::size_t>(state.range(0)), format);
    for (auto _ : state) {
        DatFile dat;
        if (!LoadDatFile(path, dat).ok() || dat.roms.size() != std::size_t(state.range(0))) {
            state.SkipWithError("the generated DAT did not load whole");
            break;
        }
        DatIndex index;
        index.add(std::move(dat));
        benchmark::DoNotOptimize(index.romCount());
    }
    std::remove(path.c_str());
}

void BM_LoadLogiqxDat(benchmark::State& state) {
    LoadDat(state, DatFormat::LogiqxXml);
}
void BM_LoadClrMameProDat(benchmark::State& state) {
    LoadDat(state, DatFormat::ClrMamePro);
}
BENCHMARK(BM_LoadLogiqxDat)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadClrMameProDat)->Arg(10000)->Unit(benchmark::kMillisecond);

// An index of `roms` random roms of cartridge sizes, plus `dump` (size, CRC-32, SHA-1).
void FillIndex(DatIndex& index, std::size_t roms, const std::vector<std::uint8_t>& dump) {
    std::mt19937_64 random(roms);
    DatFile dat;
    dat.name = "generated";
    dat.roms.reserve(roms + 1);
    for (std::size_t i = 0; i < roms; ++i) {
        DatRom rom;
        rom.size = kCartridgeSizes[random() % 7] >> 3;  // 1 to 64 MiB
        rom.crc32 = static_cast<std::uint32_t>(random());
        rom.sha1.emplace();
        for (auto& b : *rom.sha1) {
            b = static_cast<std::uint8_t>(random());
        }
        rom.gameName = "game " + std::to_string(i);
        dat.roms.push_back(std::move(rom));
    }
    ImageHasher hasher;
    hasher.update(dump);
    const ImageDigest digest = hasher.digest();
    dat.roms.push_back({digest.size, digest.crc32, digest.sha1, std::nullopt, "the dump", "", ""});
    index.add(std::move(dat));
}

// A 1 MiB cartridge dump whose data ends at 600,000 bytes, 0xFF after it.
const std::vector<std::uint8_t>& Dump() {
    static const std::vector<std::uint8_t> dump = [] {
        std::vector<std::uint8_t> bytes(1u << 20, 0xFF);
        std::mt19937 random(7);
        for (std::size_t i = 0; i < 600000; ++i) {
            bytes[i] = static_cast<std::uint8_t>(random() % 255);
        }
        return bytes;
    }();
    return dump;
}

// Identifying a trimmed dump (a padded-size CRC hit and one SHA-1 of its padding) and an
// image in no DAT (every padded CRC a miss), with the image's own hashes made beforehand.
void BM_MatchTrimmedDump(benchmark::State& state) {
    DatIndex index;
    FillIndex(index, static_cast<std::size_t>(state.range(0)), Dump());
    ImageHasher hasher;
    hasher.update(std::span(Dump()).first(600000));
    for (auto _ : state) {
        const DatMatch match = MatchHashedImage(index, hasher, 1u << 20);
        if (match.kind != DatMatchKind::TrimmedDump) {
            state.SkipWithError("the trimmed dump was not found");
            break;
        }
    }
}
void BM_MatchImageInNoDat(benchmark::State& state) {
    DatIndex index;
    FillIndex(index, static_cast<std::size_t>(state.range(0)), Dump());
    ImageHasher hasher;
    hasher.update(std::span(Dump()).first(599999));
    for (auto _ : state) {
        const DatMatch match = MatchHashedImage(index, hasher, 64u << 20);
        if (match.kind != DatMatchKind::NotInDat) {
            state.SkipWithError("an image in no DAT was found");
            break;
        }
    }
}
BENCHMARK(BM_MatchTrimmedDump)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MatchImageInNoDat)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
