// Runs with DATs: every rom identified, a cut made only when it pads back to the DAT's dump,
// a restore that gives the dump back byte for byte, and the header check a user can turn off.
#include <gtest/gtest.h>
#include <openssl/sha.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "cli.h"
#include "support/archive_builders.h"
#include "support/cli_run.h"
#include "support/logiqx_dats.h"
#include "support/rom_images.h"

namespace ostravex::cli {
namespace {

using testing::Bytes;
using testing::GbaImageBuilder;
using testing::NdsImageBuilder;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
using testing::ZipBuilder;
using testing::operator""_MiB;

using Result = testing::CliResult;
using testing::Contains;
using testing::DatDump;
using testing::kUsed;
using testing::Lines;
using testing::LogiqxDat;
using testing::NdsDump;
using testing::RunCommand;

Bytes Prefix(const Bytes& bytes, std::uint64_t size) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

Bytes GbaDump(std::uint8_t filler) {
    return GbaImageBuilder().size(4_MiB).dataEnd(3000001).filler(filler).build();
}

// A collection beside two DATs: one of NDS and GBA dumps, one that lists an NDS dump again.
class DatRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        roms = dir.subfolder("roms");
        dataAfter[7000000] = 0x42;  // a byte past the used size that the dump holds
        WriteDat("main.dat", "Nintendo - Nintendo DS",
                 {{"Blank &amp; Blue (Europe)", fullFf},
                  {"Z\xC3\xA9ro (Japan)", zero},
                  {"Data After (USA)", dataAfter},
                  {"Filled (Europe)", gba}});
        WriteDat("kiosk.dat", "Nintendo - Nintendo DS (Kiosk)",
                 {{"Blank &amp; Blue (Kiosk)", fullFf}});
    }
    void WriteDat(const std::string& name, const std::string& datName,
                  const std::vector<DatDump>& dumps) {
        const std::string text = LogiqxDat(datName, dumps);
        WriteFile(dir.file(name), Bytes(text.begin(), text.end()));
    }
    std::vector<std::string> WithDats(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(),
                         {"--dat", dir.file("main.dat"), "--dat=" + dir.file("kiosk.dat")});
        return arguments;
    }

    TempDir dir;
    std::string roms;
    const Bytes fullFf = NdsDump(0xFF, 'F');
    const Bytes zero = NdsDump(0x00, 'Z');
    Bytes dataAfter = NdsDump(0xFF, 'D');
    const Bytes gba = GbaDump(0xFF);
};

TEST_F(DatRunTest, EachRomIsIdentifiedAndOnlyAReversibleCutIsMade) {
    Bytes bad = fullFf;
    bad[4_MiB] ^= 0x01;
    const Bytes unknown = NdsDump(0xFF, 'U');
    struct Row {
        std::string name;
        Bytes image;
        std::string line;     // the identification line
        std::string outcome;  // a later line of the entry
        std::uint64_t sizeAfter;
    };
    const std::vector<Row> rows = {
        {"Full FF.nds", fullFf,
         "INFO: Full dump of a DAT entry: Full FF.nds -> Blank & Blue (Europe) (Nintendo - "
         "Nintendo DS); Blank & Blue (Kiosk) (Nintendo - Nintendo DS (Kiosk))",
         "Full FF.nds: " + std::to_string(8_MiB - kUsed), kUsed},
        {"Zero trimmed.nds", Prefix(zero, kUsed),
         "INFO: Trimmed dump of a DAT entry (0x00 padding): Zero trimmed.nds -> Z\xC3\xA9ro "
         "(Japan) (Nintendo - Nintendo DS)",
         "SKIP: File already trimmed", kUsed},
        // Named as the dump it claims to be, scene number and all.
        {"0042 - Blank & Blue (Europe).nds", bad,
         "WARNING: Bad dump (size of a DAT entry, checksum of none): 0042 - Blank & Blue "
         "(Europe).nds",
         "0042 - Blank & Blue (Europe).nds: ", kUsed},
        // Of a dump's size but claiming none: an 8 MiB homebrew.
        {"Homebrew.nds", NdsDump(0xFF, 'H'), "INFO: In no DAT: Homebrew.nds",
         "Homebrew.nds: ", kUsed},
        {"Unknown.nds", Prefix(unknown, 6_MiB), "INFO: In no DAT: Unknown.nds",
         "Unknown.nds: ", kUsed},
        {"Data after.nds", dataAfter,
         "INFO: Full dump of a DAT entry: Data after.nds -> Data After (USA) (Nintendo - "
         "Nintendo DS)",
         "SKIP: Trim would not be reversible (data after the used size): Data after.nds", 8_MiB},
        {"Filled.gba", gba,
         "INFO: Full dump of a DAT entry: Filled.gba -> Filled (Europe) (Nintendo - Nintendo DS)",
         "Filled.gba: ", 3000001},
    };
    for (const Row& row : rows) {
        WriteFile(roms + row.name, row.image);
    }
    const Result result = RunCommand(WithDats({roms}));
    EXPECT_EQ(result.code, 0) << result.out << result.err;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::size_t line = result.out.find(row.line + "\n");
        ASSERT_NE(line, std::string::npos) << result.out;
        EXPECT_NE(result.out.find(row.outcome, line), std::string::npos) << result.out;
        const Bytes after = ReadFile(roms + row.name);
        EXPECT_EQ(after.size(), row.sizeAfter);
        EXPECT_EQ(after, Prefix(row.image, row.sizeAfter));
    }
    EXPECT_TRUE(Contains(result.out, "\nFiles skipped: 2\n")) << result.out;
}

