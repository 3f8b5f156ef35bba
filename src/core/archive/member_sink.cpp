#include "archive/member_sink.h"

namespace ostravex {

Status FileMemberSink::begin(std::uint64_t size) {
    if (Status status = m_output.createNew(m_path, /*mayReplace=*/true); !status) {
        return status;
    }
    return m_output.file().reserve(size);
}

Status FileMemberSink::write(std::span<const std::uint8_t> bytes) {
    if (Status status = m_output.file().writeAt(m_written, bytes); !status) {
        return status;
    }
    m_written += bytes.size();
    return Status::success();
}

Status FileMemberSink::finish() {
    // A reservation larger than what came is given back.
    if (Status status = m_output.file().setLength(m_written); !status) {
        return status;
    }
    return m_output.commit();
}

Status MemoryMemberSink::begin(std::uint64_t size) {
    if (size > m_limit) {
        return Status::failure("the member claims more than 1 GiB");
    }
    m_buffer.reserve(static_cast<std::size_t>(size));
    return Status::success();
}

Status MemoryMemberSink::write(std::span<const std::uint8_t> bytes) {
    if (m_buffer.size() + bytes.size() > m_limit) {
        return Status::failure("the member is larger than 1 GiB");
    }
    m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
    return Status::success();
}

}  // namespace ostravex
