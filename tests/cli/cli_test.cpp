#include "cli.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "cli_host.h"
#include "cli_options.h"
#include "io/temporary_files.h"
#include "json_report.h"
#include "line_stream.h"
#include "support/archive_builders.h"
#include "support/cli_run.h"
#include "support/read_only_folder.h"
#include "support/rom_images.h"
#include "support/unprivileged_run.h"

namespace ostravex::cli {
namespace {

using testing::Bytes;
using testing::GbaImageBuilder;
using testing::NdsImageBuilder;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
using testing::operator""_MiB;

using Result = testing::CliResult;
using testing::Contains;
using testing::Lines;
using testing::RunCommand;

TEST(CliUsage, WrongUsageExitsWithTwo) {
    TempDir dir;
    struct Row {
        std::vector<std::string> arguments;
        std::string message;
    };
    for (const Row& row : {
             Row{{"--frobnicate", dir.path()}, "unknown option '--frobnicate'"},
             Row{{}, "no PATH given"},
             Row{{"--output=/tmp", dir.path()}, "--output needs --mode=folder"},
             Row{{"--mode=folder", dir.path()}, "--mode=folder needs --output=DIR"},
             Row{{"--mode=sideways", dir.path()}, "unknown file mode"},
             Row{{"--mode=folder", "--output=", dir.path()}, "option '--output' needs a folder"},
             Row{{dir.path(), "--mode"}, "option '--mode' needs a value"},
             Row{{"--mode", "sideways", dir.path()}, "unknown file mode 'sideways'"},
             Row{{"--info", "a.nds", "b.nds"}, "--info takes exactly one FILE.nds"},
             Row{{"--info"}, "--info needs FILE.nds"},
             // Options that would do nothing.
             Row{{"--dont-overwrite", dir.path()}, "--dont-overwrite needs --mode=folder"},
             Row{{"--mode=backup", "--dont-overwrite", dir.path()},
                 "--dont-overwrite needs --mode=folder"},
             Row{{"--only-patch", dir.path()}, "--only-patch needs --sram-patch"},
             Row{{"--info", "--dat=x.dat", "a.nds"}, "--dat cannot be used with --info"},
             Row{{"--dat", dir.path()}, "no PATH given"},
             Row{{"--list", "--sram-patch", dir.path()}, "--list cannot be used with --sram-patch"},
             Row{{"--list", "--mode=overwrite", dir.path()}, "--list cannot be used with --mode"},
             Row{{"--list", "--dry-run", dir.path()}, "--list cannot be used with --dry-run"},
             Row{{"--list", "--restore", dir.path()}, "--list cannot be used with --restore"},
             Row{{"--list", "--check-padding", dir.path()},
                 "--list cannot be used with --check-padding"},
             Row{{"--info", "--restore", "a.nds"}, "--info cannot be used with --restore"},
             Row{{"--info", "--dry-run", "a.nds"}, "--info cannot be used with --dry-run"},
             Row{{"--quiet", "--json", dir.path()}, "--quiet cannot be used with --json"},
             Row{{"--restore", "--check-padding", dir.path()},
                 "--restore cannot be used with --check-padding"},
             Row{{"--no-archives", dir.file("a.zip")},
                 "--no-archives cannot be used with the archive " + dir.file("a.zip")},
             Row{{"--list", "--no-archives", dir.path(), dir.file("b.7z")},
                 "--no-archives cannot be used with the archive " + dir.file("b.7z")},
             // A number of jobs is a number, at least one.
             Row{{"--jobs", "0", dir.path()}, "option '--jobs' got '0'; it takes a number from 1"},
             Row{{"--jobs=x", dir.path()}, "option '--jobs' got 'x'; it takes a number from 1"},
             Row{{"--jobs=", dir.path()}, "option '--jobs' got ''"},
             Row{{"--jobs=-1", dir.path()}, "option '--jobs' got '-1'"},
             Row{{"--jobs=2x", dir.path()}, "option '--jobs' got '2x'"},
             Row{{"--jobs=257", dir.path()}, "it takes a number from 1 to 256"},
             Row{{dir.path(), "--jobs"}, "option '--jobs' needs a number of jobs"},
             Row{{"--info", "--jobs=2", "a.nds"}, "--jobs cannot be used with --info"},
             // A value that starts with "-" is most likely a forgotten one.
             Row{{"--mode=folder", "--output", "--dry-run", dir.path()},
                 "a value that starts with '-' is given as --output=VALUE"},
             Row{{"--dat", "--list", dir.path()},
                 "a value that starts with '-' is given as --dat=VALUE"},
         }) {
        const Result result = RunCommand(row.arguments);
        EXPECT_EQ(result.code, 2) << row.message;
        EXPECT_NE(result.err.find(row.message), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
}

TEST(CliUsage, OptionsMapToTheWindowsOptions) {
    const ParsedArguments parsed = ParseArguments(
        {"--mode=folder", "--output=/out", "--dont-overwrite", "--sram-patch", "--only-patch",
         "--skip-dsi", "--remove-scene-numbers", "--no-recursive", "--no-archives", "--dry-run",
         "--quiet", "--restore", "--", "--odd-name.nds"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    const CliOptions& o = *parsed.options;
    const RunOptions& r = o.run;
    EXPECT_EQ(r.fileMode, FileMode::Folder);
    EXPECT_EQ(r.outputFolder, "/out/");
    EXPECT_TRUE(r.dontOverwrite && r.sramPatch && r.onlyPatch && r.skipDsi &&
                r.removeSceneNumbers && r.dryRun && o.quiet && r.restore);
    EXPECT_FALSE(r.recursiveScan || r.scanArchives);
    EXPECT_EQ(o.paths, std::vector<std::string>{"--odd-name.nds"});
    // The two that go with neither --quiet nor --restore.
    const ParsedArguments others = ParseArguments({"--check-padding", "--json", "p"});
    ASSERT_TRUE(others.options) << others.error;
    EXPECT_TRUE(others.options->run.checkPadding && others.options->json);
    // Without --jobs, the core's own number: one per processor core.
    EXPECT_EQ(others.options->run.jobs, 0u);
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--jobs=3", "p"}, {"--jobs", "3", "p"}, {"--list", "--jobs=03", "p"}}) {
        const ParsedArguments jobs = ParseArguments(arguments);
        ASSERT_TRUE(jobs.options) << jobs.error;
        EXPECT_EQ(jobs.options->run.jobs, 3u);
    }
}

TEST(CliUsage, ValueOptionsTakeTheValueAttachedOrAsTheNextArgument) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--mode=folder", "--output=/out", "p"},
             {"--mode", "folder", "--output", "/out", "p"},
             {"--output", "/out", "--mode=folder", "--", "p"},
         }) {
        const ParsedArguments parsed = ParseArguments(arguments);
        ASSERT_TRUE(parsed.options) << parsed.error;
        EXPECT_EQ(parsed.options->run.fileMode, FileMode::Folder);
        EXPECT_EQ(parsed.options->run.outputFolder, "/out/");
        EXPECT_EQ(parsed.options->paths, std::vector<std::string>{"p"});
    }
    // A value that starts with "-" is taken only attached; "-" alone is a value.
    const ParsedArguments dashed = ParseArguments({"--mode=folder", "--output=--odd", "p"});
    ASSERT_TRUE(dashed.options) << dashed.error;
    EXPECT_EQ(dashed.options->run.outputFolder, "--odd/");
    EXPECT_FALSE(ParseArguments({"--mode=folder", "--output", "--odd", "p"}).options);
    const ParsedArguments dash = ParseArguments({"--mode=folder", "--output", "-", "p"});
    ASSERT_TRUE(dash.options) << dash.error;
    EXPECT_EQ(dash.options->run.outputFolder, "-/");
}

TEST(CliUsage, HelpNamesArchivesAndEveryOption) {
    const Result result = RunCommand({"--help"});
    EXPECT_EQ(result.code, 0);
    EXPECT_TRUE(result.out.starts_with("Usage: ostravex-cli"));
    for (const char* word : {"--mode=overwrite",
                             "--mode=backup",
                             "--mode=folder",
                             "--output=DIR",
                             "--dont-overwrite",
                             "--sram-patch",
                             "--only-patch",
                             "--skip-dsi",
                             "--remove-scene-numbers",
                             "--no-recursive",
                             "--no-archives",
                             "--dry-run",
                             "--quiet",
                             "--help",
                             "--version",
                             "--list",
                             "--info",
                             "--dat=PATH",
                             "--no-header-check",
                             "--jobs=N",
                             "zip, rar and 7z archives",
                             "--opt VALUE"}) {
        EXPECT_TRUE(Contains(result.out, word)) << word;
    }
    EXPECT_TRUE(Contains(result.out, "\n  -h, --help ")) << result.out;
    // Each section of options stands apart, after a blank line.
    for (const char* section : {"File options:", "DATs:", "Search options:", "Output:"}) {
        EXPECT_TRUE(Contains(result.out, std::string("\n\n") + section + "\n")) << section;
    }
}

TEST(CliUsage, VersionGoesToStandardOutput) {
    const Result result = RunCommand({"--version"});
    EXPECT_EQ(result.code, 0);
    EXPECT_TRUE(result.out.starts_with("ostravex-cli 2.")) << result.out;
    EXPECT_TRUE(Contains(result.out, "\nLicense GPL-3.0-or-later: ")) << result.out;
    EXPECT_EQ(result.err, "");
}

class CliRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        roms = dir.subfolder("roms");
        WriteFile(roms + "b.nds", NdsImageBuilder().usedSize(5913600).build());
        WriteFile(roms + "a.gba", GbaImageBuilder().size(4_MiB).dataEnd(1000).build());
        WriteFile(roms + "t.nds", Bytes(100, 0));
    }
    TempDir dir;
    std::string roms;
};

