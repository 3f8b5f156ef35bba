#include "scan/folder_search.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/rom_images.h"
#include "support/unprivileged_run.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::TempDir;
using testing::WriteFile;

TEST(FolderSearch, LaterMasksTakeTheFolderOfTheOneBefore) {
    EXPECT_EQ(FolderSearch::SearchPaths("/r/*.nds;*.gba"),
              (std::vector<std::string>{"/r/*.nds", "/r/*.gba"}));
    EXPECT_EQ(FolderSearch::SearchPaths("/r/*.zip;*.rar;*.7z;"),
              (std::vector<std::string>{"/r/*.zip", "/r/*.rar", "/r/*.7z"}));
    EXPECT_EQ(FolderSearch::SearchPaths("/r/*.nds"), std::vector<std::string>{"/r/*.nds"});
    EXPECT_EQ(FolderSearch::SearchPaths("/a;b/c;d/*.nds;*.gba"),
              (std::vector<std::string>{"/a;b/c;d/*.nds", "/a;b/c;d/*.gba"}));
}

class FolderSearchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = dir.subfolder("root");
        dir.subfolder("root/sub/deeper");
        dir.subfolder("root/x.nds");
        for (const char* name : {"b.nds", "a.gba", "C.NDS", ".hidden.nds", "notes.txt", "sub/d.nds",
                                 "sub/e.GbA", "sub/deeper/f.nds"}) {
            WriteFile(root + name, Bytes(10, 0));
        }
        ASSERT_EQ(symlink(root.c_str(), (root + "sub/loop").c_str()), 0);
        search.folderAndMasks = root + "*.nds;*.gba";
        search.onMatch = [this](const std::string& folder, const DirectoryEntry& entry) {
            found.push_back(folder + entry.name);
        };
        search.onFinished = [this] { ++finishes; };
    }

    TempDir dir;
    std::string root;
    FolderSearch search;
    std::vector<std::string> found;
    int finishes = 0;
};

// A folder that cannot be read (another user's, mode 700) is told, once, with its reason,
// and the rest of the tree is still searched: at the top of the search and inside it.
TEST_F(FolderSearchTest, AFolderThatCannotBeReadIsToldAndTheRestIsSearched) {
    const std::string locked = dir.subfolder("root/sub/locked");
    WriteFile(locked + "hidden.nds", Bytes(10, 0));
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    const auto searchedAs = [](const std::string& folderAndMasks) {
        FolderSearch search;
        search.folderAndMasks = folderAndMasks;
        std::string told;
        search.onMatch = [&](const std::string& folder, const DirectoryEntry& entry) {
            told += "found " + folder + entry.name + "\n";
        };
        search.onUnreadableFolder = [&](const std::string& folder, const Status& why) {
            told += "unreadable " + folder + " (" + why.reason() + ")\n";
        };
        search.run();
        return told;
    };
    const std::optional<std::string> tree =
        testing::RunWithoutPrivileges([&] { return searchedAs(root + "*.nds"); });
    if (!tree) {
        GTEST_SKIP() << "no user here whom folder permissions stop";
    }
    EXPECT_EQ(*tree, "found " + root + ".hidden.nds\nfound " + root + "b.nds\nfound " + root +
                         "C.NDS\nfound " + root + "x.nds\nfound " + root + "sub/d.nds\nfound " +
                         root + "sub/deeper/f.nds\nunreadable " + locked +
                         " (Permission denied)\n");
    EXPECT_EQ(testing::RunWithoutPrivileges([&] { return searchedAs(locked + "*.nds"); }),
              "unreadable " + locked + " (Permission denied)\n");
}

TEST_F(FolderSearchTest, FirstMaskOverTheWholeTreeThenTheNext) {
    search.run();
    EXPECT_EQ(found, (std::vector<std::string>{root + ".hidden.nds", root + "b.nds", root + "C.NDS",
                                               root + "x.nds", root + "sub/d.nds",
                                               root + "sub/deeper/f.nds", root + "a.gba",
                                               root + "sub/e.GbA"}));
    EXPECT_EQ(search.foundPaths(), found);
    EXPECT_EQ(finishes, 1);
    EXPECT_FALSE(search.running());
}

