#include "romformat/nds_header.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "romformat/crc16.h"
#include "romformat/header_report.h"
#include "support/rom_images.h"

namespace ostravex {
namespace {

using testing::Bytes;

Bytes Text(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// A banner title as UTF-16LE code units.
Bytes Utf16(std::u16string_view text) {
    Bytes bytes;
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

void Put(Bytes& image, std::size_t offset, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
}

HeaderInfo Decode(const Bytes& image) {
    HeaderInfo header;
    const MemoryByteSource source(image);
    EXPECT_TRUE(ReadHeaderInfo(source, header).ok());
    return header;
}

TEST(Crc16, IsCrc16Modbus) {
    EXPECT_EQ(Crc16(Text("123456789")), 0x4B37);
    EXPECT_EQ(Crc16({}), 0xFFFF);
}

// Bytes are folded in eight at a time with the rest one by one: every length up to a few
// blocks, and the header's own length, give what the polynomial gives bit by bit.
TEST(Crc16, EveryLengthMatchesTheBitwiseDefinition) {
    Bytes bytes(0x15E);
    unsigned seed = 12345;
    for (std::uint8_t& byte : bytes) {
        seed = seed * 1103515245 + 12345;
        byte = static_cast<std::uint8_t>(seed >> 16);
    }
    const auto bitwise = [](std::span<const std::uint8_t> data) {
        unsigned crc = 0xFFFF;
        for (const std::uint8_t byte : data) {
            crc ^= byte;
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
            }
        }
        return static_cast<int>(crc);
    };
    for (std::size_t length = 0; length <= 40; ++length) {
        for (std::size_t start : {std::size_t{0}, std::size_t{3}}) {
            const auto part = std::span<const std::uint8_t>(bytes).subspan(start, length);
            EXPECT_EQ(Crc16(part), bitwise(part)) << "length " << length << " from " << start;
        }
    }
    EXPECT_EQ(Crc16(bytes), bitwise(bytes));
}

TEST(HeaderInfo, DecodesNumbersAsSigned32BitLittleEndian) {
    Bytes image(0x200, 0);
    struct Row {
        Bytes bytes;
        std::int32_t value;
    };
    for (const Row& row : {Row{{0x10, 0, 0, 0}, 16}, Row{{0, 1, 0, 0}, 256},
                           Row{{0, 0, 0, 0x80}, INT_MIN}, Row{{0xFF, 0xFF, 0xFF, 0xFF}, -1}}) {
        Put(image, 0x20, row.bytes);
        EXPECT_EQ(Decode(image).ARM9Source, row.value);
    }
    Put(image, 0x15C, {0xFF, 0xFF, 0x34, 0x12});
    EXPECT_EQ(Decode(image).LogoCRC16, 65535);
    EXPECT_EQ(Decode(image).HeaderCRC16, 0x1234);
}

TEST(HeaderInfo, KeepsTitleNulsAndComputesTheHeaderChecksum) {
    Bytes image(0x200, 0);
    Put(image, 0, Text("MARIO"));
    Put(image, 0x0C, Text("AMCE"));
    image[0x12] = 2;
    const std::uint16_t crc =
        static_cast<std::uint16_t>(Crc16(std::span<const std::uint8_t>(image).first(0x15E)));
    Put(image, 0x15E, {static_cast<std::uint8_t>(crc & 0xFF), static_cast<std::uint8_t>(crc >> 8)});

    const HeaderInfo header = Decode(image);
    EXPECT_EQ(header.GameTittle, std::string("MARIO\0\0\0\0\0\0\0", 12));
    EXPECT_EQ(header.GameCode, "AMCE");
    EXPECT_EQ(header.UnitCode, 2);
    EXPECT_EQ(header.MyHeaderCRC16, header.HeaderCRC16);
}

TEST(HeaderInfo, ShortImageReadsAsZeros) {
    const HeaderInfo header = Decode(Text("AB"));
    EXPECT_EQ(header.GameTittle, std::string("AB\0\0\0\0\0\0\0\0\0\0", 12));
    EXPECT_EQ(header.UsedRomSize, 0);
}

TEST(BannerInfo, TitlesAreTakenByteByByteAndCleaned) {
    Bytes image(0x3000, 0);
    Put(image, 0x68, {0x00, 0x10, 0, 0});  // banner at 0x1000
    Put(image, 0x1000 + 0x340, Utf16(u"Line one\nLine two"));
    Put(image, 0x1000 + 0x440, Utf16(u"\u0141\u00e9"));  // Ł (above U+00FF), é
    const MemoryByteSource source(image);
    BannerInfo banner;
    ASSERT_TRUE(ReadBannerInfo(source, 0x1000, banner).ok());

    EXPECT_EQ(banner.TitleEN.size(), 256u);
    EXPECT_EQ(banner.TitleEN.substr(0, 4), std::string("L\0i\0", 4));
    EXPECT_EQ(CleanTitle(banner.TitleEN), "Line oneLine two");
    // Ł is 0x0141: its low byte 0x41 'A' stays, its high byte 0x01 goes.
    EXPECT_EQ(CleanTitle(banner.TitleFR), "A\xE9");
}

TEST(BannerInfo, OffsetZeroDecodesTheHeader) {
    Bytes image(0x1000, 0);
    Put(image, 0, {0x34, 0x12, 0x78, 0x56});
    const MemoryByteSource source(image);
    BannerInfo banner;
    ASSERT_TRUE(ReadBannerInfo(source, 0, banner).ok());
    EXPECT_EQ(banner.Version, 0x1234);
    EXPECT_EQ(banner.CRC16, 0x5678);
}

TEST(HeaderReport, LinesInDisplayOrder) {
    testing::TempDir dir;
    Bytes image(0x1000, 0);
    Put(image, 0, Text("Caf\xE9"));
    Put(image, 0x80, {0, 0, 0, 0x80});
    Put(image, 0x68, {0x00, 0x02, 0, 0});  // banner at 0x200
    Put(image, 0x200 + 0x340, Utf16(u"Caf\u00e9 Game"));
    const std::string path = dir.file("Game.NDS");
    testing::WriteFile(path, image);

    std::vector<std::string> lines;
    ASSERT_TRUE(ReadHeaderReport(path, lines).ok());
    ASSERT_EQ(lines.size(), 51u);
    EXPECT_EQ(lines[0], "Game.NDS");
    EXPECT_EQ(lines[1], std::string(33, '-'));
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3], "Game Tittle: Caf\xC3\xA9");  // shown up to its first NUL, as UTF-8
    EXPECT_EQ(lines[27], "Control Flas Read: 0");
    EXPECT_EQ(lines[34], "Rom Size: -2147483648");
    EXPECT_EQ(lines[38].rfind("Real Header CRC16: ", 0), 0u);
    EXPECT_EQ(lines[39], "");
    EXPECT_EQ(lines[40], "");
    EXPECT_EQ(lines[41], "Banner Info");
    EXPECT_EQ(lines[42], std::string(11, '-'));
    EXPECT_EQ(lines[46], "English Title: Caf\xC3\xA9 Game");
    EXPECT_EQ(lines[50], "Spanish Title: ");
}

// Banner titles are UTF-16LE text: shown as that text, their lines joined by " / ".
TEST(HeaderReport, BannerTitlesAreTheirText) {
    struct Row {
        std::u16string title;
        std::string shown;
    };
    for (const Row& row : {
             Row{u"\u30dd\u30b1\u30e2\u30f3", "\xE3\x83\x9D\xE3\x82\xB1\xE3\x83\xA2\xE3\x83\xB3"},
             Row{u"Pok\u00e9mon\nBlack Version\nNintendo",
                 "Pok\xC3\xA9mon / Black Version / Nintendo"},
             Row{u"Two\r\nLines\n", "Two / Lines"},  // CR LF is one break
             Row{u"\nA\n\nB", "A / B"},              // no empty lines
             Row{u"\u0141\u00f3d\u017a",
                 "\xC5\x81\xC3\xB3"
                 "d\xC5\xBA"},                          // above U+00FF
             Row{u"\U0001F600!", "\xF0\x9F\x98\x80!"},  // a surrogate pair
             Row{std::u16string(u"a\xD800"
                                u"b",
                                3),
                 "a\xEF\xBF\xBD"
                 "b"},                                           // half a pair
             Row{std::u16string(u"tab\tbell\a", 9), "tabbell"},  // control characters
         }) {
        Bytes bytes = Utf16(row.title);
        bytes.resize(kBannerTitleBytes, 0);
        EXPECT_EQ(BannerTitleText(std::string(bytes.begin(), bytes.end())), row.shown) << row.shown;
    }
}

// The header report, which the window shows too, gives a Japanese title as its text.
TEST(HeaderReport, AJapaneseTitleIsShownAsItsText) {
    testing::TempDir dir;
    Bytes image(0x1000, 0);
    Put(image, 0x68, {0x00, 0x02, 0, 0});  // banner at 0x200
    Put(image, 0x200 + 0x240, Utf16(u"\u30de\u30ea\u30aa\n\u4efb\u5929\u5802"));
    const std::string path = dir.file("jp.nds");
    testing::WriteFile(path, image);
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadHeaderReport(path, lines).ok());
    EXPECT_EQ(lines.at(45),
              "Japanese Title: \xE3\x83\x9E\xE3\x83\xAA\xE3\x82\xAA / "
              "\xE4\xBB\xBB\xE5\xA4\xA9\xE5\xA0\x82");
}