TEST_F(CliRunTest, TrimPrintsEveryLogLineAndTheCounters) {
    const Result result = RunCommand({roms});
    EXPECT_EQ(result.code, 1);  // t.nds is an error
    std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 17u) << result.out;
    EXPECT_TRUE(lines[11].starts_with("Trimming took "));
    lines.erase(lines.begin() + 11);  // the run time varies
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Dragged files Scan Started.",
                         "Files dragged Scan Finished.",
                         "3 roms found",
                         "Log",
                         "",
                         "",
                         "b.nds: 2475008",
                         "ERROR: Incorrect File: t.nds",
                         "a.gba: 4193304",
                         "Processing Finished.",
                         "",
                         "Wifi games:",
                         "Errors: 1",
                         "Files skipped:",
                         "Files Processed: 3/3",
                         "Total Savings: 6.36 MB",
                     }))
        << result.out;
    EXPECT_EQ(ReadFile(roms + "a.gba").size(), 1000u);
    // The log names the rom; standard error says which file it is.
    EXPECT_EQ(result.err, "ostravex-cli: " + roms + "t.nds: ERROR: Incorrect File: t.nds\n");
}

TEST_F(CliRunTest, QuietKeepsErrorsAndTheSummary) {
    const Result result = RunCommand({"--quiet", "--dry-run", roms + "t.nds", roms + "b.nds"});
    EXPECT_EQ(Lines(result.out),
              (std::vector<std::string>{"ERROR: Incorrect File: t.nds", "Wifi games:", "Errors: 1",
                                        "Files skipped:", "Files Processed: 2/2",
                                        "Total Savings: 2.36 MB"}));
    EXPECT_EQ(ReadFile(roms + "b.nds").size(), 8_MiB);
}

TEST_F(CliRunTest, CleanRunExitsWithZero) {
    const Result result = RunCommand({"--mode=backup", roms + "b.nds"});
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(ReadFile(roms + "b.nds.bak").size(), 8_MiB);
    EXPECT_EQ(ReadFile(roms + "b.nds").size(), 5913600u);
}

TEST_F(CliRunTest, ABackupNameTooLongGivesItsRealReasonOnStandardError) {
    const std::string name = std::string(251, 'n') + ".nds";  // with ".bak", 259 bytes
    WriteFile(roms + name, NdsImageBuilder().usedSize(5913600).build());
    const Result result = RunCommand({"--quiet", "--mode=backup", roms + name});
    EXPECT_EQ(result.code, 1);
    EXPECT_EQ(Lines(result.out)[0], "Error: File is Read-Only: " + name);
    EXPECT_EQ(result.err, "ostravex-cli: " + roms + name + ": Cannot keep the original as " + name +
                              ".bak: File name too long\n");
    EXPECT_EQ(ReadFile(roms + name).size(), 8_MiB);
}

TEST_F(CliRunTest, ListPrintsEntriesOnly) {
    const Result result = RunCommand({"--list", roms, roms + "b.nds"});
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(Lines(result.out), (std::vector<std::string>{roms + "b.nds", roms + "t.nds",
                                                           roms + "a.gba", roms + "b.nds"}));
    EXPECT_EQ(ReadFile(roms + "b.nds").size(), 8_MiB);
}

TEST_F(CliRunTest, ListShowsArchiveMembersUnlessTurnedOff) {
    WriteFile(roms + "c.zip", testing::ZipBuilder().add("x.nds", Bytes(600, 1)).build());
    const Result result = RunCommand({"--list", roms});
    EXPECT_EQ(Lines(result.out),
              (std::vector<std::string>{roms + "b.nds", roms + "t.nds", roms + "a.gba",
                                        "ZIP: " + roms + "c.zip| x.nds"}));
    const Result plain = RunCommand({"--list", "--no-archives", roms});
    EXPECT_EQ(Lines(plain.out).size(), 3u);
}

TEST_F(CliRunTest, ArchivesWhoseNamesHoldBarsAreTrimmed) {
    const std::string odd = dir.subfolder("a|b");
    const Bytes rom = NdsImageBuilder().usedSize(600000).size(1_MiB).build();
    WriteFile(odd + "s|t.zip", testing::ZipBuilder().add("x| y.nds", rom).build());
    WriteFile(dir.file("a"), Bytes(3, 3));  // what the text before the first "|" names

    const Result result = RunCommand({odd});

    EXPECT_EQ(result.code, 0) << result.out;
    EXPECT_EQ(ReadFile(odd + "x| y.nds").size(), 600000u);
    EXPECT_EQ(ReadFile(dir.file("a")), Bytes(3, 3));
}

