#include "cli.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli_host.h"
#include "cli_options.h"
#include "support/archive_builders.h"
#include "support/rom_images.h"

namespace ostravex::cli {
namespace {

using testing::Bytes;
using testing::GbaImageBuilder;
using testing::NdsImageBuilder;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
using testing::operator""_MiB;

struct Result {
    int code;
    std::string out;
    std::string err;
};

Result RunCommand(const std::vector<std::string>& arguments) {
    std::ostringstream out, err;
    const int code = RunCli(arguments, out, err, false);
    return {code, out.str(), err.str()};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

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
             Row{{"--info", "a.nds", "b.nds"}, "--info takes exactly one FILE.nds"},
             Row{{dir.file("missing")}, "no such file or folder"},
         }) {
        const Result result = RunCommand(row.arguments);
        EXPECT_EQ(result.code, 2) << row.message;
        EXPECT_NE(result.err.find(row.message), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
}

TEST(CliUsage, OptionsMapToTheWindowsOptions) {
    const ParsedArguments parsed =
        ParseArguments({"--mode=folder", "--output=/out", "--dont-overwrite", "--sram-patch",
                        "--only-patch", "--skip-dsi", "--remove-scene-numbers", "--no-recursive",
                        "--no-archives", "--dry-run", "--quiet", "--", "--odd-name.nds"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    const CliOptions& o = *parsed.options;
    EXPECT_EQ(o.mode, FileMode::Folder);
    EXPECT_EQ(o.outputFolder, "/out/");
    EXPECT_TRUE(o.dontOverwrite && o.sramPatch && o.onlyPatch && o.skipDsi &&
                o.removeSceneNumbers && o.dryRun && o.quiet);
    EXPECT_FALSE(o.recursive || o.archives);
    EXPECT_EQ(o.paths, std::vector<std::string>{"--odd-name.nds"});
}

TEST(CliUsage, HelpGoesToStandardOutput) {
    const Result result = RunCommand({"--help"});
    EXPECT_EQ(result.code, 0);
    EXPECT_TRUE(result.out.starts_with("Usage: ostravex-cli"));
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
    EXPECT_EQ(result.err, "");
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
    ASSERT_EQ(lines.size(), 51u);
    EXPECT_EQ(lines[0], "b.nds");
    EXPECT_EQ(lines[34], "Rom Size: 5913600");

    const Result gba = RunCommand({"--info", roms + "a.gba"});
    EXPECT_EQ(gba.code, 1);
    EXPECT_EQ(gba.err, "Only uncompressed roms supported\n");
}

TEST(CliHostTest, CtrlCActsAsStop) {
    CliOptions options;
    std::ostringstream out, err;
    CliHost host(options, out, err, false);
    host.pump();
    EXPECT_FALSE(host.haltRequested());
    NoteInterrupt();
    host.pump();
    EXPECT_TRUE(host.haltRequested());
    EXPECT_TRUE(host.wasInterrupted());
    EXPECT_EQ(out.str(), "Halt Requested. Stopping Operations...\n");
}

}  // namespace
}  // namespace ostravex::cli
