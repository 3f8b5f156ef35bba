#include "archive/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

#include "archive/member_sink.h"
#include "io/paths.h"
#include "io/utf8.h"

namespace ostravex {
namespace {

constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50;     // "PK" 3 4
constexpr std::uint32_t kCentralHeaderSignature = 0x02014b50;   // "PK" 1 2
constexpr std::uint32_t kEndRecordSignature = 0x06054b50;       // "PK" 5 6
constexpr std::uint32_t kZip64EndRecordSignature = 0x06064b50;  // "PK" 6 6
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;    // "PK" 6 7
constexpr std::uint32_t kDataDescriptorSignature = 0x08074b50;  // "PK" 7 8
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint32_t kEscaped32 = 0xFFFFFFFF;  // the value is in the ZIP64 record
constexpr std::uint16_t kEscaped16 = 0xFFFF;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kZip64EndRecordSize = 56;
constexpr std::size_t kCentralFixedSize = 46;
constexpr std::size_t kLocalFixedSize = 30;
constexpr std::size_t kDescriptorSize = 16;      // signature, CRC-32, 32-bit sizes
constexpr std::size_t kWideDescriptorSize = 24;  // signature, CRC-32, 64-bit sizes
// Writers that know no ZIP64 store the number of entries modulo this.
constexpr std::uint64_t kEntryCountWrap = 65536;
constexpr std::size_t kInflateBlock = 65536;  // input taken in per progress report
constexpr std::size_t kOutputBlock = 256u << 10;
constexpr std::size_t kReadBlock = 1u << 20;
constexpr std::size_t kDirectoryBlock = 64u << 10;
constexpr const char* kCrcMismatch = "the data does not match its CRC-32";

// The end record is searched backwards in three windows: (distance of the window's start
// from the end of the file, bytes the window covers).
constexpr std::array<std::pair<std::uint64_t, std::uint64_t>, 3> kEndRecordWindows{
    {{22, 256}, {278, 1024}, {1046, 65536}}};

std::uint16_t U16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint64_t U64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(U32(p)) | static_cast<std::uint64_t>(U32(p + 4)) << 32;
}

// a + b, or the largest value where that would wrap around.
std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
    return a > std::numeric_limits<std::uint64_t>::max() - b
               ? std::numeric_limits<std::uint64_t>::max()
               : a + b;
}

bool ReadExact(const File& file, std::uint64_t offset, std::uint8_t* out, std::size_t length) {
    std::size_t got = 0;
    return file.readAt(offset, std::span(out, length), got).ok() && got == length;
}

// A scratch buffer of `wanted` bytes, never more than `limit`: sized to the data it will
// hold, and not cleared (it is filled before it is read).
ByteBuffer BufferFor(std::uint64_t wanted, std::size_t limit) {
    return ByteBuffer(static_cast<std::size_t>(std::min<std::uint64_t>(wanted, limit)));
}

// Reads consecutive records from a place in the file on, a block at a time: a directory of
// 100,000 entries takes a few dozen reads rather than 200,000.
class RecordReader {
  public:
    RecordReader(const File& file, std::uint64_t fileSize, std::uint64_t start)
        : m_file(file),
          m_fileSize(fileSize),
          m_position(start),
          m_buffer(BufferFor(fileSize > start ? fileSize - start : 0, kDirectoryBlock)) {}

    std::uint64_t position() const { return m_position; }
    void seek(std::uint64_t position) { m_position = position; }

    // The next `length` bytes; false when the file ends before them or cannot be read.
    bool read(std::uint8_t* out, std::size_t length) {
        while (length > 0) {
            if (m_position < m_bufferStart || m_position >= m_bufferStart + m_filled) {
                if (!refill()) {
                    return false;
                }
            }
            const auto offset = static_cast<std::size_t>(m_position - m_bufferStart);
            const std::size_t part = std::min(length, m_filled - offset);
            std::memcpy(out, m_buffer.data() + offset, part);
            out += part;
            length -= part;
            m_position += part;
        }
        return true;
    }

  private:
    bool refill() {
        if (m_position >= m_fileSize || m_buffer.empty()) {
            return false;
        }
        const auto want = static_cast<std::size_t>(
            std::min<std::uint64_t>(m_buffer.size(), m_fileSize - m_position));
        std::size_t got = 0;
        if (!m_file.readAt(m_position, std::span(m_buffer.data(), want), got).ok() || got == 0) {
            return false;
        }
        m_bufferStart = m_position;
        m_filled = got;
        return true;
    }

