// DAT files, the index of their roms, image hashing and identification of dumps, trimmed
// dumps and bad dumps.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/sha.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "dat/dat_file.h"
#include "dat/dat_index.h"
#include "dat/dat_matcher.h"
#include "dat/image_hasher.h"
#include "io/copy_range.h"
#include "io/file.h"
#include "support/list_entries.h"
#include "support/recording_host.h"
#include "support/rom_images.h"
#include "support/wired_trim_run.h"
#include "trim/dat_read_ahead.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::GbaImageBuilder;
using testing::NdsImageBuilder;
using testing::TempDir;
using testing::WriteFile;
using testing::operator""_MiB;

Bytes Text(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// Checksums computed with the libraries directly, independently of ImageHasher.
std::uint32_t ReferenceCrc32(const Bytes& bytes) {
    return static_cast<std::uint32_t>(crc32_z(0, bytes.data(), bytes.size()));
}
Sha1Digest ReferenceSha1(const Bytes& bytes) {
    Sha1Digest digest{};
    SHA1(bytes.data(), bytes.size(), digest.data());
    return digest;
}
std::string CrcText(std::uint32_t crc) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", crc);
    return text;
}

ImageDigest HashAll(const Bytes& bytes) {
    ImageHasher hasher;
    hasher.update(bytes);
    return hasher.digest();
}

Bytes Padded(Bytes bytes, std::uint64_t size, std::uint8_t filler) {
    bytes.resize(size, filler);
    return bytes;
}

Bytes Prefix(const Bytes& bytes, std::uint64_t size) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

// ---- the two formats -------------------------------------------------------------------

// The same DAT in both formats, as No-Intro writes them: a header block, games with one
// rom, names with an ampersand and non-ASCII letters.
constexpr const char* kLogiqx = R"DAT(<?xml version="1.0"?>
<!DOCTYPE datafile PUBLIC "-//Logiqx//DTD ROM Management Datafile//EN" "http://www.logiqx.com/Dats/datafile.dtd">
<datafile>
	<header>
		<name>Nintendo - Nintendo DS (Decrypted)</name>
		<description>Nintendo - Nintendo DS (Decrypted)</description>
		<version>20240101-000000</version>
		<author>someone &amp; others</author>
		<homepage>No-Intro</homepage>
		<url>https://example.invalid/</url>
	</header>
	<game name="Mario &amp; Luigi - Partners in Time (Europe) (En,Fr,De,Es,It)">
		<description>Mario &amp; Luigi - Partners in Time (Europe) (En,Fr,De,Es,It)</description>
		<rom name="Mario &amp; Luigi - Partners in Time (Europe) (En,Fr,De,Es,It).nds" size="33554432" crc="4A7FB2C1" md5="0123456789ABCDEF0123456789abcdef" sha1="00112233445566778899AABBCCDDEEFF00112233" status="verified"/>
	</game>
	<game name="Pokémon - Édition Noire (France) (NDSi Enhanced)">
		<description>Pokémon - Édition Noire (France) (NDSi Enhanced)</description>
		<rom name="Pokémon - Édition Noire (France) (NDSi Enhanced).nds" size="268435456" crc="0000abcd" sha1="ffeeddccbbaa99887766554433221100ffeeddcc"/>
	</game>
</datafile>
)DAT";

constexpr const char* kClrMamePro = R"DAT(clrmamepro (
	name "Nintendo - Nintendo DS (Decrypted)"
	description "Nintendo - Nintendo DS (Decrypted)"
	version 20240101-000000
	author "someone & others"
)

game (
	name "Mario & Luigi - Partners in Time (Europe) (En,Fr,De,Es,It)"
	description "Mario & Luigi - Partners in Time (Europe) (En,Fr,De,Es,It)"
	rom ( name "Mario & Luigi - Partners in Time (Europe) (En,Fr,De,Es,It).nds" size 33554432 crc 4A7FB2C1 md5 0123456789ABCDEF0123456789abcdef sha1 00112233445566778899AABBCCDDEEFF00112233 flags verified )
)

game (
	name "Pokémon - Édition Noire (France) (NDSi Enhanced)"
	description "Pokémon - Édition Noire (France) (NDSi Enhanced)"
	rom ( name "Pokémon - Édition Noire (France) (NDSi Enhanced).nds" size 268435456 crc 0000abcd sha1 ffeeddccbbaa99887766554433221100ffeeddcc )
)
)DAT";

TEST(DatFormats, BothReadTheSameRoms) {
    for (const char* text : {kLogiqx, kClrMamePro}) {
        SCOPED_TRACE(std::string(text).substr(0, 20));
        DatFile dat;
        ASSERT_TRUE(ParseDat(text, dat).ok());
        EXPECT_EQ(dat.name, "Nintendo - Nintendo DS (Decrypted)");
        EXPECT_EQ(dat.version, "20240101-000000");
        EXPECT_EQ(dat.leftOut.count, 0u);
        ASSERT_EQ(dat.roms.size(), 2u);

        const DatRom& mario = dat.roms[0];
        EXPECT_EQ(mario.gameName, "Mario & Luigi - Partners in Time (Europe) (En,Fr,De,Es,It)");
        EXPECT_EQ(mario.romName, "Mario & Luigi - Partners in Time (Europe) (En,Fr,De,Es,It).nds");
        EXPECT_EQ(mario.size, 33554432u);
        EXPECT_EQ(mario.crc32, 0x4A7FB2C1u);
        ASSERT_TRUE(mario.sha1);
        EXPECT_EQ(HexText(*mario.sha1), "00112233445566778899aabbccddeeff00112233");
        ASSERT_TRUE(mario.md5);
        EXPECT_EQ(HexText(*mario.md5), "0123456789abcdef0123456789abcdef");

        const DatRom& pokemon = dat.roms[1];
        EXPECT_EQ(pokemon.gameName,
                  "Pok\xC3\xA9mon - \xC3\x89"
                  "dition Noire (France) (NDSi Enhanced)");
        EXPECT_EQ(pokemon.size, 256_MiB);
        EXPECT_EQ(pokemon.crc32, 0xABCDu);
        EXPECT_FALSE(pokemon.md5);
    }
}