TEST(HeaderChecksum, MatchesOnlyTheStoredCrcOfTheFirst350Bytes) {
    const Bytes good = testing::NdsImageBuilder().size(0x1000).usedSize(0x800).build();
    EXPECT_TRUE(HeaderChecksumMatches(good));
    for (const std::size_t flipped : {std::size_t{0}, std::size_t{0x80}, std::size_t{0x15D},
                                      std::size_t{0x15E}, std::size_t{0x15F}}) {
        SCOPED_TRACE(flipped);
        Bytes bad = good;
        bad[flipped] ^= 0x01;
        EXPECT_FALSE(HeaderChecksumMatches(bad));
    }
    Bytes pastTheHeader = good;
    pastTheHeader[0x160] ^= 0xFF;  // bytes after the checksum are not covered
    EXPECT_TRUE(HeaderChecksumMatches(pastTheHeader));
    EXPECT_FALSE(HeaderChecksumMatches(Bytes(0x160, 0)));  // 0x0000 is not the CRC of zeros
}

TEST(CartridgeSize, IsOneTwentyEightKibShiftedByTheCapacityByte) {
    EXPECT_EQ(CartridgeSizeFromCapacity(0), 128u << 10);
    EXPECT_EQ(CartridgeSizeFromCapacity(6), 8u << 20);
    EXPECT_EQ(CartridgeSizeFromCapacity(12), 512u << 20);
    EXPECT_EQ(CartridgeSizeFromCapacity(46), std::uint64_t{1} << 63);
    EXPECT_EQ(CartridgeSizeFromCapacity(47), std::nullopt);
    EXPECT_EQ(CartridgeSizeFromCapacity(255), std::nullopt);
}