    const File& m_file;
    std::uint64_t m_fileSize;
    std::uint64_t m_position;
    ByteBuffer m_buffer;
    std::uint64_t m_bufferStart = 0;
    std::size_t m_filled = 0;
};

// The fields of a header that its ZIP64 extra field replaces: each one given here is
// filled from the field when the header stores the escape value in it.
struct Zip64Fields {
    std::uint64_t* uncompressed = nullptr;
    std::uint64_t* compressed = nullptr;
    std::uint64_t* offset = nullptr;
    std::uint32_t* disk = nullptr;
};

// The ZIP64 extra field's data among the header's extra fields, if there is one.
std::optional<std::string_view> FindZip64Extra(std::string_view extra) {
    while (extra.size() >= 4) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(extra.data());
        const std::uint16_t id = U16(p);
        const std::size_t length = U16(p + 2);
        if (length > extra.size() - 4) {
            return std::nullopt;
        }
        if (id == kZip64ExtraId) {
            return extra.substr(4, length);
        }
        extra.remove_prefix(4 + length);
    }
    return std::nullopt;
}

// Reads the 64-bit values of the escaped fields from the ZIP64 extra field, which holds
// them in this order: uncompressed size, compressed size, local header offset, disk. False
// when a value an escaped field needs is not there.
bool ReadZip64Fields(std::string_view extra, const Zip64Fields& fields) {
    if (!fields.uncompressed && !fields.compressed && !fields.offset && !fields.disk) {
        return true;
    }
    const std::optional<std::string_view> data = FindZip64Extra(extra);
    if (!data) {
        return false;
    }
    const auto* p = reinterpret_cast<const std::uint8_t*>(data->data());
    std::size_t at = 0;
    const auto take64 = [&](std::uint64_t* field) {
        if (field) {
            if (data->size() - at < 8) {
                return false;
            }
            *field = U64(p + at);
            at += 8;
        }
        return true;
    };
    if (!take64(fields.uncompressed) || !take64(fields.compressed) || !take64(fields.offset)) {
        return false;
    }
    if (fields.disk) {
        if (data->size() - at < 4) {
            return false;
        }
        *fields.disk = U32(p + at);
    }
    return true;
}

// Fills the central record's escaped sizes, offset and disk from its ZIP64 extra field.
bool ResolveZip64(CentralDirectoryRecord& c) {
    Zip64Fields fields;
    if (c.UncompressedSize == kEscaped32) {
        fields.uncompressed = &c.UncompressedSize;
    }
    if (c.CompressedSize == kEscaped32) {
        fields.compressed = &c.CompressedSize;
    }
    if (c.RelativeOffsetOfLocalHeader == kEscaped32) {
        fields.offset = &c.RelativeOffsetOfLocalHeader;
    }
    if (c.DiskNumberStart == kEscaped16) {
        fields.disk = &c.DiskNumberStart;
    }
    return ReadZip64Fields(c.ExtraField, fields);
}

}  // namespace

namespace {

// Appends a member to a buffer, up to a limit; drop() gives the buffer back as it was.
class AppendingSink final : public MemberSink {
  public:
    AppendingSink(ByteBuffer& target, std::uint64_t limit)
        : m_target(target), m_start(target.size()), m_limit(limit) {}

    Status begin(std::uint64_t size) override {
        if (size > m_limit) {
            return Status::failure("the member claims more than 1 GiB");
        }
        m_target.reserve(m_start + static_cast<std::size_t>(size));
        return Status::success();
    }
    Status write(std::span<const std::uint8_t> bytes) override {
        if (m_target.size() - m_start + bytes.size() > m_limit) {
            return Status::failure("the member is larger than 1 GiB");
        }
        const std::size_t at = m_target.size();
        m_target.resize(at + bytes.size());
        std::memcpy(m_target.data() + at, bytes.data(), bytes.size());
        return Status::success();
    }
    Status finish() override { return Status::success(); }
    void drop() { m_target.resize(m_start); }

