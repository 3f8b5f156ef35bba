// Trimming roms that are members of zip, rar and 7z archives.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "archive/seven_zip_archive.h"
#include "io/paths.h"
#include "sram/sram_catalogue.h"
#include "support/archive_builders.h"
#include "support/list_entries.h"
#include "support/recording_host.h"
#include "support/wired_trim_run.h"
#include "trim/output_placement.h"
#include "trim/trim_run.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::GbaImageBuilder;
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
        host.options.outputFolder = out;
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
    testing::WiredTrimRun trim{host};
};

// A member only ever takes its name as its finished result: until then it lies under a
// temporary name, so a run stopped at any moment never leaves the untrimmed member there.
TEST_F(ArchiveRunTest, AMemberTakesItsNameOnlyWhenItIsCut) {
    for (const RomListEntry& entry :
         {ZipMember(z + "a.zip", "roms/eu/game.nds"), RarMember(z + "a.rar", "set/m.nds")}) {
        SCOPED_TRACE(entry.text());
        for (const FileMode mode : {FileMode::Overwrite, FileMode::Folder}) {
            host.options.fileMode = mode;
            const std::string path =
                (mode == FileMode::Folder ? out : z) + NamePart(StripMemberPath(entry.member));
            std::vector<OutputStep> steps;
            trim.setOutputStepHook([&](OutputStep step) {
                steps.push_back(step);
                EXPECT_FALSE(testing::Exists(path)) << "before step " << static_cast<int>(step);
                return Status::success();
            });
            run({entry});
            trim.setOutputStepHook({});
            EXPECT_FALSE(steps.empty());
            EXPECT_EQ(ReadFile(path), Cut());
            std::remove(path.c_str());
        }
    }
}

// What a run stopped between taking a member out and cutting it left under the member's
// name (the member's bytes as they are in the archive) is finished by the next run; any
// other file there, a pipe or a link among them, is left as it is.
TEST_F(ArchiveRunTest, AnUnfinishedMemberResultIsFinishedAndNothingElseIsReplaced) {
    struct Row {
        std::string name;
        std::function<void(const std::string& path)> lay;
        bool finished;  // the result took the name
    };
    const std::vector<Row> rows = {
        {"the untrimmed member", [](const std::string& path) { WriteFile(path, Rom()); }, true},
        {"a pipe", [](const std::string& path) { mkfifo(path.c_str(), 0600); }, false},
        {"a dangling link",
         [](const std::string& path) { symlink((path + ".nowhere").c_str(), path.c_str()); },
         false},
        {"a link to the untrimmed member",
         [this](const std::string& path) {
             WriteFile(dir.file("elsewhere.nds"), Rom());
             symlink(dir.file("elsewhere.nds").c_str(), path.c_str());
         },
         false},
    };
    for (const RomListEntry& entry :
         {ZipMember(z + "a.zip", "roms/eu/game.nds"), RarMember(z + "a.rar", "set/m.nds")}) {
        for (const FileMode mode : {FileMode::Overwrite, FileMode::Folder}) {
            for (const Row& row : rows) {
                SCOPED_TRACE(entry.text() + ", " + ::testing::PrintToString(mode) + ", " +
                             row.name);
                host.options.fileMode = mode;
                const std::string path =
                    (mode == FileMode::Folder ? out : z) + NamePart(StripMemberPath(entry.member));
                row.lay(path);
                run({entry});
                struct stat info {};
                ASSERT_EQ(lstat(path.c_str(), &info), 0);
                if (row.finished) {
                    EXPECT_EQ(ReadFile(path), Cut());
                    EXPECT_EQ(trim.counters().errors, 0) << ::testing::PrintToString(host.log);
                } else {
                    EXPECT_FALSE(S_ISREG(info.st_mode));
                    EXPECT_EQ(trim.counters().errors, 1);
                }
                std::remove(path.c_str());
                std::remove(dir.file("elsewhere.nds").c_str());
                expectArchivesUnchanged();
                for (const std::string& name : testing::ListFolder(z)) {
                    EXPECT_FALSE(name.starts_with(".ostravex-")) << name;
                }
            }
        }
    }
}

