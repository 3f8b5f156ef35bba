#include "archive/archive_range_source.h"

#include <algorithm>

namespace ostravex {

Status ArchiveRangeSource::open(const std::string& archive, std::uint64_t offset,
                                std::uint64_t size) {
    m_offset = offset;
    m_size = size;
    return m_file.openShared(archive);
}

Status ArchiveRangeSource::readAt(std::uint64_t offset, std::span<std::uint8_t> out,
                                  std::size_t& got) const {
    got = 0;
    if (offset >= m_size) {
        return Status::success();
    }
    const auto length =
        static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), m_size - offset));
    if (Status status = m_file.readAt(m_offset + offset, out.first(length), got); !status) {
        return status;
    }
    if (got != length) {
        return Status::failure("the archive is shorter than its member");
    }
    return Status::success();
}

}  // namespace ostravex
