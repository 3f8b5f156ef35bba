// A dry run says what the run would say: the same lines, notices and exit status, in every
// file option, for every kind of source, with and without scene-number renames, and with
// the files a run meets in its way (a ".bak" already there, an earlier output, a name the
// rename wants, a missing output folder).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

#include "cli.h"
#include "settings/run_options.h"
#include "support/archive_builders.h"
#include "support/cli_run.h"
#include "support/read_only_folder.h"
#include "support/rom_images.h"

namespace ostravex::cli {
namespace {

using testing::Bytes;
using testing::NdsImageBuilder;
using testing::TempDir;
using testing::WriteFile;

const std::string kName = "0123 - x.nds";  // a scene number the rename removes
const std::string kRenamed = "x.nds";

Bytes Rom() {
    return NdsImageBuilder().usedSize(100000).size(128 * 1024).build();
}
const Bytes kOther(3000, 0x5A);  // a file the run meets in its way

enum class Source { Plain, Zip, Rar, SevenZip };
enum class InTheWay { Nothing, Backup, EarlierOutput, RenamedName, NoOutputFolder };

struct Case {
    FileMode mode;
    Source source;
    bool rename;
    InTheWay inTheWay;
    bool dontOverwrite;
};

std::string Describe(const Case& c) {
    static const std::map<FileMode, const char*> modes{{FileMode::Overwrite, "overwrite"},
                                                       {FileMode::Backup, "backup"},
                                                       {FileMode::Folder, "folder"}};
    static const std::map<Source, const char*> sources{{Source::Plain, "plain"},
                                                       {Source::Zip, "zip member"},
                                                       {Source::Rar, "rar member"},
                                                       {Source::SevenZip, "7z member"}};
    static const std::map<InTheWay, const char*> ways{
        {InTheWay::Nothing, "nothing in the way"},
        {InTheWay::Backup, "a .bak there"},
        {InTheWay::EarlierOutput, "an earlier output there"},
        {InTheWay::RenamedName, "the renamed name taken"},
        {InTheWay::NoOutputFolder, "no output folder"}};
    return std::string(modes.at(c.mode)) + ", " + sources.at(c.source) +
           (c.rename ? ", scene rename" : "") + (c.dontOverwrite ? ", don't overwrite" : "") +
           ", " + ways.at(c.inTheWay);
}

// The archives, made once: the 7z one by 7zz, as users make them.
struct Archives {
    Bytes zip = testing::ZipBuilder().add(kName, Rom()).build();
    Bytes rar = testing::RarBuilder().add(kName, Rom()).build();
    std::optional<Bytes> sevenZip;