TEST_F(ArchiveRunTest, ZipMemberIsWrittenUnderItsBaseName) {
    for (const FileMode mode : {FileMode::Overwrite, FileMode::Backup, FileMode::Folder}) {
        SCOPED_TRACE(::testing::PrintToString(mode));
        host.options.fileMode = mode;
        run({ZipMember(z + "a.zip", "roms/eu/game.nds")});
        const std::string folder = mode == FileMode::Folder ? out : z;
        EXPECT_EQ(ReadFile(folder + "game.nds"), Cut());
        // The backup run finds the overwrite run's result beside the archive.
        std::vector<std::string> expected{"roms/eu/game.nds: 448576"};
        if (mode == FileMode::Backup) {
            expected.push_back("SKIP: Already there from an earlier run: game.nds");
        }
        EXPECT_EQ(body(), expected);
    }
    EXPECT_EQ(testing::ListFolder(z), (std::vector<std::string>{"a.rar", "a.zip", "game.nds"}));
    expectArchivesUnchanged();
}

// As a zip member, a rar member gets no ".bak" in backup mode: the archive is the original.
TEST_F(ArchiveRunTest, RarMemberIsExtractedFlatAndCut) {
    struct Row {
        FileMode mode;
        std::vector<std::string> inArchiveFolder;
        std::vector<std::string> inOutput;
    };
    for (const Row& row : {Row{FileMode::Overwrite, {"a.rar", "a.zip", "m.nds"}, {}},
                           Row{FileMode::Backup, {"a.rar", "a.zip", "m.nds"}, {}},
                           Row{FileMode::Folder, {"a.rar", "a.zip"}, {"m.nds"}}}) {
        SCOPED_TRACE(::testing::PrintToString(row.mode));
        TempDir local;
        const std::string folder = local.subfolder("z");
        const std::string output = local.subfolder("out");
        WriteFile(folder + "a.rar", rarBytes);
        WriteFile(folder + "a.zip", zipBytes);
        host.options.fileMode = row.mode;
        host.options.outputFolder = output;

        run({RarMember(folder + "a.rar", "set/m.nds")});

        EXPECT_EQ(trim.counters().errors, 0) << ::testing::PrintToString(host.log);
        EXPECT_EQ(testing::ListFolder(folder), row.inArchiveFolder);
        EXPECT_EQ(testing::ListFolder(output), row.inOutput);
        const std::string result = (row.mode == FileMode::Folder ? output : folder) + "m.nds";
        EXPECT_EQ(ReadFile(result), Cut());
        EXPECT_EQ(ReadFile(folder + "a.rar"), rarBytes);
    }
}

// "Don't overwrite" leaves a different file at the member's name as it is; the member's
// own result already there is a skip, as without the option.
TEST_F(ArchiveRunTest, DontOverwriteRefusesOnlyADifferentFile) {
    host.options.fileMode = FileMode::Folder;
    host.options.dontOverwrite = true;
    WriteFile(out + "m.nds", Bytes(5, 5));
    run({RarMember(z + "a.rar", "set/m.nds")});
    EXPECT_EQ(body(), (std::vector<std::string>{
                          "set/m.nds: 448576",
                          "Error: file-exists in the new output folder. Skipping this rom"}));
    EXPECT_EQ(trim.counters().errors, 1);
    EXPECT_EQ(ReadFile(out + "m.nds"), Bytes(5, 5));

    std::remove((out + "m.nds").c_str());
    run({RarMember(z + "a.rar", "set/m.nds")});
    EXPECT_EQ(trim.counters().errors, 0);
    EXPECT_EQ(ReadFile(out + "m.nds"), Cut());

    run({RarMember(z + "a.rar", "set/m.nds")});
    EXPECT_EQ(body(), (std::vector<std::string>{"set/m.nds: 448576",
                                                "SKIP: Already there from an earlier run: m.nds"}));
    EXPECT_EQ(trim.counters().errors, 0);
    EXPECT_EQ(ReadFile(out + "m.nds"), Cut());
}

