#pragma once

#include <cstdint>

#include "io/byte_source.h"

namespace ostravex {

// The bytes of `source` followed by `filler` up to `size`: what an image padded to `size`
// will hold, read before the padding is written.
class PaddedByteSource final : public ByteSource {
  public:
    PaddedByteSource(const ByteSource& source, std::uint64_t size, std::uint8_t filler)
        : m_source(source), m_size(size), m_filler(filler) {}
    std::uint64_t size() const override { return m_size; }
    Status readAt(std::uint64_t offset, std::span<std::uint8_t> out,
                  std::size_t& got) const override;

  private:
    const ByteSource& m_source;
    std::uint64_t m_size;
    std::uint8_t m_filler;
};

}  // namespace ostravex
