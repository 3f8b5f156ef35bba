#pragma once

#include <openssl/sha.h>
#include <zlib.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "support/rom_images.h"

namespace ostravex::testing {

// The used size of the NDS dumps NdsDump() makes.
constexpr std::uint32_t kUsed = 5913600;

// An 8 MiB NDS cartridge dump (capacity byte 6) padded with `filler`; `title` tells dumps
// apart.
inline Bytes NdsDump(std::uint8_t filler, std::uint8_t title) {
    return NdsImageBuilder()
        .usedSize(kUsed)
        .size(8_MiB)
        .byte(0x14, 6)
        .byte(0x0, title)
        .wifiBlock(filler == 0x00 ? NdsImageBuilder::Block::Zero : NdsImageBuilder::Block::Blank)
        .filler(filler)
        .build();
}

// A dump a DAT lists: its game's name as XML text ("&amp;" for "&"), and its bytes.
struct DatDump {
    std::string game;
    Bytes bytes;
};

// The SHA-1 of `bytes` as lower-case hex, computed with OpenSSL directly.
inline std::string Sha1Hex(const Bytes& bytes) {
    unsigned char sha1[SHA_DIGEST_LENGTH];
    SHA1(bytes.data(), bytes.size(), sha1);
    char hex[2 * SHA_DIGEST_LENGTH + 1];
    for (int i = 0; i < SHA_DIGEST_LENGTH; ++i) {
        std::snprintf(hex + 2 * i, 3, "%02x", sha1[i]);
    }
    return hex;
}

inline std::string Crc32Hex(const Bytes& bytes) {
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08x",
                  static_cast<unsigned>(crc32_z(0, bytes.data(), bytes.size())));
    return crc;
}

inline std::string LogiqxHeader(const std::string& name, const std::string& version) {
    return "<?xml version=\"1.0\"?>\n<!DOCTYPE datafile>\n<datafile>\n\t<header>\n\t\t<name>" +
           name + "</name>\n\t\t<description>" + name + "</description>\n\t\t<version>" + version +
           "</version>\n\t</header>\n";
}

// One game of one rom; `md5` is left out when empty.
inline std::string LogiqxGame(const std::string& game, std::uint64_t size, const std::string& crc,
                              const std::string& sha1, const std::string& md5 = {}) {
    return "\t<game name=\"" + game + "\">\n\t\t<description>" + game +
           "</description>\n\t\t<rom name=\"" + game + ".nds\" size=\"" + std::to_string(size) +
           "\" crc=\"" + crc + (md5.empty() ? "" : "\" md5=\"" + md5) + "\" sha1=\"" + sha1 +
           "\"/>\n\t</game>\n";
}

// A No-Intro style Logiqx DAT listing `dumps`.
inline std::string LogiqxDat(const std::string& name, const std::vector<DatDump>& dumps,
                             const std::string& version = "20261201-000000") {
    std::string text = LogiqxHeader(name, version);
    for (const DatDump& dump : dumps) {
        text += LogiqxGame(dump.game, dump.bytes.size(), Crc32Hex(dump.bytes), Sha1Hex(dump.bytes));
    }
    return text + "</datafile>\n";
}

// A DAT the size of No-Intro's Nintendo DS DAT: `games` games of made-up 8 to 512 MiB dumps
// with long names, CRC-32, MD5 and SHA-1, about 360 bytes each.
inline std::string LargeLogiqxDat(std::size_t games) {
    std::mt19937_64 random(games);
    const auto hex = [&](std::size_t digits) {
        static constexpr char kDigits[] = "0123456789abcdef";
        std::string text(digits, '0');
        for (char& c : text) {
            c = kDigits[random() & 15];
        }
        return text;
    };
    std::string text = LogiqxHeader("Nintendo - Nintendo DS", "20261201-000000");
    for (std::size_t i = 0; i < games; ++i) {
        const std::string game = std::to_string(i) + " - Pok\xC3\xA9mon &amp; Friends " +
                                 std::to_string(i) + " (Europe) (En,Fr,De,Es,It)";
        const std::uint64_t size = std::uint64_t{8} << (20 + random() % 7);
        const std::string crc = hex(8);
        const std::string md5 = hex(32);
        text += LogiqxGame(game, size, crc, hex(40), md5);
    }
    return text + "</datafile>\n";
}

}  // namespace ostravex::testing