TEST_F(ArchiveRunTest, SevenZipMemberInAFolderIsFoundByItsPath) {
    const std::string src = dir.subfolder("src");
    dir.subfolder("src/roms");
    WriteFile(src + "roms/s.nds", Rom());
    if (!testing::MakeSevenZip(z + "s.7z", src, {"roms"})) {
        GTEST_SKIP() << "7zz is not installed";
    }
    const Bytes archive = ReadFile(z + "s.7z");
    run({SevenZipMember(z + "s.7z", "roms/s.nds")});
    EXPECT_EQ(trim.counters().errors, 0) << ::testing::PrintToString(host.log);
    EXPECT_TRUE(host.notices.empty());
    EXPECT_EQ(ReadFile(z + "s.nds"), Cut());
    EXPECT_EQ(ReadFile(z + "s.7z"), archive);
}

TEST_F(ArchiveRunTest, EveryMemberOfASolid7zIsTrimmedInEachFileOption) {
    // 7-Zip's defaults make one solid block; power-of-two sizes are what roms have.
    struct Member {
        std::string path;
        std::uint64_t size;
        std::uint32_t used;
        Bytes image() const { return NdsImageBuilder().usedSize(used).size(size).build(); }
        std::string name() const { return StripMemberPath(path); }
    };
    const std::vector<Member> members{{"a.nds", 1u << 20, 600000},
                                      {"b.nds", 1u << 20, 700000},
                                      {"c.nds", 2u << 20, 1500000},
                                      {"set/d.nds", 1u << 20, 500000}};
    const std::string src = dir.subfolder("src");
    dir.subfolder("src/set");
    for (const Member& member : members) {
        WriteFile(src + member.path, member.image());
    }
    if (!testing::MakeSevenZip(dir.file("solid.7z"), src, {"a.nds", "b.nds", "c.nds", "set"}, "")) {
        GTEST_SKIP() << "7zz is not installed";
    }
    const Bytes archive = ReadFile(dir.file("solid.7z"));
    for (const FileMode mode : {FileMode::Overwrite, FileMode::Backup, FileMode::Folder}) {
        TempDir local;
        const std::string folder = local.subfolder("z");
        const std::string output = local.subfolder("out");
        WriteFile(folder + "solid.7z", archive);
        host.options.fileMode = mode;
        host.options.outputFolder = output;
        std::vector<RomListEntry> entries;  // in the archive's order, as the scan lists them
        for (const ArchiveItem& item : ListSevenZipItems(folder + "solid.7z").items) {
            if (!item.isFolder) {
                entries.push_back(SevenZipMember(folder + "solid.7z", item.path));
            }
        }
        ASSERT_EQ(entries.size(), members.size());

        run(entries);

        EXPECT_EQ(trim.counters().errors, 0) << ::testing::PrintToString(host.log);
        EXPECT_TRUE(host.notices.empty()) << ::testing::PrintToString(host.notices);
        const std::string results = mode == FileMode::Folder ? output : folder;
        for (const Member& member : members) {
            const Bytes image = member.image();
            EXPECT_TRUE(ReadFile(results + member.name()) ==
                        Bytes(image.begin(), image.begin() + member.used))
                << member.path;
        }
        EXPECT_EQ(ReadFile(folder + "solid.7z"), archive);
    }
}

TEST_F(ArchiveRunTest, AColonInARarMemberNameIsKept) {
    WriteFile(z + "zelda.rar", RarBuilder().add("set\\Zelda: Minish Cap.nds", Rom()).build());
    run({RarMember(z + "zelda.rar", "set/Zelda: Minish Cap.nds")});
    EXPECT_EQ(trim.counters().errors, 0) << ::testing::PrintToString(host.log);
    EXPECT_EQ(ReadFile(z + "Zelda: Minish Cap.nds"), Cut());
}

