#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/status.h"

namespace ostravex {

using Sha1Digest = std::array<std::uint8_t, 20>;
using Md5Digest = std::array<std::uint8_t, 16>;

// One rom of a DAT: a known good dump, described by its size and checksums.
struct DatRom {
    std::uint64_t size = 0;
    std::uint32_t crc32 = 0;
    std::optional<Sha1Digest> sha1;  // No-Intro DATs always give it; old ones may not
    std::optional<Md5Digest> md5;
    std::string gameName;  // UTF-8, entities and escapes resolved
    std::string romName;
    // The game's serial as No-Intro gives it ("AXVE", or "NTR-AXVE-EUR"); may be empty.
    std::string serial;
    bool operator==(const DatRom&) const = default;
};

// The roms of a DAT that cannot be matched (no size, a CRC or digest of the wrong length,
// ...), so are left out: how many, and the first of them with what is wrong with it.
struct LeftOutRoms {
    std::size_t count = 0;
    std::string firstGame;    // its game's name (its rom's name when the game has none)
    std::string firstReason;  // "a 39-digit SHA-1", "no size", ...
};

// One loaded DAT: its name from the header block and its roms, in file order.
struct DatFile {
    std::string name;  // the header's name (No-Intro: "Nintendo - Nintendo DS"), may be empty
    std::string version;
    std::vector<DatRom> roms;
    LeftOutRoms leftOut;
    // Where it was read from: its path, or for a DAT inside a zip "ARCHIVE| MEMBER".
    std::string source;
    // How lines name it when its name alone does not tell it from another loaded DAT
    // ("NAME, VERSION"); empty when the name does.
    std::string label;

    // The name lines and reports give the DAT.
    const std::string& shownName() const { return label.empty() ? name : label; }
};

// "N entries left out (first: GAME: REASON)".
std::string LeftOutText(const LeftOutRoms& leftOut);

enum class DatFormat { LogiqxXml, ClrMamePro };

// Which of the two formats `text` is in: XML when it is UTF-16 (a byte order mark, or "<"
// as its first character) or its first non-blank character is '<', otherwise the clrmamepro
// text format.
DatFormat DetectDatFormat(std::string_view text);

// Parse a whole DAT held in memory. A failure names what is wrong and where (line number);
// nothing is kept from a DAT that fails.
[[nodiscard]] Status ParseLogiqxDat(std::string_view text, DatFile& dat);
[[nodiscard]] Status ParseClrMameProDat(std::string_view text, DatFile& dat);
[[nodiscard]] Status ParseDat(std::string_view text, DatFile& dat);

// A Logiqx DAT parsed as its text comes, piece after piece, so that a DAT read from a file
// is never held whole: each piece goes to the XML parser as it is read. The first piece
// holds the text's first bytes (its byte order mark, when it has one).
class LogiqxDatStream {
  public:
    LogiqxDatStream();
    ~LogiqxDatStream();
    LogiqxDatStream(const LogiqxDatStream&) = delete;
    LogiqxDatStream& operator=(const LogiqxDatStream&) = delete;

    // Room for about this many roms, so that the list is not moved as it grows.
    void expectRoms(std::size_t count);
    // The next piece of the text; `last` when it ends it. After a failure every call
    // gives that failure.
    [[nodiscard]] Status feed(std::string_view piece, bool last);
    // After the last piece: the DAT read, or what was wrong with it.
    [[nodiscard]] Status finish(DatFile& dat);

  private:
    struct Parser;
    std::unique_ptr<Parser> m_parser;
};

// The largest DAT file read: No-Intro's largest DATs are a few MiB; a file far above that
// is not a DAT, and is refused before it is read into memory.
constexpr std::uint64_t kLargestDatFile = 256u << 20;

// Parses a DAT (either format) read from `source` and checks that it holds a rom that can
// be matched; a DAT whose every rom is left out fails with what is wrong with them.
[[nodiscard]] Status ParseUsableDat(std::string_view text, const std::string& source, DatFile& dat);

// A DAT of either format parsed as its text comes, piece after piece (from a file, or from
// a zip member as it is inflated). An XML DAT goes to the XML parser as it comes and is
// never held whole; a clrmamepro DAT is gathered and parsed at the end.
class DatTextParser {
  public:
    // `expectedSize`: about how long the text is, to make room for its roms at once.
    explicit DatTextParser(std::uint64_t expectedSize);
    ~DatTextParser();
    DatTextParser(const DatTextParser&) = delete;
    DatTextParser& operator=(const DatTextParser&) = delete;

    // The next piece of the text. A failure found on the way is kept for finish(); later
    // pieces are then passed over.
    void feed(std::string_view piece);
    // After the last piece: the DAT, `source` being where it came from, when it parses and
    // holds a rom that can be matched (as ParseUsableDat).
    [[nodiscard]] Status finish(const std::string& source, DatFile& dat);

  private:
    std::uint64_t m_expectedSize;
    // The text so far, until its format is told, and all of a clrmamepro DAT.
    std::string m_text;
    bool m_told = false;
    std::unique_ptr<LogiqxDatStream> m_xml;
    Status m_failure = Status::success();
};

// Reads and parses the DAT at `path` (either format) and checks that it holds a rom that
// can be matched; a file larger than kLargestDatFile is refused.
[[nodiscard]] Status LoadDatFile(const std::string& path, DatFile& dat);

// Field parsers shared by the two formats. Each accepts only the whole text as its value.
bool ParseDatSize(std::string_view text, std::uint64_t& size);
bool ParseDatCrc32(std::string_view text, std::uint32_t& crc);
template <std::size_t N>
bool ParseDatHex(std::string_view text, std::array<std::uint8_t, N>& bytes);

// Lower-case hex text of a digest, for reports.
std::string HexText(std::span<const std::uint8_t> bytes);

}  // namespace ostravex
