#include "trim/gba_decision.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "support/rom_images.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::GbaImageBuilder;
using testing::operator""_MiB;

constexpr const char* kTrimmed = "SKIP: File already trimmed: ";
constexpr const char* kNothingLeft = "SKIP: Error while trimming: ";

// An image built only when its case runs, so a test process builds just its own.
struct ImageRecipe {
    ImageRecipe(GbaImageBuilder builder) : make([builder] { return builder.build(); }) {}
    ImageRecipe(Bytes bytes) : make([bytes] { return bytes; }) {}
    std::function<Bytes()> make;
};

struct GbaCase {
    const char* name;
    ImageRecipe image;
    bool onlyPatch;
    std::vector<std::string> lines;
    std::optional<std::int64_t> cut;
};

void PrintTo(const GbaCase& c, std::ostream* os) {
    *os << c.name;
}

class GbaDecisionTest : public ::testing::TestWithParam<GbaCase> {};

TEST_P(GbaDecisionTest, ReportsAndCuts) {
    const GbaCase& c = GetParam();
    const Bytes image = c.image.make();
    const MemoryByteSource source(image);
    const CutVerdict verdict = DecideGbaCut(source, c.onlyPatch);
    std::vector<std::string> lines;
    for (const auto& message : verdict.messages) {
        lines.push_back(message.text);
    }
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(verdict.cutSize, c.cut);
}

constexpr std::uint64_t kBlock = 256 * 1024;  // the size the tail is read in

INSTANTIATE_TEST_SUITE_P(
    Rules, GbaDecisionTest,
    ::testing::Values(
        GbaCase{
            "FfFillerIsCut", GbaImageBuilder().size(16_MiB).dataEnd(10000000), false, {}, 10000000},
        GbaCase{"ZeroFillerIsCut",
                GbaImageBuilder().size(16_MiB).dataEnd(10000000).filler(0x00),
                false,
                {},
                10000000},
        GbaCase{"MixedTailIsAlreadyTrimmed",
                GbaImageBuilder().bytes(4_MiB - 3, {0xFF, 0xFF, 0x00}),
                false,
                {kTrimmed},
                std::nullopt},
        GbaCase{"OneFillerByteIsNotATail",
                GbaImageBuilder().size(4096).dataEnd(4095),
                false,
                {kTrimmed},
                std::nullopt},
        GbaCase{"OtherFillerAfterATrimIsCutFurther",
                GbaImageBuilder().size(4096).dataEnd(4096).bytes(4090, {0, 0, 0, 0, 0, 0}),
                false,
                {},
                4090},
        GbaCase{"AllFillerLeavesNothing", Bytes(4096, 0xFF), false, {kNothingLeft}, std::nullopt},
        GbaCase{"OnlyTheFirstByteIsData",
                GbaImageBuilder().size(4096).dataEnd(1),
                false,
                {kNothingLeft},
                std::nullopt},
        GbaCase{"TwoBytesOfDataAreKept", GbaImageBuilder().size(4096).dataEnd(2), false, {}, 2},
        GbaCase{"TooShort",
                GbaImageBuilder().size(511).dataEnd(10),
                false,
                {"ERROR: Incorrect File: "},
                std::nullopt},
        GbaCase{"SmallestImage", GbaImageBuilder().size(512).dataEnd(10), false, {}, 10},
        GbaCase{"OnlyPatchKeepsTheWholeImage", GbaImageBuilder(), true, {}, 4_MiB},
        GbaCase{"OnlyPatchSkipsTheTailTest", GbaImageBuilder().dataEnd(4_MiB), true, {}, 4_MiB},
        GbaCase{"DataEndingOnAReadBlockBoundary",
                GbaImageBuilder().dataEnd(4_MiB - kBlock),
                false,
                {},
                4_MiB - kBlock},
        GbaCase{"DataEndingJustPastABlockBoundary",
                GbaImageBuilder().dataEnd(4_MiB - kBlock + 1),
                false,
                {},
                4_MiB - kBlock + 1},
        GbaCase{"DataEndingJustBeforeABlockBoundary",
                GbaImageBuilder().dataEnd(4_MiB - 2 * kBlock - 1),
                false,
                {},
                4_MiB - 2 * kBlock - 1}));

// Counts the bytes the decision reads.
class CountingSource final : public ByteSource {
  public:
    explicit CountingSource(const Bytes& bytes) : m_inner(bytes) {}
    std::uint64_t size() const override { return m_inner.size(); }
    Status readAt(std::uint64_t offset, std::span<std::uint8_t> out,
                  std::size_t& got) const override {
        Status status = m_inner.readAt(offset, out, got);
        bytesRead += got;
        return status;
    }
    mutable std::uint64_t bytesRead = 0;

  private:
    MemoryByteSource m_inner;
};

TEST(GbaDecision, ReadsTheFillerTailAndAtMostOneMebibyteMore) {
    const Bytes image = GbaImageBuilder().size(32_MiB).dataEnd(1_MiB).build();
    const CountingSource source(image);
    EXPECT_EQ(DecideGbaCut(source, false).cutSize, 1_MiB);
    EXPECT_LE(source.bytesRead, (32_MiB - 1_MiB) + 1_MiB);
}

}  // namespace
}  // namespace ostravex
