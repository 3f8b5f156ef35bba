#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "io/byte_buffer.h"
#include "io/status.h"
#include "trim/output_file.h"

namespace ostravex {

// Where the bytes of an extracted archive member go.
class MemberSink {
  public:
    virtual ~MemberSink() = default;
    virtual Status begin(std::uint64_t size) = 0;
    virtual Status write(std::span<const std::uint8_t> bytes) = 0;
    // The member is complete.
    virtual Status finish() = 0;
};

// Into a file: written under a temporary name beside `path` and put in place when
// complete, replacing a file of that name; a failed extraction leaves nothing behind.
class FileMemberSink final : public MemberSink {
  public:
    explicit FileMemberSink(std::string path) : m_path(std::move(path)) {}
    Status begin(std::uint64_t size) override;
    Status write(std::span<const std::uint8_t> bytes) override;
    Status finish() override;

  private:
    std::string m_path;
    OutputFile m_output;
    std::uint64_t m_written = 0;
};

// Into memory, up to `limit` bytes.
class MemoryMemberSink final : public MemberSink {
  public:
    MemoryMemberSink(ByteBuffer& buffer, std::uint64_t limit) : m_buffer(buffer), m_limit(limit) {}
    Status begin(std::uint64_t size) override;
    Status write(std::span<const std::uint8_t> bytes) override;
    Status finish() override { return Status::success(); }

  private:
    ByteBuffer& m_buffer;
    std::uint64_t m_limit;
};

}  // namespace ostravex
