#include <gtest/gtest.h>

#include "archive/member_sink.h"
#include "archive/rar_archive.h"
#include "archive/seven_zip_archive.h"
#include "support/archive_builders.h"
#include "support/c_locale_scope.h"

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

// Paths stored with Windows separators are listed with "/", as zip member paths are.
TEST_F(RarTest, ListsPathsInHeaderOrderWithSlashes) {
    const RarNames listing = ListRarMembers(archive);
    EXPECT_EQ(listing.names, (std::vector<std::string>{"a", "a/b.nds", "c.gba", "d/b.nds"}));
    EXPECT_FALSE(listing.headerBroken);
}

// Members of one name in two folders are each found by their path, never the first of
// that name for both.
TEST_F(RarTest, EachMemberOfOneNameInTwoFoldersIsFoundByItsPath) {
    const std::string out = dir.subfolder("out");
    for (const auto& [path, data] : {std::pair(std::string("a/b.nds"), Data(3000, 1)),
                                     std::pair(std::string("d/b.nds"), Data(10, 3))}) {
        {
            FileMemberSink sink(out + "b.nds");
            const ArchiveExtraction extraction = ExtractRarMember(archive, path, sink, nullptr);
            EXPECT_EQ(extraction.outcome, Outcome::Extracted) << path << ": " << extraction.reason;
        }
        EXPECT_EQ(ReadFile(out + "b.nds"), data) << path;
    }
    FileMemberSink sink(out + "b.nds");
    EXPECT_EQ(ExtractRarMember(archive, "b.nds", sink, nullptr).outcome, Outcome::NotFound);
    EXPECT_EQ(testing::ListFolder(out), std::vector<std::string>{"b.nds"});
}

TEST_F(RarTest, AMissingMemberOrAForeignFileExtractsNothing) {
    const std::string out = dir.subfolder("out");
    FileMemberSink sink(out + "zz.nds");
    EXPECT_EQ(ExtractRarMember(archive, "zz.nds", sink, nullptr).outcome, Outcome::NotFound);
    WriteFile(dir.file("text.rar"), Bytes(3000, 'x'));
    EXPECT_EQ(ExtractRarMember(dir.file("text.rar"), "b.nds", sink, nullptr).outcome,
              Outcome::NotOpened);
    EXPECT_TRUE(ListRarMembers(dir.file("text.rar")).names.empty());
    EXPECT_TRUE(testing::ListFolder(out).empty());
}

// An archive without members is read and lists nothing; a file of another kind is not read.
TEST(ArchiveListing, AnArchiveWithoutMembersIsReadAndAForeignFileIsNot) {
    // A 7z signature header whose next header is empty: an archive with nothing in it.
    const Bytes emptySevenZip{'7',  'z',  0xBC, 0xAF, 0x27, 0x1C, 0x00, 0x04, 0x8D, 0x9B, 0xD5,
                              0x0F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                              0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    struct Row {
        const char* label;
        Bytes file;
        LibarchiveFormat format;
        bool opened;
    };
    const Row rows[] = {
        {"rar without members", RarBuilder().build(), LibarchiveFormat::Rar, true},
        {"7z without members", emptySevenZip, LibarchiveFormat::SevenZip, true},
        {"text as rar", Bytes(3000, 'x'), LibarchiveFormat::Rar, false},
        {"text as 7z", Bytes(3000, 'x'), LibarchiveFormat::SevenZip, false},
        {"an empty file as 7z", Bytes{}, LibarchiveFormat::SevenZip, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        TempDir dir;
        WriteFile(dir.file("a"), row.file);
        const ArchiveListing listing = ListArchive(dir.file("a"), row.format);
        EXPECT_EQ(listing.opened, row.opened);
        EXPECT_TRUE(listing.items.empty());
        EXPECT_FALSE(listing.headerBroken);
    }
}

TEST_F(RarTest, ADamagedHeaderEndsTheListingAfterTheMembersBefore) {
    WriteFile(
        archive,
        RarBuilder().add("x.nds", Data(100, 4)).add("y.nds", Data(100, 5)).damageHeader(1).build());
    const RarNames listing = ListRarMembers(archive);
    EXPECT_EQ(listing.names, std::vector<std::string>{"x.nds"});
    EXPECT_TRUE(listing.headerBroken);
}

TEST_F(RarTest, ColonsAndLetterCaseInMemberNames) {
    WriteFile(archive, RarBuilder()
                           .add("Game.gba", Data(100, 1))
                           .add("set\\game.gba", Data(100, 2))
                           .add("Zelda: Minish Cap.gba", Data(100, 3))
                           .build());
    EXPECT_EQ(ListRarMembers(archive).names,
              (std::vector<std::string>{"Game.gba", "set/game.gba", "Zelda: Minish Cap.gba"}));
    struct Row {
        const char* member;
        std::uint8_t seed;
    };
    for (const Row& row :
         {Row{"set/game.gba", 2}, Row{"Game.gba", 1}, Row{"GAME.GBA", 1}, Row{"SET/Game.gba", 2},
          Row{"Zelda: Minish Cap.gba", 3}, Row{"zelda: minish cap.GBA", 3}}) {
        ByteBuffer bytes;
        MemoryMemberSink sink(bytes, 1000);
        EXPECT_EQ(ExtractRarMember(archive, row.member, sink, nullptr).outcome, Outcome::Extracted)
            << row.member;
        EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), Data(100, row.seed)) << row.member;
    }
}

