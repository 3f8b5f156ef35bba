#include "scan/rom_file_walk.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "scan/drop_handling.h"
#include "support/recording_host.h"
#include "support/rom_images.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::RecordingHost;
using testing::TempDir;
using testing::WriteFile;

class RomFileWalkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = dir.subfolder("root");
        for (const char* name : {"b.nds", "a.gba", "C.NDS", "notes.txt", "sub/d.nds", "sub/e.GbA",
                                 "sub/deeper/f.nds"}) {
            if (std::string(name).find('/') != std::string::npos) {
                dir.subfolder("root/sub/deeper");
            }
            WriteFile(root + name, Bytes(10, 0));
        }
        dir.subfolder("root/x.nds");
        ASSERT_EQ(symlink(root.c_str(), (root + "sub/loop").c_str()), 0);
    }

    TempDir dir;
    std::string root;
    RecordingHost host;
};

TEST_F(RomFileWalkTest, NdsFilesOfTheTreeThenGbaFiles) {
    std::vector<std::string> found;
    EXPECT_EQ(FindRomFiles(root, true, host, found), WalkEnd::Finished);
    EXPECT_EQ(found, (std::vector<std::string>{root + "b.nds", root + "C.NDS", root + "x.nds",
                                               root + "sub/d.nds", root + "sub/deeper/f.nds",
                                               root + "a.gba", root + "sub/e.GbA"}));
}

TEST_F(RomFileWalkTest, WithoutRecursionOnlyTheFolderItself) {
    std::vector<std::string> found;
    EXPECT_EQ(FindRomFiles(root.substr(0, root.size() - 1), false, host, found), WalkEnd::Finished);
    EXPECT_EQ(found, (std::vector<std::string>{root + "b.nds", root + "C.NDS", root + "x.nds",
                                               root + "a.gba"}));
}

TEST_F(RomFileWalkTest, StopEndsTheWalk) {
    host.onPump = [](RecordingHost& h) { h.halt = true; };
    std::vector<std::string> found;
    EXPECT_EQ(FindRomFiles(root, true, host, found), WalkEnd::Halted);
    EXPECT_TRUE(found.empty());
}

TEST_F(RomFileWalkTest, DropsAddFoldersAndFilesToTheList) {
    host.entries = {"/earlier.nds"};
    host.set(Option::RecursiveScan, false);

    EXPECT_TRUE(HandleDroppedPaths({root + "sub", root + "a.gba", root + "notes.txt"}, host));

    EXPECT_EQ(host.entries, (std::vector<std::string>{"/earlier.nds", root + "sub/d.nds",
                                                      root + "sub/e.GbA", root + "a.gba"}));
    EXPECT_EQ(host.log, (std::vector<std::string>{"Dragged files Scan Started.",
                                                  "Files dragged Scan Finished.", "4 roms found"}));
    EXPECT_EQ(host.labels[CounterLabel::Complete], "Files Trimmed: 0/4");
    EXPECT_EQ(host.busyChanges, (std::vector<bool>{true, false}));
}

}  // namespace
}  // namespace ostravex