TEST_F(CliRunTest, InfoPrintsTheHeaderReport) {
    const Result result = RunCommand({"--info", roms + "b.nds"});
    EXPECT_EQ(result.code, 0);
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 44u);
    EXPECT_EQ(lines[0], "b.nds");
    EXPECT_EQ(lines[34], "Rom Size: 5913600");
    EXPECT_EQ(lines[43], "No banner: the icon and titles offset is 0");

    WriteFile(roms + "notes.txt", Bytes(600, 'x'));
    for (const std::string& other : {roms + "a.gba", roms + "notes.txt"}) {
        const Result refused = RunCommand({"--info", other});
        EXPECT_EQ(refused.code, 1);
        EXPECT_EQ(refused.err, "ostravex-cli: not an NDS image: " + other + "\n");
        EXPECT_EQ(refused.out, "");
    }
}

TEST_F(CliRunTest, MissingPathsAreReportedAndTheOthersAreDone) {
    const std::string goneRom = dir.file("gone.nds");
    const std::string goneFolder = dir.file("gone folder");
    const std::string goneArchive = dir.file("gone.zip");
    const Result result = RunCommand({goneRom, goneFolder, roms + "b.nds", goneArchive});
    EXPECT_EQ(result.code, 1);
    const auto lines = Lines(result.out);
    for (const std::string& line :
         {"ERROR: No such file or folder: " + goneFolder,
          "ERROR: No such file or folder: " + goneArchive,
          std::string("ERROR: File doesn't exist: gone.nds"), std::string("b.nds: 2475008"),
          std::string("Errors: 3"), std::string("Files Processed: 2/2")}) {
        EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1) << line << "\n" << result.out;
    }
    EXPECT_EQ(ReadFile(roms + "b.nds").size(), 5913600u);
}

TEST_F(CliRunTest, ListReportsWhatItCannotListAndListsTheRest) {
    WriteFile(roms + "notes.txt", Bytes(600, 'x'));
    const Result result =
        RunCommand({"--list", roms + "notes.txt", dir.file("gone.nds"), roms + "a.gba"});
    EXPECT_EQ(result.code, 1);
    EXPECT_EQ(result.out, roms + "a.gba\n");
    EXPECT_EQ(
        Lines(result.err),
        (std::vector<std::string>{"ostravex-cli: " + roms +
                                      "notes.txt: ERROR: Neither a rom nor an archive nor "
                                      "a folder: " +
                                      roms + "notes.txt",
                                  "ostravex-cli: " + dir.file("gone.nds") +
                                      ": ERROR: No such file or folder: " + dir.file("gone.nds")}));
}

TEST_F(CliRunTest, AnArchiveTheScanCannotOpenFailsTheCall) {
    // An archive that went away while its folder was listed.
    ASSERT_EQ(symlink(dir.file("nowhere.zip").c_str(), (roms + "gone.zip").c_str()), 0);
    const Result trim = RunCommand({"--dry-run", roms});
    EXPECT_EQ(trim.code, 1);
    EXPECT_TRUE(Contains(trim.out, "ERROR: Cannot open archive (the file has gone): gone.zip\n"))
        << trim.out;
    EXPECT_TRUE(Contains(trim.out, "\nErrors: 2\n")) << trim.out;  // t.nds is the other

    const Result list = RunCommand({"--list", roms});
    EXPECT_EQ(list.code, 1);
    EXPECT_EQ(Lines(list.out).size(), 3u);
    EXPECT_TRUE(Contains(list.err, "ERROR: Cannot open archive")) << list.err;
}

TEST_F(CliRunTest, AFailedArchiveMemberFailsTheCall) {
    // The member is listed, but its data is cut short, so its extraction fails.
    Bytes rar = testing::RarBuilder().add("m.nds", Bytes(4096, 7)).build();
    rar.resize(rar.size() - 2000);
    WriteFile(roms + "cut.rar", rar);
    const Result result = RunCommand({roms + "cut.rar"});
    EXPECT_TRUE(Contains(result.out, "1 roms found")) << result.out;
    // What happened and to which archive, not the window's fixed notice text.
    EXPECT_TRUE(Contains(result.err, "ostravex-cli: " + roms + "cut.rar (member m.nds) -> " + roms +
                                         "m.nds: ERROR: Cannot extract ("))
        << result.err;
    EXPECT_FALSE(Contains(result.err, "Rar Extraction Error.")) << result.err;
    // Cut short, the archive is also damaged where the listing ends. The run's error line
    // and the member's notice are one failure, counted once besides the damage.
    EXPECT_TRUE(Contains(result.out,
                         "ERROR: Damaged archive, listed as far as it could be read: cut.rar\n"))
        << result.out;
    EXPECT_TRUE(Contains(result.out, "ERROR: Cannot extract (")) << result.out;
    EXPECT_TRUE(Contains(result.out, "\nErrors: 2\n")) << result.out;
    EXPECT_EQ(result.code, 1);
}

