// The facts a run gives its front end for every finished entry.
#include "host/entry_facts.h"

#include <gtest/gtest.h>

#include "support/archive_builders.h"
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
using testing::RecordingHost;
using testing::TempDir;
using testing::WriteFile;
using testing::ZipBuilder;
using testing::operator""_MiB;

constexpr std::uint32_t kUsed = 5913600;

TEST(EntryReport, TellsHowEveryEntryEndedWithItsOwnLines) {
    TempDir dir;
    WriteFile(dir.file("plain.nds"), NdsImageBuilder().usedSize(kUsed).build());
    WriteFile(dir.file("wifi.nds"),
              NdsImageBuilder().usedSize(kUsed).wifiBlock(NdsImageBuilder::Block::Data).build());
    WriteFile(dir.file("done.nds"), NdsImageBuilder().usedSize(kUsed).size(kUsed).build());
    WriteFile(dir.file("dsi.nds"), NdsImageBuilder().usedSize(kUsed).headerFill(0xFF).build());
    WriteFile(
        dir.file("save.gba"),
        testing::WithFlashV123Routines(GbaImageBuilder().size(4_MiB).dataEnd(64 * 1024)).build());
    WriteFile(dir.file("a.zip"),
              ZipBuilder().add("sub/z.nds", NdsImageBuilder().usedSize(kUsed).build()).build());
    RecordingHost host;
    host.options.skipDsi = true;
    host.options.sramPatch = true;
    testing::WiredTrimRun run(host);
    const RomListEntry member = testing::ZipMember(dir.file("a.zip"), "sub/z.nds");
    std::vector<RomListEntry> entries =
        testing::FileEntries({dir.file("plain.nds"), dir.file("wifi.nds"), dir.file("done.nds"),
                              dir.file("dsi.nds"), dir.file("gone.nds"), dir.file("save.gba")});
    entries.push_back(member);
    run.run(entries);

    ASSERT_EQ(host.reports.size(), 7u);
    const auto& r = host.reports;
    EXPECT_EQ(r[0].listText, dir.file("plain.nds"));
    EXPECT_EQ(r[0].outcome(), EntryOutcome::Trimmed);
    EXPECT_EQ(r[0].sizeBefore, 8_MiB);
    EXPECT_EQ(r[0].sizeAfter, kUsed);
    EXPECT_EQ(r[0].bytesSaved(), 2475008);
    EXPECT_EQ(testing::LineTexts(r[0]), std::vector<std::string>{"plain.nds: 2475008"});
    EXPECT_FALSE(r[0].archive || r[0].member || r[0].sramPatch || r[0].gba);

    EXPECT_EQ(r[1].outcome(), EntryOutcome::Wifi);
    EXPECT_EQ(r[1].sizeAfter, kUsed + 136);
    EXPECT_EQ(testing::LineTexts(r[1]),
              (std::vector<std::string>{"INFO: Wifi game: wifi.nds", "wifi.nds: 2474872"}));

    EXPECT_EQ(r[2].outcome(), EntryOutcome::Skipped);
    EXPECT_FALSE(r[2].written);
    EXPECT_EQ(r[2].sizeBefore, kUsed);
    EXPECT_EQ(r[2].bytesSaved(), 0);

    EXPECT_EQ(r[3].outcome(), EntryOutcome::Dsi);
    EXPECT_EQ(testing::LineTexts(r[3]),
              std::vector<std::string>{"SKIP: DSi rom, skipping trimming: dsi.nds"});

    EXPECT_EQ(r[4].outcome(), EntryOutcome::Error);
    EXPECT_FALSE(r[4].sizeBefore || r[4].sizeAfter);
    EXPECT_EQ(testing::LineTexts(r[4]),
              std::vector<std::string>{"ERROR: File doesn't exist: gone.nds"});
    EXPECT_EQ(r[4].lines[0].kind, LineKind::Failure);

    EXPECT_TRUE(r[5].gba);
    EXPECT_EQ(r[5].outcome(), EntryOutcome::Trimmed);
    EXPECT_EQ(r[5].sramPatch, SramPatchOutcome::Patched);

    EXPECT_EQ(r[6].listText, "ZIP: " + dir.file("a.zip") + "| sub/z.nds");
    EXPECT_EQ(r[6].archive, dir.file("a.zip"));
    EXPECT_EQ(r[6].member, "sub/z.nds");
    EXPECT_EQ(r[6].outcome(), EntryOutcome::Trimmed);
}

TEST(EntryReport, ARestoreIsReportedWithTheBytesItAdded) {
    TempDir dir;
    WriteFile(dir.file("game.nds"),
              NdsImageBuilder().usedSize(kUsed).size(kUsed).byte(0x14, 6).build());
    RecordingHost host;
    host.options.restore = true;
    testing::WiredTrimRun run(host);
    run.run(testing::FileEntries({dir.file("game.nds")}));
    ASSERT_EQ(host.reports.size(), 1u);
    EXPECT_EQ(host.reports[0].outcome(), EntryOutcome::Restored);
    EXPECT_EQ(host.reports[0].sizeAfter, 8_MiB);
    EXPECT_EQ(host.reports[0].bytesSaved(), -2475008);
    EXPECT_EQ(run.counters().bytesAdded, 2475008);
    EXPECT_EQ(run.counters().bytesSaved, 0);
}

}  // namespace
}  // namespace ostravex