  private:
    ByteBuffer& m_target;
    std::size_t m_start;
    std::uint64_t m_limit;
};

// A raw deflate stream that ends itself.
class Inflater {
  public:
    Inflater() : m_ready(inflateInit2(&m_stream, -MAX_WBITS) == Z_OK) {}
    ~Inflater() {
        if (m_ready) {
            inflateEnd(&m_stream);
        }
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    bool ready() const { return m_ready; }
    z_stream& stream() { return m_stream; }

  private:
    z_stream m_stream{};
    bool m_ready;
};

}  // namespace

Status ZipReader::open(const std::string& path) {
    close();
    if (!FileExists(path)) {
        return Status::failure("File \"" + path + "\" not found!");
    }
    if (Status status = m_file.openShared(path); !status) {
        return status;
    }
    if (Status status = m_file.size(m_size); !status) {
        close();
        return status;
    }
    m_path = path;
    m_isZipFile = readDirectory();
    if (!m_isZipFile) {
        close();
    } else if (entriesOverlap()) {
        close();
        return Status::failure("overlapping entries");
    }
    return Status::success();
}

bool ZipReader::entriesOverlap() const {
    // Where each entry's local record starts, and the least it takes: its fixed header and
    // its compressed data (the name and extra field come on top).
    std::vector<std::pair<std::uint64_t, std::uint64_t>> spans;
    spans.reserve(m_entries.size());
    for (const ZipEntry& entry : m_entries) {
        const std::uint64_t start = entry.record.RelativeOffsetOfLocalHeader;
        spans.emplace_back(start, SaturatingAdd(SaturatingAdd(start, kLocalFixedSize),
                                                entry.record.CompressedSize));
    }
    std::sort(spans.begin(), spans.end());
    std::uint64_t reached = 0;
    for (const auto& [start, end] : spans) {
        if (start < reached) {
            return true;
        }
        reached = std::max(reached, end);
    }
    return false;
}

void ZipReader::close() {
    m_entries.clear();
    m_file.close();
    m_path.clear();
    m_isZipFile = false;
    m_rebuiltFromLocalHeaders = false;
    m_size = 0;
}

bool ZipReader::findEndOfCentralDirectory(std::uint64_t& at) const {
    if (m_size < kEndRecordSize) {
        return false;
    }
    // Everything the three windows can look at, read at once.
    const std::uint64_t reach = kEndRecordWindows.back().first + kEndRecordWindows.back().second;
    const std::uint64_t tailStart = m_size > reach + 4 ? m_size - reach - 4 : 0;
    ByteBuffer tail(static_cast<std::size_t>(m_size - tailStart));
    if (!ReadExact(m_file, tailStart, tail.data(), tail.size())) {
        return false;
    }
    for (std::size_t w = 0; w < kEndRecordWindows.size(); ++w) {
        const auto [distance, span] = kEndRecordWindows[w];
        const std::uint64_t windowSize = w == 0 ? std::min<std::uint64_t>(span, m_size) : span;
        if (w > 0 && m_size < span) {
            break;
        }
        if (distance > m_size) {
            break;
        }
        const std::int64_t start = static_cast<std::int64_t>(m_size - distance);
        for (std::int64_t pos = start;
             pos >= 0 && start - pos <= static_cast<std::int64_t>(windowSize);) {
            const std::uint8_t* p = tail.data() + (static_cast<std::uint64_t>(pos) - tailStart);
            if (p[0] != 'P') {
                pos -= 1;
            } else if (U32(p) == kEndRecordSignature) {
                at = static_cast<std::uint64_t>(pos);
                return true;
            } else {
                pos -= 4;
            }
        }
    }
    return false;
}

// Where the central directory is and how many entries it holds (those of this disk).
struct ZipReader::DirectoryPlace {
    std::uint64_t entries = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    bool zip64 = false;
    std::uint64_t endRecordsAt = 0;  // the end record, or the ZIP64 end record before it
};

bool ZipReader::readDirectory() {
    std::uint64_t nearRecord = 0;
    const bool nearFound = findEndOfCentralDirectory(nearRecord);
    if (nearFound && readDirectoryEndingAt(nearRecord)) {
        return true;
    }
    // A file that starts as a zip may have its directory whole further back, behind bytes
    // appended to it.
    const std::uint64_t headersEnd = rebuildFromLocalHeaders();
    const bool hasLocalHeaders = !m_entries.empty();
    if (hasLocalHeaders && readDirectoryBeforeAppendedBytes(headersEnd)) {
        return true;
    }
    if (nearFound) {
        // A record whose directory does not end right at it is read as it states; one that
        // states no entries while members stand before it is not theirs.
        std::vector<ZipEntry> rebuilt = std::move(m_entries);
        m_entries.clear();
        const bool read = readCentralDirectory(nearRecord);
        if (!read || !m_entries.empty() || rebuilt.empty()) {
            return read;
        }
        m_entries = std::move(rebuilt);
    }
    m_rebuiltFromLocalHeaders = hasLocalHeaders;
    return hasLocalHeaders;
}

bool ZipReader::readDirectoryBeforeAppendedBytes(std::uint64_t headersEnd) {
    if (m_size < kEndRecordSize || headersEnd > m_size - kEndRecordSize) {
        return false;
    }
    // Searched backwards, a block at a time, from the last place a record fits down to
    // where the local headers ended; blocks overlap by a signature's length.
    constexpr std::size_t kSignatureSize = 4;
    ByteBuffer block = BufferFor(m_size - headersEnd, kDirectoryBlock + kSignatureSize - 1);
    std::uint64_t top = m_size - kEndRecordSize;  // the highest place not yet searched
    for (;;) {
        const std::uint64_t start =
            top - std::min<std::uint64_t>(top - headersEnd, kDirectoryBlock - 1);
        const auto length = static_cast<std::size_t>(top - start + kSignatureSize);
        if (!ReadExact(m_file, start, block.data(), length)) {
            return false;
        }
        for (std::uint64_t at = top + 1; at-- > start;) {
            const std::uint8_t* p = block.data() + (at - start);
            if (U32(p) == kEndRecordSignature && readDirectoryEndingAt(at)) {
                return true;
            }
        }
        if (start == headersEnd) {
            return false;
        }
        top = start - 1;
    }
}

bool ZipReader::readDirectoryEndingAt(std::uint64_t endRecordAt) {
    // Any four bytes may spell the signature: a record counts only when the directory it
    // states ends right where the end records begin, and reads whole.
    DirectoryPlace place;
    if (!findDirectory(endRecordAt, place) ||
        SaturatingAdd(place.offset, place.size) != place.endRecordsAt) {
        return false;
    }
    std::vector<ZipEntry> rebuilt = std::move(m_entries);
    m_entries.clear();
    if (readCentralDirectory(endRecordAt)) {
        return true;
    }
    m_entries = std::move(rebuilt);
    return false;
}

bool ZipReader::findDirectory(std::uint64_t endRecordAt, DirectoryPlace& place) const {
    std::array<std::uint8_t, kEndRecordSize> end{};
    if (!ReadExact(m_file, endRecordAt, end.data(), end.size())) {
        return false;
    }
    place = {U16(&end[8]), U32(&end[16]), U32(&end[12]), false, endRecordAt};
    // A ZIP64 archive has a locator right before the end record, pointing at the ZIP64 end
    // record, whose 64-bit count, size and offset stand for the end record's.
    std::array<std::uint8_t, kZip64LocatorSize> locator{};
    if (endRecordAt < kZip64LocatorSize ||
        !ReadExact(m_file, endRecordAt - kZip64LocatorSize, locator.data(), locator.size()) ||
        U32(&locator[0]) != kZip64LocatorSignature) {
        return true;
    }
    std::array<std::uint8_t, kZip64EndRecordSize> zip64End{};
    if (!ReadExact(m_file, U64(&locator[8]), zip64End.data(), zip64End.size()) ||
        U32(&zip64End[0]) != kZip64EndRecordSignature) {
        return true;  // a locator pointing elsewhere: the end record's values stand
    }
    place = {U64(&zip64End[24]), U64(&zip64End[48]), U64(&zip64End[40]), true, U64(&locator[8])};
    return true;
}

bool ZipReader::readCentralDirectory(std::uint64_t endRecordAt) {
    DirectoryPlace place;
    if (!findDirectory(endRecordAt, place)) {
        return false;
    }
    RecordReader reader(m_file, m_size, place.offset);
    // One central record, or nothing when the file ends before it or a ZIP64 value it
    // needs is missing.
    const auto readRecord = [&reader](ZipEntry& entry) {
        std::array<std::uint8_t, kCentralFixedSize> fixed{};
        if (!reader.read(fixed.data(), fixed.size())) {
            return false;
        }
        CentralDirectoryRecord& c = entry.record;
        c.CentralFileHeaderSignature = U32(&fixed[0]);
        c.VersionMadeBy = U16(&fixed[4]);
        c.VersionNeededToExtract = U16(&fixed[6]);
        c.GeneralPurposeBitFlag = U16(&fixed[8]);
        c.CompressionMethod = U16(&fixed[10]);
        c.LastModFileTimeDate = U32(&fixed[12]);
        c.Crc32 = U32(&fixed[16]);
        c.CompressedSize = U32(&fixed[20]);
        c.UncompressedSize = U32(&fixed[24]);
        c.FilenameLength = U16(&fixed[28]);
        c.ExtraFieldLength = U16(&fixed[30]);
        c.FileCommentLength = U16(&fixed[32]);
        c.DiskNumberStart = U16(&fixed[34]);
        c.InternalFileAttributes = U16(&fixed[36]);
        c.ExternalFileAttributes = U32(&fixed[38]);
        c.RelativeOffsetOfLocalHeader = U32(&fixed[42]);
        const auto readText = [&reader](std::string& text, std::size_t length) {
            text.resize(length);
            return reader.read(reinterpret_cast<std::uint8_t*>(text.data()), length);
        };
        return readText(c.FileName, c.FilenameLength) &&
               readText(c.ExtraField, c.ExtraFieldLength) &&
               readText(c.FileComment, c.FileCommentLength) && ResolveZip64(c);
    };
    // Every record takes at least its fixed bytes: a count the file cannot hold ends at
    // the file's end, not in memory.
    for (std::uint64_t i = 0; i < place.entries; ++i) {
        ZipEntry entry;
        if (!readRecord(entry)) {
            return false;
        }
        m_entries.push_back(std::move(entry));
    }
    // An archive of more than 65,535 entries written without ZIP64 states their number
    // modulo 65,536; the records its directory holds beyond that, in whole multiples of
    // 65,536, are its entries too.
    if (!place.zip64) {
        const std::uint64_t directoryEnd =
            std::min(SaturatingAdd(place.offset, place.size), endRecordAt);
        std::vector<ZipEntry> more;
        for (;;) {
            std::array<std::uint8_t, 4> signature{};
            const std::uint64_t at = reader.position();
            if (SaturatingAdd(at, kCentralFixedSize) > directoryEnd ||
                !reader.read(signature.data(), signature.size()) ||
                U32(signature.data()) != kCentralHeaderSignature) {
                break;
            }
            reader.seek(at);
            ZipEntry entry;
            if (!readRecord(entry)) {
                break;
            }
            more.push_back(std::move(entry));
        }
        if (!more.empty() && more.size() % kEntryCountWrap == 0) {
            std::move(more.begin(), more.end(), std::back_inserter(m_entries));
        }
    }
    return true;
}

std::uint64_t ZipReader::rebuildFromLocalHeaders() {
    std::uint64_t offset = 0;
    for (;;) {
        std::array<std::uint8_t, kLocalFixedSize> fixed{};
        if (!ReadExact(m_file, offset, fixed.data(), fixed.size()) ||
            U32(&fixed[0]) != kLocalHeaderSignature) {
            return offset;
        }
        ZipEntry entry;
        CentralDirectoryRecord& c = entry.record;
        c.CentralFileHeaderSignature = kCentralHeaderSignature;
        c.VersionMadeBy = 20;
        c.VersionNeededToExtract = U16(&fixed[4]);
        c.GeneralPurposeBitFlag = U16(&fixed[6]);
        c.CompressionMethod = U16(&fixed[8]);
        c.LastModFileTimeDate = U32(&fixed[10]);
        c.Crc32 = U32(&fixed[14]);
        c.CompressedSize = U32(&fixed[18]);
        c.UncompressedSize = U32(&fixed[22]);
        c.FilenameLength = U16(&fixed[26]);
        c.ExtraFieldLength = U16(&fixed[28]);
        c.RelativeOffsetOfLocalHeader = offset;
        std::string variable(std::size_t{c.FilenameLength} + c.ExtraFieldLength, '\0');
        if (!ReadExact(m_file, offset + kLocalFixedSize,
                       reinterpret_cast<std::uint8_t*>(variable.data()), variable.size())) {
            return offset;
        }
        c.FileName = variable.substr(0, c.FilenameLength);
        c.ExtraField = variable.substr(c.FilenameLength);
        c.ExternalFileAttributes = !c.FileName.empty() && c.FileName.back() == '/' ? 16 : 32;
        // A local header that escapes either size has both in its ZIP64 extra field.
        if ((c.CompressedSize == kEscaped32 || c.UncompressedSize == kEscaped32) &&
            !ReadZip64Fields(c.ExtraField, {&c.UncompressedSize, &c.CompressedSize})) {
            return offset;
        }
        const std::uint64_t dataAt = offset + kLocalFixedSize + variable.size();

        if ((c.GeneralPurposeBitFlag & 0x0008) != 0 && c.CompressedSize == 0) {
            // The descriptor's sizes are 64-bit when the header has a ZIP64 extra field.
            const bool wide = FindZip64Extra(c.ExtraField).has_value();
            if (!findDataDescriptor(dataAt, wide, c, offset)) {
                return offset;
            }
            m_entries.push_back(std::move(entry));
            continue;
        }
        m_entries.push_back(std::move(entry));
        offset = SaturatingAdd(dataAt, c.CompressedSize);
    }
}

bool ZipReader::findDataDescriptor(std::uint64_t dataAt, bool wide, CentralDirectoryRecord& c,
                                   std::uint64_t& next) const {
    // The sizes follow the data in a descriptor: the one whose compressed size reaches
    // back exactly to the start of the data. Blocks overlap by a descriptor's length, so
    // that one across their border is seen.
    const std::size_t length = wide ? kWideDescriptorSize : kDescriptorSize;
    if (dataAt >= m_size) {
        return false;
    }
    ByteBuffer block = BufferFor(m_size - dataAt, kReadBlock + length - 1);
    for (std::uint64_t from = dataAt; from < m_size; from += kReadBlock) {
        std::size_t got = 0;
        if (!m_file.readAt(from, block, got).ok() || got < length) {
            return false;
        }
        for (std::size_t i = 0; i + length <= got && i < kReadBlock; ++i) {
            const std::uint8_t* p = &block[i];
            if (U32(p) != kDataDescriptorSignature) {
                continue;
            }
            const std::uint64_t compressed = wide ? U64(p + 8) : U32(p + 8);
            if (dataAt + compressed != from + i) {
                continue;
            }
            c.Crc32 = U32(p + 4);
            c.CompressedSize = compressed;
            c.UncompressedSize = wide ? U64(p + 16) : U32(p + 12);
            next = from + i + length;
            return true;
        }
    }
    return false;
}

std::string ZipEntry::name() const {
    constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD
    std::string text;
    text.reserve(record.FileName.size());
    ForEachUtf8(
        record.FileName,
        [&](std::string_view character, char32_t codePoint) {
            text += codePoint == 0 ? kReplacementCharacter : character;
        },
        [&](unsigned char) { text += kReplacementCharacter; });
    return text;
}

Status ZipReader::locateData(const ZipEntry& entry, std::uint64_t& dataAt) const {
    const CentralDirectoryRecord& c = entry.record;
    if ((c.CompressionMethod != 0 && c.CompressionMethod != 8) || entry.isEncrypted()) {
        return Status::failure("Cannot process this file: " + entry.name() + " ");
    }
    std::array<std::uint8_t, kLocalFixedSize> local{};
    if (!ReadExact(m_file, c.RelativeOffsetOfLocalHeader, local.data(), local.size()) ||
        U32(&local[0]) != kLocalHeaderSignature) {
        return Status::failure("bad local header");
    }
    dataAt = SaturatingAdd(c.RelativeOffsetOfLocalHeader,
                           kLocalFixedSize + U16(&local[26]) + U16(&local[28]));
    return Status::success();
}

Status ZipReader::readMember(const ZipEntry& entry, MemberSink& sink) {
    std::uint64_t dataAt = 0;
    if (Status status = locateData(entry, dataAt); !status) {
        return status;
    }
    const CentralDirectoryRecord& c = entry.record;
    const bool stored = c.CompressionMethod == 0;
    if (c.UncompressedSize > 0) {
        if (c.CompressedSize == 0) {
            return Status::failure("the member has no data");
        }
        if (stored && c.CompressedSize < c.UncompressedSize) {
            return Status::failure("the stored data is shorter than stated");
        }
        if (stored && sink.takesStoredMembers()) {
            // Read where it lies: one pass for the check, nothing copied.
            if (Status status = copyStored(dataAt, c, nullptr); !status) {
                return status;
            }
            return sink.takeStoredMember(m_path, dataAt, c.UncompressedSize);
        }
    }
    if (Status status = sink.begin(c.UncompressedSize); !status) {
        return status;
    }
    Status status = Status::success();
    if (c.UncompressedSize == 0) {
        status = c.Crc32 == 0 ? Status::success() : Status::failure(kCrcMismatch);
    } else if (stored) {
        status = copyStored(dataAt, c, &sink);
    } else {
        status = inflateTo(dataAt, c, sink);
    }
    return status ? sink.finish() : status;
}

Status ZipReader::appendMemberTo(const ZipEntry& entry, ByteBuffer& target) {
    AppendingSink sink(target, kMaxMemberSize);
    Status status = readMember(entry, sink);
    if (!status) {
        sink.drop();
    }
    return status;
}

Status ZipReader::copyStored(std::uint64_t dataAt, const CentralDirectoryRecord& c,
                             MemberSink* sink) {
    const std::uint64_t size = c.UncompressedSize;
    ByteBuffer block = BufferFor(size, kReadBlock);
    uLong crc = crc32_z(0, nullptr, 0);
    for (std::uint64_t done = 0; done < size;) {
        if (onProgress) {
            onProgress(done, size);
        }
        const auto length =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - done));
        if (!ReadExact(m_file, dataAt + done, block.data(), length)) {
            return Status::failure("the stored data is shorter than stated");
        }
        crc = crc32_z(crc, block.data(), length);
        if (sink) {
            if (Status status = sink->write(std::span(block.data(), length)); !status) {
                return status;
            }
        }
        done += length;
    }
    return crc == c.Crc32 ? Status::success() : Status::failure(kCrcMismatch);
}

