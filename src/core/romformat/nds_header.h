#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "io/byte_source.h"

namespace ostravex {

// NDS cartridge header layout. All numbers are little-endian.
constexpr std::size_t kHeaderInfoBytes = 0x160;      // the part of the header decoded below
constexpr std::size_t kHeaderCrcCoverage = 0x15E;    // the header checksum covers 0x000-0x15D
constexpr std::size_t kHeaderCrcOffset = 0x15E;      // where the header checksum is stored
constexpr std::size_t kUsedRomSizeOffset = 0x80;     // total used ROM size, DSi area excluded
constexpr std::size_t kUnitCodeOffset = 0x12;        // 0 NDS, 2 DSi-enhanced, 3 DSi-exclusive
constexpr std::size_t kDeviceCapacityOffset = 0x14;  // cartridge size: 128 KiB << this byte
constexpr std::size_t kNtrDigestOffset = 0x1E0;  // offset, then length, of the NTR digest region
constexpr std::size_t kTwlDigestOffset = 0x1E8;  // offset, then length, of the TWL digest region;
                                                 // nonzero marks a DSi-enhanced image
constexpr std::size_t kTotalUsedSizeOffset = 0x210;  // DSi header: used size including the DSi area
constexpr std::size_t kBannerInfoBytes = 0x840;      // banner part decoded below
constexpr std::size_t kBannerTitleBytes = 256;       // each title: 128 UTF-16LE units

// The decoded cartridge header. Strings hold one character per byte (Latin-1), NULs kept;
// numbers are the signed 32-bit reading of their bytes.
struct HeaderInfo {
    std::string GameTittle;     // 0x000, 12 bytes
    std::string GameCode;       // 0x00C, 4 bytes
    std::string HeadMakerCode;  // 0x010, 2 bytes
    std::int32_t UnitCode = 0;  // 0x012
    std::int32_t DeviceCode = 0;
    std::int32_t CardSize = 0;
    std::int32_t RomVersion = 0;  // 0x01E
    std::int32_t AutoStart = 0;
    std::int32_t ARM9Source = 0;  // 0x020
    std::int32_t ARM9Exec = 0;
    std::int32_t ARM9Copy = 0;
    std::int32_t ARM9Size = 0;
    std::int32_t ARM7Source = 0;  // 0x030
    std::int32_t ARM7Exec = 0;
    std::int32_t ARM7Copy = 0;
    std::int32_t ARM7Size = 0;
    std::int32_t FilenameOffset = 0;  // 0x040
    std::int32_t FilenameSize = 0;
    std::int32_t FATOffset = 0;
    std::int32_t FatSize = 0;
    std::int32_t ARM9OverlaySource = 0;  // 0x050
    std::int32_t ARM9OverlaySize = 0;
    std::int32_t ARM7OverlaySource = 0;
    std::int32_t ARM7OverlaySize = 0;
    std::int32_t ControlFlagsRead = 0;  // 0x060
    std::int32_t ControlFlagsInit = 0;
    std::int32_t IconTitles = 0;   // 0x068: file offset of the banner
    std::int32_t SecureCRC16 = 0;  // 0x06C, 16 bits
    std::int32_t RomTimeout = 0;   // 0x06E, 16 bits
    std::int32_t ARM9Unk = 0;      // 0x070
    std::int32_t ARM7Unk = 0;
    std::int32_t UsedRomSize = 0;    // 0x080: size of the image the cartridge uses
    std::int32_t HeaderSize = 0;     // 0x084
    std::int32_t LogoCRC16 = 0;      // 0x15C, 16 bits, stored
    std::int32_t HeaderCRC16 = 0;    // 0x15E, 16 bits, stored
    std::int32_t MyHeaderCRC16 = 0;  // computed over 0x000-0x15D
};

// The decoded banner. Titles are taken byte by byte from their UTF-16LE storage.
struct BannerInfo {
    std::int32_t Version = 0;  // 0x000, 16 bits
    std::int32_t CRC16 = 0;    // 0x002, 16 bits, stored
    std::int32_t MyCRC16 = 0;  // never computed
    std::string TitleJP;       // 0x240
    std::string TitleEN;       // 0x340
    std::string TitleFR;       // 0x440
    std::string TitleGR;       // 0x540, German
    std::string TitleIT;       // 0x640
    std::string TitleSP;       // 0x740, Spanish
};

HeaderInfo DecodeHeaderInfo(std::span<const std::uint8_t, kHeaderInfoBytes> bytes);
BannerInfo DecodeBannerInfo(std::span<const std::uint8_t, kBannerInfoBytes> bytes);

// Reads and decodes the header at offset 0. Nothing is validated; bytes past the end of a
// short image read as zero.
Status ReadHeaderInfo(const ByteSource& source, HeaderInfo& header);
// Reads and decodes the banner at `offset` (the header's IconTitles); zero past the end.
Status ReadBannerInfo(const ByteSource& source, std::uint32_t offset, BannerInfo& banner);

// True when the checksum stored at 0x15E is the CRC-16 of bytes 0x000-0x15D, as in every
// cartridge dump and every image the usual build tools make. `header` holds at least the
// first kHeaderInfoBytes bytes of the image.
bool HeaderChecksumMatches(std::span<const std::uint8_t> header);

// The size of the cartridge chip the header names: 128 KiB shifted left by the device
// capacity byte at 0x14. Empty when the shift would not fit in 64 bits.
std::optional<std::uint64_t> CartridgeSizeFromCapacity(std::uint8_t capacity);

// The text without its control characters (codes below 0x20), for banner titles.
std::string CleanTitle(std::string_view text);

}  // namespace ostravex
