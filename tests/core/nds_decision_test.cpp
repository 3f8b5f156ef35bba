#include "trim/nds_decision.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "support/rom_images.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::NdsImageBuilder;
using testing::operator""_MiB;
using Block = NdsImageBuilder::Block;

constexpr std::uint32_t kUsed = 5913600;
constexpr const char* kWifi = "INFO: Wifi game: ";
constexpr const char* kDsi = "WARNING: DSi rom: ";
constexpr const char* kMismatch = "ERROR: File size mismatch or previously overtrimmed: ";
constexpr const char* kWrongTrim =
    "ERROR: Previous trimming was wrong. Untrimmed source rom needed: ";
constexpr const char* kHomebrew =
    "WARNING: File was previously trimmed incorrectly (or rom is homebrew). Proceeding to fix: ";
constexpr const char* kBlankKept =
    "WARNING: File was previously trimmed incorrectly. Proceeding to fix: ";

NdsImageBuilder Game() {
    return NdsImageBuilder().usedSize(kUsed).size(8_MiB);
}

// A DSi-enhanced image (unit code 2) whose TWL digest region ends at `end`.
NdsImageBuilder DsiGame(std::uint32_t end) {
    return NdsImageBuilder()
        .usedSize(kUsed)
        .byte(0x12, 2)
        .word(0x1E0, 0x4000)
        .word(0x1E4, kUsed - 0x4000)
        .word(0x1E8, end - 100000)
        .word(0x1EC, 100000)
        .dataEnd(end)
        .size(8_MiB);
}

// An image built only when its case runs, so a test process builds just its own.
struct ImageRecipe {
    ImageRecipe(NdsImageBuilder builder) : make([builder] { return builder.build(); }) {}
    ImageRecipe(Bytes bytes) : make([bytes] { return bytes; }) {}
    std::function<Bytes()> make;
};

struct NdsCase {
    const char* name;
    ImageRecipe image;
    bool skipDsi;
    std::vector<std::string> lines;
    std::optional<std::int64_t> cut;
};

void PrintTo(const NdsCase& c, std::ostream* os) {
    *os << c.name;
}

class NdsDecisionTest : public ::testing::TestWithParam<NdsCase> {};