TEST_F(CliRunTest, SevenZipMemberFailuresSayWhatHappenedAndWhere) {
    WriteFile(dir.file("m.nds"), NdsImageBuilder().usedSize(600000).size(1_MiB).build());
    if (!testing::MakeSevenZip(roms + "pack.7z", dir.path(), {"m.nds"})) {
        GTEST_SKIP() << "7zz is not installed";
    }
    const std::string out = dir.subfolder("blocked");
    dir.subfolder("blocked/m.nds");
    const Result result = RunCommand({"--mode=folder", "--output=" + out, roms + "pack.7z"});
    EXPECT_EQ(result.code, 1);
    EXPECT_FALSE(Contains(result.err, "Rar Extraction Error.")) << result.err;
    // Its output cannot be made: the member is not read, and the line says where it was to go.
    EXPECT_TRUE(Contains(result.err, roms + "pack.7z (member m.nds) -> " + out +
                                         "m.nds: ERROR: Cannot create file (Is a directory): "
                                         "m.nds\n"))
        << result.err;

    // A member that "don't overwrite" refuses is named with its archive and its output.
    const std::string folder = dir.subfolder("out");
    WriteFile(folder + "m.nds", Bytes(10, 1));
    const Result refused =
        RunCommand({"--mode=folder", "--output=" + folder, "--dont-overwrite", roms + "pack.7z"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(Contains(refused.err, "ostravex-cli: " + roms + "pack.7z (member m.nds) -> " +
                                          folder +
                                          "m.nds: Error: file-exists in the new output folder."))
        << refused.err;
}

TEST_F(CliRunTest, AFailedEntryIsNamedWithItsPathAndOutputOnStandardError) {
    // A folder stands at the output's name.
    const std::string blockedOutput = dir.subfolder("blocked");
    dir.subfolder("blocked/b.nds");
    struct Row {
        std::vector<std::string> arguments;
        std::string err;  // a line of standard error
    };
    for (const Row& row : {
             Row{{roms + "nosuch.nds"},
                 "ostravex-cli: " + roms + "nosuch.nds: ERROR: File doesn't exist: nosuch.nds\n"},
             Row{{"--mode=folder", "--output=" + blockedOutput, roms + "b.nds"},
                 "ostravex-cli: " + roms + "b.nds -> " + blockedOutput +
                     "b.nds: ERROR: Cannot create file ("},
         }) {
        const Result result = RunCommand(row.arguments);
        EXPECT_EQ(result.code, 1);
        EXPECT_TRUE(Contains(result.err, row.err)) << result.err;
    }

    // In JSON, every entry carries both paths.
    const Result json =
        RunCommand({"--json", "--mode=folder", "--output=" + blockedOutput, roms + "b.nds"});
    std::istringstream lines(json.out);
    std::string first;
    std::getline(lines, first);
    const nlohmann::json entry = nlohmann::json::parse(first);
    EXPECT_EQ(entry["path"], roms + "b.nds");
    EXPECT_EQ(entry["output"], blockedOutput + "b.nds");
}

TEST_F(CliRunTest, AFailedSceneNumberRenameIsCountedAndExplained) {
    WriteFile(roms + "0123 - Name.nds", NdsImageBuilder().usedSize(5913600).build());
    WriteFile(roms + "Name.nds", Bytes(600, 1));  // the name the rename wants
    const Result result = RunCommand({"--remove-scene-numbers", roms + "0123 - Name.nds"});
    EXPECT_EQ(result.code, 1);
    EXPECT_TRUE(Contains(result.out, "Rename FAILED: 0123 - Name.nds -> Name.nds\n")) << result.out;
    EXPECT_TRUE(Contains(result.out, "\nErrors: 1\n")) << result.out;
    EXPECT_TRUE(Contains(result.err, "Cannot rename " + roms + "0123 - Name.nds to " + roms +
                                         "Name.nds: File exists"))
        << result.err;
    EXPECT_EQ(ReadFile(roms + "Name.nds"), Bytes(600, 1));
}

TEST_F(CliRunTest, JsonListsEntriesAndGivesTheHeaderReport) {
    WriteFile(roms + "m.zip", testing::ZipBuilder().add("in/z.nds", Bytes(100, 0)).build());
    const Result list = RunCommand({"--list", "--json", roms});
    EXPECT_EQ(list.code, 0) << list.err;
    std::map<std::string, nlohmann::json> byEntry;
    std::istringstream lines(list.out);
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json object = nlohmann::json::parse(line);
        byEntry[object["entry"]] = object;
    }
    ASSERT_EQ(byEntry.size(), 4u) << list.out;
    EXPECT_EQ(byEntry.at(roms + "a.gba")["kind"], "gba");
    const nlohmann::json& member = byEntry.at("ZIP: " + roms + "m.zip| in/z.nds");
    EXPECT_EQ(member["path"], roms + "m.zip");
    EXPECT_EQ(member["member"], "in/z.nds");

    const Result info = RunCommand({"--info", "--json", roms + "b.nds"});
    EXPECT_EQ(info.code, 0) << info.err;
    const nlohmann::json report = nlohmann::json::parse(info.out);
    EXPECT_EQ(report["type"], "info");
    EXPECT_EQ(report["path"], roms + "b.nds");
    EXPECT_EQ(report["lines"], nlohmann::json(Lines(RunCommand({"--info", roms + "b.nds"}).out)));
}

TEST_F(CliRunTest, DryRunSaysSoAndLogsTheSramPatchItWouldMake) {
    WriteFile(
        roms + "save.gba",
        testing::WithFlashV123Routines(GbaImageBuilder().size(4_MiB).dataEnd(64 * 1024)).build());
    const Bytes original = ReadFile(roms + "save.gba");

    const Result dry = RunCommand({"--dry-run", "--sram-patch", roms + "save.gba"});
    EXPECT_EQ(dry.code, 0);
    EXPECT_TRUE(dry.err.starts_with("ostravex-cli: dry run: nothing will be written\n"));
    EXPECT_EQ(ReadFile(roms + "save.gba"), original);

    const Result real = RunCommand({"--sram-patch", roms + "save.gba"});
    EXPECT_EQ(real.code, 0);
    EXPECT_EQ(real.err, "");
    const auto patchLines = [](const std::string& out) {
        std::vector<std::string> lines;
        for (const std::string& line : Lines(out)) {
            if (line.starts_with("SRAM ")) {
                lines.push_back(line);
            }
        }
        return lines;
    };
    EXPECT_EQ(patchLines(dry.out), std::vector<std::string>{"SRAM Patched: SRAM_Flash_V123_V124"});
    EXPECT_EQ(patchLines(dry.out), patchLines(real.out));
}

TEST_F(CliRunTest, NamesCannotControlTheTerminalOrSplitALine) {
    const std::string hostile = "\033]0;owned\a\033[2J\nx.nds";
    WriteFile(roms + "m.zip", testing::ZipBuilder().add(hostile, Bytes(600, 1)).build());
    const std::string entry = "ZIP: " + roms + "m.zip| " + hostile;

    const Result terminal = RunCommand({"--list", roms + "m.zip"}, {.out = true, .err = true});
    EXPECT_EQ(terminal.out, "ZIP: " + roms + "m.zip| \\033]0;owned\\a\\033[2J\\nx.nds\n");

    const Result piped = RunCommand({"--list", roms + "m.zip"});
    EXPECT_EQ(piped.out, "ZIP: " + roms + "m.zip| \033]0;owned\a\033[2J\\nx.nds\n");

    const Result run = RunCommand({"--dry-run", roms + "m.zip"}, {.out = true, .err = true});
    for (const std::string& line : Lines(run.out)) {
        EXPECT_EQ(line.find('\033'), std::string::npos) << line;
    }

    // Messages on standard error name paths too.
    const Result missing = RunCommand({"--list", dir.file("gone\033[2J.nds")}, {.err = true});
    const std::string shown = dir.file("gone\\033[2J.nds");
    EXPECT_EQ(missing.err,
              "ostravex-cli: " + shown + ": ERROR: No such file or folder: " + shown + "\n");
}

TEST_F(CliRunTest, RestorePadsBackAndSumsUpWhatItAdded) {
    const Bytes original = NdsImageBuilder().usedSize(5913600).byte(0x14, 6).build();
    WriteFile(roms + "r.nds", original);
    ASSERT_EQ(RunCommand({roms + "r.nds"}).code, 0);

    const Result result = RunCommand({"--restore", roms + "r.nds", roms + "t.nds"});
    EXPECT_EQ(result.code, 1);  // t.nds is an error
    const std::vector<std::string> lines = Lines(result.out);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "RESTORED: r.nds: 2475008 bytes added"),
              lines.end())
        << result.out;
    EXPECT_EQ(std::vector<std::string>(lines.end() - 5, lines.end()),
              (std::vector<std::string>{"Wifi games:", "Errors: 1", "Files skipped:",
                                        "Files Processed: 2/2", "Total Added: 2.36 MB"}));
    EXPECT_EQ(ReadFile(roms + "r.nds"), original);
}

TEST_F(CliRunTest, CheckPaddingSkipsAnImageWithDataInWhatItWouldCut) {
    Bytes image = NdsImageBuilder().usedSize(5913600).build();
    image.back() = 0x42;
    WriteFile(roms + "b.nds", image);
    const Result result = RunCommand({"--check-padding", roms + "b.nds"});
    EXPECT_EQ(result.code, 0);
    EXPECT_TRUE(Contains(result.out, "SKIP: Data after the used size, not trimmed: b.nds\n"))
        << result.out;
    EXPECT_TRUE(Contains(result.out, "Files skipped: 1\n")) << result.out;
    EXPECT_EQ(ReadFile(roms + "b.nds"), image);
}

// Every line of standard output, parsed by the JSON library (which throws on invalid JSON,
// invalid UTF-8 included).
std::vector<nlohmann::json> JsonLines(const std::string& out) {
    std::vector<nlohmann::json> objects;
    for (const std::string& line : Lines(out)) {
        objects.push_back(nlohmann::json::parse(line));
    }
    return objects;
}

