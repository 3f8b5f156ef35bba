#include "archive/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "io/byte_source.h"
#include "io/paths.h"

namespace ostravex {
namespace {

constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50;     // "PK" 3 4
constexpr std::uint32_t kCentralHeaderSignature = 0x02014b50;   // "PK" 1 2
constexpr std::uint32_t kEndRecordSignature = 0x06054b50;       // "PK" 5 6
constexpr std::uint32_t kDataDescriptorSignature = 0x08074b50;  // "PK" 7 8
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kCentralFixedSize = 46;
constexpr std::size_t kLocalFixedSize = 30;
constexpr std::size_t kInflateBlock = 65536;  // input taken in per progress report
constexpr std::size_t kReadBlock = 1u << 20;
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

bool ReadExact(const File& file, std::uint64_t offset, std::uint8_t* out, std::size_t length) {
    std::size_t got = 0;
    return file.readAt(offset, std::span(out, length), got).ok() && got == length;
}

// Appends the UTF-8 sequence starting at text[i] when it is valid; returns its length, or
// 0 when the byte at i does not start a valid sequence.
std::size_t ValidSequence(const std::string& text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead >= 0x01 && lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        code = code << 6 | (byte(i + k) & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return overlong || surrogate || code > 0x10FFFF ? 0 : length;
}

}  // namespace

Status TKAZip::Open(const std::string& path) {
    Close();
    if (!FileExists(path)) {
        return Status::failure("File \"" + path + "\" not found!");
    }
    if (Status status = m_file.openShared(path); !status) {
        return status;
    }
    if (Status status = m_file.size(m_size); !status) {
        Close();
        return status;
    }
    std::uint64_t endRecordAt = 0;
    if (findEndOfCentralDirectory(endRecordAt)) {
        m_isZipFile = readCentralDirectory(endRecordAt);
    } else {
        rebuildFromLocalHeaders();
        m_isZipFile = !m_entries.empty();
        m_hasBadEntries = m_isZipFile;
    }
    if (!m_isZipFile) {
        Close();
    } else if (entriesOverlap()) {
        Close();
        return Status::failure("overlapping entries");
    }
    return Status::success();
}

bool TKAZip::entriesOverlap() const {
    // Where each entry's local record starts, and the least it takes: its fixed header and
    // its compressed data (the name and extra field come on top).
    std::vector<std::pair<std::uint64_t, std::uint64_t>> spans;
    spans.reserve(m_entries.size());
    for (const TKAZipEntriesEntry& entry : m_entries) {
        const std::uint64_t start = entry.Central.RelativeOffsetOfLocalHeader;
        spans.emplace_back(start, start + kLocalFixedSize + entry.Central.CompressedSize);
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

void TKAZip::Close() {
    m_entries.clear();
    m_file.close();
    m_isZipFile = false;
    m_hasBadEntries = false;
    m_size = 0;
}

bool TKAZip::findEndOfCentralDirectory(std::uint64_t& at) const {
    if (m_size < kEndRecordSize) {
        return false;
    }
    // Everything the three windows can look at, read at once.
    const std::uint64_t reach = kEndRecordWindows.back().first + kEndRecordWindows.back().second;
    const std::uint64_t tailStart = m_size > reach + 4 ? m_size - reach - 4 : 0;
    std::vector<std::uint8_t> tail(static_cast<std::size_t>(m_size - tailStart));
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

bool TKAZip::readCentralDirectory(std::uint64_t endRecordAt) {
    std::array<std::uint8_t, kEndRecordSize> end{};
    if (!ReadExact(m_file, endRecordAt, end.data(), end.size())) {
        return false;
    }
    const std::uint16_t count = U16(&end[8]);  // entries on this disk
    std::uint64_t offset = U32(&end[16]);
    for (std::uint16_t i = 0; i < count; ++i) {
        std::array<std::uint8_t, kCentralFixedSize> fixed{};
        if (!ReadExact(m_file, offset, fixed.data(), fixed.size())) {
            return false;
        }
        TKAZipEntriesEntry entry;
        TCentralDirectoryFile& c = entry.Central;
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
        const std::size_t variable =
            std::size_t{c.FilenameLength} + c.ExtraFieldLength + c.FileCommentLength;
        std::vector<std::uint8_t> bytes(variable);
        if (variable > 0 &&
            !ReadExact(m_file, offset + kCentralFixedSize, bytes.data(), variable)) {
            return false;
        }
        const char* text = reinterpret_cast<const char*>(bytes.data());
        c.FileName.assign(text, c.FilenameLength);
        c.ExtraField.assign(text + c.FilenameLength, c.ExtraFieldLength);
        c.FileComment.assign(text + c.FilenameLength + c.ExtraFieldLength, c.FileCommentLength);
        m_entries.push_back(std::move(entry));
        offset += kCentralFixedSize + variable;
    }
    return true;
}

void TKAZip::rebuildFromLocalHeaders() {
    std::uint64_t offset = 0;
    for (;;) {
        std::array<std::uint8_t, kLocalFixedSize> fixed{};
        if (!ReadExact(m_file, offset, fixed.data(), fixed.size()) ||
            U32(&fixed[0]) != kLocalHeaderSignature) {
            return;
        }
        TKAZipEntriesEntry entry;
        TCentralDirectoryFile& c = entry.Central;
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
        c.RelativeOffsetOfLocalHeader = static_cast<std::uint32_t>(offset);
        std::string name(c.FilenameLength, '\0');
        if (!ReadExact(m_file, offset + kLocalFixedSize,
                       reinterpret_cast<std::uint8_t*>(name.data()), name.size())) {
            return;
        }
        c.FileName = name;
        c.ExternalFileAttributes = !name.empty() && name.back() == '/' ? 16 : 32;
        const std::uint64_t dataAt =
            offset + kLocalFixedSize + c.FilenameLength + c.ExtraFieldLength;

        if ((c.GeneralPurposeBitFlag & 0x0008) != 0 && c.CompressedSize == 0) {
            // The sizes follow the data in a descriptor: find the descriptor whose
            // compressed size reaches back exactly to the start of the data.
            std::uint64_t descriptorAt = 0;
            std::vector<std::uint8_t> block(kReadBlock + 15);
            bool found = false;
            for (std::uint64_t from = dataAt; !found && from < m_size; from += kReadBlock) {
                std::size_t got = 0;
                if (!m_file.readAt(from, block, got).ok() || got < 16) {
                    break;
                }
                for (std::size_t i = 0; i + 16 <= got && i < kReadBlock; ++i) {
                    if (U32(&block[i]) == kDataDescriptorSignature &&
                        dataAt + U32(&block[i + 8]) == from + i) {
                        descriptorAt = from + i;
                        c.Crc32 = U32(&block[i + 4]);
                        c.CompressedSize = U32(&block[i + 8]);
                        c.UncompressedSize = U32(&block[i + 12]);
                        found = true;
                        break;
                    }
                }
            }
            if (!found) {
                return;
            }
            m_entries.push_back(std::move(entry));
            offset = descriptorAt + 16;
            continue;
        }
        m_entries.push_back(std::move(entry));
        offset = dataAt + c.CompressedSize;
    }
}

std::string TKAZip::GetUnicodeFilename(const TKAZipEntriesEntry& entry) {
    const std::string& bytes = entry.Central.FileName;
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        if (const std::size_t length = ValidSequence(bytes, i); length > 0) {
            text.append(bytes, i, length);
            i += length;
        } else {
            text += "\xEF\xBF\xBD";  // U+FFFD
            ++i;
        }
    }
    return text;
}

Status TKAZip::SaveToStream(const TKAZipEntriesEntry& entry, ByteBuffer& target) {
    const TCentralDirectoryFile& c = entry.Central;
    if ((c.CompressionMethod != 0 && c.CompressionMethod != 8) || entry.IsEncrypted()) {
        return Status::failure("Cannot process this file: " + GetUnicodeFilename(entry) + " ");
    }
    if (c.UncompressedSize > kMaxMemberSize) {
        return Status::failure("the member claims more than 1 GiB");
    }
    std::array<std::uint8_t, kLocalFixedSize> local{};
    if (!ReadExact(m_file, c.RelativeOffsetOfLocalHeader, local.data(), local.size()) ||
        U32(&local[0]) != kLocalHeaderSignature) {
        return Status::failure("bad local header");
    }
    if (c.UncompressedSize == 0) {
        return c.Crc32 == 0 ? Status::success() : Status::failure(kCrcMismatch);
    }
    if (c.CompressedSize == 0) {
        return Status::failure("the member has no data");
    }
    const std::uint64_t dataAt = std::uint64_t{c.RelativeOffsetOfLocalHeader} + kLocalFixedSize +
                                 U16(&local[26]) + U16(&local[28]);

    const bool stored = c.CompressionMethod == 0;
    if (stored && c.CompressedSize < c.UncompressedSize) {
        return Status::failure("the stored data is shorter than stated");
    }
    const std::size_t start = target.size();
    target.resize(start + c.UncompressedSize);
    Status status = stored ? copyInto(dataAt, entry, target.data() + start)
                           : inflateInto(dataAt, entry, target.data() + start);
    if (!status) {
        target.resize(start);
    }
    return status;
}

Status TKAZip::copyInto(std::uint64_t dataAt, const TKAZipEntriesEntry& entry, std::uint8_t* out) {
    const TCentralDirectoryFile& c = entry.Central;
    uLong crc = crc32_z(0, nullptr, 0);
    // By blocks, so that each is checked while it is still in the cache.
    for (std::uint64_t done = 0; done < c.UncompressedSize;) {
        const auto length = static_cast<std::size_t>(
            std::min<std::uint64_t>(kReadBlock, c.UncompressedSize - done));
        if (!ReadExact(m_file, dataAt + done, out + done, length)) {
            return Status::failure("the stored data is shorter than stated");
        }
        crc = crc32_z(crc, out + done, length);
        done += length;
    }
    return crc == c.Crc32 ? Status::success() : Status::failure(kCrcMismatch);
}

Status TKAZip::inflateInto(std::uint64_t dataAt, const TKAZipEntriesEntry& entry,
                           std::uint8_t* out) {
    const TCentralDirectoryFile& c = entry.Central;
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        return Status::failure("cannot start zlib");
    }
    stream.next_out = out;
    stream.avail_out = c.UncompressedSize;
    std::vector<std::uint8_t> input(kReadBlock);
    std::uint64_t remaining = c.CompressedSize;
    std::uint64_t at = dataAt;
    int result = Z_OK;
    uLong crc = crc32_z(0, nullptr, 0);
    while (remaining > 0 && stream.avail_out > 0 && result != Z_STREAM_END) {
        std::size_t got = 0;
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(input.size(), remaining));
        if (!m_file.readAt(at, std::span(input.data(), want), got).ok() || got == 0) {
            break;
        }
        at += got;
        remaining -= got;
        // Taken in by blocks of 64 KiB, with a progress report before each.
        for (std::size_t offset = 0; offset < got && stream.avail_out > 0 && result != Z_STREAM_END;
             offset += kInflateBlock) {
            if (OnDecompressFile) {
                OnDecompressFile(static_cast<std::uint32_t>(stream.total_out), c.UncompressedSize);
            }
            stream.next_in = input.data() + offset;
            stream.avail_in = static_cast<uInt>(std::min(kInflateBlock, got - offset));
            const uLong before = stream.total_out;
            result = inflate(&stream, Z_NO_FLUSH);
            crc = crc32_z(crc, out + before, stream.total_out - before);
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
                const std::string message = stream.msg ? stream.msg : "data error";
                inflateEnd(&stream);
                return Status::failure(message);
            }
        }
    }
    const uLong produced = stream.total_out;
    inflateEnd(&stream);
    if (produced != c.UncompressedSize) {
        return Status::failure("the data inflates to fewer bytes than stated");
    }
    return crc == c.Crc32 ? Status::success() : Status::failure(kCrcMismatch);
}

}  // namespace ostravex