TEST_F(ArchiveRunTest, RarAnd7zMembersThatFailAreCountedAndLeaveNothing) {
    Bytes corrupt = RarBuilder().add("x.nds", Rom()).build();
    corrupt[corrupt.size() - 7 - 1000] ^= 0x10;  // in the member's data, before the end block
    WriteFile(z + "corrupt.rar", corrupt);
    WriteFile(z + "text.7z", Bytes(3000, 'x'));
    const std::vector<std::string> before = testing::ListFolder(z);
    struct Row {
        RomListEntry entry;
        FileMode mode;
        std::string outputFolder;
        std::string line;
        bool extractionNotice;  // the window's "Rar Extraction Error."
    };
    for (const Row& row : {
             Row{RarMember(z + "a.rar", "other.nds"), FileMode::Overwrite, out,
                 "ERROR: Cannot extract (the member is not in the archive): other.nds", true},
             Row{RarMember(z + "corrupt.rar", "x.nds"), FileMode::Backup, out,
                 "ERROR: Cannot extract (the data does not match its CRC-32): x.nds", true},
             Row{SevenZipMember(z + "text.7z", "a.nds"), FileMode::Overwrite, out,
                 "ERROR: Cannot extract (not a readable 7z archive): a.nds", true},
             // The output is readied before anything is read: without its folder the member
             // is not read at all.
             Row{RarMember(z + "a.rar", "set/m.nds"), FileMode::Folder, dir.path() + "/missing/",
                 "ERROR: Cannot create file (No such file or directory): m.nds", false},
         }) {
        host.options.fileMode = row.mode;
        host.options.outputFolder = row.outputFolder;
        host.notices.clear();

        run({row.entry});

        EXPECT_EQ(body(), std::vector<std::string>{row.line}) << row.entry.text();
        EXPECT_EQ(trim.counters().errors, 1) << row.entry.text();
        EXPECT_EQ(host.notices, row.extractionNotice
                                    ? std::vector<std::string>{"Rar Extraction Error."}
                                    : std::vector<std::string>{})
            << row.entry.text();
        EXPECT_EQ(testing::ListFolder(z), before) << row.entry.text();
        EXPECT_TRUE(testing::ListFolder(out).empty()) << row.entry.text();
    }
    expectArchivesUnchanged();
}

TEST_F(ArchiveRunTest, MembersThatCannotBeHadEndTheirEntryAndTheRunGoesOn) {
    Bytes flipped = ZipBuilder().add("flipped.nds", Rom(), 0).build();
    flipped[30 + 11 + 700000] ^= 0x01;  // in the stored data, past the local header and name
    WriteFile(z + "flipped.zip", flipped);
    WriteFile(z + "bad.zip", ZipBuilder()
                                 .add("m12.nds", Rom(), 12)
                                 .add(ZipBuilder::Member("short.nds", Rom()).claiming(2000000))
                                 .build());
    WriteFile(z + "bomb.zip", ZipBuilder()
                                  .add("a.nds", Rom())
                                  .add(ZipBuilder::Member("b.nds", Rom()).localHeaderAt(0))
                                  .build());
    run({ZipMember(z + "a.zip", "other.nds"), ZipMember(z + "bad.zip", "m12.nds"),
         ZipMember(z + "bad.zip", "short.nds"), ZipMember(z + "gone.zip", "x.nds"),
         ZipMember(z + "flipped.zip", "flipped.nds"), ZipMember(z + "bomb.zip", "b.nds"),
         RarMember(z + "a.rar", "other.nds"), ZipMember(z + "a.zip", "roms/eu/game.nds")});
    EXPECT_EQ(body(), (std::vector<std::string>{
                          "ERROR: Cannot extract (the member is not in the archive): other.nds",
                          "ERROR: Cannot process this file: m12.nds ",
                          "ERROR: Cannot extract (the data inflates to fewer bytes than stated): "
                          "short.nds",
                          "ERROR(2): File doesn't exist: gone.zip",
                          "ERROR: Cannot extract (the data does not match its CRC-32): flipped.nds",
                          "ERROR: Cannot open archive (overlapping entries): bomb.zip",
                          "ERROR: Cannot extract (the member is not in the archive): other.nds",
                          "roms/eu/game.nds: 448576"}));
    EXPECT_EQ(trim.counters().errors, 7);
    EXPECT_EQ(host.notices, std::vector<std::string>{"Rar Extraction Error."});
    EXPECT_EQ(host.labels[CounterLabel::Complete], "Files Processed: 8/8");
    EXPECT_EQ(testing::ListFolder(z),
              (std::vector<std::string>{"a.rar", "a.zip", "bad.zip", "bomb.zip", "flipped.zip",
                                        "game.nds"}));
    expectArchivesUnchanged();
}