TEST_F(FolderSearchTest, OneWalkForAllMasks) {
    std::vector<std::string> entered;
    search.onFolderEntered = [&](const std::string& folder, const DirectoryEntry&) {
        entered.push_back(folder);
    };
    search.run();
    EXPECT_EQ(entered, (std::vector<std::string>{root, root + "sub/", root + "sub/deeper/",
                                                 root + "x.nds/"}));
}

TEST_F(FolderSearchTest, ALaterSearchTakesWhatTheFirstWalkGathered) {
    SearchFindCache cache;
    cache.expect(root + "*.txt", true);
    search.setFindCache(&cache);
    search.run();

    FolderSearch later;
    later.setFindCache(&cache);
    later.folderAndMasks = root + "*.txt;*.gba";
    int walked = 0;
    later.onFolderEntered = [&](const std::string&, const DirectoryEntry&) { ++walked; };
    later.onMatch = [this](const std::string& folder, const DirectoryEntry& entry) {
        found.push_back(folder + entry.name);
    };
    found.clear();
    later.run();
    EXPECT_EQ(found,
              (std::vector<std::string>{root + "notes.txt", root + "a.gba", root + "sub/e.GbA"}));
    EXPECT_EQ(walked, 0);
}

TEST_F(FolderSearchTest, AStoppedWalkLeavesNothingForLaterSearches) {
    SearchFindCache cache;
    cache.expect(root + "*.gba", true);
    search.folderAndMasks = root + "*.nds";
    search.setFindCache(&cache);
    search.onMatch = [this](const std::string&, const DirectoryEntry&) { search.stop(); };
    search.run();

    FolderSearch later;
    later.setFindCache(&cache);
    later.folderAndMasks = root + "*.gba";
    later.onMatch = [this](const std::string& folder, const DirectoryEntry& entry) {
        found.push_back(folder + entry.name);
    };
    later.run();
    EXPECT_EQ(found, (std::vector<std::string>{root + "a.gba", root + "sub/e.GbA"}));
}

TEST_F(FolderSearchTest, WithoutRecursionOnlyTheTopFolder) {
    search.recursive = false;
    search.run();
    EXPECT_EQ(found, (std::vector<std::string>{root + ".hidden.nds", root + "b.nds", root + "C.NDS",
                                               root + "x.nds", root + "a.gba"}));
}

TEST_F(FolderSearchTest, StopFromTheFirstFindEndsTheSearch) {
    search.onMatch = [this](const std::string& folder, const DirectoryEntry& entry) {
        found.push_back(folder + entry.name);
        search.stop();
    };
    search.run();
    EXPECT_EQ(found.size(), 1u);
    EXPECT_EQ(finishes, 1);
    EXPECT_FALSE(search.running());
    EXPECT_TRUE(search.stopped());
}

TEST_F(FolderSearchTest, AMissingTopFolderOnlyFinishes) {
    search.folderAndMasks = root + "gone/*.nds";
    search.run();
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(finishes, 1);
}

TEST_F(FolderSearchTest, NothingIsRecordedWithoutAHandler) {
    search.onMatch = nullptr;
    search.run();
    EXPECT_TRUE(search.foundPaths().empty());
}

TEST_F(FolderSearchTest, FindsCarryNameSizeAndKind) {
    std::vector<DirectoryEntry> records;
    search.onMatch = [&](const std::string&, const DirectoryEntry& entry) {
        records.push_back(entry);
    };
    search.recursive = false;
    search.run();
    ASSERT_EQ(records.size(), 5u);
    EXPECT_TRUE(records[0].isHidden);
    EXPECT_FALSE(records[0].isFolder);
    EXPECT_EQ(records[1].name, "b.nds");
    EXPECT_EQ(records[1].size, 10u);
    EXPECT_FALSE(records[1].isHidden);
    EXPECT_TRUE(records[3].isFolder);  // x.nds, a folder
}

}  // namespace
}  // namespace ostravex