TEST_F(RarTest, AMemberWhoseCrcFailsIsAFailureAndLeavesNothing) {
    Bytes bytes = RarBuilder().add("x.nds", Data(5000, 4)).build();
    bytes[bytes.size() - 7 - 2000] ^= 0x10;  // in the member's data, before the end block
    WriteFile(archive, bytes);
    const std::string out = dir.subfolder("out");
    {
        FileMemberSink sink(out + "x.nds");
        const ArchiveExtraction extraction = ExtractRarMember(archive, "x.nds", sink, nullptr);
        EXPECT_EQ(extraction.outcome, Outcome::Failed);
        EXPECT_EQ(extraction.reason, "the data does not match its CRC-32");
    }
    EXPECT_TRUE(testing::ListFolder(out).empty());
}

TEST_F(RarTest, AStoredMemberIsReadWhereItLiesWhenTheSinkCan) {
    ByteBuffer bytes;
    std::unique_ptr<ByteSource> inPlace;
    MemoryMemberSink sink(bytes, 1u << 20, &inPlace);
    ASSERT_EQ(ExtractRarMember(archive, "c.gba", sink, nullptr).outcome, Outcome::Extracted);
    EXPECT_TRUE(bytes.empty());
    ASSERT_TRUE(inPlace);
    Bytes read(800, 0);
    std::size_t got = 0;
    ASSERT_TRUE(inPlace->readAt(0, read, got).ok());
    EXPECT_EQ(got, 700u);
    read.resize(got);
    EXPECT_EQ(read, Data(700, 2));
    ASSERT_TRUE(inPlace->readAt(700, read, got).ok());
    EXPECT_EQ(got, 0u);

    Bytes corrupt = RarBuilder().add("x.nds", Data(5000, 4)).build();
    corrupt[corrupt.size() - 7 - 2000] ^= 0x10;  // in the member's data, before the end block
    WriteFile(archive, corrupt);
    inPlace.reset();
    const ArchiveExtraction extraction = ExtractRarMember(archive, "x.nds", sink, nullptr);
    EXPECT_EQ(extraction.outcome, Outcome::Failed);
    EXPECT_EQ(extraction.reason, "the data does not match its CRC-32");
    EXPECT_FALSE(inPlace);
}

TEST(MemberNames, AnExactNameWinsOverOneThatDiffersInCase) {
    const std::vector<ArchiveItem> items{{"Game.gba", false, 1},      {"roms", true, 0},
                                         {"roms/game.gba", false, 2}, {"x/GAME.GBA", false, 3},
                                         {"Other.nds", false, 4},     {"Roms", true, 0}};
    struct Row {
        const char* member;
        std::optional<std::size_t> index;
    };
    for (const Row& row :
         {Row{"roms/game.gba", 2}, Row{"Game.gba", 0}, Row{"x/GAME.GBA", 3}, Row{"gAME.gba", 0},
          Row{"ROMS/GAME.gba", 2}, Row{"other.NDS", 4}, Row{"game.gba", 0}, Row{"GAME.GBA", 0},
          Row{"roms", std::nullopt}, Row{"none.nds", std::nullopt}}) {
        EXPECT_EQ(FindMember(items, row.member), row.index) << row.member;
    }
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
    const std::vector<ArchiveItem> items = ListSevenZipItems(archive).items;
    ASSERT_EQ(items.size(), 3u);
    std::vector<std::string> files;
    int folders = 0;
    for (const ArchiveItem& item : items) {
        if (item.isFolder) {
            ++folders;
            EXPECT_EQ(item.path, "roms");
        } else {
            files.push_back(item.path);
        }
    }
    EXPECT_EQ(folders, 1);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"b.gba", "roms/a.nds"}));
}

