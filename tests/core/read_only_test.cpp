// Roms in places the program may not write to: each entry gets its line, nothing changes.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Makes a folder unwritable: by its permissions, or for root (whom permissions do not
// stop) by mounting it read-only over itself.
class ReadOnlyFolder {
  public:
    explicit ReadOnlyFolder(const std::string& folder) : m_folder(folder) {
        if (geteuid() != 0) {
            m_ready = chmod(folder.c_str(), 0555) == 0;
            return;
        }
        m_mounted =
            mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
            mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
        m_ready = m_mounted;
    }
    ~ReadOnlyFolder() {
        if (m_mounted) {
            umount(m_folder.c_str());
        } else {
            chmod(m_folder.c_str(), 0755);
        }
    }
    bool ready() const { return m_ready; }

  private:
    std::string m_folder;
    bool m_ready = false;
    bool m_mounted = false;
};

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
        EXPECT_EQ(run.counters().ErrorCount, 1);
        ASSERT_GE(host.log.size(), 5u);
        EXPECT_TRUE(host.log[4].starts_with(row.line)) << host.log[4];
        EXPECT_EQ(ReadFile(roms + "x.nds"), original);
        EXPECT_EQ(testing::ListFolder(roms), std::vector<std::string>{"x.nds"});
    }
}

}  // namespace
}  // namespace ostravex