// A rar whose later header is damaged is read as far as it goes, and the damage is a
// counted error, as in a zip or 7z: in the log and the counters, and in JSON.
TEST_F(CliRunTest, ADamagedRarIsACountedErrorAfterItsReadableMembers) {
    const std::string damaged = dir.subfolder("damaged") + "d.rar";
    WriteFile(damaged, testing::RarBuilder()
                           .add("m.nds", NdsImageBuilder().usedSize(600000).size(1_MiB).build())
                           .add("n.nds", NdsImageBuilder().usedSize(600000).size(1_MiB).build())
                           .damageHeader(1)
                           .build());
    const std::string line = "ERROR: Damaged archive, listed as far as it could be read: d.rar";

    const Result text = RunCommand({"--dry-run", damaged});
    EXPECT_EQ(text.code, 1);
    EXPECT_TRUE(Contains(text.out, line + "\n")) << text.out;
    EXPECT_TRUE(Contains(text.out, "1 roms found")) << text.out;
    EXPECT_TRUE(Contains(text.out, "\nErrors: 1\n")) << text.out;

    const Result json = RunCommand({"--json", "--dry-run", damaged});
    EXPECT_EQ(json.code, 1);
    EXPECT_TRUE(Contains(json.err, line + "\n")) << json.err;
    std::vector<nlohmann::json> objects;
    ASSERT_NO_THROW(objects = JsonLines(json.out)) << json.out;
    ASSERT_EQ(objects.size(), 2u) << json.out;
    EXPECT_EQ(objects[0]["member"], "m.nds");
    EXPECT_EQ(objects[1]["errors"], 1);
}

TEST_F(CliRunTest, JsonGivesOneObjectPerEntryAndASummary) {
    WriteFile(roms + "w.nds",
              NdsImageBuilder().usedSize(5913600).wifiBlock(NdsImageBuilder::Block::Data).build());
    WriteFile(roms + "s.nds", NdsImageBuilder().usedSize(5913600).size(5913600).build());
    WriteFile(roms + "d.nds", NdsImageBuilder().usedSize(5913600).headerFill(0xFF).build());
    const std::string badName = "bad\xE9\\name.nds";  // not UTF-8, and a backslash
    WriteFile(roms + badName, NdsImageBuilder().usedSize(5913600).build());
    WriteFile(roms + "m.zip", testing::ZipBuilder().add("in/z.nds", Bytes(100, 0)).build());

    const Result result =
        RunCommand({"--json", "--skip-dsi", "--no-recursive", roms, dir.file("missing-folder")});
    EXPECT_EQ(result.code, 1);
    EXPECT_TRUE(result.err.starts_with(
        "ostravex-cli: " + dir.file("missing-folder") +
        ": ERROR: No such file or folder: " + dir.file("missing-folder") + "\n"))
        << result.err;
    EXPECT_EQ(Lines(result.err).size(), 3u) << result.err;  // and t.nds, the zip member
    std::vector<nlohmann::json> objects;
    ASSERT_NO_THROW(objects = JsonLines(result.out)) << result.out;
    ASSERT_EQ(objects.size(), 9u) << result.out;

    std::map<std::string, nlohmann::json> byName;
    for (std::size_t i = 0; i + 1 < objects.size(); ++i) {
        ASSERT_EQ(objects[i]["type"], "entry") << objects[i];
        const std::string entry = objects[i]["entry"];
        byName[entry.substr(entry.rfind('/') + 1)] = objects[i];
    }
    const auto outcome = [&](const std::string& name) { return byName[name]["outcome"]; };
    EXPECT_EQ(outcome("b.nds"), "trimmed");
    EXPECT_EQ(outcome("w.nds"), "wifi");
    EXPECT_EQ(outcome("s.nds"), "skipped");
    EXPECT_EQ(outcome("d.nds"), "dsi");
    EXPECT_EQ(outcome("t.nds"), "error");
    EXPECT_EQ(outcome("a.gba"), "trimmed");
    EXPECT_EQ(outcome("bad\\xE9\\\\name.nds"), "trimmed") << result.out;
    const nlohmann::json& member = byName["z.nds"];
    EXPECT_EQ(member["archive"], roms + "m.zip");
    EXPECT_EQ(member["member"], "in/z.nds");
    EXPECT_EQ(member["outcome"], "error");

    const nlohmann::json& trimmed = byName["b.nds"];
    EXPECT_EQ(trimmed["kind"], "nds");
    EXPECT_EQ(trimmed["size_before"], 8_MiB);
    EXPECT_EQ(trimmed["size_after"], 5913600);
    EXPECT_EQ(trimmed["bytes_saved"], 2475008);
    EXPECT_EQ(trimmed["lines"], nlohmann::json::array({"b.nds: 2475008"}));
    EXPECT_FALSE(trimmed.contains("archive") || trimmed.contains("sram_patch"));
    EXPECT_EQ(byName["a.gba"]["kind"], "gba");
    EXPECT_EQ(byName["t.nds"]["size_after"], 100);

    const nlohmann::json& summary = objects.back();
    EXPECT_EQ(summary["type"], "summary");
    EXPECT_EQ(summary["wifi_games"], 1);
    EXPECT_EQ(summary["errors"], 3);  // t.nds, the zip member, the missing folder
    EXPECT_EQ(summary["skipped"], 2);
    EXPECT_EQ(summary["processed"], 8);
    EXPECT_EQ(summary["halted"], false);
}

TEST_F(CliRunTest, JsonReportsARestoreAndTheSramPatch) {
    const Bytes original = NdsImageBuilder().usedSize(5913600).byte(0x14, 6).build();
    WriteFile(roms + "r.nds", Bytes(original.begin(), original.begin() + 5913600));
    const Result restore = RunCommand({"--json", "--restore", roms + "r.nds"});
    EXPECT_EQ(restore.code, 0);
    std::vector<nlohmann::json> objects;
    ASSERT_NO_THROW(objects = JsonLines(restore.out)) << restore.out;
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]["outcome"], "restored");
    EXPECT_EQ(objects[0]["bytes_saved"], -2475008);
    EXPECT_EQ(objects[0]["lines"], nlohmann::json::array({"RESTORED: r.nds: 2475008 bytes added"}));
    EXPECT_EQ(objects[1]["bytes_added"], 2475008);
    EXPECT_EQ(ReadFile(roms + "r.nds"), original);

    const Result patch = RunCommand({"--json", "--sram-patch", "--only-patch", roms + "a.gba"});
    ASSERT_NO_THROW(objects = JsonLines(patch.out)) << patch.out;
    EXPECT_EQ(objects.at(0)["sram_patch"], "not_possible");
}

// `output` names the file the run left: under its new name after a scene-number rename,
// with the name it was written under; a member whose result was already there reports the
// size of that file.
TEST_F(CliRunTest, JsonNamesTheFilesThatAreThere) {
    const std::string scene = dir.subfolder("scene");
    WriteFile(scene + "0042 - A.nds", NdsImageBuilder().usedSize(5913600).build());
    const Result renamed = RunCommand({"--json", "--remove-scene-numbers", scene});
    std::vector<nlohmann::json> objects;
    ASSERT_NO_THROW(objects = JsonLines(renamed.out)) << renamed.out;
    EXPECT_EQ(objects.at(0)["output"], scene + "A.nds");
    EXPECT_EQ(objects.at(0)["renamed_from"], scene + "0042 - A.nds");

    const std::string zipped = dir.subfolder("zipped");
    const Bytes image = NdsImageBuilder().usedSize(5242880).build();
    WriteFile(zipped + "a.zip", testing::ZipBuilder().add("z.nds", image).build());
    WriteFile(zipped + "z.nds", Bytes(image.begin(), image.begin() + 5242880));
    const Result skipped = RunCommand({"--json", zipped + "a.zip"});
    ASSERT_NO_THROW(objects = JsonLines(skipped.out)) << skipped.out;
    EXPECT_EQ(objects.at(0)["outcome"], "skipped");
    EXPECT_EQ(objects.at(0)["output"], zipped + "z.nds");
    EXPECT_EQ(objects.at(0)["size_before"], 8_MiB);
    EXPECT_EQ(objects.at(0)["size_after"], 5242880);
    EXPECT_FALSE(objects.at(0).contains("renamed_from"));
}