TEST(DatFormats, TheFormatIsToldByTheFirstCharacter) {
    EXPECT_EQ(DetectDatFormat(kLogiqx), DatFormat::LogiqxXml);
    EXPECT_EQ(DetectDatFormat("\xEF\xBB\xBF  \r\n<datafile/>"), DatFormat::LogiqxXml);
    EXPECT_EQ(DetectDatFormat(kClrMamePro), DatFormat::ClrMamePro);
    EXPECT_EQ(DetectDatFormat(""), DatFormat::ClrMamePro);
}

TEST(DatFormats, RomsThatCannotBeMatchedAreLeftOutWithWhatIsWrong) {
    struct Row {
        const char* rom;     // the fields of one rom, in the clrmamepro form
        const char* reason;  // as the warning line gives it
    };
    const Row rows[] = {
        {R"(name "a" size 1024 sha1 00112233445566778899aabbccddeeff00112233)", "no CRC"},
        {"name a crc 12345678", "no size"},
        {"name a size 1k crc 12345678", "a size that is not a number"},
        {"name a size 99999999999999999999 crc 12345678", "a size past 64 bits"},
        {"name a size 1 crc 1234567", "a 7-digit CRC"},
        {"name a size 1 crc 123456789", "a 9-digit CRC"},
        {"name a size 1 crc 1234567g", "a CRC that is not hexadecimal"},
        {"name a size 1 crc 12345678 sha1 001122334455667788990011223344556677889",
         "a 39-digit SHA-1"},
        {"name a size 1 crc 12345678 sha1 00112233445566778899001122334455667788",
         "a 38-digit SHA-1"},
        {"name a size 1 crc 12345678 md5 0123456789abcdef0123456789abcdef0", "a 33-digit MD5"},
        {"name a size 1 crc 12345678 md5 0123456789abcdef0123456789abcdeX",
         "an MD5 that is not hexadecimal"},
        {"name a size 1 crc 12345678 sha1 00112233", "an 8-digit SHA-1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rom);
        const std::string clrmamepro = std::string("game ( name g rom ( ") + row.rom + " ) )";
        DatFile dat;
        ASSERT_TRUE(ParseClrMameProDat(clrmamepro, dat).ok());
        EXPECT_TRUE(dat.roms.empty());
        EXPECT_EQ(dat.leftOut.count, 1u);
        EXPECT_EQ(dat.leftOut.firstGame, "g");
        EXPECT_EQ(dat.leftOut.firstReason, row.reason);
    }
}

TEST(DatFormats, TheFirstRomLeftOutIsNamedAndTheOthersCounted) {
    const char* xml = R"(<?xml version="1.0"?>
<datafile>
	<game name="Good"><rom name="good.nds" size="16" crc="01234567"/></game>
	<game name="Short &amp; Sha"><rom name="s.nds" size="16" crc="01234567" sha1="001122334455667788990011223344556677889"/></game>
	<game name="Never Dumped"><rom name="n.nds" size="16" status="nodump"/></game>
	<game name=""><rom name="nameless.nds" crc="01234567"/></game>
</datafile>
)";
    DatFile dat;
    ASSERT_TRUE(ParseLogiqxDat(xml, dat).ok());
    ASSERT_EQ(dat.roms.size(), 1u);
    EXPECT_EQ(dat.leftOut.count, 2u);  // the rom never dumped is not a fault of the DAT
    EXPECT_EQ(LeftOutText(dat.leftOut),
              "2 entries left out (first: Short & Sha: a 39-digit SHA-1)");
}

TEST(DatFormats, DamagedFilesFailWithWhereAndNothingIsKept) {
    struct Row {
        const char* behaviour;
        const char* text;
        const char* reason;  // part of the failure's text
    };
    const Row rows[] = {
        {"XML cut off in a game",
         "<datafile>\n<game name=\"a\">\n<rom name=\"a\" size=\"1\" crc=\"12345678\"/>\n",
         "line 4"},
        {"XML with a bad entity", "<datafile>\n<game name=\"a &nope; b\"/></datafile>", "line 2"},
        {"XML of another kind", "<html><body/></html>", "root element is not <datafile>"},
        {"clrmamepro game never closed",
         "game (\n name \"a\"\n rom ( name a size 1 crc 12345678 )\n", "line 4"},
        {"clrmamepro quoted text never closed", "game (\n name \"a\n)\n", "from line 2"},
        {"clrmamepro block without its (", "clrmamepro\n name x\n", "line 2"},
        {"clrmamepro stray )", "game ( name a )\n)\n", "line 2"},
        {"plain text", "Hello, this is not a DAT.\n", "line 1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        DatFile dat;
        dat.name = "kept";
        const Status status = ParseDat(row.text, dat);
        ASSERT_FALSE(status.ok());
        EXPECT_NE(status.reason().find(row.reason), std::string::npos) << status.reason();
        EXPECT_EQ(dat.name, "kept");
    }
}

TEST(DatFormats, ClrMameProPassesOverWhatItDoesNotKnow) {
    const char* text = R"(
emulator ( name "x" ( nested ( deeper ) ) )
game (
	rom ( name "first.nds" size 512 crc 000000ff extra ( a b ) baddump )
	sample ( name s )
	name "Name After Its Roms"
	rom ( name "C:\roms\second.nds" size 1024 crc DEADBEEF )
)
)";
    DatFile dat;
    ASSERT_TRUE(ParseClrMameProDat(text, dat).ok());
    ASSERT_EQ(dat.roms.size(), 2u);
    EXPECT_EQ(dat.roms[0].gameName, "Name After Its Roms");
    EXPECT_EQ(dat.roms[0].crc32, 0xFFu);
    EXPECT_EQ(dat.roms[1].romName, "C:\\roms\\second.nds");  // a backslash is no escape
    EXPECT_EQ(dat.roms[1].crc32, 0xDEADBEEFu);
}

TEST(DatFormats, ADeepNestingIsPassedOverWithoutRecursion) {
    std::string text = "other ";
    text += std::string(200000, '(');
    text += std::string(200000, ')');
    DatFile dat;
    EXPECT_TRUE(ParseClrMameProDat(text, dat).ok());
}

