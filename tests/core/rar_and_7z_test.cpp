#include <gtest/gtest.h>

#include "archive/member_sink.h"
#include "archive/rar_archive.h"
#include "archive/seven_zip_archive.h"
#include "support/archive_builders.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::RarBuilder;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
using Outcome = ArchiveExtraction::Outcome;

Bytes Data(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 31);
    }
    return bytes;
}

class RarTest : public ::testing::Test {
  protected:
    void SetUp() override {
        archive = dir.file("a.rar");
        WriteFile(archive, RarBuilder()
                               .folder("a")
                               .add("a\\b.nds", Data(3000, 1))
                               .add("c.gba", Data(700, 2))
                               .add("d\\b.nds", Data(10, 3))
                               .build());
    }
    TempDir dir;
    std::string archive;
};

TEST_F(RarTest, ListsNamesInHeaderOrderWithOrWithoutPaths) {
    const RarNames stripped = RarListFiles(archive, true);
    EXPECT_EQ(stripped.names, (std::vector<std::string>{"a", "b.nds", "c.gba", "b.nds"}));
    EXPECT_FALSE(stripped.headerBroken);
    const RarNames full = RarListFiles(archive, false);
    EXPECT_EQ(full.names[1].size(), 7u);  // a\b.nds or a/b.nds, as the reader spells it
    EXPECT_EQ(MemberBaseName(full.names[1]), "b.nds");
}

TEST_F(RarTest, ExtractsTheFirstMemberOfThatBaseNameFlat) {
    const std::string out = dir.subfolder("out");
    FileMemberSink sink(out + "b.nds");
    const ArchiveExtraction extraction = RarExtractFile(archive, "b.nds", sink, nullptr);
    EXPECT_EQ(extraction.outcome, Outcome::Extracted) << extraction.reason;
    EXPECT_EQ(ReadFile(out + "b.nds"), Data(3000, 1));
    EXPECT_EQ(testing::ListFolder(out), std::vector<std::string>{"b.nds"});
}

TEST_F(RarTest, AMissingMemberOrAForeignFileExtractsNothing) {
    const std::string out = dir.subfolder("out");
    FileMemberSink sink(out + "zz.nds");
    EXPECT_EQ(RarExtractFile(archive, "zz.nds", sink, nullptr).outcome, Outcome::NotFound);
    EXPECT_EQ(RarExtractFile(archive, "B.NDS", sink, nullptr).outcome, Outcome::NotFound);
    WriteFile(dir.file("text.rar"), Bytes(3000, 'x'));
    EXPECT_EQ(RarExtractFile(dir.file("text.rar"), "b.nds", sink, nullptr).outcome,
              Outcome::NotOpened);
    EXPECT_TRUE(RarListFiles(dir.file("text.rar"), true).names.empty());
    EXPECT_TRUE(testing::ListFolder(out).empty());
}

TEST_F(RarTest, ADamagedHeaderEndsTheListingAfterTheMembersBefore) {
    WriteFile(
        archive,
        RarBuilder().add("x.nds", Data(100, 4)).add("y.nds", Data(100, 5)).damageHeader(1).build());
    const RarNames listing = RarListFiles(archive, true);
    EXPECT_EQ(listing.names, std::vector<std::string>{"x.nds"});
    EXPECT_TRUE(listing.headerBroken);
}

class SevenZipTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string src = dir.subfolder("src");
        dir.subfolder("src/roms");
        WriteFile(src + "roms/a.nds", Data(5000, 6));
        WriteFile(src + "b.gba", Data(900, 7));
        archive = dir.file("s.7z");
        if (!testing::MakeSevenZip(archive, src, {"roms", "b.gba"})) {
            GTEST_SKIP() << "7zz is not installed";
        }
    }
    TempDir dir;
    std::string archive;
};

TEST_F(SevenZipTest, ListsPathsAndFolders) {
    const std::vector<ArchiveItem> items = SevenZipList(archive);
    ASSERT_EQ(items.size(), 3u);
    std::vector<std::string> files;
    int folders = 0;
    for (const ArchiveItem& item : items) {
        if (item.isFolder) {
            ++folders;
            EXPECT_EQ(MemberBaseName(item.path), "roms");
        } else {
            files.push_back(item.path);
        }
    }
    EXPECT_EQ(folders, 1);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"b.gba", "roms/a.nds"}));
}

TEST_F(SevenZipTest, AMemberInAFolderIsFoundByItsBaseNameAndExtractedFlat) {
    const std::string out = dir.subfolder("out");
    FileMemberSink sink(out + "a.nds");
    std::uint64_t lastWritten = 0;
    const ArchiveExtraction extraction =
        SevenZipExtract(archive, "A.NDS", sink, [&](std::uint64_t written, std::uint64_t size) {
            EXPECT_EQ(size, 5000u);
            lastWritten = written;
        });
    EXPECT_EQ(extraction.outcome, Outcome::Extracted) << extraction.reason;
    EXPECT_EQ(lastWritten, 5000u);
    EXPECT_EQ(ReadFile(out + "a.nds"), Data(5000, 6));
    EXPECT_EQ(testing::ListFolder(out), std::vector<std::string>{"a.nds"});
}

TEST_F(SevenZipTest, AnExistingFileIsReplacedWhole) {
    const std::string out = dir.subfolder("out");
    WriteFile(out + "b.gba", Bytes(100000, 1));
    FileMemberSink sink(out + "b.gba");
    EXPECT_EQ(SevenZipExtract(archive, "b.gba", sink, nullptr).outcome, Outcome::Extracted);
    EXPECT_EQ(ReadFile(out + "b.gba"), Data(900, 7));
}

TEST(MemorySink, RefusesMembersPastItsLimit) {
    ByteBuffer buffer;
    MemoryMemberSink sink(buffer, 1000);
    EXPECT_FALSE(sink.begin(2000).ok());
    ASSERT_TRUE(sink.begin(0).ok());
    EXPECT_TRUE(sink.write(Bytes(600, 1)).ok());
    EXPECT_FALSE(sink.write(Bytes(600, 1)).ok());
}

}  // namespace
}  // namespace ostravex
