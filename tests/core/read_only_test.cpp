// Roms in places the program may not write to: each entry gets its line, nothing changes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/list_entries.h"
#include "support/read_only_folder.h"
#include "support/recording_host.h"
#include "support/rom_images.h"
#include "support/wired_trim_run.h"
#include "trim/trim_run.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::NdsImageBuilder;
using testing::ReadFile;
using testing::ReadOnlyFolder;
using testing::RecordingHost;
using testing::TempDir;
using testing::WriteFile;

TEST(ReadOnly, EveryFileOptionReportsAndChangesNothing) {
    TempDir dir;
    const std::string roms = dir.subfolder("roms");
    const Bytes original = NdsImageBuilder().usedSize(600000).size(1048576).build();
    WriteFile(roms + "x.nds", original);
    chmod((roms + "x.nds").c_str(), 0444);
    ReadOnlyFolder readOnly(roms);
    if (!readOnly.ready()) {
        GTEST_SKIP() << "cannot make a read-only folder here";
    }
    struct Row {
        FileMode mode;
        std::string line;
    };
    for (const Row& row : {Row{FileMode::Overwrite, "ERROR: Cannot open file ("},
                           Row{FileMode::Backup, "Error: File is Read-Only: x.nds"},
                           Row{FileMode::Folder, "ERROR: Cannot create file ("}}) {
        SCOPED_TRACE(::testing::PrintToString(row.mode));
        RecordingHost host;
        host.options.fileMode = row.mode;
        host.options.outputFolder = roms;
        testing::WiredTrimRun run(host);
        run.run(testing::FileEntries({roms + "x.nds"}));
        EXPECT_EQ(run.counters().errors, 1);
        ASSERT_GE(host.log.size(), 5u);
        EXPECT_TRUE(host.log[4].starts_with(row.line)) << host.log[4];
        EXPECT_EQ(ReadFile(roms + "x.nds"), original);
        EXPECT_EQ(testing::ListFolder(roms), std::vector<std::string>{"x.nds"});
    }
}

}  // namespace
}  // namespace ostravex
