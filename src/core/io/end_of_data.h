#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ostravex {

// One past the last byte of `bytes` that differs from `filler`; 0 when all are filler.
std::size_t EndOfData(std::span<const std::uint8_t> bytes, std::uint8_t filler);

}  // namespace ostravex
