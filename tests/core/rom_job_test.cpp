#include "trim/rom_job.h"

#include <gtest/gtest.h>

#include "support/list_entries.h"

namespace ostravex {
namespace {

using testing::RarMember;
using testing::SevenZipMember;
using testing::ZipMember;

struct EntryCase {
    const char* name;
    RomListEntry entry;
    FileMode mode;
    std::string filename;
    std::string outFolder;
    bool compressed;
    std::string compressedFile;
    bool gba;
};

void PrintTo(const EntryCase& c, std::ostream* os) {
    *os << c.name;
}

class RomJobFromEntryTest : public ::testing::TestWithParam<EntryCase> {};

TEST_P(RomJobFromEntryTest, FillsTheJob) {
    const EntryCase& c = GetParam();
    const RomJob job = RomJobFromEntry(c.entry, c.mode, "/out/");
    EXPECT_EQ(job.name, c.filename);
    EXPECT_EQ(job.outputFolder, c.outFolder);
    EXPECT_EQ(job.filePath, c.compressed ? "" : c.entry.path);
    EXPECT_EQ(job.member, c.compressed);
    EXPECT_EQ(job.archivePath, c.compressedFile);
    EXPECT_EQ(job.gba, c.gba);
    EXPECT_FALSE(job.finished);
    EXPECT_EQ(job.resultSize, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, RomJobFromEntryTest,
    ::testing::Values(EntryCase{"PlainFile", RomListEntry::file("/roms/a/Game.nds"),
                                FileMode::Overwrite, "Game.nds", "/roms/a/", false, "", false},
                      EntryCase{"PlainGbaInCapitals", RomListEntry::file("/roms/x.GBA"),
                                FileMode::Backup, "x.GBA", "/roms/", false, "", true},
                      EntryCase{"PlainFileToOutputFolder", RomListEntry::file("/roms/a.gba"),
                                FileMode::Folder, "a.gba", "/out/", false, "", true},
                      EntryCase{"RelativeFile", RomListEntry::file("game.nds"), FileMode::Overwrite,
                                "game.nds", "", false, "", false},
                      EntryCase{"ZipMemberKeepsItsFolders",
                                ZipMember("/z/a.zip", "roms/eu/game.nds"), FileMode::Overwrite,
                                "roms/eu/game.nds", "/z/", true, "/z/a.zip", false},
                      EntryCase{"RarMember", RarMember("/r/b.rar", "m.gba"), FileMode::Backup,
                                "m.gba", "/r/", true, "/r/b.rar", true},
                      EntryCase{"SevenZipMemberToOutputFolder", SevenZipMember("/s/c.7z", "m.nds"),
                                FileMode::Folder, "m.nds", "/out/", true, "/s/c.7z", false},
                      EntryCase{"FileNamedLikeAMember", RomListEntry::file("ZIP: q| x.nds"),
                                FileMode::Overwrite, "ZIP: q| x.nds", "", false, "", false},
                      EntryCase{"ArchiveInAFolderWithABar", ZipMember("/a|b/c.zip", "x.nds"),
                                FileMode::Overwrite, "x.nds", "/a|b/", true, "/a|b/c.zip", false},
                      EntryCase{"ArchiveAndMemberWithBars", SevenZipMember("/s|t.7z", "x| y.gba"),
                                FileMode::Backup, "x| y.gba", "/", true, "/s|t.7z", true}));

TEST(RomListEntry, TextShowsKindArchiveAndMember) {
    EXPECT_EQ(RomListEntry::file("/r/a| b.nds").text(), "/r/a| b.nds");
    EXPECT_EQ(ZipMember("/z/a.zip", "roms/x.nds").text(), "ZIP: /z/a.zip| roms/x.nds");
    EXPECT_EQ(RarMember("/r/b.rar", "m.gba").text(), "RAR: /r/b.rar| m.gba");
    EXPECT_EQ(SevenZipMember("/s/c.7z", "m.nds").text(), "7ZIP: /s/c.7z| m.nds");
}

TEST(RomListEntry, GroupFollowsTheRomName) {
    EXPECT_EQ(GroupOfEntry(RomListEntry::file("/r/a.NdS")), RomGroup::Nds);
    EXPECT_EQ(GroupOfEntry(RomListEntry::file("/r/a.GBA")), RomGroup::Gba);
    EXPECT_EQ(GroupOfEntry(ZipMember("/z/x.gba.zip", "roms/Game.NDS")), RomGroup::Nds);
    EXPECT_EQ(GroupOfEntry(RarMember("/z/x.nds.rar", "a.gba")), RomGroup::Gba);
    EXPECT_EQ(GroupOfEntry(RomListEntry::file("/r/ZIP: a.zip| x.gba")), RomGroup::Gba);
}

}  // namespace
}  // namespace ostravex
