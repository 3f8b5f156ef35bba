#include "romformat/crc16.h"

#include <array>

namespace ostravex {
namespace {

using Crc16Tables = std::array<std::array<std::uint16_t, 256>, 8>;

// tables[0] is the usual byte-at-a-time table; tables[k] gives what a byte contributes
// when k more bytes follow it, so that eight bytes are folded in with eight independent
// lookups instead of a chain of eight.
constexpr Crc16Tables MakeCrc16Tables() {
    Crc16Tables tables{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned value = i;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1) ? (value >> 1) ^ 0xA001 : value >> 1;
        }
        tables[0][i] = static_cast<std::uint16_t>(value);
    }
    for (std::size_t k = 1; k < tables.size(); ++k) {
        for (unsigned i = 0; i < 256; ++i) {
            const unsigned previous = tables[k - 1][i];
            tables[k][i] = static_cast<std::uint16_t>((previous >> 8) ^ tables[0][previous & 0xFF]);
        }
    }
    return tables;
}

constexpr Crc16Tables kCrc16Tables = MakeCrc16Tables();

}  // namespace

int Crc16(std::span<const std::uint8_t> bytes) {
    const auto& t = kCrc16Tables;
    unsigned crc = 0xFFFF;
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        const std::uint8_t* b = bytes.data() + i;
        crc = t[7][(crc ^ b[0]) & 0xFF] ^ t[6][(crc >> 8) ^ b[1]] ^ t[5][b[2]] ^ t[4][b[3]] ^
              t[3][b[4]] ^ t[2][b[5]] ^ t[1][b[6]] ^ t[0][b[7]];
    }
    for (; i < bytes.size(); ++i) {
        crc = (crc >> 8) ^ t[0][(crc ^ bytes[i]) & 0xFF];
    }
    return static_cast<int>(crc);
}

}  // namespace ostravex