TEST_F(ArchiveRunTest, MemberNamesCannotWriteOutsideTheirFolder) {
    WriteFile(z + "evil.zip", ZipBuilder().add("../../evil.nds", Rom()).build());
    WriteFile(z + "evil.rar", RarBuilder().add("..\\..\\evil.nds", Rom()).build());
    run({ZipMember(z + "evil.zip", "../../evil.nds"), RarMember(z + "evil.rar", "../evil.nds"),
         RarMember(z + "evil.rar", "../../evil.nds")});
    EXPECT_EQ(testing::ListFolder(dir.path()), (std::vector<std::string>{"out", "z"}));
    EXPECT_EQ(ReadFile(z + "evil.nds"), Cut());
    EXPECT_EQ(host.notices, std::vector<std::string>{"Rar Extraction Error."});
}

TEST_F(ArchiveRunTest, DryRunExtractsNothingToDiskAndStillChecksCrcs) {
    Bytes corrupt = RarBuilder().add("x.nds", Rom()).build();
    corrupt[corrupt.size() - 7 - 1000] ^= 0x10;  // in the member's data, before the end block
    WriteFile(z + "corrupt.rar", corrupt);
    host.options.dryRun = true;
    run({RarMember(z + "a.rar", "set/m.nds"), ZipMember(z + "a.zip", "roms/eu/game.nds"),
         RarMember(z + "corrupt.rar", "x.nds")});
    EXPECT_EQ(body(), (std::vector<std::string>{
                          "set/m.nds: 448576", "roms/eu/game.nds: 448576",
                          "ERROR: Cannot extract (the data does not match its CRC-32): x.nds"}));
    EXPECT_EQ(trim.counters().errors, 1);
    EXPECT_EQ(testing::ListFolder(z), (std::vector<std::string>{"a.rar", "a.zip", "corrupt.rar"}));
}

// A dry run plans the SRAM patch on the bytes a member would give, whether the member was
// read into memory (zip) or is read where it lies in its archive (a stored rar member).
TEST_F(ArchiveRunTest, DryRunPlansTheSramPatchOfAMemberWhereverItsBytesAre) {
    const auto patchable = std::ranges::find_if(
        SramCatalogue(), [](const SramCatalogueEntry& entry) { return !entry.group.empty(); });
    ASSERT_NE(patchable, SramCatalogue().end());
    const Bytes image =
        GbaImageBuilder()
            .size(1u << 20)
            .dataEnd(4096)
            .bytes(256, Bytes(patchable->signature.begin(), patchable->signature.end()))
            .build();
    WriteFile(z + "g.rar", RarBuilder().add("g.gba", image).build());
    WriteFile(z + "g.zip", ZipBuilder().add("g.gba", image).build());
    host.options.dryRun = true;
    host.options.sramPatch = true;
    const std::string planned = "SRAM Patched: " + std::string(patchable->group);
    for (const RomListEntry& entry :
         {RarMember(z + "g.rar", "g.gba"), ZipMember(z + "g.zip", "g.gba")}) {
        run({entry});
        ASSERT_EQ(body().size(), 2u) << ::testing::PrintToString(host.log);
        EXPECT_EQ(body()[1], planned) << entry.text();
        EXPECT_EQ(trim.counters().errors, 0) << entry.text();
    }
    EXPECT_EQ(testing::ListFolder(z),
              (std::vector<std::string>{"a.rar", "a.zip", "g.rar", "g.zip"}));
}

}  // namespace
}  // namespace ostravex

