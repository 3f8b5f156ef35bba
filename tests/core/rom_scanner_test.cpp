#include "scan/rom_scanner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/archive_builders.h"
#include "support/c_locale_scope.h"
#include "support/recording_host.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::RarBuilder;
using testing::RecordingHost;
using testing::TempDir;
using testing::WriteFile;
using testing::ZipBuilder;

const std::vector<std::string> kScanFinished{"File Scan Finished."};

class RomScannerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = dir.subfolder("roms");
        dir.subfolder("roms/sub");
        WriteFile(root + "b.nds", Bytes(10, 1));
        WriteFile(root + "a.gba", Bytes(10, 2));
        WriteFile(root + "c.zip", ZipBuilder()
                                      .add("x.nds", Bytes(10, 3))
                                      .add("roms/Game.NDS", Bytes(10, 3))
                                      .add(".nds", Bytes(10, 3))
                                      .add("readme.txt", Bytes(10, 3))
                                      .build());
        WriteFile(root + "sub/f.zip", ZipBuilder().add("y.gba", Bytes(10, 4)).build());
        WriteFile(root + "d.rar", RarBuilder()
                                      .add("folder\\m.nds", Bytes(10, 5))
                                      .add(".nds", Bytes(10, 5))
                                      .add("n.gba", Bytes(10, 5))
                                      .build());
    }

    std::vector<std::string> expectedEntries() const {
        return {root + "b.nds",
                root + "a.gba",
                "ZIP: " + root + "c.zip| x.nds",
                "ZIP: " + root + "c.zip| roms/Game.NDS",
                "ZIP: " + root + "sub/f.zip| y.gba",
                "RAR: " + root + "d.rar| folder/m.nds",
                "RAR: " + root + "d.rar| .nds",
                "RAR: " + root + "d.rar| n.gba"};
    }

    TempDir dir;
    std::string root;
    RecordingHost host;
    RomScanner scanner{host.frontEnd()};
};