TEST_F(SevenZipTest, AMemberInAFolderIsFoundByItsPathAndExtractedFlat) {
    const std::string out = dir.subfolder("out");
    FileMemberSink sink(out + "a.nds");
    std::uint64_t lastWritten = 0;
    const ArchiveExtraction extraction = ExtractSevenZipMember(
        archive, "ROMS/A.NDS", sink, [&](std::uint64_t written, std::uint64_t size) {
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
    EXPECT_EQ(ExtractSevenZipMember(archive, "b.gba", sink, nullptr).outcome, Outcome::Extracted);
    EXPECT_EQ(ReadFile(out + "b.gba"), Data(900, 7));
}

TEST_F(SevenZipTest, AnExactNameWinsAndColonsAreOrdinary) {
    const std::string src = dir.subfolder("names");
    WriteFile(src + "Game.gba", Data(300, 1));
    WriteFile(src + "game.gba", Data(300, 2));
    WriteFile(src + "Zelda: Minish Cap.gba", Data(300, 3));
    const std::string named = dir.file("names.7z");
    testing::MakeSevenZip(named, src, {"Game.gba", "game.gba", "Zelda: Minish Cap.gba"});
    struct Row {
        const char* member;
        std::uint8_t seed;
    };
    for (const Row& row :
         {Row{"game.gba", 2}, Row{"Game.gba", 1}, Row{"Zelda: Minish Cap.gba", 3}}) {
        ByteBuffer bytes;
        MemoryMemberSink sink(bytes, 1000);
        EXPECT_EQ(ExtractSevenZipMember(named, row.member, sink, nullptr).outcome,
                  Outcome::Extracted)
            << row.member;
        EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), Data(300, row.seed)) << row.member;
    }
}

// A solid archive as 7-Zip makes it by default, with power-of-two members: libarchive up to
// 3.7.4 cannot read a member after one it skipped whose data ends on a multiple of 64 KiB.
class SolidSevenZipTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string src = dir.subfolder("src");
        dir.subfolder("src/set");
        for (std::size_t i = 0; i < kMembers.size(); ++i) {
            WriteFile(src + kMembers[i].first,
                      Data(kMembers[i].second, static_cast<std::uint8_t>(i)));
        }
        archive = dir.file("solid.7z");
        if (!testing::MakeSevenZip(archive, src, {"a.nds", "b.nds", "c.nds", "set"}, "")) {
            GTEST_SKIP() << "7zz is not installed";
        }
    }
    void expectMember(ArchiveMemberReader& reader, std::size_t i) {
        ByteBuffer bytes;
        MemoryMemberSink sink(bytes, 8u << 20);
        const ArchiveExtraction extraction =
            reader.extract(archive, LibarchiveFormat::SevenZip, kMembers[i].first, sink, nullptr);
        EXPECT_EQ(extraction.outcome, Outcome::Extracted)
            << kMembers[i].first << ": " << extraction.reason;
        EXPECT_TRUE(Bytes(bytes.begin(), bytes.end()) ==
                    Data(kMembers[i].second, static_cast<std::uint8_t>(i)))
            << kMembers[i].first;
    }

    static inline const std::vector<std::pair<std::string, std::size_t>> kMembers{
        {"a.nds", 1u << 20}, {"b.nds", 1u << 20}, {"c.nds", 2u << 20}, {"set/d.nds", 1u << 20}};
    TempDir dir;
    std::string archive;
};

TEST_F(SolidSevenZipTest, EveryMemberComesOutWholeAlone) {
    for (std::size_t i = 0; i < kMembers.size(); ++i) {
        ArchiveMemberReader reader;
        expectMember(reader, i);
    }
}

TEST_F(SolidSevenZipTest, OneReaderGoesOnForwardAndStartsAgainForAnEarlierMember) {
    ArchiveMemberReader reader;
    for (const std::size_t i : {0, 1, 2, 3, 1, 3, 0, 2, 2}) {
        expectMember(reader, i);
    }
}

TEST_F(SolidSevenZipTest, ARewrittenArchiveIsReadAfresh) {
    ArchiveMemberReader reader;
    expectMember(reader, 0);
    const std::string src = dir.subfolder("other");
    WriteFile(src + "b.nds", Data(4096, 9));
    std::remove(archive.c_str());
    testing::MakeSevenZip(archive, src, {"b.nds"}, "");
    ByteBuffer bytes;
    MemoryMemberSink sink(bytes, 8u << 20);
    EXPECT_EQ(reader.extract(archive, LibarchiveFormat::SevenZip, "b.nds", sink, nullptr).outcome,
              Outcome::Extracted);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), Data(4096, 9));
}

