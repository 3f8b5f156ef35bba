#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/rom_images.h"

namespace ostravex::testing {

// The archivers the tests make archives with: the real tools where they are installed, rar
// archives built in code (no rar tool is packaged for Debian's main archive).
enum class ArchiveTool { Zip, SevenZip, Rar };

inline std::string ArchiveToolName(ArchiveTool tool) {
    switch (tool) {
        case ArchiveTool::Zip:
            return "zip";
        case ArchiveTool::SevenZip:
            return "7zz";
        case ArchiveTool::Rar:
            return "rar (built in code)";
    }
    return "";
}

// Writes zip archives in the tests, including odd ones.
class ZipBuilder {
  public:
    struct Member {
        Member(std::string memberName, Bytes memberData, std::uint16_t memberMethod = 8)
            : name(std::move(memberName)), data(std::move(memberData)), method(memberMethod) {}
        Member& encrypted() {
            flags |= 1;
            return *this;
        }
        Member& claiming(std::uint64_t size) {
            claimedSize = size;
            return *this;
        }
        Member& withBadLocalSignature() {
            badLocalSignature = true;
            return *this;
        }
        Member& cutShort(std::size_t bytes) {
            dropLastDataBytes = bytes;
            return *this;
        }
        Member& withDataDescriptor() {
            dataDescriptor = true;
            return *this;
        }
        Member& claimingCrc(std::uint32_t crc) {
            claimedCrc = crc;
            return *this;
        }
        // The central record points at this offset instead of the member's own local
        // record (which is still written).
        Member& localHeaderAt(std::uint32_t offset) {
            centralOffset = offset;
            return *this;
        }
        // Written as ZIP64 writers do: the sizes (and the central record's offset) are
        // 0xFFFFFFFF in the headers and stand in a ZIP64 extra field, after a time stamp
        // field; a data descriptor has 64-bit sizes.
        Member& zip64() {
            zip64Fields = true;
            return *this;
        }
        // These bytes are written as the member's data, as they are: `data` is not used
        // (state the size and CRC-32 with claiming() and claimingCrc()).
        Member& withStoredBytes(Bytes bytes) {
            storedBytes = std::move(bytes);
            return *this;
        }

        std::string name;
        Bytes data;
        std::uint16_t method;  // 0 stored, 8 deflated; others are written stored
        std::uint16_t flags = 0;
        std::optional<std::uint64_t> claimedSize;  // UncompressedSize to state instead
        bool badLocalSignature = false;
        std::size_t dropLastDataBytes = 0;  // cuts the stored data short
        bool dataDescriptor = false;        // sizes after the data (flag bit 3)
        std::optional<std::uint32_t> claimedCrc;
        std::optional<std::uint32_t> centralOffset;
        bool zip64Fields = false;
        std::optional<Bytes> storedBytes;
    };

    ZipBuilder& add(Member member) {
        m_members.push_back(std::move(member));
        return *this;
    }
    ZipBuilder& add(const std::string& name, const Bytes& data, std::uint16_t method = 8) {
        return add(Member(name, data, method));
    }
    ZipBuilder& comment(std::size_t length) {
        m_commentLength = length;
        return *this;
    }
    ZipBuilder& withoutEndRecord() {
        m_endRecord = false;
        return *this;
    }
    // The end record's count of entries on this disk (offset 8) and of all entries
    // (offset 10), instead of the number of members.
    ZipBuilder& statingEntries(std::uint16_t onThisDisk, std::uint16_t total) {
        m_statedEntries = {onThisDisk, total};
        return *this;
    }
    // A ZIP64 end record and its locator before the end record, whose counts are 0xFFFF
    // and whose directory size and offset are 0xFFFFFFFF.
    ZipBuilder& zip64EndRecord() {
        m_zip64EndRecord = true;
        return *this;
    }
    Bytes build() const;

  private:
    std::vector<Member> m_members;
    std::size_t m_commentLength = 0;
    bool m_endRecord = true;
    bool m_zip64EndRecord = false;
    std::optional<std::pair<std::uint16_t, std::uint16_t>> m_statedEntries;
};

// Writes RAR 4.x archives with stored members: the marker block, a main header (type
// 0x73), one file header (type 0x74, method 0x30) per member, the end block. Header CRCs
// are the low 16 bits of the CRC-32 of the header from its type byte on.
class RarBuilder {
  public:
    // A name with "\" separators stands in folders, as Windows RAR stores them.
    RarBuilder& add(const std::string& name, const Bytes& data) {
        m_members.push_back({name, data, false, false});
        return *this;
    }
    // A name stored as WinRAR stores one beyond ASCII: an ASCII form ("?" for every other
    // character), a zero byte, then its UTF-16 code units in RAR's packed form (flag 0x0200).
    RarBuilder& addUnicode(const std::u16string& name, const Bytes& data);
    RarBuilder& folder(const std::string& name) {
        m_members.push_back({name, {}, true, false});
        return *this;
    }
    // Spoils the header CRC of the member with this index.
    RarBuilder& damageHeader(std::size_t index) {
        m_damaged = index;
        return *this;
    }
    Bytes build() const;

  private:
    struct Member {
        std::string name;  // the header's name field, byte for byte
        Bytes data;
        bool isFolder;
        bool unicode;
    };
    std::vector<Member> m_members;
    std::optional<std::size_t> m_damaged;
};

// Makes a 7z archive with the 7zz command from `folder`'s contents (paths relative to it),
// with 7zz's `switches` (its defaults, a solid LZMA2 archive, when empty). Returns false
// when 7zz is not installed.
bool MakeSevenZip(const std::string& archive, const std::string& folder,
                  const std::vector<std::string>& paths, const std::string& switches = "-mx=1");

}  // namespace ostravex::testing
