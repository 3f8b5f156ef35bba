#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "io/byte_buffer.h"
#include "io/file.h"
#include "io/status.h"

namespace ostravex {

// The zip format's records (PKWARE APPNOTE), little-endian on disk. Archives of 4 GiB and
// more, ZIP64 records and multi-disk archives are not read.
struct TCentralDirectoryFile {
    std::uint32_t CentralFileHeaderSignature = 0;  // 0x02014b50, "PK" 1 2
    std::uint16_t VersionMadeBy = 0;
    std::uint16_t VersionNeededToExtract = 0;
    std::uint16_t GeneralPurposeBitFlag = 0;  // bit 0: encrypted; bit 3: sizes after the data
    std::uint16_t CompressionMethod = 0;      // 0 stored, 8 deflate
    std::uint32_t LastModFileTimeDate = 0;
    std::uint32_t Crc32 = 0;
    std::uint32_t CompressedSize = 0;
    std::uint32_t UncompressedSize = 0;
    std::uint16_t FilenameLength = 0;
    std::uint16_t ExtraFieldLength = 0;
    std::uint16_t FileCommentLength = 0;
    std::uint16_t DiskNumberStart = 0;
    std::uint16_t InternalFileAttributes = 0;
    std::uint32_t ExternalFileAttributes = 0;  // bit 4: folder
    std::uint32_t RelativeOffsetOfLocalHeader = 0;
    std::string FileName;  // the stored bytes
    std::string ExtraField;
    std::string FileComment;
};

struct TKAZipEntriesEntry {
    TCentralDirectoryFile Central;
    bool IsEncrypted() const { return (Central.GeneralPurposeBitFlag & 0x0001) != 0; }
    bool IsFolder() const { return (Central.ExternalFileAttributes & 0x10) != 0; }
};

// Reads zip archives: the directory, each entry's name, and one entry's data.
class TKAZip {
  public:
    // No member is decompressed into memory beyond this size, whatever it claims.
    static constexpr std::uint32_t kMaxMemberSize = 1u << 30;

    // Reads the archive's directory. A missing or unreadable file is a failure, and so is
    // an archive whose entries' local data overlap (a zip bomb: many entries quoting one
    // deflate stream); a file that is not a zip archive is not (IsZipFile() then tells).
    Status Open(const std::string& path);
    void Close();

    bool IsZipFile() const { return m_isZipFile; }
    // The directory was rebuilt from local headers (no end record was found).
    bool HasBadEntries() const { return m_hasBadEntries; }
    const std::vector<TKAZipEntriesEntry>& Entries() const { return m_entries; }

    // The entry's name bytes read as UTF-8 (whatever its flags say); bytes that are not
    // valid UTF-8 become U+FFFD. Separators stay as stored.
    static std::string GetUnicodeFilename(const TKAZipEntriesEntry& entry);

    // Decompresses the entry and appends its bytes to `target`. Every way the data can be
    // wrong (other method, encryption, bad local header, corrupt or short data, a CRC-32
    // that does not match, a size past kMaxMemberSize) is a failure, and `target` is left
    // as it was.
    Status SaveToStream(const TKAZipEntriesEntry& entry, ByteBuffer& target);

    // Progress while a deflated entry is decompressed: bytes produced, bytes in all.
    std::function<void(std::uint32_t current, std::uint32_t total)> OnDecompressFile;

  private:
    bool readCentralDirectory(std::uint64_t endRecordAt);
    void rebuildFromLocalHeaders();
    bool findEndOfCentralDirectory(std::uint64_t& at) const;
    bool entriesOverlap() const;
    Status copyInto(std::uint64_t dataAt, const TKAZipEntriesEntry& entry, std::uint8_t* out);
    Status inflateInto(std::uint64_t dataAt, const TKAZipEntriesEntry& entry, std::uint8_t* out);

    File m_file;
    std::uint64_t m_size = 0;
    bool m_isZipFile = false;
    bool m_hasBadEntries = false;
    std::vector<TKAZipEntriesEntry> m_entries;
};

}  // namespace ostravex
