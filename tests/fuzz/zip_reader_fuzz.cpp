// Reads an arbitrary file as a zip archive: the directory, every name, every member's data,
// either block by block through readMember or whole through appendMemberTo.
#include <zlib.h>

#include "archive/member_sink.h"
#include "archive/zip_reader.h"
#include "fuzz_support.h"
#include "io/utf8.h"

namespace {

using ostravex::fuzz::Require;

// Members claiming more (up to the reader's own 1 GiB bound, which is refused before any
// allocation) are not decompressed here: large members make each run slow without
// reaching new code.
constexpr std::uint64_t kLargestMemberTried = 1u << 20;

// Checks how a member reader hands a member over: begin() first, then the bytes, never more
// than stated, and finish() at most once, last.
class CheckingSink final : public ostravex::MemberSink {
  public:
    ostravex::Status begin(std::uint64_t size) override {
        Require(!m_begun, "begin() came twice");
        m_begun = true;
        m_stated = size;
        return ostravex::Status::success();
    }
    ostravex::Status write(std::span<const std::uint8_t> bytes) override {
        Require(m_begun && !m_finished, "bytes came outside begin() and finish()");
        m_received += bytes.size();
        Require(m_received <= m_stated, "more bytes came than the member states");
        m_crc = crc32_z(m_crc, bytes.data(), bytes.size());
        return ostravex::Status::success();
    }
    ostravex::Status finish() override {
        Require(m_begun && !m_finished, "finish() came twice or without begin()");
        m_finished = true;
        return ostravex::Status::success();
    }

    bool finished() const { return m_finished; }
    std::uint64_t received() const { return m_received; }
    std::uint32_t crc() const { return static_cast<std::uint32_t>(m_crc); }

  private:
    bool m_begun = false;
    bool m_finished = false;
    std::uint64_t m_stated = 0;
    std::uint64_t m_received = 0;
    uLong m_crc = crc32_z(0, nullptr, 0);
};

void ReadBlockByBlock(ostravex::ZipReader& zip, const ostravex::ZipEntry& entry) {
    CheckingSink sink;
    const ostravex::Status status = zip.readMember(entry, sink);
    Require(status.ok() == sink.finished(), "finish() does not match the outcome");
    if (status.ok()) {
        Require(sink.received() == entry.record.UncompressedSize,
                "the member's bytes do not match its stated size");
        Require(sink.crc() == entry.record.Crc32, "the member's bytes do not match its CRC-32");
    }
}

void ReadWhole(ostravex::ZipReader& zip, const ostravex::ZipEntry& entry) {
    ostravex::ByteBuffer target(3, 0xAB);
    const ostravex::Status status = zip.appendMemberTo(entry, target);
    const std::uint64_t expected = status.ok() ? 3 + entry.record.UncompressedSize : 3;
    Require(target.size() == expected, "the member's bytes do not match its stated size");
    Require(target[0] == 0xAB && target[1] == 0xAB && target[2] == 0xAB,
            "bytes before the member were changed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ostravex::fuzz::MemoryFile file;
    ostravex::ZipReader zip;
    if (!zip.open(file.hold(data, size)).ok() || !zip.isZipFile()) {
        return 0;
    }
    // Both ways of reading a member, one per input.
    const bool wholeMembers = size % 2 == 0;
    for (const ostravex::ZipEntry& entry : zip.entries()) {
        Require(ostravex::IsWellFormedUtf8(entry.name()), "a member name is not valid UTF-8");
        const std::uint64_t claimed = entry.record.UncompressedSize;
        if (claimed > kLargestMemberTried && claimed <= ostravex::ZipReader::kMaxMemberSize) {
            continue;
        }
        if (wholeMembers) {
            ReadWhole(zip, entry);
        } else {
            ReadBlockByBlock(zip, entry);
        }
    }
    return 0;
}