TEST(DatFiles, LoadingReadsEitherFormatAndRefusesAnEmptyOne) {
    TempDir dir;
    WriteFile(dir.file("nds.dat"), Text(kLogiqx));
    WriteFile(dir.file("nds.txt"), Text(kClrMamePro));
    WriteFile(dir.file("empty.dat"), Text("clrmamepro ( name \"empty\" )\n"));
    for (const char* name : {"nds.dat", "nds.txt"}) {
        DatFile dat;
        ASSERT_TRUE(LoadDatFile(dir.file(name), dat).ok()) << name;
        EXPECT_EQ(dat.roms.size(), 2u);
    }
    DatFile dat;
    const Status empty = LoadDatFile(dir.file("empty.dat"), dat);
    EXPECT_FALSE(empty.ok());
    EXPECT_EQ(empty.reason(), "holds no rom with a size and a CRC-32");
    EXPECT_FALSE(LoadDatFile(dir.file("missing.dat"), dat).ok());
}

// The DAT a parser given `text` in pieces of `piece` bytes makes, or its failure.
Status ParsedInPieces(std::string_view text, std::size_t piece, DatFile& dat) {
    DatTextParser parser(text.size());
    for (std::size_t at = 0; at < text.size(); at += piece) {
        parser.feed(text.substr(at, piece));
    }
    return parser.finish("source", dat);
}

// A Logiqx DAT of `games` games, each with one rom.
std::string ManyGames(int games) {
    std::string text = "<?xml version=\"1.0\"?>\n<datafile>\n<header><name>Many</name></header>\n";
    for (int i = 0; i < games; ++i) {
        const std::string name = "Game &amp; " + std::to_string(i) + " (Europe)";
        text += "\t<game name=\"" + name + "\">\n\t\t<description>" + name +
                "</description>\n\t\t<rom name=\"" + name + ".gba\" size=\"" +
                std::to_string(4194304 + i) + "\" crc=\"" + CrcText(0xABC00000u + i) +
                "\" sha1=\"00112233445566778899aabbccddeeff00112233\"/>\n\t</game>\n";
    }
    return text + "</datafile>\n";
}

TEST(DatFiles, ADatReadInPiecesIsTheDatReadWhole) {
    const std::string utf8Bom = std::string("\xEF\xBB\xBF") + kLogiqx;
    const std::string blanksFirst = std::string(100, '\n') + " \t" + kClrMamePro;
    const std::string cutOff = std::string(kLogiqx).substr(0, 700);
    const std::string texts[] = {
        kLogiqx, kClrMamePro, utf8Bom, blanksFirst, cutOff, "<html><body/></html>", "\n\n", ""};
    for (const std::string& text : texts) {
        DatFile whole;
        const Status wholeStatus = ParseUsableDat(text, "source", whole);
        for (const std::size_t piece : {1, 2, 3, 5, 64, 4096}) {
            SCOPED_TRACE(text.substr(0, 24) + " in pieces of " + std::to_string(piece));
            DatFile pieced;
            const Status status = ParsedInPieces(text, piece, pieced);
            ASSERT_EQ(status.ok(), wholeStatus.ok()) << status.reason();
            EXPECT_EQ(status.reason(), wholeStatus.reason());
            EXPECT_EQ(pieced.roms, whole.roms);
            EXPECT_EQ(pieced.name, whole.name);
            EXPECT_EQ(pieced.version, whole.version);
            EXPECT_EQ(pieced.source, whole.source);
        }
    }
}

TEST(DatFiles, ALargeDatFileIsReadBlockByBlock) {
    // Both are larger than the blocks a DAT is read in; one starts with a block of blanks
    // alone (and so has no XML declaration, which must come first), so that its format is
    // told only by a later block.
    const std::string large = ManyGames(4000);
    ASSERT_GT(large.size(), 512u << 10);
    TempDir dir;
    struct Row {
        const char* name;
        std::string text;
    };
    const Row rows[] = {
        {"large.dat", large},
        {"blank-start.dat", std::string(300 << 10, '\n') + large.substr(large.find('\n'))}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteFile(dir.file(row.name), Text(row.text));
        DatFile dat;
        ASSERT_TRUE(LoadDatFile(dir.file(row.name), dat).ok());
        ASSERT_EQ(dat.roms.size(), 4000u);
        EXPECT_EQ(dat.name, "Many");
        EXPECT_EQ(dat.source, dir.file(row.name));
        EXPECT_EQ(dat.roms[3999].gameName, "Game & 3999 (Europe)");
        EXPECT_EQ(dat.roms[3999].crc32, 0xABC00000u + 3999);
    }
}

// ---- hashing ------------------------------------------------------------------------------

TEST(ImageHashing, KnownValuesAndAnyPieceSizes) {
    const ImageDigest check = HashAll(Text("123456789"));
    EXPECT_EQ(check.crc32, 0xCBF43926u);
    EXPECT_EQ(HexText(HashAll(Text("abc")).sha1), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(HexText(HashAll({}).sha1), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(HashAll({}).crc32, 0u);

    Bytes data = GbaImageBuilder().size(300000).dataEnd(200000).build();
    const ImageDigest whole = HashAll(data);
    EXPECT_EQ(whole.crc32, ReferenceCrc32(data));
    EXPECT_EQ(whole.sha1, ReferenceSha1(data));
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{65536},
                                    std::size_t{65537}, std::size_t{131071}}) {
        SCOPED_TRACE(piece);
        ImageHasher hasher;
        for (std::size_t at = 0; at < data.size(); at += piece) {
            hasher.update(std::span(data).subspan(at, std::min(piece, data.size() - at)));
        }
        EXPECT_EQ(hasher.digest(), whole);
        EXPECT_EQ(hasher.dataEnd(0xFF), 200000u);
        EXPECT_EQ(hasher.dataEnd(0x00), 300000u);
    }
}

