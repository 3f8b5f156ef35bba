#pragma once

#include <cstdint>
#include <string>

#include "io/byte_source.h"
#include "io/file.h"

namespace ostravex {

// The bytes of a member stored unchanged in its archive, read where they lie in the
// archive file: `size` bytes from `offset`.
class ArchiveRangeSource final : public ByteSource {
  public:
    Status open(const std::string& archive, std::uint64_t offset, std::uint64_t size);
    std::uint64_t size() const override { return m_size; }
    Status readAt(std::uint64_t offset, std::span<std::uint8_t> out,
                  std::size_t& got) const override;

  private:
    File m_file;
    std::uint64_t m_offset = 0;
    std::uint64_t m_size = 0;
};

}  // namespace ostravex