// Roms read and hashed ahead on several threads give the run that reads them one at a time,
// byte for byte: its log, its JSON and the files it leaves, with a failing entry among them.
TEST_F(DatRunTest, SeveralJobsGiveWhatOneJobGives) {
    Bytes bad = fullFf;
    bad[4_MiB] ^= 0x01;
    const std::vector<std::pair<std::string, Bytes>> collection = {
        {"1 Full FF.nds", fullFf},
        {"2 Zero trimmed.nds", Prefix(zero, kUsed)},
        {"3 Blank & Blue (Europe).nds", bad},
        {"4 Tiny.nds", Bytes(100, 0x11)},  // fails: too small for an image
        {"5 Unknown.nds", Prefix(NdsDump(0xFF, 'U'), 6_MiB)},
        {"6 Data after.nds", dataAfter},
        {"7 Filled.gba", gba},
        {"8 Zero full.nds", zero},
    };
    // One copy of the collection for each run, all made before any run.
    std::map<std::string, std::string> copies;
    for (const char* run : {"text1", "text2", "json1", "json2"}) {
        copies[run] = dir.subfolder(run);
        for (const auto& [name, bytes] : collection) {
            WriteFile(copies[run] + name, bytes);
        }
    }
    // A rom is read ahead only once its last change is older than the timestamps' tick
    // (2 seconds on FAT): the runs below must read ahead for real.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));

    for (const bool json : {false, true}) {
        SCOPED_TRACE(json ? "--json" : "text");
        const std::string one = copies[json ? "json1" : "text1"];
        const std::string two = copies[json ? "json2" : "text2"];
        const Result byOne = RunCommand(WithDats({"--jobs=1", json ? "--json" : "--", one}));
        const Result byTwo = RunCommand(WithDats({"--jobs", "2", json ? "--json" : "--", two}));
        EXPECT_EQ(byOne.code, 1) << byOne.out;
        EXPECT_EQ(byTwo.code, byOne.code);
        std::string expected = byOne.out;
        for (std::size_t at = 0; (at = expected.find(one, at)) != std::string::npos;) {
            expected.replace(at, one.size(), two);
        }
        EXPECT_EQ(testing::ComparableLines(byTwo.out), testing::ComparableLines(expected));
        EXPECT_TRUE(Contains(byTwo.out, "ERROR: Incorrect File: 4 Tiny.nds")) << byTwo.out;
        for (const auto& [name, bytes] : collection) {
            EXPECT_EQ(ReadFile(two + name), ReadFile(one + name)) << name;
        }
    }
}

// A rom is identified before anything is copied, in every file option: a cut that would
// not pad back to the dump is not made, and no line speaks of savings for it.
TEST_F(DatRunTest, ACopyThatWouldNotPadBackIsDroppedInBackupAndFolderModes) {
    const std::string out = dir.subfolder("out");
    for (const std::vector<std::string>& mode : std::vector<std::vector<std::string>>{
             {"--mode=backup"}, {"--mode=folder", "--output=" + out}}) {
        SCOPED_TRACE(mode.front());
        WriteFile(roms + "Data after.nds", dataAfter);
        WriteFile(roms + "Full.nds", fullFf);
        std::vector<std::string> arguments = mode;
        arguments.push_back(roms);
        const Result result = RunCommand(WithDats(arguments));
        EXPECT_EQ(result.code, 0) << result.out << result.err;
        EXPECT_TRUE(Contains(
            result.out,
            "SKIP: Trim would not be reversible (data after the used size): Data after.nds\n"))
            << result.out;
        EXPECT_TRUE(Contains(result.out, "INFO: Full dump of a DAT entry: Full.nds -> "))
            << result.out;
        EXPECT_TRUE(Contains(result.out, "\nFiles skipped: 1\n")) << result.out;
        EXPECT_FALSE(Contains(result.out, "Data after.nds: ")) << result.out;
        EXPECT_TRUE(Contains(result.out, "\nTotal Savings: 2.36 MB\n")) << result.out;
        EXPECT_EQ(ReadFile(roms + "Data after.nds"), dataAfter);
        const bool backup = mode.size() == 1;
        EXPECT_FALSE(testing::Exists(roms + "Data after.nds.bak"));
        EXPECT_FALSE(testing::Exists(out + "Data after.nds"));
        EXPECT_EQ(ReadFile(backup ? roms + "Full.nds" : out + "Full.nds"), Prefix(fullFf, kUsed));
        for (const std::string& folder : {roms, out}) {
            for (const std::string& name : testing::ListFolder(folder)) {
                EXPECT_FALSE(name.starts_with(".ostravex-")) << name;
            }
        }
    }
}