TEST_P(NdsDecisionTest, ReportsAndCuts) {
    const NdsCase& c = GetParam();
    const Bytes image = c.image.make();
    const MemoryByteSource source(image);
    const CutVerdict verdict = DecideNdsCut(source, c.skipDsi);
    std::vector<std::string> lines;
    for (const auto& message : verdict.messages) {
        lines.push_back(message.text);
    }
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(verdict.cutSize, c.cut);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, NdsDecisionTest,
    ::testing::Values(
        NdsCase{"BlankBlockIsCutAtUsedSize", Game(), false, {}, kUsed},
        NdsCase{"WifiBlockIsKept", Game().wifiBlock(Block::Data), false, {kWifi}, kUsed + 136},
        NdsCase{"ZeroBlockIsNoWifi", Game().wifiBlock(Block::Zero), false, {}, kUsed},
        NdsCase{"BlockWithOneOddByteIsWifi",
                Game().byte(kUsed + 70, 0xFE),
                false,
                {kWifi},
                kUsed + 136},
        NdsCase{"ExactlyUsedSizeIsAlreadyTrimmed",
                Game().size(kUsed),
                false,
                {"SKIP: File already trimmed (wifi status unknown): "},
                std::nullopt},
        NdsCase{"UsedSizePlusWifiIsAlreadyTrimmed",
                Game().size(kUsed + 136).wifiBlock(Block::Data),
                false,
                {"SKIP: File already trimmed (WIFI data found): "},
                std::nullopt},
        NdsCase{
            "UsedSizePlusBlankBlockIsFixed", Game().size(kUsed + 136), false, {kBlankKept}, kUsed},
        NdsCase{"PartOfABlockIsAWrongTrim",
                Game().size(kUsed + 50).wifiBlock(Block::Data),
                false,
                {kWrongTrim},
                std::nullopt},
        NdsCase{"ShorterThanUsedSizeIsOvertrimmed",
                Game().size(kUsed - 1),
                false,
                {kMismatch},
                std::nullopt},
        NdsCase{"ZeroUsedSizeIsAMismatch", Game().usedSize(0), false, {kMismatch}, std::nullopt},
        NdsCase{"UsedSizeOfTwoGigabytesIsNeverWritten",
                Game().usedSize(0x80000000u),
                false,
                {kMismatch},
                std::nullopt},
        NdsCase{"UsedSizeOfFourGigabytesIsNeverWritten",
                Game().usedSize(0xFFFFFFFFu),
                false,
                {kMismatch},
                std::nullopt},
        NdsCase{"OddSizeWarnsOfEarlierTrim", Game().size(6000000), false, {kHomebrew}, kUsed},
        NdsCase{
            "TooShortForAHeader", Bytes(400, 0), false, {"ERROR: Incorrect File: "}, std::nullopt},
        // The used size lies past the header checksum at 0x15E, so the block is all zero.
        NdsCase{"SmallestImageIsJudged",
                NdsImageBuilder().size(512).usedSize(360).wifiBlock(Block::Zero),
                false,
                {kHomebrew},
                360},
        NdsCase{"BrickerSizeWarnsThenJudges",
                NdsImageBuilder().size(151361),
                false,
                {"WARNING: POSSIBLE BRICKER: ", kMismatch},
                std::nullopt},
        NdsCase{"SecondBrickerSize",
                Game().size(548673).usedSize(400000),
                false,
                {"WARNING: POSSIBLE BRICKER: ", kHomebrew},
                400000},
        NdsCase{"AllFfHeaderIsDsiAndWrapsPastTheFile",
                NdsImageBuilder().headerFill(0xFF),
                false,
                {kDsi, kMismatch},
                std::nullopt},
        NdsCase{"AllFfHeaderIsSkippedWithSkipDsi",
                NdsImageBuilder().headerFill(0xFF),
                true,
                {"SKIP: DSi rom, skipping trimming: "},
                std::nullopt},
        NdsCase{"DsiIsCutAtTheEndOfItsTwlRegion", DsiGame(7000000), false, {kDsi}, 7000000},
        NdsCase{"DsiKeepsItsWifiBlock",
                DsiGame(7000000).wifiBlock(Block::Data),
                false,
                {kDsi, kWifi},
                7000136},
        NdsCase{"DsiTrimmedWithWifiIsCutToItself",
                DsiGame(7000000).size(7000136).wifiBlock(Block::Data),
                false,
                {kDsi, kHomebrew, kWifi},
                7000136},
        NdsCase{"DsiNtrRegionEndingLaterWins",
                DsiGame(6000000).word(0x1E4, 7000000 - 0x4000).dataEnd(7000000),
                false,
                {kDsi},
                7000000},
        NdsCase{"DsiHomebrewWithoutDigestsKeepsItsDsiArea",
                Game().byte(0x12, 2).word(0x210, 7000000).dataEnd(7000000),
                false,
                {kDsi},
                7000000},
        NdsCase{"DsiExclusiveHomebrewToo",
                Game().byte(0x12, 3).word(0x210, 7000000).dataEnd(7000000),
                true,
                {"SKIP: DSi rom, skipping trimming: "},
                std::nullopt},
        NdsCase{"NdsUnitCodeIgnoresTotalSize",
                Game().byte(0x12, 0).word(0x210, 7000000),
                false,
                {},
                kUsed},
        NdsCase{"TotalSizeNotLargerIsStillDsi",
                Game().byte(0x12, 2).word(0x210, kUsed),
                false,
                {kDsi},
                kUsed},
        // Never below what the header declares used.
        NdsCase{"DsiKeepsDataBetweenItsDigestEndAndItsTotalSize",
                DsiGame(7000000).byte(0x12, 2).word(0x210, 7000888).dataEnd(7000888),
                false,
                {kDsi},
                7000888},
        NdsCase{"DsiExclusiveKeepsItsTotalSizeToo",
                DsiGame(7000000).byte(0x12, 3).word(0x210, 7000888).dataEnd(7000888),
                false,
                {kDsi},
                7000888},
        NdsCase{"DigestEndPastTheTotalSizeStillWins",
                DsiGame(7000000).byte(0x12, 2).word(0x210, 6500000),
                false,
                {kDsi},
                7000000},
        NdsCase{"DigestsEndingBeforeTheUsedSizeNeverCutBelowIt",
                Game().byte(0x12, 2).word(0x1E8, 0x4000).word(0x1EC, 0x288),
                false,
                {kDsi},
                kUsed},
        NdsCase{"DigestWordsOfAnUnknownUnitCodeStillMarkDsi",
                Game().byte(0x12, 1).word(0x1E8, 0x4000).word(0x1EC, 0x288),
                false,
                {kDsi},
                kUsed}));

