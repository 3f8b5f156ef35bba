// NDS headers in a whole run: an image whose header checksum is wrong is left alone in every
// mode, and images as build tools and cartridges really make them are cut as they should be.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/recording_host.h"
#include "support/rom_images.h"
#include "support/wired_trim_run.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::ListFolder;
using testing::NdsImageBuilder;
using testing::ReadFile;
using testing::RecordingHost;
using testing::TempDir;
using testing::WriteFile;
using testing::operator""_MiB;

// 4 MiB whose first 0x200 bytes are zero except the used-size word (1000) at 0x80, then
// data: a renamed non-rom that a trim without the check cut to 1,136 bytes.
Bytes GarbageHeaderFile() {
    Bytes file(4_MiB);
    for (std::size_t i = 0x200; i < file.size(); ++i) {
        file[i] = static_cast<std::uint8_t>(1 + i % 253);
    }
    file[0x80] = 1000 & 0xFF;
    file[0x81] = 1000 >> 8;
    return file;
}

TEST(HeaderCheckInARun, NothingIsWrittenAndTheEntryCountsAsSkipped) {
    struct Row {
        const char* behaviour;
        FileMode mode;
        bool restore;
        bool dryRun;
    };
    const Row rows[] = {
        {"in place", FileMode::Overwrite, false, false},
        {"with a backup", FileMode::Backup, false, false},
        {"into a folder", FileMode::Folder, false, false},
        {"dry run", FileMode::Overwrite, false, true},
        {"restore", FileMode::Overwrite, true, false},
    };
    const Bytes images[] = {GarbageHeaderFile(),
                            NdsImageBuilder().usedSize(5913600).wrongHeaderChecksum().build()};
    for (const Row& row : rows) {
        for (const Bytes& image : images) {
            SCOPED_TRACE(row.behaviour);
            TempDir dir;
            const std::string out = dir.subfolder("out");
            WriteFile(dir.file("x.nds"), image);
            RecordingHost host;
            host.options.fileMode = row.mode;
            host.options.outputFolder = out;
            host.options.restore = row.restore;
            host.options.dryRun = row.dryRun;
            testing::WiredTrimRun run(host);
            EXPECT_EQ(run.run({RomListEntry::file(dir.file("x.nds"))}), RunEnd::Finished);

            EXPECT_EQ(ReadFile(dir.file("x.nds")), image);
            EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"out", "x.nds"}));
            EXPECT_TRUE(ListFolder(out).empty());
            ASSERT_GE(host.log.size(), 4u);
            EXPECT_EQ(host.log[3],
                      "SKIP: Header checksum does not match (damaged or not an NDS image): x.nds");
            EXPECT_EQ(host.labels.at(CounterLabel::Skipped), "Files skipped: 1");
            EXPECT_EQ(host.labels.at(CounterLabel::Errors), "Errors:");
            EXPECT_EQ(host.labels.at(CounterLabel::Wifi), "Wifi games:");
        }
    }
}

// Images as ndstool and the cartridges make them, in one run with "Skip DSi roms" and the
// padding check on: each is cut where its data ends, or left alone when it is DSi.
TEST(HeaderCheckInARun, ImagesAsBuildToolsMakeThemAreCutWhereTheirDataEnds) {
    constexpr std::uint32_t kUsed = 5913600;
    struct Row {
        const char* name;
        Bytes image;
        std::size_t sizeAfter;
    };
    const Row rows[] = {
        {"pad.nds", NdsImageBuilder().usedSize(kUsed).size(kUsed + 16).build(), kUsed},
        {"stray.nds",
         NdsImageBuilder().usedSize(kUsed).word(0x1E8, 9000000).word(0x1EC, 1000).build(), kUsed},
        {"dsi.nds", NdsImageBuilder().usedSize(kUsed).byte(0x12, 2).word(0x210, 0x40).build(),
         8_MiB},
        {"cart.nds", NdsImageBuilder().usedSize(100000).size(128 << 10).build(), 100000},
    };
    TempDir dir;
    std::vector<RomListEntry> entries;
    for (const Row& row : rows) {
        WriteFile(dir.file(row.name), row.image);
        entries.push_back(RomListEntry::file(dir.file(row.name)));
    }
    RecordingHost host;
    host.options.fileMode = FileMode::Overwrite;
    host.options.skipDsi = true;
    host.options.checkPadding = true;
    testing::WiredTrimRun run(host);
    EXPECT_EQ(run.run(entries), RunEnd::Finished);

    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Bytes after = ReadFile(dir.file(row.name));
        EXPECT_EQ(after.size(), row.sizeAfter);
        EXPECT_TRUE(std::equal(after.begin(), after.end(), row.image.begin()));
    }
    ASSERT_GE(host.log.size(), 8u);
    const std::vector<std::string> body(host.log.begin() + 3, host.log.begin() + 8);
    EXPECT_EQ(body, (std::vector<std::string>{
                        "WARNING: File was previously trimmed incorrectly (or rom is homebrew). "
                        "Proceeding to fix: pad.nds",
                        "pad.nds: 16", "stray.nds: 2475008",
                        "SKIP: DSi rom, skipping trimming: dsi.nds", "cart.nds: 31072"}));
    EXPECT_EQ(host.labels.at(CounterLabel::Errors), "Errors:");
    EXPECT_EQ(host.labels.at(CounterLabel::Skipped), "Files skipped: 1");
}

}  // namespace
}  // namespace ostravex
