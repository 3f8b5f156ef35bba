// Trimming roms that are members of zip, rar and 7z archives.
#include <gtest/gtest.h>

#include "support/archive_builders.h"
#include "support/list_entries.h"
#include "support/recording_host.h"
#include "trim/trim_run.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::NdsImageBuilder;
using testing::RarBuilder;
using testing::RarMember;
using testing::ReadFile;
using testing::RecordingHost;
using testing::SevenZipMember;
using testing::TempDir;
using testing::WriteFile;
using testing::ZipBuilder;
using testing::ZipMember;

constexpr std::uint32_t kUsed = 600000;

Bytes Rom() {
    return NdsImageBuilder().usedSize(kUsed).size(1048576).build();
}
Bytes Cut() {
    const Bytes rom = Rom();
    return Bytes(rom.begin(), rom.begin() + kUsed);
}

class ArchiveRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        z = dir.subfolder("z");
        out = dir.subfolder("out");
        WriteFile(z + "a.zip", ZipBuilder().add("roms/eu/game.nds", Rom()).build());
        WriteFile(z + "a.rar", RarBuilder().add("set\\m.nds", Rom()).build());
        zipBytes = ReadFile(z + "a.zip");
        rarBytes = ReadFile(z + "a.rar");
        host.folder = out;
    }
    void run(const std::vector<RomListEntry>& entries) { trim.run(entries); }
    std::vector<std::string> body() const {
        return std::vector<std::string>(host.log.begin() + 3, host.log.end() - 3);
    }
    void expectArchivesUnchanged() const {
        EXPECT_EQ(ReadFile(z + "a.zip"), zipBytes);
        EXPECT_EQ(ReadFile(z + "a.rar"), rarBytes);
    }

    TempDir dir;
    std::string z;
    std::string out;
    Bytes zipBytes;
    Bytes rarBytes;
    RecordingHost host;
    TrimRun trim{host};
};

TEST_F(ArchiveRunTest, ZipMemberIsWrittenUnderItsBaseName) {
    for (const FileMode mode : {FileMode::Overwrite, FileMode::Backup, FileMode::Folder}) {
        host.mode = mode;
        run({ZipMember(z + "a.zip", "roms/eu/game.nds")});
        const std::string folder = mode == FileMode::Folder ? out : z;
        EXPECT_EQ(ReadFile(folder + "game.nds"), Cut());
        EXPECT_EQ(body(), std::vector<std::string>{"roms/eu/game.nds: 448576"});
    }
    EXPECT_EQ(testing::ListFolder(z), (std::vector<std::string>{"a.rar", "a.zip", "game.nds"}));
    expectArchivesUnchanged();
}

TEST_F(ArchiveRunTest, RarMemberIsExtractedFlatAndCut) {
    struct Row {
        FileMode mode;
        std::vector<std::string> inArchiveFolder;
        std::vector<std::string> inOutput;
    };
    for (const Row& row : {Row{FileMode::Overwrite, {"a.rar", "a.zip", "m.nds"}, {}},
                           Row{FileMode::Backup, {"a.rar", "a.zip", "m.nds", "m.nds.bak"}, {}},
                           Row{FileMode::Folder, {"a.rar", "a.zip"}, {"m.nds"}}}) {
        TempDir local;
        const std::string folder = local.subfolder("z");
        const std::string output = local.subfolder("out");
        WriteFile(folder + "a.rar", rarBytes);
        WriteFile(folder + "a.zip", zipBytes);
        host.mode = row.mode;
        host.folder = output;

        run({RarMember(folder + "a.rar", "m.nds")});

        EXPECT_EQ(trim.counters().ErrorCount, 0) << ::testing::PrintToString(host.log);
        EXPECT_EQ(testing::ListFolder(folder), row.inArchiveFolder);
        EXPECT_EQ(testing::ListFolder(output), row.inOutput);
        const std::string result = (row.mode == FileMode::Folder ? output : folder) + "m.nds";
        EXPECT_EQ(ReadFile(result), Cut());
        if (row.mode == FileMode::Backup) {
            EXPECT_EQ(ReadFile(folder + "m.nds.bak"), Rom());
        }
        EXPECT_EQ(ReadFile(folder + "a.rar"), rarBytes);
    }
}