// The JSON report tells what each entry's file holds afterwards, and its summary is the sum
// of its entries.
TEST_F(CliRunTest, JsonSizesAreTheSizesOfTheFilesLeft) {
    const std::string blocked = dir.subfolder("blocked");
    dir.subfolder("blocked/b.nds");  // a folder at the output's name
    const Bytes v111{0x0E, 0x48, 0x39, 0x68, 0x01, 0x60, 0x0E, 0x48};
    WriteFile(roms + "v.gba", GbaImageBuilder().size(4_MiB).dataEnd(1000).bytes(501, v111).build());
    // Larger than any cartridge: trimmed, but not patched.
    WriteFile(roms + "big.gba", GbaImageBuilder().size(40_MiB).dataEnd(33_MiB).build());
    struct Row {
        std::vector<std::string> arguments;
        std::string name;
        std::string outcome;
        std::optional<std::string> sramPatch;
        int code;
    };
    for (const Row& row : {
             Row{{"--sram-patch", roms + "v.gba"}, "v.gba", "trimmed", "patched", 0},
             Row{{"--sram-patch", roms + "big.gba"}, "big.gba", "trimmed", "failed", 1},
             Row{{"--mode=folder", "--output=" + blocked, roms + "b.nds"},
                 "b.nds",
                 "error",
                 std::nullopt,
                 1},
         }) {
        SCOPED_TRACE(row.name);
        for (const bool dryRun : {true, false}) {
            std::vector<std::string> arguments = row.arguments;
            arguments.insert(arguments.begin(), "--json");
            if (dryRun) {
                arguments.insert(arguments.begin(), "--dry-run");
            }
            const std::uint64_t before = ReadFile(roms + row.name).size();
            const Result result = RunCommand(arguments);
            EXPECT_EQ(result.code, row.code) << result.out << result.err;
            std::vector<nlohmann::json> objects;
            ASSERT_NO_THROW(objects = JsonLines(result.out)) << result.out;
            ASSERT_EQ(objects.size(), 2u) << result.out;
            const nlohmann::json& entry = objects[0];
            EXPECT_EQ(entry["outcome"], row.outcome) << entry;
            EXPECT_EQ(entry.contains("sram_patch"), row.sramPatch.has_value()) << entry;
            if (row.sramPatch) {
                EXPECT_EQ(entry["sram_patch"], *row.sramPatch);
            }
            EXPECT_EQ(entry["size_before"], before);
            const std::uint64_t after = ReadFile(roms + row.name).size();
            if (!dryRun) {
                EXPECT_EQ(entry["size_after"], after) << entry;
            }
            EXPECT_EQ(entry["bytes_saved"].get<std::int64_t>(),
                      static_cast<std::int64_t>(before) - entry["size_after"].get<std::int64_t>());
            EXPECT_EQ(objects[1]["bytes_saved"], entry["bytes_saved"]);
            EXPECT_EQ(objects[1]["errors"], row.code);
        }
    }
}

// A log line is a failure because the run says so, not because of how it begins: a rom
// may be named like one.
TEST_F(CliRunTest, NamesThatReadLikeLogLinesAreOnlyNames) {
    const Bytes rom = NdsImageBuilder().usedSize(5913600).build();
    for (const std::string& name : {std::string("Error Report.nds"), std::string("ERROR.nds"),
                                    std::string("Rename FAILED.nds")}) {
        SCOPED_TRACE(name);
        WriteFile(roms + name, rom);
        const Result quiet = RunCommand({"--quiet", "--dry-run", roms + name});
        EXPECT_EQ(quiet.code, 0);
        EXPECT_EQ(Lines(quiet.out).size(), 5u) << quiet.out;  // the counters only
    }
    WriteFile(roms + "SRAM Patched: demo.gba", GbaImageBuilder().size(4_MiB).build());
    const Result json = RunCommand({"--json", roms + "SRAM Patched: demo.gba"});
    std::vector<nlohmann::json> objects;
    ASSERT_NO_THROW(objects = JsonLines(json.out)) << json.out;
    EXPECT_FALSE(objects.at(0).contains("sram_patch")) << objects.at(0);
}

// A folder of roms that cannot be read (another user's, mode 700), at the top or inside a
// tree, is an error line, counted, and the rest of the tree is still searched.
TEST_F(CliRunTest, AFolderThatCannotBeReadIsAnErrorAndTheRestIsSearched) {
    const std::string locked = dir.subfolder("roms/locked");
    WriteFile(locked + "hidden.nds", NdsImageBuilder().usedSize(5913600).build());
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    for (const char* name : {"b.nds", "a.gba", "t.nds"}) {
        ASSERT_EQ(chmod((roms + name).c_str(), 0666), 0);  // opened for update by anyone
    }
    const std::string lockedPath = locked.substr(0, locked.size() - 1);
    const std::string line = "ERROR: Cannot read folder (Permission denied): " + lockedPath;
    // The calls run in a child process; their three results come back in one text.
    const auto run = [](const std::vector<std::string>& arguments) {
        const Result result = testing::RunCommandOnce(arguments);
        return std::to_string(result.code) + '\0' + result.out + '\0' + result.err;
    };
    const auto parts = [](const std::string& text) {
        const std::size_t first = text.find('\0');
        const std::size_t second = text.find('\0', first + 1);
        return Result{std::stoi(text.substr(0, first)), text.substr(first + 1, second - first - 1),
                      text.substr(second + 1)};
    };
    const std::optional<std::string> trim = testing::RunWithoutPrivileges([&] {
        return run({"--dry-run", "--quiet", roms});
    });
    if (!trim) {
        GTEST_SKIP() << "no user here whom folder permissions stop";
    }
    const Result quiet = parts(*trim);
    EXPECT_EQ(quiet.code, 1);
    EXPECT_EQ(Lines(quiet.out),
              (std::vector<std::string>{
                  line, "ERROR: Incorrect File: t.nds", "Wifi games:", "Errors: 2",
                  "Files skipped:", "Files Processed: 3/3", "Total Savings: 6.36 MB"}));
    EXPECT_TRUE(Contains(quiet.err, "ostravex-cli: " + lockedPath + ": " + line + "\n"))
        << quiet.err;

    for (const std::string& path : {roms, locked}) {
        SCOPED_TRACE(path);
        const Result list = parts(*testing::RunWithoutPrivileges([&] {
            return run({"--list", path});
        }));
        EXPECT_EQ(list.code, 1);
        EXPECT_EQ(list.err, "ostravex-cli: " + lockedPath + ": " + line + "\n");
        EXPECT_EQ(Lines(list.out).size(), path == roms ? 3u : 0u) << list.out;
    }
}