// Fewer bytes than a download-play block after the used size: alignment padding of one
// filler value is cut, anything else is what an earlier trim left of a block.
INSTANTIATE_TEST_SUITE_P(
    ShortTailAfterTheUsedSize, NdsDecisionTest,
    ::testing::Values(
        NdsCase{"SixteenFfBytesOfAlignment", Game().size(kUsed + 16), false, {kHomebrew}, kUsed},
        NdsCase{"OneFfByte", Game().size(kUsed + 1), false, {kHomebrew}, kUsed},
        NdsCase{"OneHundredThirtyFiveZeroBytes",
                Game().wifiBlock(Block::Zero).size(kUsed + 135),
                false,
                {kHomebrew},
                kUsed},
        NdsCase{"PaddingUpToAWholeMebibyte",
                NdsImageBuilder().usedSize(1_MiB - 16).size(1_MiB),
                false,
                {},
                1_MiB - 16},
        NdsCase{"DsiImageWithAlignmentPadding",
                DsiGame(7000000).size(7000016),
                false,
                {kDsi, kHomebrew},
                7000000},
        NdsCase{"OneDataByteInThePadding",
                Game().size(kUsed + 16).byte(kUsed + 5, 0x12),
                false,
                {kWrongTrim},
                std::nullopt},
        NdsCase{"DataInTheLastByte",
                Game().size(kUsed + 135).byte(kUsed + 134, 0x01),
                false,
                {kWrongTrim},
                std::nullopt},
        NdsCase{"TwoFillerValues",
                Game().size(kUsed + 16).bytes(kUsed + 8, Bytes(8, 0x00)),
                false,
                {kWrongTrim},
                std::nullopt},
        NdsCase{"ARunOfAnotherValueMayBeginABlock",
                Game().size(kUsed + 16).bytes(kUsed, Bytes(16, 0x20)),
                false,
                {kWrongTrim},
                std::nullopt}));

// A DS-only image (unit code 0) has no digest regions: stray words at 0x1E0-0x1EF neither
// make it DSi nor move its cut.
INSTANTIATE_TEST_SUITE_P(
    DsOnlyUnitCode, NdsDecisionTest,
    ::testing::Values(NdsCase{"StrayWordInsideTheUsedSize",
                              Game().word(0x1E8, 0x4000).word(0x1EC, 0x288),
                              false,
                              {},
                              kUsed},
                      NdsCase{"StrayWordIsNotSkippedAsDsi",
                              Game().word(0x1E8, 0x4000).word(0x1EC, 0x288),
                              true,
                              {},
                              kUsed},
                      NdsCase{"StrayRegionPastTheUsedSizeKeepsNoPadding",
                              Game().word(0x1E8, 7000000).word(0x1EC, 1000),
                              false,
                              {},
                              kUsed},
                      NdsCase{"StrayRegionPastTheFileEnd",
                              Game().word(0x1E8, 9000000).word(0x1EC, 1000),
                              false,
                              {},
                              kUsed},
                      NdsCase{"StrayNtrAndTwlWords",
                              Game().word(0x1E0, 0x4000).word(0x1E4, 7500000).word(0x1E8, 0x4000),
                              false,
                              {},
                              kUsed},
                      NdsCase{"StrayWordOnAWifiGame",
                              Game().word(0x1E8, 0x4000).word(0x1EC, 0x288).wifiBlock(Block::Data),
                              false,
                              {kWifi},
                              kUsed + 136}));

constexpr const char* kDsiSkip = "SKIP: DSi rom, skipping trimming: ";

// "Skip DSi roms" leaves every image with a DSi unit code alone, whatever its size words.
INSTANTIATE_TEST_SUITE_P(DsiUnitCode, NdsDecisionTest,
                         ::testing::Values(NdsCase{"TotalSizeDamagedBelowTheUsedSize",
                                                   Game().byte(0x12, 2).word(0x210, 0x40),
                                                   true,
                                                   {kDsiSkip},
                                                   std::nullopt},
                                           NdsCase{"TotalSizeEqualToTheUsedSize",
                                                   Game().byte(0x12, 2).word(0x210, kUsed),
                                                   true,
                                                   {kDsiSkip},
                                                   std::nullopt},
                                           NdsCase{"DsiExclusiveWithoutSizeWords",
                                                   Game().byte(0x12, 3),
                                                   true,
                                                   {kDsiSkip},
                                                   std::nullopt},
                                           NdsCase{"DamagedTotalSizeWithoutSkipIsCutAtTheUsedSize",
                                                   Game().byte(0x12, 2).word(0x210, 0x40),
                                                   false,
                                                   {kDsi},
                                                   kUsed}));