TEST_F(ArchiveRunTest, DontOverwriteIsTestedBeforeARarMemberIsExtracted) {
    host.mode = FileMode::Folder;
    host.set(Option::DontOverwrite);
    WriteFile(out + "m.nds", Bytes(5, 5));
    run({RarMember(z + "a.rar", "m.nds")});
    EXPECT_EQ(body(), std::vector<std::string>{
                          "Error: file-exists in the new output folder. Skipping this rom"});
    EXPECT_EQ(ReadFile(out + "m.nds"), Bytes(5, 5));

    std::remove((out + "m.nds").c_str());
    run({RarMember(z + "a.rar", "m.nds")});
    EXPECT_EQ(trim.counters().ErrorCount, 0);
    EXPECT_EQ(ReadFile(out + "m.nds"), Cut());
}

TEST_F(ArchiveRunTest, SevenZipMemberInAFolderIsFoundByItsBaseName) {
    const std::string src = dir.subfolder("src");
    dir.subfolder("src/roms");
    WriteFile(src + "roms/s.nds", Rom());
    if (!testing::MakeSevenZip(z + "s.7z", src, {"roms"})) {
        GTEST_SKIP() << "7zz is not installed";
    }
    const Bytes archive = ReadFile(z + "s.7z");
    run({SevenZipMember(z + "s.7z", "s.nds")});
    EXPECT_EQ(trim.counters().ErrorCount, 0) << ::testing::PrintToString(host.log);
    EXPECT_TRUE(host.notices.empty());
    EXPECT_EQ(ReadFile(z + "s.nds"), Cut());
    EXPECT_EQ(ReadFile(z + "s.7z"), archive);
}

TEST_F(ArchiveRunTest, MembersThatCannotBeHadEndTheirEntryAndTheRunGoesOn) {
    WriteFile(z + "bad.zip", ZipBuilder()
                                 .add("m12.nds", Rom(), 12)
                                 .add(ZipBuilder::Member("short.nds", Rom()).claiming(2000000))
                                 .build());
    run({ZipMember(z + "a.zip", "other.nds"), ZipMember(z + "bad.zip", "m12.nds"),
         ZipMember(z + "bad.zip", "short.nds"), ZipMember(z + "gone.zip", "x.nds"),
         RarMember(z + "a.rar", "other.nds"), ZipMember(z + "a.zip", "roms/eu/game.nds")});
    EXPECT_EQ(body(), (std::vector<std::string>{
                          "ERROR: Cannot extract (the member is not in the archive): other.nds",
                          "ERROR: Cannot process this file: m12.nds ",
                          "ERROR: Cannot extract (the data inflates to fewer bytes than stated): "
                          "short.nds",
                          "ERROR(2): File doesn't exist: gone.zip", "roms/eu/game.nds: 448576"}));
    EXPECT_EQ(trim.counters().ErrorCount, 4);  // the rar failure is a notice, not counted
    EXPECT_EQ(host.notices, std::vector<std::string>{"Rar Extraction Error."});
    EXPECT_EQ(host.labels[CounterLabel::Complete], "Files Processed: 6/6");
    expectArchivesUnchanged();
}

TEST_F(ArchiveRunTest, MemberNamesCannotWriteOutsideTheirFolder) {
    WriteFile(z + "evil.zip", ZipBuilder().add("../../evil.nds", Rom()).build());
    WriteFile(z + "evil.rar", RarBuilder().add("..\\..\\evil.nds", Rom()).build());
    run({ZipMember(z + "evil.zip", "../../evil.nds"), RarMember(z + "evil.rar", "../evil.nds"),
         RarMember(z + "evil.rar", "evil.nds")});
    EXPECT_EQ(testing::ListFolder(dir.path()), (std::vector<std::string>{"out", "z"}));
    EXPECT_EQ(ReadFile(z + "evil.nds"), Cut());
    EXPECT_EQ(host.notices, std::vector<std::string>{"Rar Extraction Error."});
}

TEST_F(ArchiveRunTest, DryRunExtractsNothingToDisk) {
    host.set(Option::DryRun);
    run({RarMember(z + "a.rar", "m.nds"), ZipMember(z + "a.zip", "roms/eu/game.nds")});
    EXPECT_EQ(body(), (std::vector<std::string>{"m.nds: 448576", "roms/eu/game.nds: 448576"}));
    EXPECT_EQ(testing::ListFolder(z), (std::vector<std::string>{"a.rar", "a.zip"}));
}

}  // namespace
}  // namespace ostravex