// Standard output keeps the log; standard error carries each failure once, prefixed with
// the program's name and the file it is about, whatever --quiet or --json say.
TEST_F(CliRunTest, EveryFailureReachesStandardErrorOnce) {
    const std::string gone = dir.file("nosuchdir");
    Bytes rar = testing::RarBuilder().add("m.nds", Bytes(4096, 7)).build();
    rar.resize(rar.size() - 2000);  // the member's data cut short
    WriteFile(roms + "cut.rar", rar);
    const std::vector<std::string> expected = {
        "ostravex-cli: " + gone + ": ERROR: No such file or folder: " + gone,
        "ostravex-cli: " + roms +
            "cut.rar: ERROR: Damaged archive, listed as far as it could be "
            "read: cut.rar",
        "ostravex-cli: " + roms + "t.nds: ERROR: Incorrect File: t.nds",
        "ostravex-cli: " + roms + "cut.rar (member m.nds) -> " + roms +
            "m.nds: ERROR: Cannot "
            "extract (",
    };
    for (const std::vector<std::string>& options :
         std::vector<std::vector<std::string>>{{}, {"--quiet"}, {"--json"}}) {
        std::vector<std::string> arguments = options;
        arguments.insert(arguments.end(), {gone, roms + "t.nds", roms + "cut.rar"});
        SCOPED_TRACE(arguments.front());
        const Result result = RunCommand(arguments);
        EXPECT_EQ(result.code, 1);
        const std::vector<std::string> lines = Lines(result.err);
        ASSERT_EQ(lines.size(), expected.size()) << result.err;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_TRUE(lines[i].starts_with(expected[i])) << lines[i];
        }
    }
    // Only the missing PATH: the one message is there with --quiet too.
    const Result quiet = RunCommand({"--quiet", gone});
    EXPECT_EQ(quiet.code, 1);
    EXPECT_EQ(quiet.err, expected[0] + "\n");
}

// The output folder is checked once, before anything is read: one error line, and nothing
// is processed.
TEST_F(CliRunTest, TheOutputFolderIsCheckedOnceBeforeTheRun) {
    const std::string missing = dir.path() + "no such folder/";
    const Bytes original = ReadFile(roms + "b.nds");
    const Result result = RunCommand({"--mode=folder", "--output=" + missing, roms});
    EXPECT_EQ(result.code, 1);
    EXPECT_EQ(result.out, "ERROR: Output folder does not exist: " + missing + "\n");
    EXPECT_EQ(result.err, "ostravex-cli: " + missing +
                              ": ERROR: Output folder does not exist: " + missing + "\n");

    const Result json = RunCommand({"--json", "--mode=folder", "--output=" + missing, roms});
    EXPECT_EQ(json.code, 1);
    EXPECT_EQ(json.out, "");
    EXPECT_EQ(json.err, result.err);

    const std::string file = roms + "a.gba";
    const Result notAFolder = RunCommand({"--mode=folder", "--output=" + file, roms});
    EXPECT_EQ(notAFolder.code, 1);
    EXPECT_EQ(notAFolder.out, "ERROR: Output folder does not exist: " + file + "/\n");

    const std::string readOnlyOut = dir.subfolder("read-only");
    testing::ReadOnlyFolder readOnly(readOnlyOut);
    if (readOnly.ready()) {
        const Result unwritable = RunCommand({"--mode=folder", "--output=" + readOnlyOut, roms});
        EXPECT_EQ(unwritable.code, 1);
        EXPECT_TRUE(unwritable.out.starts_with("ERROR: Output folder cannot be written ("))
            << unwritable.out;
        EXPECT_EQ(Lines(unwritable.out).size(), 1u) << unwritable.out;
    }
    EXPECT_EQ(ReadFile(roms + "b.nds"), original);

    // "--output --dry-run" would take the option as the folder and run for real.
    const Result dashed = RunCommand({"--mode=folder", "--output", "--dry-run", roms});
    EXPECT_EQ(dashed.code, 2);
    EXPECT_TRUE(Contains(dashed.err, "--output=VALUE")) << dashed.err;
    EXPECT_EQ(ReadFile(roms + "b.nds"), original);
}

// With --dont-overwrite a file at the output's name that is already the result is a skip,
// as it is for an archive member without it; only a different file is refused.
TEST_F(CliRunTest, DontOverwriteSkipsWhatIsAlreadyTheResult) {
    const std::string out = dir.subfolder("out");
    WriteFile(roms + "m.zip",
              testing::ZipBuilder()
                  .add("m.nds", NdsImageBuilder().usedSize(600000).size(1_MiB).build())
                  .build());
    const std::vector<std::string> arguments = {"--mode=folder", "--output=" + out,
                                                "--dont-overwrite", roms + "b.nds", roms + "m.zip"};
    const Result first = RunCommand(arguments);
    EXPECT_EQ(first.code, 0) << first.out << first.err;

    const Result again = RunCommand(arguments);
    EXPECT_EQ(again.code, 0) << again.out << again.err;
    EXPECT_TRUE(Contains(again.out, "\nSKIP: Already there from an earlier run: b.nds\n"))
        << again.out;
    EXPECT_TRUE(Contains(again.out, "\nSKIP: Already there from an earlier run: m.nds\n"))
        << again.out;
    EXPECT_TRUE(Contains(again.out, "\nFiles skipped: 2\n")) << again.out;
    EXPECT_EQ(again.err, "");

    // A different file is left as it is, with the error it always had.
    WriteFile(out + "b.nds", Bytes(600, 1));
    WriteFile(out + "m.nds", Bytes(600, 2));
    const Result different = RunCommand(arguments);
    EXPECT_EQ(different.code, 1);
    const std::vector<std::string> lines = Lines(different.out);
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "Error: file-exists in the new output folder. Skipping this rom"),
              2)
        << different.out;
    EXPECT_EQ(ReadFile(out + "b.nds"), Bytes(600, 1));
    EXPECT_EQ(ReadFile(out + "m.nds"), Bytes(600, 2));

    // The same rom twice in one run: the second finds what the first made.
    const std::string fresh = dir.subfolder("fresh");
    const Result twice = RunCommand(
        {"--mode=folder", "--output=" + fresh, "--dont-overwrite", roms + "b.nds", roms + "b.nds"});
    EXPECT_EQ(twice.code, 0) << twice.out << twice.err;
    EXPECT_TRUE(Contains(twice.out, "\nSKIP: Already there, made earlier in this run: b.nds\n"))
        << twice.out;
}