TEST(ImageHashing, PaddingIsHashedWithoutBeingThere) {
    const Bytes image = GbaImageBuilder().size(70001).dataEnd(70001).build();
    ImageHasher hasher;
    hasher.update(image);
    for (const std::uint8_t filler : {0xFF, 0x00}) {
        for (const std::uint64_t size : {std::uint64_t{70001}, std::uint64_t{70002},
                                         std::uint64_t{65536 + 70001}, std::uint64_t{1_MiB + 3}}) {
            SCOPED_TRACE(std::to_string(filler) + " to " + std::to_string(size));
            const Bytes padded = Padded(image, size, filler);
            EXPECT_EQ(hasher.paddedCrc32(filler, size), ReferenceCrc32(padded));
            EXPECT_EQ(hasher.paddedSha1(filler, size), ReferenceSha1(padded));
        }
    }
    EXPECT_EQ(hasher.digest(), HashAll(image));  // padding left the image's own state alone
}

TEST(ImageHashing, FillerRunsOfEveryLength) {
    for (const std::uint8_t filler : {0xFF, 0x00, 0x42}) {
        for (const std::uint64_t count : {0u, 1u, 2u, 3u, 255u, 256u, 65537u, 1000003u}) {
            EXPECT_EQ(FillerCrc32(filler, count), ReferenceCrc32(Bytes(count, filler)))
                << int(filler) << " x " << count;
        }
    }
}

TEST(ImageHashing, FillAsARestoreWritesIt) {
    const Bytes image = GbaImageBuilder().size(5000).dataEnd(5000).build();
    ImageHasher hasher;
    hasher.update(image);
    hasher.fill(0x00, 70000);
    EXPECT_EQ(hasher.digest(), HashAll(Padded(image, 75000, 0x00)));
    EXPECT_EQ(hasher.dataEnd(0x00), 5000u);
    EXPECT_EQ(hasher.dataEnd(0xFF), 75000u);
}

// A source that counts what is read from it.
class CountingSource final : public ByteSource {
  public:
    explicit CountingSource(const Bytes& bytes) : m_bytes(bytes) {}
    std::uint64_t size() const override { return m_bytes.size(); }
    Status readAt(std::uint64_t offset, std::span<std::uint8_t> out,
                  std::size_t& got) const override {
        m_read += out.size();
        return MemoryByteSource(m_bytes).readAt(offset, out, got);
    }
    std::uint64_t read() const { return m_read; }

  private:
    const Bytes& m_bytes;
    mutable std::uint64_t m_read = 0;
};

TEST(ImageHashing, HashRestReadsOnlyWhatTheCopyDidNotFeed) {
    const Bytes image = GbaImageBuilder().size(3_MiB).dataEnd(2_MiB).build();
    const CountingSource source(image);
    ImageHasher hasher;
    hasher.update(std::span(image).first(1000000));  // what a copy loop fed it
    ByteBuffer buffer;
    ASSERT_TRUE(HashRest(source, hasher, buffer).ok());
    EXPECT_EQ(source.read(), image.size() - 1000000);
    EXPECT_EQ(hasher.digest(), HashAll(image));
}

// ---- identification ------------------------------------------------------------------------

struct Dump {
    std::string game;
    Bytes bytes;
    std::string serial = {};  // as No-Intro gives it, when it does
};

// A Logiqx DAT listing `dumps`, written with checksums computed independently.
std::string LogiqxDat(const std::string& name, const std::vector<Dump>& dumps) {
    std::string text = "<?xml version=\"1.0\"?>\n<datafile>\n<header><name>" + name +
                       "</name><version>1</version></header>\n";
    for (const Dump& dump : dumps) {
        text += "<game name=\"" + dump.game + "\"><description>" + dump.game +
                "</description><rom name=\"" + dump.game + ".bin\" size=\"" +
                std::to_string(dump.bytes.size()) + "\" crc=\"" +
                CrcText(ReferenceCrc32(dump.bytes)) +
                (dump.serial.empty() ? "" : "\" serial=\"" + dump.serial) + "\" sha1=\"" +
                HexText(ReferenceSha1(dump.bytes)) + "\"/></game>\n";
    }
    return text + "</datafile>\n";
}

void AddDat(DatIndex& index, const std::string& text) {
    DatFile dat;
    ASSERT_TRUE(ParseLogiqxDat(text, dat).ok());
    index.add(std::move(dat));
}

constexpr std::uint32_t kUsed = 5913600;

// Cartridge dumps: 8 MiB NDS cartridges (capacity byte 6) padded with 0xFF and with 0x00,
// one with download-play data, and GBA cartridges.
Bytes NdsDump(std::uint8_t filler, NdsImageBuilder::Block block = NdsImageBuilder::Block::Blank) {
    return NdsImageBuilder()
        .usedSize(kUsed)
        .size(8_MiB)
        .byte(0x14, 6)
        .byte(0x0, filler == 0xFF ? 'F' : 'Z')
        .wifiBlock(filler == 0x00 && block == NdsImageBuilder::Block::Blank
                       ? NdsImageBuilder::Block::Zero
                       : block)
        .filler(filler)
        .build();
}
Bytes GbaDump(std::uint8_t filler) {
    return GbaImageBuilder()
        .size(4_MiB)
        .dataEnd(3000001)
        .filler(filler)
        .bytes(0, {filler == 0xFF ? std::uint8_t{'F'} : std::uint8_t{'Z'}})
        .bytes(0xAC, {'A', 'F', 'L', filler == 0xFF ? std::uint8_t{'E'} : std::uint8_t{'Z'}})
        .build();
}

struct Collection {
    Bytes ndsFf = NdsDump(0xFF);
    Bytes ndsZero = NdsDump(0x00);
    Bytes ndsWifi = NdsDump(0xFF, NdsImageBuilder::Block::Data);
    Bytes gbaFf = GbaDump(0xFF);
    Bytes gbaZero = GbaDump(0x00);
    // An 8 MiB GBA dump whose data ends before its first half.
    Bytes gbaHalf = GbaImageBuilder().size(8_MiB).dataEnd(3000000).bytes(0, {'H'}).build();
    DatIndex index;