// A member's output that cannot be made is told as such, with where it was to go.
TEST_F(DatRunTest, AnOutputThatCannotBeMadeIsToldAsSuch) {
    const std::string out = dir.subfolder("out");
    dir.subfolder("out/Full.nds");  // a folder at the output's name
    WriteFile(roms + "a.zip", testing::ZipBuilder().add("Full.nds", fullFf).build());
    const Result result =
        RunCommand(WithDats({"--mode=folder", "--output=" + out, roms + "a.zip"}));
    EXPECT_EQ(result.code, 1);
    EXPECT_TRUE(Contains(result.out, "\nERROR: Cannot create file (Is a directory): Full.nds\n"))
        << result.out;
    EXPECT_TRUE(Contains(result.err, "a.zip (member Full.nds) -> " + out + "Full.nds: ERROR: "))
        << result.err;
}

// A dump the SRAM patch changes is no longer the DAT's dump: its line says so.
TEST_F(DatRunTest, APatchedDumpIsSaidToBeNoLongerTheDump) {
    const Bytes v111{0x0E, 0x48, 0x39, 0x68, 0x01, 0x60, 0x0E, 0x48};
    const Bytes dump =
        GbaImageBuilder().size(4_MiB).dataEnd(3000001).bytes(501, v111).filler(0xFF).build();
    WriteDat("save.dat", "Nintendo - Game Boy Advance", {{"Save (USA)", dump}});
    WriteFile(roms + "Save.gba", dump);
    const Result result =
        RunCommand({"--dat", dir.file("save.dat"), "--sram-patch", roms + "Save.gba"});
    EXPECT_EQ(result.code, 0) << result.out;
    EXPECT_TRUE(Contains(result.out,
                         "SRAM Patched: SRAM_EEProm_V111\n"
                         "WARNING: Patched, no longer the DAT's dump: Save.gba\n"))
        << result.out;
}

TEST_F(DatRunTest, WithoutDatsNothingIsIdentified) {
    WriteFile(roms + "Full FF.nds", fullFf);
    const Result json = RunCommand({"--json", "--dry-run", roms});
    EXPECT_FALSE(Contains(json.out, "\"dat")) << json.out;
    EXPECT_FALSE(Contains(json.out, "dumps")) << json.out;
    const Result result = RunCommand({roms});
    EXPECT_FALSE(Contains(result.out, "DAT")) << result.out;
    EXPECT_FALSE(Contains(result.out, "dumps")) << result.out;
    EXPECT_EQ(ReadFile(roms + "Full FF.nds").size(), kUsed);
}

std::vector<nlohmann::json> JsonObjects(const std::string& text) {
    std::vector<nlohmann::json> objects;
    for (const std::string& line : Lines(text)) {
        objects.push_back(nlohmann::json::parse(line));
    }
    return objects;
}

constexpr const char* kBadDumpLine =
    "WARNING: Bad dump (size of a DAT entry, checksum of none): 0042 - Blank & Blue (Europe).nds";

// A collection of each kind: 3 full dumps, 2 trimmed, 1 bad, 4 in no DAT, and a PATH that is
// not there, which is counted as an error and in none of the four.
class DatCountsTest : public DatRunTest {
  protected:
    void SetUp() override {
        DatRunTest::SetUp();
        Bytes bad = fullFf;
        bad[4_MiB] ^= 0x01;
        const std::vector<std::pair<std::string, Bytes>> files = {
            {"Full FF.nds", fullFf},
            {"Filled.gba", gba},
            {"Data after.nds", dataAfter},
            {"Zero trimmed.nds", Prefix(zero, kUsed)},
            {"FF trimmed.nds", Prefix(fullFf, kUsed)},
            {"0042 - Blank & Blue (Europe).nds", bad},
            {"Homebrew 1.nds", NdsDump(0xFF, 'H')},
            {"Homebrew 2.nds", NdsDump(0xFF, 'I')},
            {"Homebrew 3.nds", NdsDump(0x00, 'J')},
            {"Other.gba", GbaImageBuilder().size(4_MiB).dataEnd(1000000).filler(0xFF).build()},
        };
        for (const auto& [name, bytes] : files) {
            WriteFile(roms + name, bytes);
        }
    }
    std::string missing() const { return dir.file("Missing.nds"); }
};

