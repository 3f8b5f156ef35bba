#include "romformat/crc16.h"

#include <array>

namespace ostravex {
namespace {

constexpr std::array<std::uint16_t, 256> MakeCrc16Table() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned value = i;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1) ? (value >> 1) ^ 0xA001 : value >> 1;
        }
        table[i] = static_cast<std::uint16_t>(value);
    }
    return table;
}

constexpr auto kCrc16Table = MakeCrc16Table();

}  // namespace

int Crc16(std::span<const std::uint8_t> bytes) {
    unsigned crc = 0xFFFF;
    for (const std::uint8_t byte : bytes) {
        crc = (crc >> 8) ^ kCrc16Table[(crc ^ byte) & 0xFF];
    }
    return static_cast<int>(crc);
}

}  // namespace ostravex