TEST_F(RomScannerTest, RomsOfTheTreeThenZipThenRarThenSevenZipMembers) {
    const std::string src = dir.subfolder("src");
    dir.subfolder("src/inner");
    WriteFile(src + "inner/s.nds", Bytes(10, 6));
    WriteFile(src + "t.gba", Bytes(10, 6));
    const bool sevenZip = testing::MakeSevenZip(root + "e.7z", src, {"inner", "t.gba"});
    host.entries = {RomListEntry::file("/earlier.nds")};

    scanner.scanFolderTree(root.substr(0, root.size() - 1));

    std::vector<std::string> expected = expectedEntries();
    if (sevenZip) {
        // 7z items come in the archive's order; both are listed under their paths.
        const std::vector<std::string> texts = host.entryTexts();
        EXPECT_EQ(texts.size(), expected.size() + 2);
        const std::vector<std::string> last(texts.end() - 2, texts.end());
        EXPECT_NE(std::find(last.begin(), last.end(), "7ZIP: " + root + "e.7z| inner/s.nds"),
                  last.end());
        EXPECT_NE(std::find(last.begin(), last.end(), "7ZIP: " + root + "e.7z| t.gba"), last.end());
        host.entries.resize(expected.size());
    }
    EXPECT_EQ(host.entryTexts(), expected);
    const std::string count = std::to_string(expected.size() + (sevenZip ? 2 : 0));
    EXPECT_EQ(host.log, (std::vector<std::string>{"File Scan Started.", "File Scan Finished.",
                                                  count + " roms found"}));
    EXPECT_EQ(host.labels[CounterLabel::Complete], "Files Trimmed: 0/" + count);
    EXPECT_EQ(host.busyChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(scanner.scanFolder(), root);
}

TEST_F(RomScannerTest, WithoutArchiveScanningOnlyTheFolderPass) {
    host.options.scanArchives = false;
    scanner.scanFolderTree(root);
    EXPECT_EQ(host.entryTexts(), (std::vector<std::string>{root + "b.nds", root + "a.gba"}));
}

TEST_F(RomScannerTest, StopDuringTheFolderPassOpensNoArchive) {
    host.onPump = [](RecordingHost& h) {
        if (!h.entries.empty() && !h.halted()) {
            h.pressStop();
        }
    };
    scanner.scanFolderTree(root);
    EXPECT_EQ(host.entryTexts(), std::vector<std::string>{root + "b.nds"});
    EXPECT_EQ(host.log, (std::vector<std::string>{
                            "File Scan Started.", "Halt Requested. Stopping Operations...",
                            "Operations Halted", "File Scan Finished.", "1 roms found"}));
    EXPECT_FALSE(host.halted());
    EXPECT_EQ(host.busyChanges.back(), false);
}

TEST_F(RomScannerTest, StopDuringTheArchivePassFinishesTheArchiveBeingListed) {
    host.onPump = [](RecordingHost& h) {
        if (h.entries.size() > 2 && !h.halted()) {
            h.pressStop();
        }
    };
    scanner.scanFolderTree(root);
    std::vector<std::string> expected = expectedEntries();
    expected.resize(4);  // both rom members of c.zip, then nothing more
    EXPECT_EQ(host.entryTexts(), expected);
    EXPECT_EQ(host.log.back(), "4 roms found");
}

TEST_F(RomScannerTest, AnEmptyFolderFindsNothing) {
    scanner.scanFolderTree(dir.subfolder("empty"));
    EXPECT_EQ(host.log.back(), "0 roms found");
    EXPECT_EQ(host.labels[CounterLabel::Complete], "Files Trimmed: 0/0");
}

TEST_F(RomScannerTest, AnArchiveThatIsGoneIsALogLineAndTheScanGoesOn) {
    ASSERT_EQ(symlink((root + "nowhere.zip").c_str(), (root + "a-gone.zip").c_str()), 0);
    scanner.scanFolderTree(root);
    EXPECT_EQ(host.entryTexts(), expectedEntries());
    EXPECT_EQ(host.log[1], "ERROR: Cannot open archive (the file has gone): a-gone.zip");
}

TEST_F(RomScannerTest, ADamagedRarHeaderIsAnErrorAndANoticeAfterItsMembers) {
    WriteFile(
        root + "d.rar",
        RarBuilder().add("m.nds", Bytes(10, 5)).add("n.gba", Bytes(10, 5)).damageHeader(1).build());
    scanner.scanFolderTree(root);
    EXPECT_EQ(host.entries.back(),
              RomListEntry::inArchive(ArchiveKind::Rar, root + "d.rar", "m.nds"));
    EXPECT_EQ(host.failureLines,
              std::vector<std::string>{"ERROR: Damaged archive, listed as far as it could be read: "
                                       "d.rar"});
    EXPECT_EQ(scanner.errorCount(), 1);
    EXPECT_EQ(host.notices, std::vector<std::string>{"File header broken"});
}

// An archive that cannot be read may hold roms: "0 roms found" alone would read as success.
TEST(UnreadableArchives, EachIsOneErrorLineNamingItInAScanAndPassedDirectly) {
    TempDir source;
    const Bytes rom(300000, 7);
    WriteFile(source.file("game one.nds"), rom);
    TempDir made;
    const bool sevenZip =
        testing::MakeSevenZip(made.file("whole.7z"), source.path(), {"game one.nds"});
    const Bytes whole7z = sevenZip ? testing::ReadFile(made.file("whole.7z")) : Bytes();
    const Bytes wholeZip = ZipBuilder().add("game one.nds", rom).build();
    Bytes junk(5000);
    for (std::size_t i = 0; i < junk.size(); ++i) {
        junk[i] = static_cast<std::uint8_t>(i * 131 + 17);
    }
    struct Row {
        const char* name;
        Bytes bytes;
        std::vector<std::string> lines;  // what the scan logs about it
        std::vector<std::string> members;
    };
    std::vector<Row> rows = {
        {"empty.zip",
         {},
         {"ERROR: Cannot open archive (not a readable zip archive): empty.zip"},
         {}},
        {"junk.zip",
         junk,
         {"ERROR: Cannot open archive (not a readable zip archive): junk.zip"},
         {}},
        {"cut.zip",
         Bytes(wholeZip.begin(), wholeZip.end() - 40),
         {"ERROR: Damaged archive, listed as far as it could be read: cut.zip"},
         {"game one.nds"}},
        {"empty.rar",
         {},
         {"ERROR: Cannot open archive (not a readable RAR archive): empty.rar"},
         {}},
        {"junk.rar",
         junk,
         {"ERROR: Cannot open archive (not a readable RAR archive): junk.rar"},
         {}},
        {"damaged.rar",
         RarBuilder().add("game one.nds", rom).add("two.nds", rom).damageHeader(1).build(),
         {"ERROR: Damaged archive, listed as far as it could be read: damaged.rar"},
         {"game one.nds"}},
        {"empty.7z", {}, {"ERROR: Cannot open archive (not a readable 7z archive): empty.7z"}, {}},
        {"junk.7z", junk, {"ERROR: Cannot open archive (not a readable 7z archive): junk.7z"}, {}},
        {"nothing.zip", ZipBuilder().build(), {}, {}},
    };
    if (sevenZip) {
        rows.push_back({"cut.7z",
                        Bytes(whole7z.begin(), whole7z.begin() + whole7z.size() / 2),
                        {"ERROR: Cannot open archive (not a readable 7z archive): cut.7z"},
                        {}});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        WriteFile(dir.file(row.name), row.bytes);
        for (const bool direct : {false, true}) {
            SCOPED_TRACE(direct ? "passed directly" : "in a scan");
            RecordingHost host;
            RomScanner scanner(host.frontEnd());
            if (direct) {
                scanner.listDropped(std::vector<std::string>{dir.file(row.name)},
                                    host.entries.size());
            } else {
                scanner.scanFolderTree(dir.path());
            }
            std::vector<std::string> lines(host.log.begin() + 1, host.log.end() - 2);
            EXPECT_EQ(lines, row.lines);
            std::vector<std::string> members;
            for (const RomListEntry& entry : host.entries) {
                members.push_back(entry.member);
            }
            EXPECT_EQ(members, row.members);
        }
    }
}

TEST_F(RomScannerTest, NonAsciiMemberNamesAreListedUnderTheCLocale) {
    const testing::CLocaleScope cLocale;
    const std::u16string loneSurrogate{u'x', char16_t{0xDC00}, u'.', u'g', u'b', u'a'};
    WriteFile(root + "e.rar", RarBuilder()
                                  .addUnicode(u"Pokémon Blanc.nds", Bytes(10, 6))
                                  .addUnicode(loneSurrogate, Bytes(10, 6))
                                  .build());
    const std::string src = dir.subfolder("src");
    WriteFile(src + "日本語.gba", Bytes(10, 7));
    const bool sevenZip = testing::MakeSevenZip(root + "f.7z", src, {"日本語.gba"});

    scanner.scanFolderTree(root);

    std::vector<std::string> expected = expectedEntries();
    expected.push_back("RAR: " + root + "e.rar| Pokémon Blanc.nds");
    if (sevenZip) {
        expected.push_back("7ZIP: " + root + "f.7z| 日本語.gba");
    }
    EXPECT_EQ(host.entryTexts(), expected);
    // The member whose name cannot be read is a counted error, not a silent gap.
    EXPECT_EQ(host.log,
              (std::vector<std::string>{
                  "File Scan Started.",
                  "ERROR: Cannot read the name of member 2 (not valid Unicode): e.rar",
                  "File Scan Finished.", std::to_string(expected.size()) + " roms found"}));
}

TEST_F(RomScannerTest, DropsAddToTheList) {
    dir.subfolder("roms/sub/x.nds");
    host.entries = {RomListEntry::file("/earlier.nds")};
    host.options.recursiveScan = false;

    scanner.listDropped(
        std::vector<std::string>{root + "sub", root + "a.gba", root + "c.zip", root + "notes.txt"},
        host.entries.size());

    EXPECT_EQ(
        host.entryTexts(),
        (std::vector<std::string>{
            "/earlier.nds", root + "sub/x.nds", "ZIP: " + root + "sub/f.zip| y.gba", root + "a.gba",
            "ZIP: " + root + "c.zip| x.nds", "ZIP: " + root + "c.zip| roms/Game.NDS"}));
    EXPECT_EQ(host.log, (std::vector<std::string>{"Dragged files Scan Started.",
                                                  "Files dragged Scan Finished.", "6 roms found"}));
    EXPECT_EQ(host.labels[CounterLabel::Complete], "Files Trimmed: 0/6");
    EXPECT_EQ(host.busyChanges.back(), false);
}

TEST_F(RomScannerTest, ADroppedArchiveWithoutArchiveScanningAddsNothing) {
    host.options.scanArchives = false;
    scanner.listDropped(std::vector<std::string>{root + "c.zip"}, host.entries.size());
    EXPECT_TRUE(host.entries.empty());
    EXPECT_EQ(host.log.size(), 3u);
    EXPECT_EQ(host.labels[CounterLabel::Complete], "Files Trimmed: 0/0");
}

TEST_F(RomScannerTest, ADroppedFolderNamedLikeARomIsScannedAndListed) {
    const std::string folder = dir.subfolder("odd.nds");
    WriteFile(folder + "in.gba", Bytes(10, 1));
    scanner.listDropped(std::vector<std::string>{folder.substr(0, folder.size() - 1)},
                        host.entries.size());
    EXPECT_EQ(host.entryTexts(),
              (std::vector<std::string>{folder + "in.gba", dir.file("odd.nds")}));
}

TEST_F(RomScannerTest, TheCommandLinePath) {
    scanner.listCommandLinePath(root + "a.gba");
    EXPECT_EQ(host.entryTexts(), std::vector<std::string>{root + "a.gba"});
    EXPECT_EQ(host.busyChanges, std::vector<bool>{false});
    scanner.listCommandLinePath(root + "d.rar");
    EXPECT_EQ(host.entries.size(), 4u);
    scanner.listCommandLinePath(root + "missing.nds");
    scanner.listCommandLinePath(root + "x");
    EXPECT_EQ(host.entries.size(), 4u);
    scanner.listCommandLinePath(root);  // a folder: a new scan
    EXPECT_EQ(host.entryTexts(), expectedEntries());
    EXPECT_EQ(host.log.front(), "File Scan Started.");
}

}  // namespace
}  // namespace ostravex
