#include "romformat/nds_header.h"

#include <array>

#include "romformat/crc16.h"

namespace ostravex {
namespace {

std::string Characters(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t count) {
    return std::string(reinterpret_cast<const char*>(bytes.data() + offset), count);
}

std::int32_t Signed32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    // The size fields wrap at 32 bits, as the cartridge's do; the top bit makes them negative.
    return static_cast<std::int32_t>(LittleEndian32(bytes, offset));
}

}  // namespace

HeaderInfo DecodeHeaderInfo(std::span<const std::uint8_t, kHeaderInfoBytes> bytes) {
    HeaderInfo h;
    h.GameTittle = Characters(bytes, 0x000, 12);
    h.GameCode = Characters(bytes, 0x00C, 4);
    h.HeadMakerCode = Characters(bytes, 0x010, 2);
    h.UnitCode = bytes[0x012];
    h.DeviceCode = bytes[0x013];
    h.CardSize = bytes[0x014];
    h.RomVersion = bytes[0x01E];
    h.AutoStart = bytes[0x01F];
    h.ARM9Source = Signed32(bytes, 0x020);
    h.ARM9Exec = Signed32(bytes, 0x024);
    h.ARM9Copy = Signed32(bytes, 0x028);
    h.ARM9Size = Signed32(bytes, 0x02C);
    h.ARM7Source = Signed32(bytes, 0x030);
    h.ARM7Exec = Signed32(bytes, 0x034);
    h.ARM7Copy = Signed32(bytes, 0x038);
    h.ARM7Size = Signed32(bytes, 0x03C);
    h.FilenameOffset = Signed32(bytes, 0x040);
    h.FilenameSize = Signed32(bytes, 0x044);
    h.FATOffset = Signed32(bytes, 0x048);
    h.FatSize = Signed32(bytes, 0x04C);
    h.ARM9OverlaySource = Signed32(bytes, 0x050);
    h.ARM9OverlaySize = Signed32(bytes, 0x054);
    h.ARM7OverlaySource = Signed32(bytes, 0x058);
    h.ARM7OverlaySize = Signed32(bytes, 0x05C);
    h.ControlFlagsRead = Signed32(bytes, 0x060);
    h.ControlFlagsInit = Signed32(bytes, 0x064);
    h.IconTitles = Signed32(bytes, 0x068);
    h.SecureCRC16 = LittleEndian16(bytes, 0x06C);
    h.RomTimeout = LittleEndian16(bytes, 0x06E);
    h.ARM9Unk = Signed32(bytes, 0x070);
    h.ARM7Unk = Signed32(bytes, 0x074);
    h.UsedRomSize = Signed32(bytes, kUsedRomSizeOffset);
    h.HeaderSize = Signed32(bytes, 0x084);
    h.LogoCRC16 = LittleEndian16(bytes, 0x15C);
    h.HeaderCRC16 = LittleEndian16(bytes, 0x15E);
    h.MyHeaderCRC16 = Crc16(bytes.first(kHeaderCrcCoverage));
    return h;
}

BannerInfo DecodeBannerInfo(std::span<const std::uint8_t, kBannerInfoBytes> bytes) {
    BannerInfo b;
    b.Version = LittleEndian16(bytes, 0x000);
    b.CRC16 = LittleEndian16(bytes, 0x002);
    b.TitleJP = Characters(bytes, 0x240, kBannerTitleBytes);
    b.TitleEN = Characters(bytes, 0x340, kBannerTitleBytes);
    b.TitleFR = Characters(bytes, 0x440, kBannerTitleBytes);
    b.TitleGR = Characters(bytes, 0x540, kBannerTitleBytes);
    b.TitleIT = Characters(bytes, 0x640, kBannerTitleBytes);
    b.TitleSP = Characters(bytes, 0x740, kBannerTitleBytes);
    return b;
}

Status ReadHeaderInfo(const ByteSource& source, HeaderInfo& header) {
    std::array<std::uint8_t, kHeaderInfoBytes> bytes{};
    if (Status status = source.readZeroFilled(0, bytes); !status) {
        return status;
    }
    header = DecodeHeaderInfo(bytes);
    return Status::success();
}

Status ReadBannerInfo(const ByteSource& source, std::uint32_t offset, BannerInfo& banner) {
    std::array<std::uint8_t, kBannerInfoBytes> bytes{};
    if (Status status = source.readZeroFilled(offset, bytes); !status) {
        return status;
    }
    banner = DecodeBannerInfo(bytes);
    return Status::success();
}

bool HeaderChecksumMatches(std::span<const std::uint8_t> header) {
    return Crc16(header.first(kHeaderCrcCoverage)) == LittleEndian16(header, kHeaderCrcOffset);
}

std::optional<std::uint64_t> CartridgeSizeFromCapacity(std::uint8_t capacity) {
    constexpr std::uint64_t kSmallestCartridge = 128u << 10;
    if (capacity > 46) {  // 2^17 << 46 is 2^63
        return std::nullopt;
    }
    return kSmallestCartridge << capacity;
}

std::string CleanTitle(std::string_view text) {
    std::string clean;
    clean.reserve(text.size());
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x20) {
            clean += c;
        }
    }
    return clean;
}

}  // namespace ostravex