Status ZipReader::inflateTo(std::uint64_t dataAt, const CentralDirectoryRecord& c,
                            MemberSink& sink) {
    Inflater inflater;
    if (!inflater.ready()) {
        return Status::failure("cannot start zlib");
    }
    z_stream& stream = inflater.stream();
    ByteBuffer input = BufferFor(c.CompressedSize, kInflateBlock);
    ByteBuffer output = BufferFor(c.UncompressedSize, kOutputBlock);
    std::uint64_t readFrom = dataAt;
    std::uint64_t unread = c.CompressedSize;
    std::uint64_t produced = 0;
    uLong crc = crc32_z(0, nullptr, 0);
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        if (stream.avail_in == 0) {
            // Taken in by blocks of 64 KiB, with a progress report before each.
            std::size_t got = 0;
            const auto want =
                static_cast<std::size_t>(std::min<std::uint64_t>(input.size(), unread));
            if (want == 0 || !m_file.readAt(readFrom, std::span(input.data(), want), got).ok() ||
                got == 0) {
                break;
            }
            readFrom += got;
            unread -= got;
            if (onProgress) {
                onProgress(produced, c.UncompressedSize);
            }
            stream.next_in = input.data();
            stream.avail_in = static_cast<uInt>(got);
        }
        // Once the stated size is reached, a byte of room shows whether more would come.
        std::uint8_t beyond = 0;
        const std::uint64_t left = c.UncompressedSize - produced;
        const auto room = static_cast<std::size_t>(std::min<std::uint64_t>(output.size(), left));
        stream.next_out = room > 0 ? output.data() : &beyond;
        stream.avail_out = static_cast<uInt>(room > 0 ? room : 1);
        const uInt inBefore = stream.avail_in;
        result = inflate(&stream, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
            return Status::failure(stream.msg ? stream.msg : "data error");
        }
        const std::size_t made = (room > 0 ? room : 1) - stream.avail_out;
        if (room == 0 && made > 0) {
            return Status::failure("the data inflates to more bytes than stated");
        }
        if (made > 0) {
            crc = crc32_z(crc, output.data(), made);
            if (Status status = sink.write(std::span(output.data(), made)); !status) {
                return status;
            }
            produced += made;
        } else if (stream.avail_in == inBefore && stream.avail_in > 0) {
            break;  // no progress possible
        }
    }
    if (produced != c.UncompressedSize) {
        return Status::failure("the data inflates to fewer bytes than stated");
    }
    return crc == c.Crc32 ? Status::success() : Status::failure(kCrcMismatch);
}

}  // namespace ostravex
