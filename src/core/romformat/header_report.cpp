#include "romformat/header_report.h"

#include "io/file.h"
#include "io/paths.h"

namespace ostravex {
namespace {

// One character per byte, as ISO 8859-1, written as UTF-8; stops at the first NUL.
std::string ShownLatin1(std::string_view bytes) {
    std::string text;
    for (const char c : bytes) {
        const auto code = static_cast<unsigned char>(c);
        if (code == 0) {
            break;
        }
        if (code < 0x80) {
            text += static_cast<char>(code);
        } else {
            text += static_cast<char>(0xC0 | (code >> 6));
            text += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return text;
}

void AppendUtf8(std::string& text, char32_t code) {
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The code points of UTF-16LE text up to its first NUL; half a surrogate pair is U+FFFD.
std::u32string Utf16LeCodePoints(std::string_view bytes) {
    constexpr char32_t kReplacement = 0xFFFD;
    std::u32string codes;
    const auto unitAt = [&](std::size_t at) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[at]) |
                                     (static_cast<unsigned char>(bytes[at + 1]) << 8));
    };
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        const char32_t unit = unitAt(at);
        if (unit == 0) {
            break;
        }
        const bool high = unit >= 0xD800 && unit < 0xDC00;
        const bool low = unit >= 0xDC00 && unit < 0xE000;
        if (high && at + 3 < bytes.size()) {
            const char32_t next = unitAt(at + 2);
            if (next >= 0xDC00 && next < 0xE000) {
                codes += 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
                at += 2;
                continue;
            }
        }
        codes += high || low ? kReplacement : unit;
    }
    return codes;
}

std::string N(std::int32_t value) {
    return std::to_string(value);
}

// The offset as the header stores it: an unsigned 32-bit number.
std::uint32_t BannerOffset(const HeaderInfo& header) {
    return static_cast<std::uint32_t>(header.IconTitles);
}

std::vector<std::string> BannerLines(const HeaderInfo& h, const std::optional<BannerInfo>& banner) {
    if (!banner) {
        const std::uint32_t offset = BannerOffset(h);
        return {offset == 0 ? std::string("No banner: the icon and titles offset is 0")
                            : "No banner: the icon and titles offset (" + std::to_string(offset) +
                                  ") is past the end of the file"};
    }
    const BannerInfo& b = *banner;
    return {
        "Version: " + N(b.Version),
        "Banner CRC16: " + N(b.CRC16),
        "Japanese Title: " + BannerTitleText(b.TitleJP),
        "English Title: " + BannerTitleText(b.TitleEN),
        "French Title: " + BannerTitleText(b.TitleFR),
        "German Title: " + BannerTitleText(b.TitleGR),
        "Italian Title: " + BannerTitleText(b.TitleIT),
        "Spanish Title: " + BannerTitleText(b.TitleSP),
    };
}

}  // namespace

std::string BannerTitleText(std::string_view utf16le) {
    std::string text;
    std::string line;
    const auto endLine = [&] {
        if (!line.empty()) {
            text += text.empty() ? line : " / " + line;
            line.clear();
        }
    };
    for (const char32_t code : Utf16LeCodePoints(utf16le)) {
        if (code == '\n' || code == '\r') {
            endLine();
        } else if (code >= 0x20 && code != 0x7F && !(code >= 0x80 && code < 0xA0)) {
            AppendUtf8(line, code);
        }
    }
    endLine();
    return text;
}

bool HasBanner(const HeaderInfo& header, std::uint64_t imageSize) {
    const std::uint32_t offset = BannerOffset(header);
    return offset != 0 && offset < imageSize;
}

std::vector<std::string> HeaderReportLines(const std::string& fileName, const HeaderInfo& h,
                                           const std::optional<BannerInfo>& banner) {
    std::vector<std::string> lines = {
        NamePart(fileName),
        "---------------------------------",
        "",
        "Game Tittle: " + ShownLatin1(h.GameTittle),
        "Game Code: " + ShownLatin1(h.GameCode),
        "Game Head Marker Code: " + ShownLatin1(h.HeadMakerCode),
        "Unit Code: " + N(h.UnitCode),
        "Device Code: " + N(h.DeviceCode),
        "Card Size: " + N(h.CardSize),
        "Rom Version: " + N(h.RomVersion),
        "Auto Start: " + N(h.AutoStart),
        "ARM9 Source: " + N(h.ARM9Source),
        "ARM9 Exec: " + N(h.ARM9Exec),
        "ARM9 Copy: " + N(h.ARM9Copy),
        "ARM9 Size: " + N(h.ARM9Size),
        "ARM7 Source: " + N(h.ARM7Source),
        "ARM7 Exec: " + N(h.ARM7Exec),
        "ARM7 Copy: " + N(h.ARM7Copy),
        "ARM7 Size: " + N(h.ARM7Size),
        "Filename Offset: " + N(h.FilenameOffset),
        "Filename Size: " + N(h.FilenameSize),
        "Fat Offset: " + N(h.FATOffset),
        "Fat Size: " + N(h.FatSize),
        "ARM9 Overlay Source: " + N(h.ARM9OverlaySource),
        "ARM9 Overlay Size: " + N(h.ARM9OverlaySize),
        "ARM7 Overlay Source: " + N(h.ARM7OverlaySource),
        "ARM7 Overlay Size: " + N(h.ARM7OverlaySize),
        "Control Flas Read: " + N(h.ControlFlagsRead),
        "Control Flags Init: " + N(h.ControlFlagsInit),
        "Icon and Titles: " + N(h.IconTitles),
        "Secure CRC16: " + N(h.SecureCRC16),
        "Rom Timeout: " + N(h.RomTimeout),
        "ARM9 Unk: " + N(h.ARM9Unk),
        "ARM7 Unk: " + N(h.ARM7Unk),
        "Rom Size: " + N(h.UsedRomSize),
        "Header Size: " + N(h.HeaderSize),
        "Logo CRC16: " + N(h.LogoCRC16),
        "Header CRC16: " + N(h.HeaderCRC16),
        "Real Header CRC16: " + N(h.MyHeaderCRC16),
        "",
        "",
        "Banner Info",
        "-----------",
    };
    for (std::string& line : BannerLines(h, banner)) {
        lines.push_back(std::move(line));
    }
    return lines;
}

Status ReadHeaderReport(const std::string& path, std::vector<std::string>& lines) {
    File file;
    if (Status status = file.openForReading(path); !status) {
        return status;
    }
    std::uint64_t size = 0;
    if (Status status = file.size(size); !status) {
        return status;
    }
    const FileByteSource source(file, size);
    HeaderInfo header;
    if (Status status = ReadHeaderInfo(source, header); !status) {
        return status;
    }
    std::optional<BannerInfo> banner;
    if (HasBanner(header, size)) {
        banner.emplace();
        if (Status status = ReadBannerInfo(source, BannerOffset(header), *banner); !status) {
            return status;
        }
    }
    lines = HeaderReportLines(path, header, banner);
    return Status::success();
}

}  // namespace ostravex
