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
    const std::span<std::uint8_t> part = WithinSize(offset, m_size, out);
    if (part.empty()) {
        return Status::success();
    }
    if (Status status = m_file.readAt(m_offset + offset, part, got); !status) {
        return status;
    }
    if (got != part.size()) {
        return Status::failure("the archive is shorter than its member");
    }
    return Status::success();
}

}  // namespace ostravex
