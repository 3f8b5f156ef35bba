// Writes that fail half-way (a full disk) must not lose or damage anything.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <csignal>

#include "support/list_entries.h"
#include "support/recording_host.h"
#include "support/rom_images.h"
#include "support/wired_trim_run.h"
#include "trim/trim_run.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::NdsImageBuilder;
using testing::ReadFile;
using testing::RecordingHost;
using testing::TempDir;
using testing::WriteFile;
using testing::operator""_MiB;

// While it lives, no file of this process can grow beyond `bytes`: writes past it fail
// with EFBIG, as writes to a full disk fail with ENOSPC.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }

  private:
    rlimit m_saved{};
};

struct FailureCase {
    const char* name;
    FileMode mode;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class WriteFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(WriteFailureTest, AFailedWriteLeavesEveryFileAsItWas) {
    const FailureCase& c = GetParam();
    TempDir dir;
    const std::string roms = dir.subfolder("roms");
    const std::string out = dir.subfolder("out");
    const Bytes original = NdsImageBuilder().usedSize(3_MiB).size(4_MiB).build();
    const Bytes earlierOutput(100, 9);
    WriteFile(roms + "x.nds", original);
    WriteFile(out + "x.nds", earlierOutput);
    WriteFile(roms + "small.nds", NdsImageBuilder().usedSize(600000).size(1_MiB).build());
    RecordingHost host;
    host.options.fileMode = c.mode;
    host.options.outputFolder = out;
    testing::WiredTrimRun run(host);
    {
        FileSizeLimit limit(2_MiB);
        run.run(testing::FileEntries({roms + "x.nds", roms + "small.nds"}));
    }

    EXPECT_EQ(run.counters().errors, 1);
    EXPECT_EQ(host.log[4], "ERROR: Cannot write file (File too large): x.nds");
    EXPECT_EQ(ReadFile(roms + "x.nds"), original);
    EXPECT_EQ(ReadFile(out + "x.nds"), earlierOutput);
    // No partial file and no temporary file is left; the next entry was written.
    const auto expectedRoms = c.mode == FileMode::Backup
                                  ? std::vector<std::string>{"small.nds", "small.nds.bak", "x.nds"}
                                  : std::vector<std::string>{"small.nds", "x.nds"};
    EXPECT_EQ(testing::ListFolder(roms), expectedRoms);
    const auto expectedOut = c.mode == FileMode::Folder
                                 ? std::vector<std::string>{"small.nds", "x.nds"}
                                 : std::vector<std::string>{"x.nds"};
    EXPECT_EQ(testing::ListFolder(out), expectedOut);
}

INSTANTIATE_TEST_SUITE_P(Modes, WriteFailureTest,
                         ::testing::Values(FailureCase{"Backup", FileMode::Backup},
                                           FailureCase{"Folder", FileMode::Folder}));

TEST(SramPatchFailure, APatchThatCannotBeWrittenLeavesNoHalfPatchedImage) {
    const Bytes v111{0x0E, 0x48, 0x39, 0x68, 0x01, 0x60, 0x0E, 0x48};
    const Bytes gba = testing::GbaImageBuilder().size(8192).dataEnd(1000).bytes(501, v111).build();
    for (const FileMode mode : {FileMode::Overwrite, FileMode::Backup}) {
        SCOPED_TRACE(::testing::PrintToString(mode));
        TempDir dir;
        WriteFile(dir.file("g.gba"), gba);
        RecordingHost host;
        host.options.fileMode = mode;
        host.options.sramPatch = true;
        testing::WiredTrimRun run(host);
        {
            // Room for the trimmed image, not for the routine appended to it.
            FileSizeLimit limit(1100);
            run.run(testing::FileEntries({dir.file("g.gba")}));
        }
        EXPECT_EQ(host.log[4], "ERROR: SRAM patch failed (File too large): g.gba");
        EXPECT_EQ(run.counters().errors, 1);
        // In place too, the cut and the patch are one change: neither is made.
        EXPECT_EQ(ReadFile(dir.file("g.gba")), gba);
        EXPECT_EQ(testing::ListFolder(dir.path()), std::vector<std::string>{"g.gba"});
    }
}

TEST(RestoreFailure, ARestoreThatCannotBeWrittenLeavesTheImageAsItWas) {
    // 3 MiB used of a 4 MiB cartridge (128 KiB << 5), trimmed.
    const Bytes trimmed = NdsImageBuilder().usedSize(3_MiB).size(3_MiB).byte(0x14, 5).build();
    for (const FileMode mode : {FileMode::Overwrite, FileMode::Backup}) {
        SCOPED_TRACE(mode == FileMode::Overwrite ? "in place" : "backup");
        TempDir dir;
        WriteFile(dir.file("x.nds"), trimmed);
        RecordingHost host;
        host.options.fileMode = mode;
        host.options.restore = true;
        testing::WiredTrimRun run(host);
        {
            FileSizeLimit limit(3_MiB + 512 * 1024);
            run.run(testing::FileEntries({dir.file("x.nds")}));
        }
        EXPECT_EQ(run.counters().errors, 1);
        EXPECT_EQ(host.log[3], "ERROR: Cannot write file (File too large): x.nds");
        EXPECT_EQ(host.log[4], "Processing Finished.") << "no RESTORED line";
        EXPECT_EQ(ReadFile(dir.file("x.nds")), trimmed);
        EXPECT_EQ(testing::ListFolder(dir.path()), std::vector<std::string>{"x.nds"});
    }
}

// The same on a real full disk, where the machine lets the test mount a small tmpfs.
TEST(FullDisk, BackupOnASmallTmpfsKeepsTheOriginal) {
    TempDir dir;
    const std::string disk = dir.subfolder("disk");
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=6m") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    const Bytes original = NdsImageBuilder().usedSize(3_MiB).size(4_MiB).build();
    WriteFile(disk + "x.nds", original);
    RecordingHost host;
    host.options.fileMode = FileMode::Backup;
    testing::WiredTrimRun run(host);
    run.run(testing::FileEntries({disk + "x.nds"}));
    const Bytes after = ReadFile(disk + "x.nds");
    const auto names = testing::ListFolder(disk);
    umount(disk.c_str());

    EXPECT_EQ(run.counters().errors, 1);
    EXPECT_EQ(host.log[4], "ERROR: Cannot write file (No space left on device): x.nds");
    EXPECT_EQ(after, original);
    EXPECT_EQ(names, std::vector<std::string>{"x.nds"});
}

}  // namespace
}  // namespace ostravex