namespace ostravex {
namespace {

using Tool = testing::ArchiveTool;

// An archive holding `member` as game.nds, made by the real tool where there is one (rar
// archives cannot be made by the tools here). Empty when the tool is missing.
std::string MakeArchive(Tool tool, TempDir& dir, const std::string& folder, const Bytes& member,
                        bool broken) {
    const std::string src = dir.subfolder("src");
    WriteFile(src + "game.nds", member);
    std::string archive;
    switch (tool) {
        case Tool::Zip:
            archive = folder + "game archive.zip";
            if (std::system("command -v zip >/dev/null") != 0 ||
                std::system(("cd '" + src + "' && zip -q '" + archive + "' game.nds").c_str()) !=
                    0) {
                return "";
            }
            break;
        case Tool::SevenZip:
            archive = folder + "game archive.7z";
            if (!testing::MakeSevenZip(archive, src, {"game.nds"})) {
                return "";
            }
            break;
        case Tool::Rar:
            archive = folder + "game archive.rar";
            WriteFile(archive, RarBuilder().add("game.nds", member).build());
            break;
    }
    if (broken) {
        // A byte in the middle of the packed data: the member fails its check.
        Bytes bytes = ReadFile(archive);
        bytes[bytes.size() / 2] ^= 0x55;
        WriteFile(archive, bytes);
    }
    return archive;
}

RomListEntry MemberOf(Tool tool, const std::string& archive) {
    switch (tool) {
        case Tool::Zip:
            return ZipMember(archive, "game.nds");
        case Tool::SevenZip:
            return SevenZipMember(archive, "game.nds");
        case Tool::Rar:
            return RarMember(archive, "game.nds");
    }
    return {};
}

// The user's own game.nds, another image than the archive's.
Bytes UsersOwn() {
    return NdsImageBuilder().usedSize(300000).size(1048576).build();
}

// A member is never written over a file that is already at its name, unless that file is
// exactly the member's result (then it is already there); a member that cannot be read
// leaves that file alone as well. In every file option, for zip, 7z and rar, and a dry run
// tells the same.
TEST(MemberNameTaken, AFileAtTheMembersNameIsNeverReplaced) {
    struct Situation {
        const char* name;
        Bytes existing;
        bool broken;
        std::string line;  // the entry's last line, "" for the extraction's own error
        bool error;
    };
    const Situation situations[] = {
        {"the user's own file", UsersOwn(), false,
         "ERROR: A different file is already there, left as it is: ", true},
        {"an earlier run's result", Cut(), false,
         "SKIP: Already there from an earlier run: game.nds", false},
        {"the user's own file, a broken member", UsersOwn(), true, "", true},
    };
    for (const Tool tool : {Tool::Zip, Tool::SevenZip, Tool::Rar}) {
        for (const FileMode mode : {FileMode::Overwrite, FileMode::Backup, FileMode::Folder}) {
            for (const Situation& situation : situations) {
                for (const bool dryRun : {false, true}) {
                    SCOPED_TRACE(testing::ArchiveToolName(tool) + ", " +
                                 ::testing::PrintToString(mode) + ", " + situation.name +
                                 (dryRun ? ", dry run" : ""));
                    TempDir dir;
                    const std::string folder = dir.subfolder("roms: é");
                    const std::string out = dir.subfolder("out");
                    const std::string archive =
                        MakeArchive(tool, dir, folder, Rom(), situation.broken);
                    if (archive.empty()) {
                        GTEST_SKIP() << testing::ArchiveToolName(tool) << " is not installed";
                    }
                    const std::string taken =
                        (mode == FileMode::Folder ? out : folder) + "game.nds";
                    WriteFile(taken, situation.existing);
                    const std::vector<std::string> before = testing::ListFolder(folder);
                    RecordingHost host;
                    host.options.fileMode = mode;
                    host.options.outputFolder = out;
                    host.options.dryRun = dryRun;
                    testing::WiredTrimRun trim{host};

                    trim.run({MemberOf(tool, archive)});

                    EXPECT_EQ(ReadFile(taken), situation.existing);
                    EXPECT_EQ(testing::ListFolder(folder), before);
                    EXPECT_EQ(testing::ListFolder(out), mode == FileMode::Folder
                                                            ? std::vector<std::string>{"game.nds"}
                                                            : std::vector<std::string>{});
                    EXPECT_EQ(trim.counters().errors, situation.error ? 1 : 0)
                        << ::testing::PrintToString(host.log);
                    ASSERT_EQ(host.reports.size(), 1u);
                    const EntryFacts& facts = host.reports[0];
                    EXPECT_FALSE(facts.written);
                    if (!situation.line.empty()) {
                        ASSERT_FALSE(facts.lines.empty());
                        const std::string last = facts.lines.back().text;
                        EXPECT_TRUE(last.starts_with(situation.line)) << last;
                        if (situation.error) {
                            // Both are named: the file left alone and the member.
                            EXPECT_NE(last.find(taken), std::string::npos) << last;
                            EXPECT_NE(last.find(NamePart(archive)), std::string::npos) << last;
                        }
                    }
                }
            }
        }
    }
}

// A second backup run over a 7z archive's folder leaves the first run's results: they are
// found already there.
TEST(MemberNameTaken, ASecondBackupRunOverA7zKeepsTheFirstRunsResults) {
    TempDir dir;
    const std::string folder = dir.subfolder("roms");
    const std::string archive = MakeArchive(Tool::SevenZip, dir, folder, Rom(), false);
    if (archive.empty()) {
        GTEST_SKIP() << "7zz is not installed";
    }
    RecordingHost host;
    host.options.fileMode = FileMode::Backup;
    testing::WiredTrimRun trim{host};

    trim.run({SevenZipMember(archive, "game.nds")});
    ASSERT_EQ(trim.counters().errors, 0) << ::testing::PrintToString(host.log);
    EXPECT_EQ(ReadFile(folder + "game.nds"), Cut());

    host.reports.clear();
    trim.run({SevenZipMember(archive, "game.nds")});

    EXPECT_EQ(trim.counters().errors, 0) << ::testing::PrintToString(host.log);
    ASSERT_EQ(host.reports.size(), 1u);
    EXPECT_EQ(host.reports[0].lines.back().text,
              "SKIP: Already there from an earlier run: game.nds");
    EXPECT_EQ(ReadFile(folder + "game.nds"), Cut());
    // The archive is the original: no ".bak" is made of a member.
    EXPECT_EQ(testing::ListFolder(folder),
              (std::vector<std::string>{"game archive.7z", "game.nds"}));
}

}  // namespace
}  // namespace ostravex