TEST_F(DatCountsTest, TheDatCountsFollowTheFiveCountersAndStandInTheJsonSummary) {
    const Result json = RunCommand(WithDats({"--json", "--dry-run", roms, missing()}));
    EXPECT_EQ(json.code, 1) << json.out;
    const std::vector<nlohmann::json> objects = JsonObjects(json.out);
    ASSERT_EQ(objects.size(), 12u) << json.out;
    const nlohmann::json& summary = objects.back();
    EXPECT_EQ(summary["type"], "summary");
    EXPECT_EQ(summary["full_dumps"], 3) << summary;
    EXPECT_EQ(summary["trimmed_dumps"], 2) << summary;
    EXPECT_EQ(summary["bad_dumps"], 1) << summary;
    EXPECT_EQ(summary["not_in_dat"], 4) << summary;
    EXPECT_EQ(summary["errors"], 1) << summary;
    EXPECT_EQ(summary["processed"], 11) << summary;

    const Result result = RunCommand(WithDats({roms, missing()}));
    EXPECT_EQ(result.code, 1) << result.out;
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_GE(lines.size(), 9u) << result.out;
    // Skipped: the two trimmed dumps, and the full dump whose cut would drop data.
    EXPECT_EQ(std::vector<std::string>(lines.end() - 9, lines.end()),
              (std::vector<std::string>{"Wifi games:", "Errors: 1", "Files skipped: 3",
                                        "Files Processed: 11/11", "Total Savings: 15.99 MB",
                                        "Full dumps: 3", "Trimmed dumps: 2", "Bad dumps: 1",
                                        "In no DAT: 4"}))
        << result.out;
}

// A bad dump is a warning: --quiet keeps it, with the errors and the counters.
TEST_F(DatCountsTest, QuietKeepsTheBadDumpWarning) {
    const Result result = RunCommand(WithDats({"--quiet", roms}));
    EXPECT_EQ(result.code, 0) << result.out;
    EXPECT_EQ(Lines(result.out),
              (std::vector<std::string>{kBadDumpLine, "Wifi games:", "Errors:", "Files skipped: 3",
                                        "Files Processed: 10/10", "Total Savings: 15.99 MB",
                                        "Full dumps: 3", "Trimmed dumps: 2", "Bad dumps: 1",
                                        "In no DAT: 4"}))
        << result.out;
}