TEST_F(SevenZipTest, AMemberWhoseCrcFailsIsAFailureAndLeavesNothing) {
    const std::string src = dir.subfolder("stored");
    WriteFile(src + "x.nds", Data(70000, 8));
    const std::string stored = dir.file("stored.7z");
    testing::MakeSevenZip(stored, src, {"x.nds"}, "-mx=0");
    Bytes bytes = ReadFile(stored);
    bytes[32 + 30000] ^= 0x10;  // the data follows the 32-byte signature header
    WriteFile(stored, bytes);
    const std::string out = dir.subfolder("out");
    {
        FileMemberSink sink(out + "x.nds");
        const ArchiveExtraction extraction = ExtractSevenZipMember(stored, "x.nds", sink, nullptr);
        EXPECT_EQ(extraction.outcome, Outcome::Failed);
        EXPECT_FALSE(extraction.reason.empty());
    }
    EXPECT_TRUE(testing::ListFolder(out).empty());
}

// Names beyond ASCII, read while the process runs under the C locale.
class NonAsciiNamesTest : public ::testing::Test {
  protected:
    void expectExtracted(const std::string& archive, LibarchiveFormat format,
                         const std::vector<std::pair<std::string, Bytes>>& members) {
        const std::string out = dir.subfolder("out");
        ArchiveMemberReader reader;
        for (const auto& [name, data] : members) {
            {
                FileMemberSink sink(out + name);
                const ArchiveExtraction extraction =
                    reader.extract(archive, format, name, sink, nullptr);
                EXPECT_EQ(extraction.outcome, Outcome::Extracted)
                    << name << ": " << extraction.reason;
            }
            EXPECT_TRUE(ReadFile(out + name) == data) << name;
        }
    }

    testing::CLocaleScope cLocale;
    TempDir dir;
    static inline const std::string kFrench = "Pokémon Blanc.nds";
    static inline const std::string kJapanese = "日本語.gba";
};

TEST_F(NonAsciiNamesTest, SevenZipMembersAreListedAndExtracted) {
    const std::string src = dir.subfolder("src");
    WriteFile(src + kFrench, Data(1u << 20, 1));
    WriteFile(src + kJapanese, Data(3000, 2));
    const std::string archive = dir.file("names.7z");
    if (!testing::MakeSevenZip(archive, src, {kFrench, kJapanese}, "")) {
        GTEST_SKIP() << "7zz is not installed";
    }
    std::vector<std::string> paths;
    for (const ArchiveItem& item : ListSevenZipItems(archive).items) {
        paths.push_back(item.path);
        EXPECT_FALSE(item.nameUnreadable) << item.path;
    }
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{kFrench, kJapanese}));
    expectExtracted(archive, LibarchiveFormat::SevenZip,
                    {{kFrench, Data(1u << 20, 1)}, {kJapanese, Data(3000, 2)}});
}

TEST_F(NonAsciiNamesTest, RarMembersAreListedAndExtracted) {
    const std::string archive = dir.file("names.rar");
    WriteFile(archive, RarBuilder()
                           .addUnicode(u"Pokémon Blanc.nds", Data(700, 3))
                           .addUnicode(u"日本語.gba", Data(900, 4))
                           .add("plain.nds", Data(10, 5))
                           .build());
    const RarNames listing = ListRarMembers(archive);
    EXPECT_EQ(listing.names, (std::vector<std::string>{kFrench, kJapanese, "plain.nds"}));
    EXPECT_TRUE(listing.unreadableNames.empty());
    expectExtracted(archive, LibarchiveFormat::Rar,
                    {{kFrench, Data(700, 3)}, {kJapanese, Data(900, 4)}});
}

TEST_F(NonAsciiNamesTest, ANameThatIsNotValidUnicodeIsReportedNotDropped) {
    const std::string archive = dir.file("bad.rar");
    const std::u16string loneSurrogate{u'a', char16_t{0xD800}, u'.', u'n', u'd', u's'};
    WriteFile(archive, RarBuilder()
                           .add("before.nds", Data(10, 6))
                           .addUnicode(loneSurrogate, Data(10, 7))
                           .add("after.nds", Data(10, 8))
                           .build());
    const RarNames listing = ListRarMembers(archive);
    EXPECT_EQ(listing.names, (std::vector<std::string>{"before.nds", "after.nds"}));
    EXPECT_EQ(listing.unreadableNames, std::vector<std::size_t>{2});
    // The member after it still comes out.
    expectExtracted(archive, LibarchiveFormat::Rar, {{"after.nds", Data(10, 8)}});
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