    Collection() {
        // ndsWifi differs from ndsFf only in its block; give it its own title.
        ndsWifi[1] = 'W';
        AddDat(index, LogiqxDat("Nintendo - Nintendo DS", {{"Blank &amp; Blue (Europe)", ndsFf},
                                                           {"Z\xC3\xA9ro (Japan)", ndsZero},
                                                           {"Wireless (USA)", ndsWifi}}));
        AddDat(index,
               LogiqxDat("Nintendo - Game Boy Advance", {{"Filled (Europe)", gbaFf, "AGB-AFLE-EUR"},
                                                         {"Zeroed (Europe)", gbaZero, "AFLZ"},
                                                         {"Half (USA)", gbaHalf}}));
        // The same NDS dump in a second DAT.
        AddDat(index, LogiqxDat("Nintendo - Nintendo DS (Download Play)",
                                {{"Blank &amp; Blue (Kiosk)", ndsFf}}));
    }
};

const Collection& TheCollection() {
    static const Collection collection;
    return collection;
}

DatMatch Identify(const Bytes& image, ImageKind kind, const std::string& name) {
    DatMatch match;
    ByteBuffer buffer;
    EXPECT_TRUE(
        IdentifyImage(TheCollection().index, MemoryByteSource(image), kind, name, buffer, match)
            .ok());
    return match;
}

