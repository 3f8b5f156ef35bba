#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "io/byte_buffer.h"
#include "io/byte_source.h"
#include "io/output_file.h"
#include "io/status.h"
#include "trim/image_scan.h"

namespace ostravex {

// Where the bytes of an extracted archive member go.
class MemberSink {
  public:
    virtual ~MemberSink() = default;
    virtual Status begin(std::uint64_t size) = 0;
    virtual Status write(std::span<const std::uint8_t> bytes) = 0;
    // The member is complete.
    virtual Status finish() = 0;

    // Whether the sink can read a member stored unchanged in its archive where it lies,
    // instead of being given its bytes.
    virtual bool takesStoredMembers() const { return false; }
    // Such a member, already checked against its CRC: `size` bytes at `offset` of the
    // archive file.
    virtual Status takeStoredMember(const std::string& /*archive*/, std::uint64_t /*offset*/,
                                    std::uint64_t /*size*/) {
        return Status::failure("the member cannot be read in place");
    }
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

// Through a scan, for the decisions, and into `output` when given (from its start): the
// member is never held whole. A member of more than `limit` bytes fails, as one too large
// for any cartridge. What a failed read left in `output` is its owner's to drop.
class ScanningMemberSink final : public MemberSink {
  public:
    ScanningMemberSink(ImageScan& scan, File* output, std::uint64_t limit)
        : m_scan(scan), m_output(output), m_limit(limit) {}
    Status begin(std::uint64_t size) override;
    Status write(std::span<const std::uint8_t> bytes) override;
    Status finish() override;

  private:
    ImageScan& m_scan;
    File* m_output;
    std::uint64_t m_limit;
    std::uint64_t m_written = 0;
};

// Into memory, up to `limit` bytes. Given `inPlace`, a member stored unchanged in its
// archive is not copied: `inPlace` receives a source reading it in the archive file. Given
// `beforeFirstByte`, its failure is the member's, taken when the member's bytes start to
// come (where a file sink would create its file).
class MemoryMemberSink final : public MemberSink {
  public:
    MemoryMemberSink(ByteBuffer& buffer, std::uint64_t limit,
                     std::unique_ptr<ByteSource>* inPlace = nullptr,
                     std::function<Status()> beforeFirstByte = {})
        : m_buffer(buffer),
          m_limit(limit),
          m_inPlace(inPlace),
          m_beforeFirstByte(std::move(beforeFirstByte)) {}
    Status begin(std::uint64_t size) override;
    Status write(std::span<const std::uint8_t> bytes) override;
    Status finish() override { return Status::success(); }
    bool takesStoredMembers() const override { return m_inPlace != nullptr; }
    Status takeStoredMember(const std::string& archive, std::uint64_t offset,
                            std::uint64_t size) override;

  private:
    Status startTaking();

    ByteBuffer& m_buffer;
    std::uint64_t m_limit;
    std::unique_ptr<ByteSource>* m_inPlace;
    std::function<Status()> m_beforeFirstByte;
};

}  // namespace ostravex