// --list with DATs reads and identifies every rom, and changes nothing: not a byte, not a
// name, no file made (an archive member is not extracted).
TEST_F(DatCountsTest, ListWithDatsIdentifiesAndChangesNothing) {
    WriteFile(
        roms + "pack.zip",
        testing::ZipBuilder()
            .add("sub/0001 - Full.nds", fullFf)
            .add(testing::ZipBuilder::Member("sub/Damaged.nds", zero, 0).claimingCrc(0x12345678))
            .build());
    std::map<std::string, Bytes> before;
    for (const std::string& name : testing::ListFolder(roms)) {
        before[name] = ReadFile(roms + name);
    }
    const auto unchanged = [&] {
        std::map<std::string, Bytes> after;
        for (const std::string& name : testing::ListFolder(roms)) {
            after[name] = ReadFile(roms + name);
        }
        EXPECT_TRUE(after == before);
    };
    const std::vector<std::string> options = {"--list", "--remove-scene-numbers", roms};

    const Result result = RunCommand(WithDats(options));
    EXPECT_EQ(result.code, 1) << result.out << result.err;
    unchanged();
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 16u) << result.out;
    // One line per entry, in the list's order, then the counts.
    EXPECT_EQ(lines[0], kBadDumpLine);
    EXPECT_EQ(lines[2],
              "INFO: Trimmed dump of a DAT entry (0xFF padding): FF trimmed.nds -> "
              "Blank & Blue (Europe) (Nintendo - Nintendo DS); Blank & Blue (Kiosk) "
              "(Nintendo - Nintendo DS (Kiosk))");
    EXPECT_EQ(lines[9], "INFO: In no DAT: Other.gba");
    EXPECT_EQ(lines[10],
              "INFO: Full dump of a DAT entry: sub/0001 - Full.nds -> Blank & Blue "
              "(Europe) (Nintendo - Nintendo DS); Blank & Blue (Kiosk) (Nintendo - "
              "Nintendo DS (Kiosk))");
    EXPECT_TRUE(lines[11].starts_with("ERROR: ")) << lines[11];
    EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()),
              (std::vector<std::string>{"Full dumps: 4", "Trimmed dumps: 2", "Bad dumps: 1",
                                        "In no DAT: 4"}));
    // The failure is named on standard error with its archive and member.
    EXPECT_TRUE(Contains(result.err, "pack.zip (member sub/Damaged.nds): ERROR: ")) << result.err;

    const Result quiet = RunCommand(WithDats(
        {"--quiet", "--list", roms + "pack.zip", roms + "0042 - Blank & Blue (Europe).nds"}));
    EXPECT_EQ(Lines(quiet.out).size(), 6u) << quiet.out;
    EXPECT_TRUE(Lines(quiet.out)[0].starts_with("ERROR: ")) << quiet.out;
    EXPECT_EQ(Lines(quiet.out)[1], kBadDumpLine);

    const Result json = RunCommand(WithDats({"--json", "--list", roms + "pack.zip",
                                             roms + "Zero trimmed.nds", roms + "Homebrew 1.nds"}));
    EXPECT_EQ(json.code, 1) << json.out;
    unchanged();
    const std::vector<nlohmann::json> objects = JsonObjects(json.out);
    ASSERT_EQ(objects.size(), 5u) << json.out;
    EXPECT_EQ(objects[0]["member"], "sub/0001 - Full.nds");
    EXPECT_EQ(objects[0]["dat"]["match"], "full_dump");
    EXPECT_EQ(objects[0]["lines"].size(), 1u);
    EXPECT_TRUE(objects[1]["dat"].is_null()) << objects[1];
    EXPECT_EQ(objects[2]["dat"]["match"], "trimmed_dump");
    EXPECT_EQ(objects[2]["dat"]["filler"], "0x00");
    EXPECT_EQ(objects[3]["dat"]["match"], "not_in_dat");
    const nlohmann::json expected = {{"type", "summary"},  {"errors", 1},    {"skipped", 0},
                                     {"processed", 4},     {"entries", 4},   {"full_dumps", 1},
                                     {"trimmed_dumps", 1}, {"bad_dumps", 0}, {"not_in_dat", 1},
                                     {"halted", false}};
    EXPECT_EQ(objects[4], expected);
}

TEST_F(DatRunTest, ADatThatCannotBeLoadedStopsAListBeforeAnything) {
    WriteFile(roms + "Full.nds", fullFf);
    const Result result = RunCommand({"--list", "--dat", dir.file("missing.dat"), roms});
    EXPECT_EQ(result.code, 1);
    EXPECT_TRUE(Contains(result.err, "ERROR: Cannot load DAT: ")) << result.err;
    EXPECT_EQ(result.out, "");
}

// A member in a folder of its archive is named by its path in the archive on every line of
// its entry, as the line of its savings names it.
TEST_F(DatRunTest, AMemberInAFolderIsNamedAlikeOnEveryLine) {
    WriteFile(roms + "a.zip", testing::ZipBuilder().add("sub/a.nds", fullFf).build());
    const Result result = RunCommand(WithDats({roms + "a.zip"}));
    EXPECT_EQ(result.code, 0) << result.out << result.err;
    EXPECT_TRUE(Contains(result.out,
                         "\nINFO: Full dump of a DAT entry: sub/a.nds -> Blank & Blue (Europe) "))
        << result.out;
    EXPECT_TRUE(Contains(result.out, "\nsub/a.nds: " + std::to_string(8_MiB - kUsed) + "\n"))
        << result.out;
    EXPECT_EQ(ReadFile(roms + "a.nds"), Prefix(fullFf, kUsed));

    // So is a restore's line of a trimmed dump that is not the DAT's.
    WriteFile(roms + "b.zip",
              testing::ZipBuilder().add("sub/b.nds", Prefix(NdsDump(0xFF, 'U'), 6_MiB)).build());
    const Result restore = RunCommand(WithDats({"--restore", roms + "b.zip"}));
    EXPECT_TRUE(Contains(restore.out,
                         "\nINFO: In no DAT: sub/b.nds\n"
                         "ERROR: Not a trimmed dump of any DAT entry, not restored: "
                         "sub/b.nds\n"))
        << restore.out;
}