// An untrimmed cartridge image is exactly the cartridge size its header names (128 KiB
// shifted left by byte 0x14); only other sizes that are not whole mebibytes are suspect.
INSTANTIATE_TEST_SUITE_P(
    CartridgeSize, NdsDecisionTest,
    ::testing::Values(
        NdsCase{"Untrimmed128KiBCartridge",
                NdsImageBuilder().usedSize(100000).size(128 << 10),
                false,
                {},
                100000},
        NdsCase{"Untrimmed256KiBCartridge",
                NdsImageBuilder().byte(0x14, 1).usedSize(200000).size(256 << 10),
                false,
                {},
                200000},
        NdsCase{
            "Untrimmed512KiBWifiGame",
            NdsImageBuilder().byte(0x14, 2).usedSize(400000).wifiBlock(Block::Data).size(512 << 10),
            false,
            {kWifi},
            400136},
        NdsCase{"Untrimmed512KiBDsiImage",
                NdsImageBuilder()
                    .byte(0x14, 2)
                    .byte(0x12, 2)
                    .usedSize(400000)
                    .word(0x210, 450000)
                    .dataEnd(450000)
                    .size(512 << 10),
                false,
                {kDsi},
                450000},
        NdsCase{"SmallerThanItsCartridge",
                NdsImageBuilder().byte(0x14, 1).usedSize(100000).size(200000),
                false,
                {kHomebrew},
                100000},
        NdsCase{"LargerThanItsCartridge",
                NdsImageBuilder().usedSize(100000).size(256 << 10),
                false,
                {kHomebrew},
                100000},
        NdsCase{"CapacityBeyondAnyCartridge",
                Game().byte(0x14, 0xFF).size(6000000),
                false,
                {kHomebrew},
                kUsed}));

// The file: 4 MiB whose first 0x200 bytes are zero except the used size 1000,
// followed by data. Without the header check it would be cut to 1,136 bytes as a wifi game.
Bytes GarbageHeaderFile() {
    Bytes file(4_MiB);
    for (std::size_t i = 0x200; i < file.size(); ++i) {
        file[i] = static_cast<std::uint8_t>(1 + i % 253);
    }
    file[0x80] = 1000 & 0xFF;
    file[0x81] = 1000 >> 8;
    return file;
}

constexpr const char* kHeaderMismatch =
    "SKIP: Header checksum does not match (damaged or not an NDS image): ";

TEST(NdsHeaderCheck, AnImageWhoseHeaderChecksumIsWrongIsSkippedBeforeAnyRule) {
    struct Row {
        const char* behaviour;
        ImageRecipe image;
        bool skipDsi;
    };
    const Row rows[] = {
        {"the garbage-header file of the issue", GarbageHeaderFile(), false},
        {"an ordinary image with one wrong checksum byte", Game().wrongHeaderChecksum(), false},
        {"a DSi image, before the DSi skip", DsiGame(7000000).wrongHeaderChecksum(), true},
        {"an image already at its used size", Game().size(kUsed).wrongHeaderChecksum(), false},
        {"an image shorter than its used size", Game().size(kUsed - 1).wrongHeaderChecksum(),
         false},
        {"the smallest image with a header", NdsImageBuilder().size(512).wrongHeaderChecksum(),
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        const Bytes image = row.image.make();
        const CutVerdict verdict = DecideNdsCut(MemoryByteSource(image), row.skipDsi);
        ASSERT_EQ(verdict.messages.size(), 1u);
        EXPECT_EQ(verdict.messages[0].text, kHeaderMismatch);
        EXPECT_EQ(verdict.messages[0].kind, VerdictLine::Skip);
        EXPECT_FALSE(verdict.cutSize);
        EXPECT_TRUE(verdict.headerMismatch);
    }
}

TEST(NdsHeaderCheck, TurnedOffTheRulesJudgeTheImageAsBefore) {
    const Bytes garbage = GarbageHeaderFile();
    const CutVerdict verdict = DecideNdsCut(MemoryByteSource(garbage), false, HeaderCheck::Off);
    EXPECT_EQ(verdict.cutSize, 1136);
    EXPECT_FALSE(verdict.headerMismatch);

    const Bytes damaged = Game().wrongHeaderChecksum().build();
    EXPECT_EQ(DecideNdsCut(MemoryByteSource(damaged), false, HeaderCheck::Off).cutSize, kUsed);
}

TEST(NdsHeaderCheck, TheBrickerWarningAndTheSizeTestComeFirst) {
    Bytes bricker(151361, 0);
    EXPECT_EQ(DecideNdsCut(MemoryByteSource(bricker), false).messages.front().text,
              std::string("WARNING: POSSIBLE BRICKER: "));
    const Bytes tiny(400, 0);
    EXPECT_EQ(DecideNdsCut(MemoryByteSource(tiny), false).messages.front().text,
              std::string("ERROR: Incorrect File: "));
}

TEST(WifiBlock, OnlyAllFfOrAllZeroIsAbsent) {
    EXPECT_FALSE(IsWifiBlockPresent(Bytes(136, 0xFF)));
    EXPECT_FALSE(IsWifiBlockPresent(Bytes(136, 0x00)));
    Bytes mixed(136, 0xFF);
    mixed[0] = 0x00;
    EXPECT_TRUE(IsWifiBlockPresent(mixed));
}

}  // namespace
}  // namespace ostravex
