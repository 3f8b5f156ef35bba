#pragma once

#include <cstdint>
#include <span>

namespace ostravex {

// CRC-16/MODBUS (reflected polynomial 0xA001, initial value 0xFFFF, no final XOR), the
// checksum of the NDS cartridge header. Returns 0..65535; 0xFFFF for no bytes.
int Crc16(std::span<const std::uint8_t> bytes);

}  // namespace ostravex