namespace ostravex {
namespace {

// The user's file at a member's name is not this run's: the scene-number rename leaves its
// name too, whether the member failed or was refused. An earlier run's result is renamed
// as any skipped entry's output is.
TEST(MemberNameTaken, TheFileAtTheNameKeepsItsSceneNumber) {
    struct Row {
        const char* name;
        Bytes existing;
        bool broken;
        bool renamed;
    };
    for (const Row& row : {Row{"the user's file", UsersOwn(), false, false},
                           Row{"the user's file, a broken member", UsersOwn(), true, false},
                           Row{"an earlier run's result", Cut(), false, true}}) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::string folder = dir.subfolder("z");
        Bytes archive = ZipBuilder().add("0123 - game.nds", Rom()).build();
        if (row.broken) {
            archive[archive.size() / 3] ^= 0x55;
        }
        WriteFile(folder + "a.zip", archive);
        WriteFile(folder + "0123 - game.nds", row.existing);
        RecordingHost host;
        host.options.removeSceneNumbers = true;
        testing::WiredTrimRun trim{host};

        trim.run({ZipMember(folder + "a.zip", "0123 - game.nds")});

        const std::vector<std::string> expected =
            row.renamed ? std::vector<std::string>{"a.zip", "game.nds"}
                        : std::vector<std::string>{"0123 - game.nds", "a.zip"};
        EXPECT_EQ(testing::ListFolder(folder), expected) << ::testing::PrintToString(host.log);
    }
}

}  // namespace
}  // namespace ostravex
