#include "io/padded_byte_source.h"

#include <algorithm>

namespace ostravex {

Status PaddedByteSource::readAt(std::uint64_t offset, std::span<std::uint8_t> out,
                                std::size_t& got) const {
    got = 0;
    if (offset >= m_size) {
        return Status::success();
    }
    const auto wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), m_size - offset));
    const std::uint64_t sourceSize = std::min(m_source.size(), m_size);
    std::size_t fromSource = 0;
    if (offset < sourceSize) {
        const auto part =
            static_cast<std::size_t>(std::min<std::uint64_t>(wanted, sourceSize - offset));
        if (Status status = m_source.readAt(offset, out.first(part), fromSource); !status) {
            return status;
        }
        if (fromSource < part) {
            got = fromSource;  // the source ended early; its reader reports the short read
            return Status::success();
        }
    }
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(fromSource),
              out.begin() + static_cast<std::ptrdiff_t>(wanted), m_filler);
    got = wanted;
    return Status::success();
}

}  // namespace ostravex
