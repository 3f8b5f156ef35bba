#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "io/byte_buffer.h"
#include "io/file.h"
#include "io/status.h"

namespace ostravex {

class MemberSink;

// The zip format's records (PKWARE APPNOTE), little-endian on disk. Sizes and offsets are
// held in 64 bits: where a record stores 0xFFFFFFFF (0xFFFF for the disk number), the value
// comes from the record's ZIP64 extra field. Multi-disk archives are not read. The fields
// are named as in the format's own description of the record.
struct CentralDirectoryRecord {
    std::uint32_t CentralFileHeaderSignature = 0;  // 0x02014b50, "PK" 1 2
    std::uint16_t VersionMadeBy = 0;
    std::uint16_t VersionNeededToExtract = 0;
    std::uint16_t GeneralPurposeBitFlag = 0;  // bit 0: encrypted; bit 3: sizes after the data
    std::uint16_t CompressionMethod = 0;      // 0 stored, 8 deflate
    std::uint32_t LastModFileTimeDate = 0;
    std::uint32_t Crc32 = 0;
    std::uint64_t CompressedSize = 0;
    std::uint64_t UncompressedSize = 0;
    std::uint16_t FilenameLength = 0;
    std::uint16_t ExtraFieldLength = 0;
    std::uint16_t FileCommentLength = 0;
    std::uint32_t DiskNumberStart = 0;
    std::uint16_t InternalFileAttributes = 0;
    std::uint32_t ExternalFileAttributes = 0;  // bit 4: folder
    std::uint64_t RelativeOffsetOfLocalHeader = 0;
    std::string FileName;  // the stored bytes
    std::string ExtraField;
    std::string FileComment;
};

// One entry of an archive's directory.
struct ZipEntry {
    CentralDirectoryRecord record;

    bool isEncrypted() const { return (record.GeneralPurposeBitFlag & 0x0001) != 0; }
    // The stored name bytes read as UTF-8 (whatever the flags say): each invalid byte, and
    // a NUL (which no file name can hold), becomes U+FFFD. Separators stay as stored.
    std::string name() const;
};

// Reads zip archives, ZIP64 ones included: the directory, each entry's name, and one
// entry's data.
class ZipReader {
  public:
    // No member is decompressed into memory beyond this size, whatever it claims.
    static constexpr std::uint32_t kMaxMemberSize = 1u << 30;

    // Reads the archive's directory. A missing or unreadable file is a failure, and so is
    // an archive whose entries' local data overlap (a zip bomb: many entries quoting one
    // deflate stream); a file that is not a zip archive is not (isZipFile() then tells).
    Status open(const std::string& path);
    void close();

    bool isZipFile() const { return m_isZipFile; }
    // The directory was rebuilt from local headers (no end record was found, neither after
    // the comment nor behind bytes appended to the archive): the archive was cut short or
    // damaged.
    bool rebuiltFromLocalHeaders() const { return m_rebuiltFromLocalHeaders; }
    const std::vector<ZipEntry>& entries() const { return m_entries; }

    // Reads the entry's data into `sink` block by block, holding at most about 1 MiB
    // whatever the member's size: sink.begin(stated size) once the local header is found,
    // then sink.write() with the member's bytes in order (blocks of up to 1 MiB), then
    // sink.finish() only when the data came whole, exactly the stated size, and matching
    // its CRC-32. Any failure returns its reason and finish() is not called; a failure
    // found at the end (a CRC-32 that does not match, data shorter or longer than stated)
    // comes after bytes were written, and the sink's owner throws away what it received.
    // A sink that takes stored members (MemberSink::takesStoredMembers) is given a stored
    // member's place in the archive instead, after a pass that checks its CRC-32.
    // onProgress reports progress meanwhile. No size limit: a sink that keeps the
    // bytes in memory sets its own.
    Status readMember(const ZipEntry& entry, MemberSink& sink);

    // Decompresses the entry and appends its bytes to `target`. Every way the data can be
    // wrong (other method, encryption, bad local header, corrupt or short data, a CRC-32
    // that does not match, a size past kMaxMemberSize) is a failure, and `target` is left
    // as it was.
    Status appendMemberTo(const ZipEntry& entry, ByteBuffer& target);

    // Progress while an entry's data is read: bytes produced, bytes in all.
    std::function<void(std::uint64_t current, std::uint64_t total)> onProgress;

  private:
    struct DirectoryPlace;
    bool findDirectory(std::uint64_t endRecordAt, DirectoryPlace& place) const;
    // Reads the entries from the archive's directory, else from its local headers. False
    // when the file is not a zip archive.
    bool readDirectory();
    bool readCentralDirectory(std::uint64_t endRecordAt);
    // Lists the entries from their local headers; returns where those ended.
    std::uint64_t rebuildFromLocalHeaders();
    // Finds an end record between `headersEnd` and the end of the file, however far back
    // bytes appended to the archive pushed it, and reads its directory in place of the
    // rebuilt entries. False, the rebuilt entries kept, when there is none.
    bool readDirectoryBeforeAppendedBytes(std::uint64_t headersEnd);
    bool readDirectoryEndingAt(std::uint64_t endRecordAt);
    bool findDataDescriptor(std::uint64_t dataAt, bool wide, CentralDirectoryRecord& c,
                            std::uint64_t& next) const;
    bool findEndOfCentralDirectory(std::uint64_t& at) const;
    bool entriesOverlap() const;
    Status locateData(const ZipEntry& entry, std::uint64_t& dataAt) const;
    Status copyStored(std::uint64_t dataAt, const CentralDirectoryRecord& c, MemberSink* sink);
    Status inflateTo(std::uint64_t dataAt, const CentralDirectoryRecord& c, MemberSink& sink);

    File m_file;
    std::string m_path;
    std::uint64_t m_size = 0;
    bool m_isZipFile = false;
    bool m_rebuiltFromLocalHeaders = false;
    std::vector<ZipEntry> m_entries;
};

}  // namespace ostravex
