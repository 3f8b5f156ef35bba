// An NDS image whose header checksum is wrong is left alone by a whole run, in every mode.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace ostravex
