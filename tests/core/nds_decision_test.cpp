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

// A DSi-enhanced image whose TWL digest region ends at `end`.
NdsImageBuilder DsiGame(std::uint32_t end) {
    return NdsImageBuilder()
        .usedSize(kUsed)
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
        NdsCase{
            "PartOfABlockIsAWrongTrim", Game().size(kUsed + 50), false, {kWrongTrim}, std::nullopt},
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
        NdsCase{"SmallestImageIsJudged",
                NdsImageBuilder().size(512).usedSize(300).wifiBlock(Block::Zero),
                false,
                {kHomebrew},
                300},
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
        NdsCase{"TotalSizeNotLargerIsPlainNds",
                Game().byte(0x12, 2).word(0x210, kUsed),
                false,
                {},
                kUsed}));

TEST(WifiBlock, OnlyAllFfOrAllZeroIsAbsent) {
    EXPECT_FALSE(IsWifiBlockPresent(Bytes(136, 0xFF)));
    EXPECT_FALSE(IsWifiBlockPresent(Bytes(136, 0x00)));
    Bytes mixed(136, 0xFF);
    mixed[0] = 0x00;
    EXPECT_TRUE(IsWifiBlockPresent(mixed));
}

}  // namespace
}  // namespace ostravex