// Messages whose text users match keep it; standard error tells the real cause and names the
// rom, and the JSON report tells a failed scene-number rename.
TEST_F(CliRunTest, FixedMessagesGetTheirRealCauseOnStandardError) {
    WriteFile(roms + "b.nds.bak", Bytes(600, 1));
    const Result backup = RunCommand({"--quiet", "--mode=backup", roms + "b.nds"});
    EXPECT_EQ(backup.code, 1);
    EXPECT_EQ(Lines(backup.out)[0], "Error: File is Read-Only: b.nds");
    EXPECT_EQ(backup.err, "ostravex-cli: " + roms +
                              "b.nds: Cannot keep the original as b.nds.bak: it already exists\n");

    const std::string readOnlyRoms = dir.subfolder("ro");
    WriteFile(readOnlyRoms + "b.nds", NdsImageBuilder().usedSize(5913600).build());
    testing::ReadOnlyFolder readOnly(readOnlyRoms);
    if (readOnly.ready()) {
        const Result folder = RunCommand({"--quiet", "--mode=backup", readOnlyRoms + "b.nds"});
        EXPECT_EQ(folder.code, 1);
        EXPECT_EQ(Lines(folder.out)[0], "Error: File is Read-Only: b.nds");
        EXPECT_TRUE(Contains(folder.err, "ostravex-cli: " + readOnlyRoms +
                                             "b.nds: Cannot keep the original as b.nds.bak: "
                                             "the folder is read-only ("))
            << folder.err;
    }

    for (const std::vector<std::string>& options :
         std::vector<std::vector<std::string>>{{}, {"--json"}}) {
        std::vector<std::string> arguments = options;
        arguments.insert(arguments.end(), {"--sram-patch", "--only-patch", roms + "a.gba"});
        const Result patch = RunCommand(arguments);
        EXPECT_EQ(patch.code, 0);
        EXPECT_EQ(patch.err, "ostravex-cli: " + roms +
                                 "a.gba: SRAM Patch Not Possible on this Rom or it's already "
                                 "patched.\n");
    }

    WriteFile(roms + "0123 - Name.nds", NdsImageBuilder().usedSize(5913600).build());
    WriteFile(roms + "Name.nds", Bytes(600, 1));
    const Result rename =
        RunCommand({"--json", "--remove-scene-numbers", roms + "0123 - Name.nds"});
    EXPECT_EQ(rename.code, 1);
    const nlohmann::json entry = nlohmann::json::parse(Lines(rename.out).at(0));
    EXPECT_EQ(entry["rename"], "failed");
    EXPECT_EQ(entry["rename_error"], "File exists");
    EXPECT_EQ(rename.err, "ostravex-cli: " + roms + "0123 - Name.nds: Cannot rename " + roms +
                              "0123 - Name.nds to " + roms + "Name.nds: File exists\n");
}

// A stream whose every write fails as on a full disk.
class FullDevice final : public std::streambuf {
  protected:
    int_type overflow(int_type) override {
        errno = ENOSPC;
        return traits_type::eof();
    }
    std::streamsize xsputn(const char*, std::streamsize) override {
        errno = ENOSPC;
        return 0;
    }
};

TEST_F(CliRunTest, OutputThatCannotBeWrittenFailsTheCall) {
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"--list", roms},
             {"--json", "--dry-run", roms + "b.nds"},
             {"--dry-run", roms + "b.nds"},
             {"--version"},
         }) {
        SCOPED_TRACE(arguments.front());
        FullDevice device;
        std::ostream out(&device);
        std::ostringstream err;
        EXPECT_EQ(RunCli(arguments, out, err), 1);
        EXPECT_TRUE(err.str().ends_with("ostravex-cli: write error: No space left on device\n"))
            << err.str();
    }
}

TEST(CliOutput, InvalidUtf8IsEscapedByteByByte) {
    struct Row {
        std::string text;
        std::string shown;
    };
    for (const Row& row : {
             Row{"plain \\ name \xC3\xA9.nds", "plain \\ name \xC3\xA9.nds"},
             Row{"bad\xE9\\.nds", "bad\\xE9\\\\.nds"},
             Row{"overlong \xC0\xAF", "overlong \\xC0\\xAF"},
             Row{"surrogate \xED\xA0\x80", "surrogate \\xED\\xA0\\x80"},
             Row{"cut short \xE2\x82", "cut short \\xE2\\x82"},
             Row{"too high \xF4\x90\x80\x80", "too high \\xF4\\x90\\x80\\x80"},
             Row{"\xC3\xA9 kept beside \xFF", "\xC3\xA9 kept beside \\xFF"},
         }) {
        EXPECT_EQ(ValidUtf8Text(row.text), row.shown) << row.text;
        EXPECT_NO_THROW((void)nlohmann::json(ValidUtf8Text(row.text)).dump()) << row.text;
    }
}

TEST(CliOutput, ControlCharactersAreEscapedForATerminal) {
    struct Row {
        std::string line;
        std::string shown;
    };
    for (const Row& row : {
             Row{"plain name.nds", "plain name.nds"},
             Row{"caf\xC3\xA9 \xE3\x83\x9D.nds", "caf\xC3\xA9 \xE3\x83\x9D.nds"},
             Row{"a\tb\rc\nd", "a\\tb\\rc\\nd"},
             Row{"\033[31mred\x7F", "\\033[31mred\\177"},
             Row{"back\\slash", "back\\\\slash"},
             Row{"c1 \xC2\x9B"
                 "2J",
                 "c1 \\302\\2332J"},                           // U+009B, a one-byte CSI
             Row{"bad \xFF\xC3", "bad \\377\\303"},            // not UTF-8; cut short
             Row{"overlong \xC0\xAF", "overlong \\300\\257"},  // "/" in two bytes
             Row{"surrogate \xED\xA0\x80", "surrogate \\355\\240\\200"},
         }) {
        EXPECT_EQ(EscapeControlCharacters(row.line), row.shown) << row.line;
    }
    EXPECT_EQ(KeepOnOneLine("a\nb\033c\\"), "a\\nb\033c\\");
}

TEST(CliOutput, ProgressCountAndPercentageAgree) {
    struct Row {
        std::uint64_t finished, total;
        double currentShare;
        std::string text;
    };
    for (const Row& row : {
             Row{6, 12, 0.96, "[###############...............] 6/12 (50%), current rom 96%"},
             Row{11, 12, 1.0, "[###########################...] 11/12 (91%), current rom 100%"},
             Row{0, 3, 0.0, "[..............................] 0/3 (0%), current rom 0%"},
             Row{3, 3, 0.0, "[##############################] 3/3 (100%)"},
         }) {
        EXPECT_EQ(ProgressText(row.finished, row.total, row.currentShare), row.text);
    }
}

TEST(CliHostTest, CtrlCActsAsStop) {
    std::ostringstream out, err;
    LineStream outLines(out, false), errLines(err, false);
    CliHost host(false, outLines, errLines);
    RunControl control;
    host.pump(control);
    EXPECT_FALSE(control.haltRequested());
    NoteInterrupt();
    host.pump(control);
    EXPECT_TRUE(control.haltRequested());
    EXPECT_TRUE(host.wasInterrupted());
    EXPECT_EQ(out.str(), "Halt Requested. Stopping Operations...\n");
}

// What a second Ctrl-C does before the program ends: the temporary being written goes, and
// the progress bar's line is erased.
TEST(CliHostTest, ASecondCtrlCRemovesTheTemporaryAndTheProgressBar) {
    TempDir dir;
    const std::string temporary = dir.file(".ostravex-1-1.tmp");
    WriteFile(temporary, Bytes(10, 1));
    NoteTemporaryInUse(temporary);
    std::ostringstream out, err;
    LineStream outLines(out, false), errLines(err, true);
    CliHost host(false, outLines, errLines);
    host.setGauge(Gauge::Run, 0, 2);
    ASSERT_TRUE(Contains(err.str(), "[")) << err.str();  // the bar is drawn

    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    CleanUpForInterrupt(pipeEnds[1]);
    close(pipeEnds[1]);
    char erased[16] = {};
    EXPECT_EQ(read(pipeEnds[0], erased, sizeof erased), 4);
    close(pipeEnds[0]);
    EXPECT_EQ(std::string(erased), "\r\033[K");
    EXPECT_FALSE(testing::Exists(temporary));
    NoteTemporaryDone(temporary);
}

}  // namespace
}  // namespace ostravex::cli
