#include "io/byte_source.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace ostravex {

Status ByteSource::readZeroFilled(std::uint64_t offset, std::span<std::uint8_t> out) const {
    std::size_t got = 0;
    if (Status status = readAt(offset, out, got); !status) {
        return status;
    }
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(got), out.end(), std::uint8_t{0});
    return Status::success();
}

Status ByteSource::readWord32(std::uint64_t offset, std::uint32_t& word) const {
    std::array<std::uint8_t, 4> bytes{};
    if (Status status = readZeroFilled(offset, bytes); !status) {
        return status;
    }
    word = LittleEndian32(bytes, 0);
    return Status::success();
}

Status FileByteSource::readAt(std::uint64_t offset, std::span<std::uint8_t> out,
                              std::size_t& got) const {
    return m_file.readAt(offset, out, got);
}

Status MemoryByteSource::readAt(std::uint64_t offset, std::span<std::uint8_t> out,
                                std::size_t& got) const {
    got = WithinSize(offset, m_bytes.size(), out).size();
    if (got > 0) {
        std::memcpy(out.data(), m_bytes.data() + offset, got);
    }
    return Status::success();
}

}  // namespace ostravex
