#include "dat/dat_file.h"

#include <charconv>

#include "dat/dat_rom_fields.h"
#include "io/file.h"

namespace ostravex {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

DatFormat DetectDatFormat(std::string_view text) {
    // A UTF-8 byte order mark may stand before either.
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '<' ? DatFormat::LogiqxXml
                                                                 : DatFormat::ClrMamePro;
}

Status ParseDat(std::string_view text, DatFile& dat) {
    return DetectDatFormat(text) == DatFormat::LogiqxXml ? ParseLogiqxDat(text, dat)
                                                         : ParseClrMameProDat(text, dat);
}

Status LoadDatFile(const std::string& path, DatFile& dat) {
    File file;
    if (Status status = file.openShared(path); !status) {
        return status;
    }
    const std::uint64_t size = file.sizeAtOpen();
    if (size > kLargestDatFile) {
        return Status::failure("larger than any DAT (" + std::to_string(size) + " bytes)");
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    std::size_t got = 0;
    const std::span<std::uint8_t> bytes(reinterpret_cast<std::uint8_t*>(text.data()), text.size());
    if (Status status = file.readAt(0, bytes, got); !status) {
        return status;
    }
    text.resize(got);
    DatFile parsed;
    if (Status status = ParseDat(text, parsed); !status) {
        return status;
    }
    if (parsed.roms.empty()) {
        return Status::failure("holds no rom with a size and a CRC-32");
    }
    dat = std::move(parsed);
    return Status::success();
}

bool ParseDatSize(std::string_view text, std::uint64_t& size) {
    if (text.empty() || text.size() > 20) {
        return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size, 10);
    return error == std::errc() && end == text.data() + text.size();
}

bool ParseDatCrc32(std::string_view text, std::uint32_t& crc) {
    std::array<std::uint8_t, 4> bytes{};
    if (!ParseDatHex(text, bytes)) {
        return false;
    }
    // Written most significant digit first, as a number.
    crc = static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
          static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
    return true;
}

template <std::size_t N>
bool ParseDatHex(std::string_view text, std::array<std::uint8_t, N>& bytes) {
    if (text.size() != 2 * N) {
        return false;
    }
    for (std::size_t i = 0; i < N; ++i) {
        const int high = HexValue(text[2 * i]);
        const int low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return true;
}

template bool ParseDatHex<4>(std::string_view, std::array<std::uint8_t, 4>&);
template bool ParseDatHex<16>(std::string_view, std::array<std::uint8_t, 16>&);
template bool ParseDatHex<20>(std::string_view, std::array<std::uint8_t, 20>&);

std::string HexText(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * bytes.size());
    for (const std::uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0xF];
    }
    return text;
}

}  // namespace ostravex

namespace ostravex {

void DatRomFields::set(std::string_view key, std::string_view value) {
    if (key == "name") {
        name = value;
    } else if (key == "size") {
        size = value;
        sizeSeen = true;
    } else if (key == "crc") {
        crc = value;
        crcSeen = true;
    } else if (key == "md5") {
        md5 = value;
        md5Seen = true;
    } else if (key == "sha1") {
        sha1 = value;
        sha1Seen = true;
    } else if (key == "serial") {
        serial = value;
    }
}

void AddDatRom(const DatRomFields& fields, const std::string& gameName, DatFile& dat) {
    DatRom rom;
    bool valid = fields.sizeSeen && fields.crcSeen && ParseDatSize(fields.size, rom.size) &&
                 ParseDatCrc32(fields.crc, rom.crc32);
    if (valid && fields.sha1Seen && !fields.sha1.empty()) {
        rom.sha1.emplace();
        valid = ParseDatHex(fields.sha1, *rom.sha1);
    }
    if (valid && fields.md5Seen && !fields.md5.empty()) {
        rom.md5.emplace();
        valid = ParseDatHex(fields.md5, *rom.md5);
    }
    if (!valid) {
        ++dat.skippedRoms;
        return;
    }
    rom.gameName = gameName;
    rom.romName = fields.name;
    rom.serial = fields.serial;
    dat.roms.push_back(std::move(rom));
}

}  // namespace ostravex
