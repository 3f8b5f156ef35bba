#include "io/padded_byte_source.h"

#include <algorithm>

namespace ostravex {

Status PaddedByteSource::readAt(std::uint64_t offset, std::span<std::uint8_t> out,
                                std::size_t& got) const {
    got = 0;
    const std::span<std::uint8_t> wanted = WithinSize(offset, m_size, out);
    const std::span<std::uint8_t> part =
        WithinSize(offset, std::min(m_source.size(), m_size), wanted);
    std::size_t fromSource = 0;
    if (!part.empty()) {
        if (Status status = m_source.readAt(offset, part, fromSource); !status) {
            return status;
        }
        if (fromSource < part.size()) {
            got = fromSource;  // the source ended early; its reader reports the short read
            return Status::success();
        }
    }
    std::fill(wanted.begin() + static_cast<std::ptrdiff_t>(fromSource), wanted.end(), m_filler);
    got = wanted.size();
    return Status::success();
}

}  // namespace ostravex
