#include "trim/image_scan.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/rom_images.h"
#include "trim/gba_decision.h"
#include "trim/nds_decision.h"
#include "trim/padding_check.h"
#include "trim/restore_decision.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::GbaImageBuilder;
using testing::NdsImageBuilder;
using testing::operator""_MiB;

constexpr std::uint32_t kUsed = 5913600;

NdsImageBuilder Game() {
    return NdsImageBuilder().usedSize(kUsed).size(8_MiB);
}

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

Bytes Truncated(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

// What the run asks of one image.
struct Question {
    bool gba = false;
    bool restoring = false;
    bool onlyPatch = false;
    bool skipDsi = false;
    bool checkPadding = false;
};

// The decision as the run makes it, from the whole image or from a scan of it.
template <typename Image>
CutVerdict Decide(const Image& image, const Question& q) {
    CutVerdict verdict = q.restoring ? DecideRestore(image, q.gba)
                         : q.gba     ? DecideGbaCut(image, q.onlyPatch)
                                     : DecideNdsCut(image, q.skipDsi);
    if (!q.restoring && q.checkPadding) {
        CheckCutPadding(image, verdict);
    }
    return verdict;
}

std::string Describe(const CutVerdict& verdict) {
    std::string text;
    for (const VerdictMessage& message : verdict.messages) {
        text += std::to_string(static_cast<int>(message.kind)) + " " + message.text + "\n";
    }
    text += "cut " + (verdict.cutSize ? std::to_string(*verdict.cutSize) : std::string("none"));
    text += verdict.hasWifi ? " wifi" : "";
    text += verdict.headerMismatch ? " header mismatch" : "";
    return text;
}

struct ScanCase {
    const char* name;
    std::function<Bytes()> image;
    Question question;
};

// Every decision taken from a scan of the bytes as they come equals the one taken from the
// whole image, whatever the size of the pieces the bytes come in.
TEST(ImageScan, DecidesAsTheWholeImageDoes) {
    const ScanCase cases[] = {
        {"NDS cut at the used size", [] { return Game().build(); }, {}},
        {"NDS with a download-play block",
         [] { return Game().wifiBlock(NdsImageBuilder::Block::Data).build(); },
         {}},
        {"NDS trimmed before, its block kept",
         [] { return Game().wifiBlock(NdsImageBuilder::Block::Data).size(kUsed + 136).build(); },
         {}},
        {"NDS trimmed before, a blank block kept",
         [] { return Game().size(kUsed + 136).build(); },
         {}},
        {"NDS already trimmed", [] { return Game().size(kUsed).build(); }, {}},
        {"NDS cut through its block", [] { return Game().size(kUsed + 100).build(); }, {}},
        {"NDS overtrimmed", [] { return Game().size(kUsed - 1000).build(); }, {}},
        {"NDS homebrew size", [] { return Game().size(kUsed + 5000).build(); }, {}},
        {"NDS with alignment padding after its used size",
         [] { return Game().size(kUsed + 16).build(); },
         {}},
        {"NDS with alignment padding, padding check",
         [] { return Game().size(kUsed + 16).build(); },
         {.checkPadding = true}},
        {"NDS with a stray digest word",
         [] { return Game().word(0x1E8, 7000000).word(0x1EC, 1000).build(); },
         {}},
        {"NDS with zero filler", [] { return Game().filler(0x00).build(); }, {}},
        {"NDS whose header does not check out",
         [] { return Game().wrongHeaderChecksum().build(); },
         {}},
        {"NDS shorter than its header", [] { return Truncated(Game().build(), 0x100); }, {}},
        {"NDS of 600 bytes, used size 520",
         [] { return Truncated(NdsImageBuilder().usedSize(520).size(8_MiB).build(), 600); },
         {}},
        {"NDS of 700 bytes, used size 0x200 with a block",
         [] {
             return Truncated(NdsImageBuilder()
                                  .usedSize(0x200)
                                  .wifiBlock(NdsImageBuilder::Block::Data)
                                  .size(8_MiB)
                                  .build(),
                              700);
         },
         {}},
        {"NDS bricker size", [] { return Truncated(Game().usedSize(100000).build(), 151361); }, {}},
        {"DSi-enhanced", [] { return DsiGame(7000000).build(); }, {}},
        {"DSi-enhanced, DSi skipped", [] { return DsiGame(7000000).build(); }, {.skipDsi = true}},
        {"DSi homebrew size at 0x210",
         [] { return Game().byte(0x12, 2).word(0x210, 7000000).dataEnd(7000000).build(); },
         {}},
        {"padding check: filler after the cut",
         [] { return Game().build(); },
         {.checkPadding = true}},
        {"padding check: data after the used size",
         [] { return Game().dataEnd(kUsed + 5000).build(); },
         {.checkPadding = true}},
        {"padding check: data after a download-play block",
         [] {
             return Game().wifiBlock(NdsImageBuilder::Block::Data).dataEnd(kUsed + 9000).build();
         },
         {.checkPadding = true}},
        {"padding check: one byte of data at the end",
         [] { return Game().byte(8_MiB - 1, 0x12).build(); },
         {.checkPadding = true}},
        {"padding check: zero filler",
         [] { return Game().filler(0).build(); },
         {.checkPadding = true}},
        {"NDS restore",
         [] { return Game().byte(0x14, 6).size(kUsed).build(); },
         {.restoring = true}},
        {"NDS restore, capacity too large",
         [] { return Game().byte(0x14, 15).size(kUsed).build(); },
         {.restoring = true}},
        {"GBA with 0xFF filler", [] { return GbaImageBuilder().build(); }, {.gba = true}},
        {"GBA with zero filler", [] { return GbaImageBuilder().filler(0).build(); }, {.gba = true}},
        {"GBA data ending on a block edge",
         [] { return GbaImageBuilder().dataEnd(1u << 20).build(); },
         {.gba = true}},
        {"GBA of one data byte",
         [] { return GbaImageBuilder().dataEnd(1).build(); },
         {.gba = true}},
        {"GBA already trimmed",
         [] { return GbaImageBuilder().dataEnd(4_MiB).build(); },
         {.gba = true}},
        {"GBA ending in mixed filler",
         [] { return GbaImageBuilder().bytes(4_MiB - 2, {0x00}).build(); },
         {.gba = true}},
        {"GBA with a 0x00 run before its 0xFF filler",
         [] { return GbaImageBuilder().bytes(2000, Bytes(5000, 0x00)).build(); },
         {.gba = true}},
        {"GBA too small",
         [] { return GbaImageBuilder().size(300).dataEnd(10).build(); },
         {.gba = true}},
        {"GBA only patched (SRAM patch)",
         [] { return testing::WithFlashV123Routines(GbaImageBuilder()).build(); },
         {.gba = true, .onlyPatch = true}},
        {"GBA with SRAM routines, cut",
         [] { return testing::WithFlashV123Routines(GbaImageBuilder()).build(); },
         {.gba = true}},
        {"GBA with padding check",
         [] { return GbaImageBuilder().build(); },
         {.gba = true, .checkPadding = true}},
        {"GBA restore",
         [] { return GbaImageBuilder().dataEnd(3000000).size(3000000).build(); },
         {.gba = true, .restoring = true}},
    };
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes image = c.image();
        const MemoryByteSource whole(image);
        const std::string expected = Describe(Decide(whole, c.question));
        for (const std::size_t piece : {std::size_t{1} << 20, std::size_t{4096}, std::size_t{7}}) {
            if (piece < 4096 && image.size() > 1_MiB) {
                continue;  // byte-sized pieces only where the image is small
            }
            SCOPED_TRACE("pieces of " + std::to_string(piece));
            ImageScan scan;
            for (std::size_t at = 0; at < image.size(); at += piece) {
                scan.add(std::span<const std::uint8_t>(image).subspan(
                    at, std::min(piece, image.size() - at)));
            }
            EXPECT_EQ(scan.size(), image.size());
            EXPECT_EQ(Describe(Decide(scan, c.question)), expected);
        }
    }
}

// Bytes the scan did not keep are not made up.
TEST(ImageScan, ReadsOnlyWhatItKept) {
    const Bytes image = GbaImageBuilder().build();
    ImageScan scan;
    scan.add(image);
    std::array<std::uint8_t, 16> out{};
    std::size_t got = 0;
    EXPECT_TRUE(scan.readAt(0, out, got).ok());
    EXPECT_FALSE(scan.readAt(1_MiB, out, got).ok());
    EXPECT_TRUE(scan.readAt(image.size() - 3, std::span(out).first(3), got).ok());
    EXPECT_EQ(got, 3u);
}

}  // namespace
}  // namespace ostravex
