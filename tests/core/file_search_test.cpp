#include "scan/file_search.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/rom_images.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::TempDir;
using testing::WriteFile;

TEST(FileSearch, LaterMasksTakeTheFolderOfTheOneBefore) {
    EXPECT_EQ(TFileSearch::SearchPaths("/r/*.nds;*.gba"),
              (std::vector<std::string>{"/r/*.nds", "/r/*.gba"}));
    EXPECT_EQ(TFileSearch::SearchPaths("/r/*.zip;*.rar;*.7z;"),
              (std::vector<std::string>{"/r/*.zip", "/r/*.rar", "/r/*.7z"}));
    EXPECT_EQ(TFileSearch::SearchPaths("/r/*.nds"), std::vector<std::string>{"/r/*.nds"});
    EXPECT_EQ(TFileSearch::SearchPaths("/a;b/c;d/*.nds;*.gba"),
              (std::vector<std::string>{"/a;b/c;d/*.nds", "/a;b/c;d/*.gba"}));
}

class FileSearchTest : public ::testing::Test {
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
        search.SearchFile = root + "*.nds;*.gba";
        search.OnFileFind = [this](const std::string& fullpath, const TSearchRec& info) {
            found.push_back(fullpath + info.Name);
        };
        search.OnFinish = [this] { ++finishes; };
    }

    TempDir dir;
    std::string root;
    TFileSearch search;
    std::vector<std::string> found;
    int finishes = 0;
};

TEST_F(FileSearchTest, FirstMaskOverTheWholeTreeThenTheNext) {
    search.Start();
    EXPECT_EQ(found, (std::vector<std::string>{root + ".hidden.nds", root + "b.nds", root + "C.NDS",
                                               root + "x.nds", root + "sub/d.nds",
                                               root + "sub/deeper/f.nds", root + "a.gba",
                                               root + "sub/e.GbA"}));
    EXPECT_EQ(search.FilesFound(), found);
    EXPECT_EQ(finishes, 1);
    EXPECT_FALSE(search.Searching());
}

TEST_F(FileSearchTest, OneWalkForAllMasks) {
    std::vector<std::string> entered;
    search.OnChangeFolder = [&](const std::string& folder, const TSearchRec&) {
        entered.push_back(folder);
    };
    search.Start();
    EXPECT_EQ(entered, (std::vector<std::string>{root, root + "sub/", root + "sub/deeper/",
                                                 root + "x.nds/"}));
}

TEST_F(FileSearchTest, ALaterSearchTakesWhatTheFirstWalkGathered) {
    SearchFindCache cache;
    cache.expect(root + "*.txt", true);
    search.setFindCache(&cache);
    search.Start();

    TFileSearch later;
    later.setFindCache(&cache);
    later.SearchFile = root + "*.txt;*.gba";
    int walked = 0;
    later.OnChangeFolder = [&](const std::string&, const TSearchRec&) { ++walked; };
    later.OnFileFind = [this](const std::string& fullpath, const TSearchRec& info) {
        found.push_back(fullpath + info.Name);
    };
    found.clear();
    later.Start();
    EXPECT_EQ(found,
              (std::vector<std::string>{root + "notes.txt", root + "a.gba", root + "sub/e.GbA"}));
    EXPECT_EQ(walked, 0);
}

TEST_F(FileSearchTest, AStoppedWalkLeavesNothingForLaterSearches) {
    SearchFindCache cache;
    cache.expect(root + "*.gba", true);
    search.SearchFile = root + "*.nds";
    search.setFindCache(&cache);
    search.OnFileFind = [this](const std::string&, const TSearchRec&) { search.setStop(true); };
    search.Start();

    TFileSearch later;
    later.setFindCache(&cache);
    later.SearchFile = root + "*.gba";
    later.OnFileFind = [this](const std::string& fullpath, const TSearchRec& info) {
        found.push_back(fullpath + info.Name);
    };
    later.Start();
    EXPECT_EQ(found, (std::vector<std::string>{root + "a.gba", root + "sub/e.GbA"}));
}

TEST_F(FileSearchTest, WithoutRecursionOnlyTheTopFolder) {
    search.RecurseSubFolders = false;
    search.Start();
    EXPECT_EQ(found, (std::vector<std::string>{root + ".hidden.nds", root + "b.nds", root + "C.NDS",
                                               root + "x.nds", root + "a.gba"}));
}

TEST_F(FileSearchTest, StopFromTheFirstFindEndsTheSearch) {
    search.OnFileFind = [this](const std::string& fullpath, const TSearchRec& info) {
        found.push_back(fullpath + info.Name);
        search.setStop(true);
    };
    search.Start();
    EXPECT_EQ(found.size(), 1u);
    EXPECT_EQ(finishes, 1);
    EXPECT_FALSE(search.Searching());
    EXPECT_TRUE(search.Stop());
}

TEST_F(FileSearchTest, AMissingTopFolderOnlyFinishes) {
    search.SearchFile = root + "gone/*.nds";
    search.Start();
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(finishes, 1);
}

TEST_F(FileSearchTest, NothingIsRecordedWithoutAHandler) {
    search.OnFileFind = nullptr;
    search.Start();
    EXPECT_TRUE(search.FilesFound().empty());
}

TEST_F(FileSearchTest, FindsCarryNameSizeAndFolderAttribute) {
    std::vector<TSearchRec> records;
    search.OnFileFind = [&](const std::string&, const TSearchRec& info) {
        records.push_back(info);
    };
    search.RecurseSubFolders = false;
    search.Start();
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[0].Attr & kHiddenAttribute, kHiddenAttribute);
    EXPECT_EQ(records[1].Name, "b.nds");
    EXPECT_EQ(records[1].Size, 10u);
    EXPECT_EQ(records[3].Attr & kFolderAttribute, kFolderAttribute);  // x.nds, a folder
}

}  // namespace
}  // namespace ostravex