    Archives() {
        TempDir dir;
        WriteFile(dir.file(kName), Rom());
        if (testing::MakeSevenZip(dir.file("a.7z"), dir.path(), {kName})) {
            sevenZip = testing::ReadFile(dir.file("a.7z"));
        }
    }
};

const Archives& TheArchives() {
    static const Archives archives;
    return archives;
}

// Lays out one case's files under `base` and returns the PATH to give.
std::string Lay(const Case& c, const std::string& base) {
    const std::string roms = base + "roms/";
    std::filesystem::create_directories(roms);
    if (c.inTheWay != InTheWay::NoOutputFolder) {
        std::filesystem::create_directories(base + "out");
    }
    std::string path;
    switch (c.source) {
        case Source::Plain:
            path = roms + kName;
            WriteFile(path, Rom());
            break;
        case Source::Zip:
            path = roms + "a.zip";
            WriteFile(path, TheArchives().zip);
            break;
        case Source::Rar:
            path = roms + "a.rar";
            WriteFile(path, TheArchives().rar);
            break;
        case Source::SevenZip:
            path = roms + "a.7z";
            WriteFile(path, *TheArchives().sevenZip);
            break;
    }
    const std::string outputFolder = c.mode == FileMode::Folder ? base + "out/" : roms;
    switch (c.inTheWay) {
        case InTheWay::Nothing:
        case InTheWay::NoOutputFolder:
            break;
        case InTheWay::Backup:
            WriteFile(roms + kName + ".bak", kOther);
            break;
        case InTheWay::EarlierOutput:
            if (c.source != Source::Plain || c.mode == FileMode::Folder) {
                WriteFile(outputFolder + kName, kOther);
            }
            break;
        case InTheWay::RenamedName:
            WriteFile(outputFolder + kRenamed, kOther);
            break;
    }
    return path;
}

std::vector<std::string> Arguments(const Case& c, const std::string& base,
                                   const std::string& path) {
    std::vector<std::string> arguments;
    switch (c.mode) {
        case FileMode::Overwrite:
            arguments = {"--mode=overwrite"};
            break;
        case FileMode::Backup:
            arguments = {"--mode=backup"};
            break;
        case FileMode::Folder:
            arguments = {"--mode=folder", "--output=" + base + "out"};
            break;
    }
    if (c.rename) {
        arguments.push_back("--remove-scene-numbers");
    }
    if (c.dontOverwrite) {
        arguments.push_back("--dont-overwrite");
    }
    arguments.push_back(path);
    return arguments;
}

// Every file under `folder` with its bytes.
std::map<std::string, Bytes> Snapshot(const std::string& folder) {
    std::map<std::string, Bytes> files;
    for (const auto& item : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string relative = std::filesystem::relative(item.path(), folder).string();
        files[relative] =
            item.is_regular_file() ? testing::ReadFile(item.path().string()) : Bytes{};
    }
    return files;
}

struct Outcome {
    int code = 0;
    std::vector<std::string> out;
    std::vector<std::string> err;
};

// Runs the command line on a fresh layout of the case; lines name the layout's folder as
// "BASE", and the run time and the dry run's own notice are left out.
Outcome RunCase(const Case& c, bool dryRun, bool json, std::map<std::string, Bytes>* before,
                std::map<std::string, Bytes>* after) {
    TempDir dir;
    const std::string path = Lay(c, dir.path());
    std::vector<std::string> arguments = Arguments(c, dir.path(), path);
    if (dryRun) {
        arguments.insert(arguments.begin(), "--dry-run");
    }
    if (json) {
        arguments.insert(arguments.begin(), "--json");
    }
    if (before) {
        *before = Snapshot(dir.path());
    }
    std::ostringstream out, err;
    Outcome outcome;
    outcome.code = RunCli(arguments, out, err);
    if (after) {
        *after = Snapshot(dir.path());
    }
    const auto lines = [&](const std::string& text) {
        std::vector<std::string> kept;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            for (std::size_t at; (at = line.find(dir.path())) != std::string::npos;) {
                line.replace(at, dir.path().size(), "BASE/");
            }
            if (line.starts_with("Trimming took ") ||
                line == "ostravex-cli: dry run: nothing will be written") {
                continue;
            }
            kept.push_back(line);
        }
        return kept;
    };
    outcome.out = lines(out.str());
    outcome.err = lines(err.str());
    return outcome;
}

std::vector<Case> AllCases() {
    std::vector<Case> cases;
    for (const FileMode mode : {FileMode::Overwrite, FileMode::Backup, FileMode::Folder}) {
        for (const Source source : {Source::Plain, Source::Zip, Source::Rar, Source::SevenZip}) {
            for (const bool rename : {false, true}) {
                for (const InTheWay inTheWay :
                     {InTheWay::Nothing, InTheWay::Backup, InTheWay::EarlierOutput,
                      InTheWay::RenamedName, InTheWay::NoOutputFolder}) {
                    if (inTheWay == InTheWay::NoOutputFolder && mode != FileMode::Folder) {
                        continue;
                    }
                    cases.push_back({mode, source, rename, inTheWay, false});
                    if (mode == FileMode::Folder) {
                        cases.push_back({mode, source, rename, inTheWay, true});
                    }
                }
            }
        }
    }
    return cases;
}

TEST(DryRun, SaysWhatTheRunSaysAndWritesNothing) {
    for (const Case& c : AllCases()) {
        if (c.source == Source::SevenZip && !TheArchives().sevenZip) {
            continue;  // 7zz is not installed
        }
        SCOPED_TRACE(Describe(c));
        std::map<std::string, Bytes> before, after;
        const Outcome real = RunCase(c, false, false, nullptr, nullptr);
        const Outcome dry = RunCase(c, true, false, &before, &after);
        EXPECT_EQ(dry.out, real.out);
        EXPECT_EQ(dry.err, real.err);
        EXPECT_EQ(dry.code, real.code);
        EXPECT_TRUE(after == before) << "the dry run changed its files";

        const Outcome realJson = RunCase(c, false, true, nullptr, nullptr);
        const Outcome dryJson = RunCase(c, true, true, nullptr, nullptr);
        EXPECT_EQ(dryJson.out, realJson.out);
        EXPECT_EQ(dryJson.code, realJson.code);
    }
}

// What stops a run is found by its dry run too, by the same checks: a folder that cannot
// take the new file beside the rom a link leads to, a folder standing at the output's
// name, a folder where a scene-number rename cannot happen. The run finds them before it
// copies anything. RunCommand makes the dry run first and requires the same lines.
TEST(DryRun, FindsWhatStopsTheRun) {
    const Bytes trimmed = NdsImageBuilder().usedSize(100000).size(100000).build();
    struct Row {
        std::string name;
        // Lays out the case under `base` and returns the arguments; may make a folder
        // read-only for as long as the case runs.
        std::function<std::vector<std::string>(const std::string& base,
                                               std::optional<testing::ReadOnlyFolder>& readOnly)>
            lay;
        std::string line;  // the failure line of the run
    };
    const std::vector<Row> rows = {
        {"a backup of a rom a link leads into a read-only folder",
         [](const std::string& base, std::optional<testing::ReadOnlyFolder>& readOnly) {
             std::filesystem::create_directories(base + "ro");
             std::filesystem::create_directories(base + "links");
             WriteFile(base + "ro/x.nds", Rom());
             std::filesystem::create_symlink(base + "ro/x.nds", base + "links/x.nds");
             readOnly.emplace(base + "ro");
             return std::vector<std::string>{"--mode=backup", base + "links/x.nds"};
         },
         "Error: File is Read-Only: x.nds"},
        {"a folder at the output's name",
         [](const std::string& base, std::optional<testing::ReadOnlyFolder>&) {
             std::filesystem::create_directories(base + "out/x.nds");
             WriteFile(base + "x.nds", Rom());
             return std::vector<std::string>{"--mode=folder", "--output=" + base + "out",
                                             base + "x.nds"};
         },
         "ERROR: Cannot create file (Is a directory): x.nds"},
        {"a scene-number rename in a read-only folder",
         [trimmed](const std::string& base, std::optional<testing::ReadOnlyFolder>& readOnly) {
             std::filesystem::create_directories(base + "ro");
             WriteFile(base + "ro/" + kName, trimmed);
             readOnly.emplace(base + "ro");
             return std::vector<std::string>{"--remove-scene-numbers", base + "ro/" + kName};
         },
         "Rename FAILED: " + kName + " -> " + kRenamed},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        std::optional<testing::ReadOnlyFolder> readOnly;
        const std::vector<std::string> arguments = row.lay(dir.path(), readOnly);
        if (readOnly && !readOnly->ready()) {
            GTEST_SKIP() << "cannot make a read-only folder here";
        }
        const testing::CliResult result = testing::RunCommand(arguments);
        EXPECT_EQ(result.code, 1);
        EXPECT_TRUE(testing::Contains(result.out, "\n" + row.line + "\n")) << result.out;
        for (const auto& item : std::filesystem::recursive_directory_iterator(dir.path())) {
            EXPECT_FALSE(item.path().filename().string().starts_with(".ostravex-")) << item.path();
        }
    }
}

}  // namespace
}  // namespace ostravex::cli
