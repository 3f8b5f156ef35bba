// --check-padding: a cut goes ahead only when it removes nothing but one filler value.
#include "trim/padding_check.h"

#include "trim/nds_decision.h"

#include <gtest/gtest.h>

#include "support/list_entries.h"
#include "support/recording_host.h"
#include "support/rom_images.h"
#include "support/wired_trim_run.h"
#include "trim/trim_run.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::GbaImageBuilder;
using testing::NdsImageBuilder;
using testing::ReadFile;
using testing::RecordingHost;
using testing::TempDir;
using testing::WriteFile;
using testing::operator""_MiB;

constexpr std::uint32_t kUsed = 5913600;

Bytes WithByte(Bytes image, std::size_t offset, std::uint8_t value) {
    image.at(offset) = value;
    return image;
}

TEST(PaddingCheck, CutsOnlyWhenEveryRemovedByteIsOneFiller) {
    const Bytes nds = NdsImageBuilder().usedSize(kUsed).size(8_MiB).build();
    const Bytes wifi = NdsImageBuilder()
                           .usedSize(kUsed)
                           .wifiBlock(NdsImageBuilder::Block::Data)
                           .size(8_MiB)
                           .build();
    const Bytes zeroFilled = NdsImageBuilder()
                                 .usedSize(kUsed)
                                 .wifiBlock(NdsImageBuilder::Block::Zero)
                                 .filler(0x00)
                                 .size(8_MiB)
                                 .build();
    struct Row {
        const char* behaviour;
        const char* name;
        Bytes image;
        bool checkPadding;
        std::optional<std::uint64_t> cutTo;  // nothing: skipped, unchanged
    };
    const Row rows[] = {
        {"all 0xFF after the used size", "ff.nds", nds, true, kUsed},
        {"all 0x00 after the used size", "zero.nds", zeroFilled, true, kUsed},
        {"one data byte at the last position removed", "last.nds", WithByte(nds, 8_MiB - 1, 0x42),
         true, std::nullopt},
        {"one data byte right after a blank download-play block", "first.nds",
         WithByte(nds, kUsed + 136, 0x42), true, std::nullopt},
        {"0x00 at the end of 0xFF filler", "mixed.nds", WithByte(nds, 8_MiB - 1, 0x00), true,
         std::nullopt},
        {"a kept download-play block is not removed, the filler after it is", "wifi.nds", wifi,
         true, kUsed + 136},
        {"a data byte after a kept download-play block", "wifidata.nds",
         WithByte(wifi, kUsed + 136, 0x42), true, std::nullopt},
        {"GBA: its filler tail is removed", "game.gba",
         GbaImageBuilder().size(4_MiB).dataEnd(1000).build(), true, 1000},
        {"off by default: the data byte is cut away", "unchecked.nds",
         WithByte(nds, 8_MiB - 1, 0x42), false, kUsed},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        TempDir dir;
        const std::string path = dir.file(row.name);
        WriteFile(path, row.image);
        RecordingHost host;
        host.options.checkPadding = row.checkPadding;
        testing::WiredTrimRun run(host);
        run.run(testing::FileEntries({path}));

        if (row.cutTo) {
            EXPECT_EQ(ReadFile(path), Bytes(row.image.begin(), row.image.begin() + *row.cutTo));
            EXPECT_EQ(host.labels.at(CounterLabel::Skipped), "Files skipped:");
        } else {
            EXPECT_EQ(ReadFile(path), row.image);
            EXPECT_NE(
                std::find(host.log.begin(), host.log.end(),
                          std::string("SKIP: Data after the used size, not trimmed: ") + row.name),
                host.log.end());
            EXPECT_EQ(host.labels.at(CounterLabel::Skipped), "Files skipped: 1");
            EXPECT_EQ(host.labels.at(CounterLabel::Savings), "Total Savings:");
            EXPECT_EQ(host.labels.at(CounterLabel::Wifi), "Wifi games:");  // skipped only
        }
    }
}

TEST(PaddingCheck, ASkippedWifiGameCountsOnlyAsSkipped) {
    const Bytes wifi = NdsImageBuilder()
                           .usedSize(kUsed)
                           .wifiBlock(NdsImageBuilder::Block::Data)
                           .size(8_MiB)
                           .build();
    CutVerdict verdict = DecideNdsCut(MemoryByteSource(WithByte(wifi, 8_MiB - 1, 0x42)), false);
    ASSERT_TRUE(verdict.hasWifi);
    CheckCutPadding(MemoryByteSource(WithByte(wifi, 8_MiB - 1, 0x42)), verdict);
    ASSERT_EQ(verdict.messages.size(), 1u);
    EXPECT_EQ(verdict.messages[0].text, "SKIP: Data after the used size, not trimmed: ");
    EXPECT_FALSE(verdict.hasWifi);
    EXPECT_FALSE(verdict.cutSize);
}

TEST(PaddingCheck, FindsADifferentByteAtEveryPositionOfAnOddLength) {
    for (std::size_t length : {1u, 7u, 8u, 9u, 33u}) {
        const Bytes filler(length, 0xFF);
        EXPECT_TRUE(IsAllFiller(filler, 0xFF));
        EXPECT_FALSE(IsAllFiller(filler, 0x00));
        for (std::size_t i = 0; i < length; ++i) {
            EXPECT_FALSE(IsAllFiller(WithByte(filler, i, 0xFE), 0xFF)) << length << " " << i;
        }
    }
}

}  // namespace
}  // namespace ostravex
