#include "archive/member_sink.h"

#include "archive/archive_range_source.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>

namespace ostravex {
namespace {

// A member of hundreds of MiB is faulted into memory 2 MiB at a time rather than 4 KiB:
// the page faults of a fresh buffer otherwise cost as much as filling it.
void AdviseHugePages(std::uint8_t* data, std::size_t length) {
    constexpr std::uintptr_t kHugePage = 2u << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (start + length) & ~(kHugePage - 1);
    if (last > first) {
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
}

}  // namespace

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

Status ScanningMemberSink::begin(std::uint64_t size) {
    if (size > m_limit) {
        return Status::failure("the member claims more than 1 GiB");
    }
    // A full disk shows before any byte is decompressed.
    return m_output ? m_output->reserve(size) : Status::success();
}

Status ScanningMemberSink::write(std::span<const std::uint8_t> bytes) {
    if (m_written + bytes.size() > m_limit) {
        return Status::failure("the member is larger than 1 GiB");
    }
    m_scan.add(bytes);
    if (m_output) {
        if (Status status = m_output->writeAt(m_written, bytes); !status) {
            return status;
        }
    }
    m_written += bytes.size();
    return Status::success();
}

Status ScanningMemberSink::finish() {
    // A reservation larger than what came is given back.
    return m_output ? m_output->setLength(m_written) : Status::success();
}

Status MemoryMemberSink::startTaking() {
    return m_beforeFirstByte ? m_beforeFirstByte() : Status::success();
}

Status MemoryMemberSink::begin(std::uint64_t size) {
    if (Status status = startTaking(); !status) {
        return status;
    }
    if (size > m_limit) {
        return Status::failure("the member claims more than 1 GiB");
    }
    m_buffer.reserve(static_cast<std::size_t>(size));
    AdviseHugePages(m_buffer.data(), m_buffer.capacity());
    return Status::success();
}

Status MemoryMemberSink::write(std::span<const std::uint8_t> bytes) {
    if (m_buffer.size() + bytes.size() > m_limit) {
        return Status::failure("the member is larger than 1 GiB");
    }
    // Grown without clearing, then copied at once: an insert would construct the bytes
    // one by one through the allocator.
    const std::size_t at = m_buffer.size();
    m_buffer.resize(at + bytes.size());
    std::memcpy(m_buffer.data() + at, bytes.data(), bytes.size());
    return Status::success();
}

Status MemoryMemberSink::takeStoredMember(const std::string& archive, std::uint64_t offset,
                                          std::uint64_t size) {
    if (Status status = startTaking(); !status) {
        return status;
    }
    auto source = std::make_unique<ArchiveRangeSource>();
    if (Status status = source->open(archive, offset, size); !status) {
        return status;
    }
    *m_inPlace = std::move(source);
    return Status::success();
}

}  // namespace ostravex