TEST_F(DatRunTest, ARestoreGivesBackTheDumpOrChangesNothing) {
    const Bytes unknown = Prefix(NdsDump(0xFF, 'U'), kUsed);
    WriteFile(roms + "Zero.nds", Prefix(zero, kUsed));
    WriteFile(roms + "Filled.gba", Prefix(gba, 3000001));
    WriteFile(roms + "Unknown.nds", unknown);
    const Result result = RunCommand(WithDats({"--restore", roms}));
    // The zero-padded dump comes back with zeros, not with the 0xFF a restore pads with
    // otherwise.
    EXPECT_EQ(ReadFile(roms + "Zero.nds"), zero);
    EXPECT_EQ(ReadFile(roms + "Filled.gba"), gba);
    EXPECT_EQ(ReadFile(roms + "Unknown.nds"), unknown);
    EXPECT_TRUE(Contains(result.out,
                         "ERROR: Not a trimmed dump of any DAT entry, not restored: Unknown.nds\n"))
        << result.out;
    EXPECT_TRUE(Contains(result.out, "\nErrors: 1\n")) << result.out;
    EXPECT_EQ(result.code, 1);

    // A GBA dump cut to exactly half its cartridge, or less, is still found and restored to
    // the size the DAT gives, not to a guess; a full dump is left as it is.
    const Bytes half = GbaImageBuilder().size(8_MiB).dataEnd(3000000).filler(0xFF).build();
    WriteDat("half.dat", "Nintendo - Game Boy Advance", {{"Half (USA)", half}});
    const std::string halves = dir.subfolder("halves");
    WriteFile(halves + "Half.gba", Prefix(half, 4_MiB));
    WriteFile(halves + "Less.gba", Prefix(half, 3000000));
    WriteFile(halves + "Full.gba", half);
    const Result halfResult = RunCommand({"--dat", dir.file("half.dat"), "--restore", halves});
    EXPECT_EQ(halfResult.code, 0) << halfResult.out;
    EXPECT_EQ(ReadFile(halves + "Half.gba"), half);
    EXPECT_EQ(ReadFile(halves + "Less.gba"), half);
    EXPECT_EQ(ReadFile(halves + "Full.gba"), half);
    EXPECT_TRUE(Contains(halfResult.out, "RESTORED: Half.gba: 4194304 bytes added\n"))
        << halfResult.out;
    EXPECT_TRUE(
        Contains(halfResult.out, "SKIP: Full dump of a DAT entry, not restored: Full.gba\n"))
        << halfResult.out;
    // Without the DAT the size of the half is a guess, and it is a power of two already.
    WriteFile(halves + "Less.gba", Prefix(half, 3000000));
    const Result guessed = RunCommand({"--restore", halves + "Less.gba"});
    EXPECT_TRUE(Contains(guessed.out, "RESTORED: Less.gba: 1194304 bytes added (assumed 4 MiB)\n"))
        << guessed.out;

    // A dry run says the same and writes nothing.
    WriteFile(roms + "Zero.nds", Prefix(zero, kUsed));
    const Result dry = RunCommand(WithDats({"--restore", "--dry-run", roms + "Zero.nds"}));
    EXPECT_EQ(dry.code, 0) << dry.out;
    EXPECT_TRUE(Contains(dry.out, "RESTORED: Zero.nds: ")) << dry.out;
    EXPECT_EQ(ReadFile(roms + "Zero.nds"), Prefix(zero, kUsed));
}

TEST_F(DatRunTest, JsonCarriesTheMatch) {
    WriteFile(roms + "Zero.nds", Prefix(zero, kUsed));
    WriteFile(roms + "Full.nds", fullFf);
    const Result result = RunCommand(WithDats({"--json", "--dry-run", roms}));
    ASSERT_EQ(result.code, 0) << result.out << result.err;
    std::map<std::string, nlohmann::json> entries;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json object = nlohmann::json::parse(line);
        if (object["type"] == "entry") {
            entries[object["path"]] = object;
        }
    }
    const nlohmann::json& zeroDat = entries.at(roms + "Zero.nds")["dat"];
    EXPECT_EQ(zeroDat["match"], "trimmed_dump");
    EXPECT_EQ(zeroDat["filler"], "0x00");
    EXPECT_EQ(zeroDat["dat_size"], 8_MiB);
    const nlohmann::json expected = nlohmann::json::array({{{"dat", "Nintendo - Nintendo DS"},
                                                            {"game", "Z\xC3\xA9ro (Japan)"},
                                                            {"rom", "Z\xC3\xA9ro (Japan).nds"}}});
    EXPECT_EQ(zeroDat["entries"], expected);
    const nlohmann::json& fullDat = entries.at(roms + "Full.nds")["dat"];
    EXPECT_EQ(fullDat["match"], "full_dump");
    EXPECT_TRUE(fullDat["filler"].is_null());
    EXPECT_EQ(fullDat["entries"].size(), 2u);
    EXPECT_EQ(fullDat["sha1"].get<std::string>().size(), 40u);
}

