#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "io/file.h"
#include "io/status.h"

namespace ostravex {

// Random read access to the bytes of one rom, wherever they are (a file on disk or a
// member decompressed into memory).
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads up to out.size() bytes at offset; `got` is short only at the end of the data.
    virtual Status readAt(std::uint64_t offset, std::span<std::uint8_t> out,
                          std::size_t& got) const = 0;

    // Fills `out` from offset; bytes past the end read as zero.
    Status readZeroFilled(std::uint64_t offset, std::span<std::uint8_t> out) const;
    // The little-endian 32-bit word at offset; 0 past the end.
    Status readWord32(std::uint64_t offset, std::uint32_t& word) const;
};

// The part of `out` that a read at `offset` of data `size` bytes long can fill: all of it,
// its start, or nothing at or past the end.
inline std::span<std::uint8_t> WithinSize(std::uint64_t offset, std::uint64_t size,
                                          std::span<std::uint8_t> out) {
    if (offset >= size) {
        return out.first(0);
    }
    return out.first(static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size - offset)));
}

class FileByteSource final : public ByteSource {
  public:
    FileByteSource(const File& file, std::uint64_t size) : m_file(file), m_size(size) {}
    std::uint64_t size() const override { return m_size; }
    Status readAt(std::uint64_t offset, std::span<std::uint8_t> out,
                  std::size_t& got) const override;

  private:
    const File& m_file;
    std::uint64_t m_size;
};

// The first `size` bytes of a source: the part of an image that a cut output holds.
class LeadingBytes final : public ByteSource {
  public:
    LeadingBytes(const ByteSource& whole, std::uint64_t size)
        : m_whole(whole), m_size(std::min(size, whole.size())) {}
    std::uint64_t size() const override { return m_size; }
    Status readAt(std::uint64_t offset, std::span<std::uint8_t> out,
                  std::size_t& got) const override {
        return m_whole.readAt(offset, WithinSize(offset, m_size, out), got);
    }

  private:
    const ByteSource& m_whole;
    std::uint64_t m_size;
};

class MemoryByteSource final : public ByteSource {
  public:
    explicit MemoryByteSource(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    std::uint64_t size() const override { return m_bytes.size(); }
    Status readAt(std::uint64_t offset, std::span<std::uint8_t> out,
                  std::size_t& got) const override;

  private:
    std::span<const std::uint8_t> m_bytes;
};

// The little-endian 32-bit word at `offset` of `bytes` (which must hold it).
inline std::uint32_t LittleEndian32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) |
           static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

inline std::uint16_t LittleEndian16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

}  // namespace ostravex