TEST(DatMatching, IdentifiesDumpsTrimmedDumpsAndBadDumps) {
    const Collection& c = TheCollection();
    Bytes badNds = c.ndsFf;
    badNds[4_MiB] ^= 0x01;
    Bytes badGba = c.gbaFf;
    badGba.back() = 0xFE;
    const Bytes unknownTrimmed =
        Prefix(NdsImageBuilder().usedSize(kUsed + 4).size(8_MiB).byte(0x14, 6).build(), kUsed + 4);
    Bytes randomNds(8_MiB);
    for (std::size_t i = 0; i < randomNds.size(); ++i) {
        randomNds[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
    }
    struct Row {
        const char* behaviour;
        Bytes image;
        ImageKind kind;
        std::string name;  // the file's name, as a dump's would be: no extension or number
        DatMatchKind expected;
        std::vector<std::string> games;  // "DAT name / game name"
        std::optional<std::uint8_t> filler;
        std::uint64_t datSize;
    };
    const std::string dsBlue = "Nintendo - Nintendo DS / Blank & Blue (Europe)";
    const std::string kioskBlue = "Nintendo - Nintendo DS (Download Play) / Blank & Blue (Kiosk)";
    const Row rows[] = {
        {"a full NDS dump, listed in two DATs",
         c.ndsFf,
         ImageKind::Nds,
         "Blank & Blue (Europe)",
         DatMatchKind::FullDump,
         {dsBlue, kioskBlue},
         std::nullopt,
         8_MiB},
        {"an NDS dump trimmed from 0xFF filler",
         Prefix(c.ndsFf, kUsed),
         ImageKind::Nds,
         "x",
         DatMatchKind::TrimmedDump,
         {dsBlue, kioskBlue},
         0xFF,
         8_MiB},
        {"an NDS dump trimmed from 0x00 filler",
         Prefix(c.ndsZero, kUsed),
         ImageKind::Nds,
         "x",
         DatMatchKind::TrimmedDump,
         {"Nintendo - Nintendo DS / Z\xC3\xA9ro (Japan)"},
         0x00,
         8_MiB},
        {"an NDS dump trimmed with its download-play block",
         Prefix(c.ndsWifi, kUsed + 136),
         ImageKind::Nds,
         "x",
         DatMatchKind::TrimmedDump,
         {"Nintendo - Nintendo DS / Wireless (USA)"},
         0xFF,
         8_MiB},
        {"a GBA dump trimmed from 0xFF filler",
         Prefix(c.gbaFf, 3000001),
         ImageKind::Gba,
         "x",
         DatMatchKind::TrimmedDump,
         {"Nintendo - Game Boy Advance / Filled (Europe)"},
         0xFF,
         4_MiB},
        {"a GBA dump trimmed from 0x00 filler",
         Prefix(c.gbaZero, 3000001),
         ImageKind::Gba,
         "x",
         DatMatchKind::TrimmedDump,
         {"Nintendo - Game Boy Advance / Zeroed (Europe)"},
         0x00,
         4_MiB},
        {"a full GBA dump",
         c.gbaZero,
         ImageKind::Gba,
         "x",
         DatMatchKind::FullDump,
         {"Nintendo - Game Boy Advance / Zeroed (Europe)"},
         std::nullopt,
         4_MiB},
        {"an NDS dump with one byte wrong",
         badNds,
         ImageKind::Nds,
         "blank & blue (europe)",
         DatMatchKind::BadDump,
         {},
         std::nullopt,
         8_MiB},
        {"a GBA dump whose last byte is wrong",
         badGba,
         ImageKind::Gba,
         "x",
         DatMatchKind::BadDump,
         {},
         std::nullopt,
         4_MiB},
        {"a trimmed image of no listed game",
         unknownTrimmed,
         ImageKind::Nds,
         "x",
         DatMatchKind::NotInDat,
         {},
         std::nullopt,
         kUsed + 4},
        {"an NDS dump trimmed one byte too far",
         Prefix(c.ndsFf, kUsed - 1),
         ImageKind::Nds,
         "x",
         DatMatchKind::NotInDat,
         {},
         std::nullopt,
         kUsed - 1},
        {"an NDS image of a dump's size that claims no dump (homebrew)",
         randomNds,
         ImageKind::Nds,
         "Homebrew",
         DatMatchKind::NotInDat,
         {},
         std::nullopt,
         8_MiB},
        {"a GBA image of a dump's size whose game code and name claim no dump",
         GbaImageBuilder().size(4_MiB).dataEnd(4_MiB - 5).build(),
         ImageKind::Gba,
         "Filled (Europe) (Beta)",
         DatMatchKind::NotInDat,
         {},
         std::nullopt,
         4_MiB},
        {"a GBA dump trimmed to less than half its cartridge",
         Prefix(c.gbaHalf, 3000000),
         ImageKind::Gba,
         "x",
         DatMatchKind::TrimmedDump,
         {"Nintendo - Game Boy Advance / Half (USA)"},
         0xFF,
         8_MiB},
        {"a GBA dump trimmed to exactly half its cartridge",
         Prefix(c.gbaHalf, 4_MiB),
         ImageKind::Gba,
         "x",
         DatMatchKind::TrimmedDump,
         {"Nintendo - Game Boy Advance / Half (USA)"},
         0xFF,
         8_MiB},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        const DatMatch match = Identify(row.image, row.kind, row.name);
        EXPECT_EQ(match.kind, row.expected);
        std::vector<std::string> games;
        for (const IndexedRom& rom : match.roms) {
            games.push_back(rom.dat->name + " / " + rom.rom->gameName);
        }
        EXPECT_EQ(games, row.games);
        EXPECT_EQ(match.filler, row.filler);
        EXPECT_EQ(match.datSize, row.datSize);
        EXPECT_EQ(match.image.sha1, ReferenceSha1(row.image));
        EXPECT_EQ(match.image.size, row.image.size());
    }
}

TEST(DatMatching, AnImageIsReadOnce) {
    const Bytes trimmed = Prefix(TheCollection().ndsFf, kUsed);
    const CountingSource source(trimmed);
    DatMatch match;
    ByteBuffer buffer;
    ASSERT_TRUE(
        IdentifyImage(TheCollection().index, source, ImageKind::Nds, "x", buffer, match).ok());
    EXPECT_EQ(match.kind, DatMatchKind::TrimmedDump);
    EXPECT_EQ(source.read(), trimmed.size() + 4);  // and the game code
}

TEST(DatMatching, NoCartridgeSizeMeansNoPaddedSearch) {
    Bytes trimmed = Prefix(TheCollection().ndsFf, kUsed);
    ImageHasher hasher;
    hasher.update(trimmed);
    EXPECT_EQ(MatchHashedImage(TheCollection().index, hasher, std::nullopt).kind,
              DatMatchKind::NotInDat);
    EXPECT_EQ(MatchHashedImage(TheCollection().index, hasher, 4_MiB).kind,
              DatMatchKind::NotInDat);  // the dump's size lies above that cartridge
    EXPECT_EQ(MatchHashedImage(TheCollection().index, hasher, 8_MiB).kind,
              DatMatchKind::TrimmedDump);
}

TEST(DatMatching, ACutIsReversibleOnlyWhenItDropsNothingButTheFiller) {
    const Collection& c = TheCollection();
    Bytes dataPastUsed = c.ndsFf;
    dataPastUsed[7_MiB] =
        0x42;  // a byte past the used size: a dump that is not what its header says
    struct Row {
        const char* behaviour;
        Bytes image;
        std::uint64_t cut;
        std::optional<std::uint8_t> filler;
    };
    const Row rows[] = {
        {"a full dump cut at its used size", c.ndsFf, kUsed, 0xFF},
        {"a full 0x00 dump", c.ndsZero, kUsed, 0x00},
        {"a full dump whose cut drops its download-play block", c.ndsWifi, kUsed, std::nullopt},
        {"a full dump that keeps its download-play block", c.ndsWifi, kUsed + 136, 0xFF},
        {"a trimmed dump cut no further", Prefix(c.ndsFf, kUsed), kUsed, 0xFF},
        {"a trimmed dump cut into its data", Prefix(c.ndsFf, kUsed), kUsed - 1, std::nullopt},
        {"a 0x00-trimmed dump is reversible only with 0x00", Prefix(c.ndsZero, kUsed), kUsed, 0x00},
        {"a trimmed GBA dump", Prefix(c.gbaFf, 3000001), 3000001, 0xFF},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        ImageHasher hasher;
        hasher.update(row.image);
        const DatMatch match = MatchHashedImage(TheCollection().index, hasher, 8_MiB);
        ASSERT_NE(match.kind, DatMatchKind::NotInDat);
        const std::optional<std::uint8_t> filler = ReversibleFiller(match, hasher, row.cut);
        EXPECT_EQ(filler, row.filler);
        if (filler) {
            // The proof: the cut padded back is the dump, byte for byte.
            const Bytes restored = Padded(Prefix(row.image, row.cut), match.datSize, *filler);
            EXPECT_TRUE(IsDatRom(HashAll(restored), *match.roms.front().rom));
        }
    }

    ImageHasher hasher;
    hasher.update(dataPastUsed);
    const DatMatch bad = MatchHashedImage(TheCollection().index, hasher, 8_MiB,
                                          {.gameCode = "", .name = "Blank & Blue (Europe)"});
    EXPECT_EQ(bad.kind, DatMatchKind::BadDump);
    EXPECT_EQ(ReversibleFiller(bad, hasher, kUsed), std::nullopt);
}

TEST(DatMatching, ARestoreTargetGivesBackTheDump) {
    const Collection& c = TheCollection();
    for (const Bytes* dump : {&c.ndsFf, &c.ndsZero, &c.gbaZero}) {
        const ImageKind kind = dump->size() == 8_MiB ? ImageKind::Nds : ImageKind::Gba;
        const std::uint64_t used = kind == ImageKind::Nds ? kUsed : 3000001;
        const Bytes trimmed = Prefix(*dump, used);
        const DatMatch match = Identify(trimmed, kind, "x");
        const std::optional<DatRestore> restore = RestoreFromMatch(match);
        ASSERT_TRUE(restore);
        EXPECT_EQ(Padded(trimmed, restore->size, restore->filler), *dump);

        ImageHasher written;  // what a restore writes, hashed as it is written
        written.update(trimmed);
        written.fill(restore->filler, restore->size - trimmed.size());
        EXPECT_TRUE(IsDatRom(written.digest(), *match.roms.front().rom));
    }
    EXPECT_FALSE(RestoreFromMatch(Identify(c.ndsFf, ImageKind::Nds, "x")));  // already whole
}

TEST(DatIndexing, FindsBySizeAndCrcInEveryDat) {
    DatIndex index;
    DatFile first;
    first.name = "first";
    first.roms.push_back({100, 0x1234, std::nullopt, std::nullopt, "a", "a.bin", ""});
    first.roms.push_back({4_MiB, 0x1234, std::nullopt, std::nullopt, "b", "b.bin", ""});
    DatFile second;
    second.name = "second";
    second.roms.push_back({100, 0x1234, std::nullopt, std::nullopt, "a2", "a2.bin", ""});
    second.roms.push_back({8_MiB, 0x9999, std::nullopt, std::nullopt, "c", "c.bin", ""});
    index.add(std::move(first));
    index.add(std::move(second));

    const auto found = index.find(100, 0x1234);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].dat->name, "first");
    EXPECT_EQ(found[1].rom->gameName, "a2");
    EXPECT_TRUE(index.find(100, 0x1235).empty());
    EXPECT_TRUE(index.find(101, 0x1234).empty());
    EXPECT_EQ(index.romCount(), 4u);
    EXPECT_EQ(index.sizesBetween(100, 8_MiB), (std::vector<std::uint64_t>{4_MiB, 8_MiB}));
    EXPECT_EQ(index.sizesBetween(99, 4_MiB - 1), (std::vector<std::uint64_t>{100}));
    EXPECT_TRUE(index.hasSize(8_MiB));
    EXPECT_FALSE(index.hasSize(8_MiB + 1));
}