TEST_F(DatRunTest, ADatThatCannotBeLoadedStopsTheCallBeforeAnything) {
    WriteFile(roms + "Full.nds", fullFf);
    WriteFile(dir.file("broken.dat"), Bytes{'<', 'd', 'a', 't'});
    for (const std::string& dat : {dir.file("missing.dat"), dir.file("broken.dat")}) {
        const Result result = RunCommand({"--dat", dat, roms});
        EXPECT_EQ(result.code, 1);
        EXPECT_TRUE(Contains(result.err, "ERROR: Cannot load DAT: " + dat + ": ")) << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(ReadFile(roms + "Full.nds"), fullFf);
    }
}

// The DAT as DAT-o-MATIC publishes it: a byte order mark, the header's clrmamepro element,
// CRLF line ends.
std::string AsPublished(const std::string& dat) {
    std::string text = "\xEF\xBB\xBF";
    for (const char c : dat) {
        text += c == '\n' ? "\r\n" : std::string(1, c);
    }
    const std::size_t header = text.find("\t</header>");
    return text.insert(header, "\t\t<clrmamepro forcenodump=\"required\"/>\r\n");
}

// UTF-8 text of code points below U+10000 as UTF-16LE with its byte order mark.
Bytes Utf16(const std::string& utf8) {
    Bytes bytes = {0xFF, 0xFE};
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        const int length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : 3;
        unsigned code = length == 1 ? byte : length == 2 ? byte & 0x1F : byte & 0x0F;
        for (int k = 1; k < length; ++k) {
            code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        i += length;
        bytes.push_back(static_cast<std::uint8_t>(code & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(code >> 8));
    }
    return bytes;
}

Bytes BytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// DATs given as they are downloaded: zipped, in a folder, in UTF-16, twice, in two versions,
// with roms that cannot be matched. Each row's call identifies Full.nds, a dump of the main
// DAT, and says what it must of the DATs.
TEST_F(DatRunTest, DatsAreTakenAsTheyAreDownloaded) {
    const std::string published =
        AsPublished(LogiqxDat("Nintendo - Nintendo DS", {{"Blank &amp; Blue (Europe)", fullFf}}));
    WriteFile(dir.file("published.dat"), BytesOf(published));
    WriteFile(dir.file("copy.dat"), BytesOf(published));
    WriteFile(dir.file("Nintendo - Nintendo DS (20261201-000000).zip"),
              ZipBuilder()
                  .add("Nintendo - Nintendo DS (20261201-000000).dat", BytesOf(published))
                  .build());
    WriteFile(dir.file("utf16.dat"),
              Utf16(LogiqxDat("Nintendo - Nintendo DS", {{"Blank &amp; Blue (Europe)", fullFf}})));
    const std::string folder = dir.subfolder("dats");
    WriteFile(folder + "nds.zip", ZipBuilder().add("nds.dat", BytesOf(published)).build());
    WriteFile(folder + "kiosk.xml", ReadFile(dir.file("kiosk.dat")));
    WriteFile(dir.file("older.dat"),
              BytesOf(LogiqxDat("Nintendo - Nintendo DS", {{"Blank &amp; Blue (Europe)", fullFf}},
                                "20250101-000000")));
    std::string broken =
        LogiqxDat("Nintendo - Nintendo DS (Kiosk)",
                  {{"Broken (Europe)", gba}, {"Blank &amp; Blue (Kiosk)", fullFf}});
    broken.erase(broken.find(" sha1=\"") + 10, 1);  // the first SHA-1 is one digit short
    WriteFile(dir.file("broken.dat"), BytesOf(broken));
    std::string allBroken = broken;
    allBroken.erase(allBroken.rfind(" crc=\"") + 8, 1);  // and the second CRC
    WriteFile(dir.file("all broken.dat"), BytesOf(allBroken));

    const std::string main = "Blank & Blue (Europe) (Nintendo - Nintendo DS)";
    const std::string kiosk = "Blank & Blue (Kiosk) (Nintendo - Nintendo DS (Kiosk))";
    struct Row {
        const char* behaviour;
        std::vector<std::string> dats;
        std::string entries;  // after "Full.nds -> "; "" when the call stops before the run
        std::string err;      // the lines on standard error
    };
    const std::vector<Row> rows = {
        {"a zip as DAT-o-MATIC gives it",
         {dir.file("Nintendo - Nintendo DS (20261201-000000).zip")},
         main,
         ""},
        {"a folder of a zip and an XML file", {folder}, kiosk + "; " + main, ""},
        {"UTF-16", {dir.file("utf16.dat")}, main, ""},
        {"the same DAT twice, and a copy of it",
         {dir.file("published.dat"), dir.file("published.dat"), dir.file("copy.dat")},
         main,
         ""},
        {"two versions of one DAT",
         {dir.file("published.dat"), dir.file("older.dat")},
         "Blank & Blue (Europe) (Nintendo - Nintendo DS, 20261201-000000); Blank & Blue (Europe) "
         "(Nintendo - Nintendo DS, 20250101-000000)",
         ""},
        {"a DAT with a rom that cannot be matched",
         {dir.file("broken.dat")},
         kiosk,
         "WARNING: " + dir.file("broken.dat") +
             ": 1 entries left out (first: Broken (Europe): a 39-digit SHA-1)\n"},
        {"a DAT whose every rom cannot be matched",
         {dir.file("published.dat"), dir.file("all broken.dat")},
         "",
         "ERROR: Cannot load DAT: " + dir.file("all broken.dat") +
             ": no usable entry: 2 entries left out (first: Broken (Europe): a 39-digit "
             "SHA-1)\n"},
    };
    WriteFile(roms + "Full.nds", fullFf);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        std::vector<std::string> arguments = {"--dry-run"};
        for (const std::string& dat : row.dats) {
            arguments.insert(arguments.end(), {"--dat", dat});
        }
        arguments.push_back(roms);
        const Result result = RunCommand(arguments);
        EXPECT_EQ(result.err, row.err + (row.entries.empty() ? ""
                                                             : "ostravex-cli: dry run: "
                                                               "nothing will be written\n"));
        if (row.entries.empty()) {
            EXPECT_EQ(result.code, 1);
            EXPECT_EQ(result.out, "");
        } else {
            EXPECT_EQ(result.code, 0);
            EXPECT_TRUE(Contains(
                result.out, "INFO: Full dump of a DAT entry: Full.nds -> " + row.entries + "\n"))
                << result.out;
        }
    }
    EXPECT_EQ(ReadFile(roms + "Full.nds"), fullFf);
}

