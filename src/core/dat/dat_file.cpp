#include "dat/dat_file.h"

#include <array>
#include <charconv>
#include <memory>

#include "dat/dat_rom_fields.h"
#include "io/file.h"

namespace ostravex {
namespace {

// The value of each hexadecimal digit, and -1 for every other byte: a DAT of 10,000 games
// has 800,000 digits to read.
constexpr std::array<std::int8_t, 256> kHexValues = [] {
    std::array<std::int8_t, 256> values{};
    values.fill(-1);
    for (int i = 0; i < 10; ++i) {
        values['0' + i] = static_cast<std::int8_t>(i);
    }
    for (int i = 0; i < 6; ++i) {
        values['a' + i] = values['A' + i] = static_cast<std::int8_t>(10 + i);
    }
    return values;
}();

int HexValue(char c) {
    return kHexValues[static_cast<unsigned char>(c)];
}

}  // namespace

DatFormat DetectDatFormat(std::string_view text) {
    // UTF-16 text is XML: expat reads it, the clrmamepro format is never written so.
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF") ||
        text.starts_with(std::string_view("<\0", 2)) ||
        text.starts_with(std::string_view("\0<", 2))) {
        return DatFormat::LogiqxXml;
    }
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

namespace {

// How much of a DAT file is read at a time: the parser takes it block by block, and the
// one buffer stays in the processor's cache.
constexpr std::size_t kDatBlock = 256u << 10;
// At least how many bytes of a No-Intro DAT describe one rom (its game, description and
// rom elements with their checksums take 300 to 500): the roms' list is made that large at
// once, so that it is not moved as it grows.
constexpr std::uint64_t kDatBytesPerRom = 256;

Status CheckUsable(DatFile& parsed, const std::string& source, DatFile& dat) {
    if (parsed.roms.empty()) {
        return parsed.leftOut.count > 0
                   ? Status::failure("no usable entry: " + LeftOutText(parsed.leftOut))
                   : Status::failure("holds no rom with a size and a CRC-32");
    }
    parsed.source = source;
    dat = std::move(parsed);
    return Status::success();
}

// Whether the first bytes of a text tell its format: a character past blanks and a UTF-8
// byte order mark, with enough bytes before it to see a UTF-16 one.
bool TellsFormat(std::string_view start) {
    return start.size() >= 4 &&
           start.find_first_not_of(" \t\r\n\xEF\xBB\xBF") != std::string_view::npos;
}

}  // namespace

Status ParseUsableDat(std::string_view text, const std::string& source, DatFile& dat) {
    DatFile parsed;
    if (Status status = ParseDat(text, parsed); !status) {
        return status;
    }
    return CheckUsable(parsed, source, dat);
}

DatTextParser::DatTextParser(std::uint64_t expectedSize) : m_expectedSize(expectedSize) {}
DatTextParser::~DatTextParser() = default;

void DatTextParser::feed(std::string_view piece) {
    if (!m_failure) {
        return;
    }
    if (m_xml) {
        m_failure = m_xml->feed(piece, /*last=*/false);
        return;
    }
    m_text += piece;
    if (!m_told && TellsFormat(m_text)) {
        m_told = true;
        if (DetectDatFormat(m_text) == DatFormat::LogiqxXml) {
            m_xml = std::make_unique<LogiqxDatStream>();
            m_xml->expectRoms(static_cast<std::size_t>(m_expectedSize / kDatBytesPerRom));
            m_failure = m_xml->feed(m_text, /*last=*/false);
            std::string().swap(m_text);
        }
    }
}

Status DatTextParser::finish(const std::string& source, DatFile& dat) {
    if (!m_failure) {
        return m_failure;
    }
    if (!m_xml) {
        // A clrmamepro DAT, read whole; or a text too short or blank to tell.
        return ParseUsableDat(m_text, source, dat);
    }
    DatFile parsed;
    if (Status status = m_xml->feed({}, /*last=*/true); !status) {
        return status;
    }
    if (Status status = m_xml->finish(parsed); !status) {
        return status;
    }
    return CheckUsable(parsed, source, dat);
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
    DatTextParser parser(size);
    // Read without first being filled with zeros: every byte used is read into it.
    const std::unique_ptr<std::uint8_t[]> buffer =
        std::make_unique_for_overwrite<std::uint8_t[]>(kDatBlock);
    const std::span<std::uint8_t> block(buffer.get(), kDatBlock);
    std::uint64_t offset = 0;
    for (;;) {
        std::size_t got = 0;
        if (Status status = file.readAt(offset, block, got); !status) {
            return status;
        }
        parser.feed(std::string_view(reinterpret_cast<const char*>(block.data()), got));
        offset += got;
        if (got < block.size() || offset > kLargestDatFile) {
            break;
        }
    }
    if (offset > kLargestDatFile) {
        return Status::failure("larger than any DAT (" + std::to_string(offset) + " bytes)");
    }
    return parser.finish(path, dat);
}

std::string LeftOutText(const LeftOutRoms& leftOut) {
    return std::to_string(leftOut.count) + " entries left out (first: " + leftOut.firstGame + ": " +
           leftOut.firstReason + ")";
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
    // Any byte that is not a digit makes `wrong` negative; checked once at the end.
    int wrong = 0;
    for (std::size_t i = 0; i < N; ++i) {
        const int high = HexValue(text[2 * i]);
        const int low = HexValue(text[2 * i + 1]);
        wrong |= high | low;
        bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return wrong >= 0;
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
    } else if ((key == "status" || key == "flags") && value == "nodump") {
        notDumped = true;
    }
}

void DatRomFields::clear() {
    for (std::string* text : {&name, &size, &crc, &md5, &sha1, &serial}) {
        text->clear();
    }
    sizeSeen = crcSeen = md5Seen = sha1Seen = notDumped = false;
}

namespace {

bool AllDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "a" or "an" before a number said in English: "an 8-digit", "an 11-digit", "a 7-digit".
const char* ArticleFor(std::size_t number) {
    const std::string digits = std::to_string(number);
    return digits[0] == '8' || number == 11 || number == 18 ? "an" : "a";
}

// What is wrong with the text of a checksum that does not parse: "a CRC that is not
// hexadecimal", "a 39-digit SHA-1". `article` is the one its name takes.
std::string ChecksumProblem(std::string_view text, const char* article, const char* checksum) {
    if (text.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) {
        return std::string(article) + " " + checksum + " that is not hexadecimal";
    }
    return std::string(ArticleFor(text.size())) + " " + std::to_string(text.size()) + "-digit " +
           checksum;
}

// What is wrong with a rom's fields, or nothing when it can be matched; fills `rom`.
std::optional<std::string> RomProblem(const DatRomFields& fields, DatRom& rom) {
    if (!fields.sizeSeen) {
        return "no size";
    }
    if (!ParseDatSize(fields.size, rom.size)) {
        return AllDigits(fields.size) ? "a size past 64 bits" : "a size that is not a number";
    }
    if (!fields.crcSeen) {
        return "no CRC";
    }
    if (!ParseDatCrc32(fields.crc, rom.crc32)) {
        return ChecksumProblem(fields.crc, "a", "CRC");
    }
    // An empty digest field is one the DAT does not give.
    if (fields.sha1Seen && !fields.sha1.empty() && !ParseDatHex(fields.sha1, rom.sha1.emplace())) {
        return ChecksumProblem(fields.sha1, "a", "SHA-1");
    }
    if (fields.md5Seen && !fields.md5.empty() && !ParseDatHex(fields.md5, rom.md5.emplace())) {
        return ChecksumProblem(fields.md5, "an", "MD5");
    }
    return std::nullopt;
}

}  // namespace

void AddDatRom(const DatRomFields& fields, const std::string& gameName, DatFile& dat) {
    DatRom rom;
    if (const std::optional<std::string> problem = RomProblem(fields, rom)) {
        // A rom the DAT marks as never dumped may lack its checksums: nothing is wrong with
        // the DAT then.
        if (fields.notDumped) {
            return;
        }
        if (dat.leftOut.count++ == 0) {
            dat.leftOut.firstGame = !gameName.empty()      ? gameName
                                    : !fields.name.empty() ? fields.name
                                                           : "(no name)";
            dat.leftOut.firstReason = *problem;
        }
        return;
    }
    rom.gameName = gameName;
    rom.romName = fields.name;
    rom.serial = fields.serial;
    dat.roms.push_back(std::move(rom));
}

}  // namespace ostravex