// Identifying alone, as --list --dat does: every entry read and identified, the kinds
// counted in the run's counters, and not a byte nor a name changed, whatever the options
// say (in place, scene numbers removed).
TEST(DatIdentifyingRun, CountsEachKindAndChangesNothing) {
    const Collection& c = TheCollection();
    const std::shared_ptr<const DatIndex> dats(&c.index, [](const DatIndex*) {});
    TempDir dir;
    Bytes bad = c.gbaFf;
    bad[1000] ^= 0x01;
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"0001 - Filled.gba", c.gbaFf},
        {"0002 - Zero.nds", Prefix(c.ndsZero, kUsed)},
        {"0003 - Claims Filled.gba", bad},
        {"0004 - Homebrew.gba", GbaImageBuilder().size(4_MiB).dataEnd(5000).build()},
        {"0005 - Half.gba", Prefix(c.gbaHalf, 3000000)},
    };
    std::vector<std::string> paths;
    for (const auto& [name, bytes] : files) {
        paths.push_back(dir.file(name));
        WriteFile(paths.back(), bytes);
    }
    testing::RecordingHost host;
    host.options.fileMode = FileMode::Overwrite;
    host.options.removeSceneNumbers = true;
    host.options.sramPatch = true;
    testing::WiredTrimRun run(host);
    EXPECT_EQ(run.identify(testing::FileEntries(paths), dats), RunEnd::Finished);

    EXPECT_EQ(run.counters().dats,
              (DatCounts{.fullDumps = 1, .trimmedDumps = 2, .badDumps = 1, .notInDat = 1}));
    EXPECT_EQ(run.counters().processed, 5);
    EXPECT_EQ(run.counters().errors, 0);
    EXPECT_EQ(run.counters().bytesSaved, 0);
    EXPECT_FALSE(run.anythingFailed());
    std::size_t identificationLines = 0;
    for (const std::string& line : host.log) {
        identificationLines += line.starts_with("INFO: ") || line.starts_with("WARNING: ");
    }
    EXPECT_EQ(identificationLines, files.size());
    EXPECT_EQ(testing::ListFolder(dir.path()).size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(testing::ReadFile(paths[i]), files[i].second) << paths[i];
    }
}

// Records which entries a run has read ahead, and lets a test wait for them.
class ReadAheadWatch {
  public:
    ReadAheadTuning tuning() {
        return {.timestampGranularity = std::chrono::nanoseconds(0),
                .entryEnded = [this](std::size_t index) {
                    const std::lock_guard lock(m_mutex);
                    m_ended.insert(index);
                    m_changed.notify_all();
                }};
    }
    // False when the entry's read-ahead has not ended within a generous time.
    bool waitFor(std::size_t index) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(30),
                                  [&] { return m_ended.contains(index); });
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::set<std::size_t> m_ended;
};

// A rom rewritten after its read-ahead, keeping its size and its modification time, is
// identified by the bytes it holds when its turn comes, not by those read ahead.
TEST(DatReadAheadRun, ARomChangedAfterItWasReadAheadIsIdentifiedByItsNewBytes) {
    const Collection& c = TheCollection();
    const std::shared_ptr<const DatIndex> dats(&c.index, [](const DatIndex*) {});
    TempDir dir;
    const std::vector<std::string> paths = {dir.file("A.gba"), dir.file("B.gba")};
    for (const std::string& path : paths) {
        WriteFile(path, c.gbaFf);
    }
    Bytes bad = c.gbaFf;  // still claims to be the dump: its header is the dump's
    bad[1000] ^= 0x01;
    ReadAheadWatch watch;
    testing::RecordingHost host;
    host.options.jobs = 2;
    bool rewritten = false;
    host.onPump = [&](testing::RecordingHost& h) {
        if (rewritten || h.reports.size() != 1) {
            return;
        }
        rewritten = true;
        ASSERT_TRUE(watch.waitFor(1));
        struct stat before {};
        ASSERT_EQ(stat(paths[1].c_str(), &before), 0);
        // Past the tick of the timestamps the read-ahead saw.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        WriteFile(paths[1], bad);
        const timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(utimensat(AT_FDCWD, paths[1].c_str(), times, 0), 0);
    };
    testing::WiredTrimRun run(host);
    run.setReadAheadTuning(watch.tuning());
    EXPECT_EQ(run.identify(testing::FileEntries(paths), dats), RunEnd::Finished);

    EXPECT_TRUE(rewritten);
    EXPECT_EQ(run.counters().dats, (DatCounts{.fullDumps = 1, .badDumps = 1}));
    ASSERT_EQ(host.reports.size(), 2u);
    EXPECT_EQ(testing::LineTexts(host.reports[1]),
              std::vector<std::string>{"WARNING: Bad dump (size of a DAT entry, checksum of "
                                       "none): B.gba"});
}