TEST_F(DatRunTest, JsonTellsDatsOfOneNameApartAndKeepsWarningsOffItsLines) {
    WriteFile(dir.file("older.dat"),
              BytesOf(LogiqxDat("Nintendo - Nintendo DS", {{"Blank &amp; Blue (Europe)", fullFf}},
                                "20250101-000000")));
    std::string broken = LogiqxDat("Other", {{"Broken", gba}, {"Good", zero}});
    broken.erase(broken.find(" crc=\"") + 6, 1);
    WriteFile(dir.file("broken.dat"), BytesOf(broken));
    WriteFile(roms + "Full.nds", fullFf);
    const Result result =
        RunCommand({"--json", "--dat", dir.file("main.dat"), "--dat", dir.file("older.dat"),
                    "--dat", dir.file("broken.dat"), roms});
    ASSERT_EQ(result.code, 0) << result.out << result.err;
    EXPECT_TRUE(Contains(result.err, "WARNING: " + dir.file("broken.dat") +
                                         ": 1 entries left out (first: Broken: a 7-digit CRC)\n"))
        << result.err;
    std::istringstream lines(result.out);
    nlohmann::json entry;
    for (std::string line; std::getline(lines, line);) {
        ASSERT_TRUE(nlohmann::json::accept(line)) << line;
        const nlohmann::json object = nlohmann::json::parse(line);
        if (object["type"] == "entry") {
            entry = object;
        }
    }
    const nlohmann::json expected =
        nlohmann::json::array({{{"dat", "Nintendo - Nintendo DS, 20261201-000000"},
                                {"game", "Blank & Blue (Europe)"},
                                {"rom", "Blank & Blue (Europe).nds"}},
                               {{"dat", "Nintendo - Nintendo DS, 20250101-000000"},
                                {"game", "Blank & Blue (Europe)"},
                                {"rom", "Blank & Blue (Europe).nds"}}});
    EXPECT_EQ(entry["dat"]["entries"], expected);
}

// A file that is no NDS image: zeros but for a "used size" of 1000, then data.
TEST(HeaderCheckOption, AFileWhoseHeaderDoesNotCheckOutIsCutOnlyWhenTheUserSaysSo) {
    TempDir dir;
    Bytes file(4_MiB, 0);
    for (std::size_t i = 0x200; i < file.size(); ++i) {
        file[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
    file[0x80] = 1000 & 0xFF;
    file[0x81] = 1000 >> 8;
    const std::string path = dir.file("x.nds");
    WriteFile(path, file);

    const Result checked = RunCommand({path});
    EXPECT_TRUE(Contains(checked.out,
                         "SKIP: Header checksum does not match (damaged or not an NDS image): "
                         "x.nds\n"))
        << checked.out;
    EXPECT_EQ(ReadFile(path), file);

    const Result unchecked = RunCommand({"--no-header-check", path});
    EXPECT_EQ(unchecked.code, 0) << unchecked.out;
    EXPECT_LT(ReadFile(path).size(), file.size());
}

}  // namespace
}  // namespace ostravex::cli