// An image made without a banner has 0 at 0x68; decoding the bytes there would show the
// header's own bytes as six titles. The report says there is no banner instead.
TEST(HeaderReport, ImagesWithoutABanner) {
    struct Row {
        std::string name;
        std::uint32_t offset;
        std::vector<std::string> bannerPart;
    };
    for (const Row& row : {
             Row{"offset 0", 0, {"No banner: the icon and titles offset is 0"}},
             Row{"offset at the end of the file",
                 0x1000,
                 {"No banner: the icon and titles offset (4096) is past the end of the file"}},
             Row{"offset far past the end",
                 0xFFFFFFF0,
                 {"No banner: the icon and titles offset (4294967280) is past the end of the "
                  "file"}},
             Row{"banner cut short by the end of the file",
                 0xF00,
                 {"Version: 1", "Banner CRC16: 0", "Japanese Title: ", "English Title: ",
                  "French Title: ", "German Title: ", "Italian Title: ", "Spanish Title: "}},
         }) {
        SCOPED_TRACE(row.name);
        testing::TempDir dir;
        Bytes image(0x1000, 0);
        Put(image, 0, Text("HEADER TITLE"));
        Put(image, 0x340, Utf16(u"Code"));  // what offset 0 would show as the English title
        Put(image, 0x68,
            {static_cast<std::uint8_t>(row.offset), static_cast<std::uint8_t>(row.offset >> 8),
             static_cast<std::uint8_t>(row.offset >> 16),
             static_cast<std::uint8_t>(row.offset >> 24)});
        if (row.offset == 0xF00) {
            Put(image, 0xF00, {1, 0});
        }
        const std::string path = dir.file("NoBanner.nds");
        testing::WriteFile(path, image);
        std::vector<std::string> lines;
        ASSERT_TRUE(ReadHeaderReport(path, lines).ok());
        ASSERT_GE(lines.size(), 43u);
        EXPECT_EQ(lines[41], "Banner Info");
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 43, lines.end()), row.bannerPart);
    }
}

}  // namespace
}  // namespace ostravex
