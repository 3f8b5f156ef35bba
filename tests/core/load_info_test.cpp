#include "trim/load_info.h"

#include <gtest/gtest.h>

#include "scan/rom_list_entry.h"

namespace ostravex {
namespace {

struct EntryCase {
    const char* name;
    std::string entry;
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

class LoadInfoFromEntryTest : public ::testing::TestWithParam<EntryCase> {};

TEST_P(LoadInfoFromEntryTest, FillsTheJob) {
    const EntryCase& c = GetParam();
    const LoadInfo job = LoadInfoFromEntry(c.entry, c.mode, "/out/");
    EXPECT_EQ(job.filename, c.filename);
    EXPECT_EQ(job.OutFolder, c.outFolder);
    EXPECT_EQ(job.RawName, c.entry);
    EXPECT_EQ(job.Compressed, c.compressed);
    EXPECT_EQ(job.CompressedFile, c.compressedFile);
    EXPECT_EQ(job.GBAFile, c.gba);
    EXPECT_FALSE(job.iszip || job.haswifi || job.NeedsContinue);
    EXPECT_EQ(job.RomSize, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, LoadInfoFromEntryTest,
    ::testing::Values(EntryCase{"PlainFile", "/roms/a/Game.nds", FileMode::Overwrite, "Game.nds",
                                "/roms/a/", false, "", false},
                      EntryCase{"PlainGbaInCapitals", "/roms/x.GBA", FileMode::Backup, "x.GBA",
                                "/roms/", false, "", true},
                      EntryCase{"PlainFileToOutputFolder", "/roms/a.gba", FileMode::Folder, "a.gba",
                                "/out/", false, "", true},
                      EntryCase{"RelativeFile", "game.nds", FileMode::Overwrite, "game.nds", "",
                                false, "", false},
                      EntryCase{"ZipMemberKeepsItsFolders", "ZIP: /z/a.zip| roms/eu/game.nds",
                                FileMode::Overwrite, "roms/eu/game.nds", "/z/", true, "/z/a.zip",
                                false},
                      EntryCase{"RarMember", "RAR: /r/b.rar| m.gba", FileMode::Backup, "m.gba",
                                "/r/", true, "/r/b.rar", true},
                      EntryCase{"SevenZipMemberToOutputFolder", "7ZIP: /s/c.7z| m.nds",
                                FileMode::Folder, "m.nds", "/out/", true, "/s/c.7z", false},
                      EntryCase{"BarInAPlainNameIsNoMember", "/roms/a| b.nds", FileMode::Overwrite,
                                "a| b.nds", "/roms/", false, "", false},
                      EntryCase{"ArchivePathWithABarEndsAtTheFirstBar", "ZIP: /z/a.zip| x|y.nds",
                                FileMode::Overwrite, "x|y.nds", "/z/", true, "/z/a.zip", false}));

TEST(RomListEntry, MakesWhatItParses) {
    const std::string entry = MakeArchiveMemberEntry(ArchiveKind::SevenZip, "/s/c.7z", "m.nds");
    EXPECT_EQ(entry, "7ZIP: /s/c.7z| m.nds");
    const auto member = ParseArchiveMemberEntry(entry);
    ASSERT_TRUE(member);
    EXPECT_EQ(member->kind, ArchiveKind::SevenZip);
    EXPECT_EQ(member->archivePath, "/s/c.7z");
    EXPECT_EQ(member->memberName, "m.nds");
}

TEST(RomListEntry, GroupFollowsTheRomName) {
    EXPECT_EQ(GroupOfEntry("/r/a.NdS"), RomGroup::Nds);
    EXPECT_EQ(GroupOfEntry("/r/a.GBA"), RomGroup::Gba);
    EXPECT_EQ(GroupOfEntry("ZIP: /z/x.nds.zip| roms/Game.NDS"), RomGroup::Nds);
    EXPECT_EQ(GroupOfEntry("RAR: /z/x.nds.rar| a.gba"), RomGroup::Gba);
}

}  // namespace
}  // namespace ostravex