// A halt after an entry leaves nothing of the entries after it, whatever was read ahead of
// them: no line, no count, no file.
TEST(DatReadAheadRun, AHaltAfterAnEntryLeavesNothingOfTheLaterOnes) {
    const Collection& c = TheCollection();
    const std::shared_ptr<const DatIndex> dats(&c.index, [](const DatIndex*) {});
    for (const unsigned jobs : {1u, 3u}) {
        SCOPED_TRACE(jobs);
        TempDir dir;
        const std::string out = dir.subfolder("out");
        std::vector<std::string> paths;
        for (int i = 0; i < 6; ++i) {
            paths.push_back(dir.file(std::to_string(i) + ".gba"));
            WriteFile(paths.back(), i % 2 == 0 ? c.gbaFf : c.gbaZero);
        }
        ReadAheadWatch watch;
        testing::RecordingHost host;
        host.options.jobs = jobs;
        host.options.fileMode = FileMode::Folder;
        host.options.outputFolder = out;
        host.onPump = [&](testing::RecordingHost& h) {
            if (h.halted() || h.reports.size() != 2) {
                return;
            }
            // The two entries after the halt have been read ahead.
            if (jobs > 1) {
                ASSERT_TRUE(watch.waitFor(2));
                ASSERT_TRUE(watch.waitFor(3));
            }
            h.pressStop();
        };
        testing::WiredTrimRun run(host);
        run.setReadAheadTuning(watch.tuning());
        EXPECT_EQ(run.run(testing::FileEntries(paths), dats), RunEnd::Halted);

        EXPECT_EQ(run.counters().processed, 2);
        EXPECT_EQ(run.counters().dats, (DatCounts{.fullDumps = 2}));
        EXPECT_EQ(host.reports.size(), 2u);
        EXPECT_EQ(testing::ListFolder(out), (std::vector<std::string>{"0.gba", "1.gba"}));
        for (const std::string& line : host.log) {
            for (int i = 2; i < 6; ++i) {
                EXPECT_FALSE(line.find(std::to_string(i) + ".gba") != std::string::npos) << line;
            }
        }
        ASSERT_FALSE(host.log.empty());
        EXPECT_EQ(host.log.back(), "Operations Halted");
    }
}

// Without a number given (the window gives none), a run takes one job per core it may run
// on; a number given is taken as it is.
TEST(DatReadAheadRun, JobsAreOnePerCoreUnlessGiven) {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
    EXPECT_EQ(RunJobs(RunOptions{}), static_cast<unsigned>(CPU_COUNT(&allowed)));
    RunOptions three;
    three.jobs = 3;
    EXPECT_EQ(RunJobs(three), 3u);
}

// The workers run at the priority of the thread that runs the run: the window lowers that
// of its engine thread, so that the window stays responsive while every core hashes.
TEST(DatReadAheadRun, WorkersRunAtThePriorityOfTheRunsThread) {
    const Collection& c = TheCollection();
    const std::shared_ptr<const DatIndex> dats(&c.index, [](const DatIndex*) {});
    TempDir dir;
    const std::vector<std::string> paths = {dir.file("A.gba"), dir.file("B.gba")};
    for (const std::string& path : paths) {
        WriteFile(path, c.gbaFf);
    }
    std::mutex mutex;
    std::vector<int> workerNiceness;
    int runNiceness = 0;
    std::thread runThread([&] {
        const auto thread = static_cast<id_t>(syscall(SYS_gettid));
        setpriority(PRIO_PROCESS, thread, getpriority(PRIO_PROCESS, thread) + 5);
        runNiceness = getpriority(PRIO_PROCESS, thread);
        testing::RecordingHost host;
        host.options.jobs = 2;
        testing::WiredTrimRun run(host);
        run.setReadAheadTuning(
            {.timestampGranularity = std::chrono::nanoseconds(0), .entryEnded = [&](std::size_t) {
                 const auto worker = static_cast<id_t>(syscall(SYS_gettid));
                 const std::lock_guard lock(mutex);
                 workerNiceness.push_back(getpriority(PRIO_PROCESS, worker));
             }});
        EXPECT_EQ(run.identify(testing::FileEntries(paths), dats), RunEnd::Finished);
    });
    runThread.join();
    EXPECT_EQ(workerNiceness, std::vector<int>(2, runNiceness));
}

// A restore in place with DATs grows the rom itself; a result that is not the DAT's dump
// (here another program writes into the filler while it is written) is cut back to the
// original, byte for byte, with the entry's error.
TEST(DatRestoreInPlace, AResultThatIsNotTheDumpIsCutBackToTheOriginal) {
    const Collection& c = TheCollection();
    const std::shared_ptr<const DatIndex> dats(&c.index, [](const DatIndex*) {});
    const Bytes trimmed = Prefix(c.ndsFf, kUsed);
    for (const bool meddled : {false, true}) {
        SCOPED_TRACE(meddled ? "written into meanwhile" : "left alone");
        TempDir dir;
        const std::string rom = dir.file("Blue.nds");
        WriteFile(rom, trimmed);
        struct stat before {};
        ASSERT_EQ(stat(rom.c_str(), &before), 0);
        testing::RecordingHost host;
        host.options.fileMode = FileMode::Overwrite;
        host.options.restore = true;
        bool written = false;
        host.onPump = [&](testing::RecordingHost&) {
            struct stat now {};
            if (meddled && !written && stat(rom.c_str(), &now) == 0 &&
                static_cast<std::uint64_t>(now.st_size) > kUsed + 1000) {
                const int fd = open(rom.c_str(), O_WRONLY | O_CLOEXEC);
                ASSERT_GE(fd, 0);
                ASSERT_EQ(pwrite(fd, "\0", 1, kUsed + 500), 1);
                close(fd);
                written = true;
            }
        };
        testing::WiredTrimRun run(host);
        run.run(testing::FileEntries({rom}), dats);

        EXPECT_EQ(written, meddled);
        EXPECT_EQ(run.counters().errors, meddled ? 1 : 0);
        const bool refused =
            std::find(host.log.begin(), host.log.end(),
                      "ERROR: Restored image does not match its DAT entry, nothing written: "
                      "Blue.nds") != host.log.end();
        EXPECT_EQ(refused, meddled);
        EXPECT_EQ(testing::ReadFile(rom), meddled ? trimmed : c.ndsFf);
        struct stat after {};
        ASSERT_EQ(stat(rom.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(testing::ListFolder(dir.path()), std::vector<std::string>{"Blue.nds"});
    }
}

}  // namespace
}  // namespace ostravex
