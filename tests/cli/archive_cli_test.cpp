// Roms in zip, rar and 7z archives as the command line lists and trims them, in archives
// made by the real tools: members of one name in different folders, members that are
// skipped, zips with bytes after their end record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "support/archive_builders.h"
#include "support/cli_run.h"
#include "support/rom_images.h"

namespace ostravex::cli {
namespace {

using testing::Bytes;
using testing::Contains;
using testing::Lines;
using testing::NdsImageBuilder;
using testing::ReadFile;
using testing::RunCommand;
using testing::TempDir;
using testing::WriteFile;
using testing::operator""_MiB;

bool HasLine(const std::string& text, const std::string& line) {
    const std::vector<std::string> lines = Lines(text);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// An NDS image of 1 MiB whose data ends at `used`.
Bytes Rom(std::uint32_t used) {
    return NdsImageBuilder().usedSize(used).size(1_MiB).build();
}
Bytes Cut(std::uint32_t used) {
    const Bytes rom = Rom(used);
    return Bytes(rom.begin(), rom.begin() + used);
}

using Tool = testing::ArchiveTool;

std::string Extension(Tool tool) {
    switch (tool) {
        case Tool::Zip:
            return ".zip";
        case Tool::SevenZip:
            return ".7z";
        case Tool::Rar:
            return ".rar";
    }
    return "";
}

bool Installed(const char* command) {
    return std::system(("command -v " + std::string(command) + " >/dev/null 2>&1").c_str()) == 0;
}

// A UTF-8 name as the UTF-16 code units WinRAR stores.
std::u16string Utf16(const std::string& utf8) {
    std::u16string text;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x80) {
            text.push_back(byte);
            i += 1;
        } else {  // two-byte sequences are all these tests use
            text.push_back(static_cast<char16_t>((byte & 0x1F) << 6 | (utf8[i + 1] & 0x3F)));
            i += 2;
        }
    }
    return text;
}

// Makes `archive` holding the files `paths` ("/"-separated) under `src`, with the real tool
// where there is one; rar archives, which no tool here writes, are built in code with "\"
// separators as Windows RAR stores them. False when the tool is not installed.
bool MakeArchive(Tool tool, const std::string& archive, const std::string& src,
                 const std::vector<std::string>& paths) {
    std::string command;
    switch (tool) {
        case Tool::Zip:
            if (!Installed("zip")) {
                return false;
            }
            command = "cd '" + src + "' && zip -q '" + archive + "'";
            for (const std::string& path : paths) {
                command += " '" + path + "'";
            }
            if (std::system(command.c_str()) != 0) {
                throw std::runtime_error("zip failed: " + command);
            }
            return true;
        case Tool::SevenZip:
            return testing::MakeSevenZip(archive, src, paths);
        case Tool::Rar: {
            testing::RarBuilder rar;
            for (const std::string& path : paths) {
                std::string stored = path;
                std::replace(stored.begin(), stored.end(), '/', '\\');
                rar.addUnicode(Utf16(stored), ReadFile(src + path));
            }
            WriteFile(archive, rar.build());
            return true;
        }
    }
    return false;
}

constexpr Tool kTools[] = {Tool::Zip, Tool::SevenZip, Tool::Rar};

// Two members of one name in two folders are two entries, each read from its own member:
// the second one's result would take the first one's name, where a different file now is,
// so it is an error in every kind of archive, never a skip.
TEST(ArchiveMembers, OneNameInTwoFoldersIsTwoEntries) {
    const std::string eu = "eu/Game: é 1.nds";
    const std::string us = "us/Game: é 1.nds";
    for (const Tool tool : kTools) {
        SCOPED_TRACE(testing::ArchiveToolName(tool));
        TempDir dir;
        const std::string src = dir.subfolder("src");
        dir.subfolder("src/eu");
        dir.subfolder("src/us");
        WriteFile(src + eu, Rom(600000));
        WriteFile(src + us, Rom(700000));
        const std::string folder = dir.subfolder("roms: ü");
        const std::string archive = folder + "two regions" + Extension(tool);
        if (!MakeArchive(tool, archive, src, {eu, us})) {
            GTEST_SKIP() << testing::ArchiveToolName(tool) << " is not installed";
        }
        const Bytes archiveBytes = ReadFile(archive);

        const testing::CliResult listed = RunCommand({"--list", archive});
        EXPECT_EQ(listed.code, 0);
        const std::string prefix = tool == Tool::Zip        ? "ZIP: "
                                   : tool == Tool::SevenZip ? "7ZIP: "
                                                            : "RAR: ";
        EXPECT_EQ(Lines(listed.out), (std::vector<std::string>{prefix + archive + "| " + eu,
                                                               prefix + archive + "| " + us}));

        const testing::CliResult run = RunCommand({archive});

        EXPECT_EQ(run.code, 1) << run.out;
        EXPECT_TRUE(HasLine(run.out, eu + ": 448576")) << run.out;
        EXPECT_TRUE(HasLine(run.out, us + ": 348576")) << run.out;
        EXPECT_TRUE(HasLine(run.out, "ERROR: A different file is already there, left as it is: " +
                                         folder + "Game: é 1.nds (not replaced by " + us +
                                         " of two regions" + Extension(tool) + ")"))
            << run.out;
        EXPECT_FALSE(Contains(run.out, "SKIP:")) << run.out;
        EXPECT_TRUE(HasLine(run.out, "Errors: 1")) << run.out;
        EXPECT_EQ(ReadFile(folder + "Game: é 1.nds"), Cut(600000));
        EXPECT_EQ(testing::ListFolder(folder),
                  (std::vector<std::string>{"Game: é 1.nds", "two regions" + Extension(tool)}));
        EXPECT_EQ(ReadFile(archive), archiveBytes);
    }
}

// A 7z or rar member that is skipped leaves nothing beside its archive or in the output
// folder: neither its bytes under its name nor a temporary. A member that is cut leaves its
// result only, and no NAME.bak in backup mode: the archive is the original.
TEST(ArchiveMembers, SkippedMembersLeaveNothingBehind) {
    const std::string bad = "set/bad header: é.nds";
    const std::string done = "set/done ü.nds";
    const std::string good = "set/good.nds";
    struct Mode {
        std::vector<std::string> arguments;
        std::vector<std::string> besideArchive;  // besides the archive
        std::vector<std::string> inOutput;
    };
    for (const Tool tool : {Tool::SevenZip, Tool::Rar}) {
        TempDir dir;
        const std::string src = dir.subfolder("src");
        dir.subfolder("src/set");
        WriteFile(src + bad,
                  NdsImageBuilder().usedSize(600000).size(1_MiB).wrongHeaderChecksum().build());
        WriteFile(src + done, Rom(1_MiB));
        WriteFile(src + good, Rom(600000));
        const std::string made = dir.file("made" + Extension(tool));
        if (!MakeArchive(tool, made, src, {bad, done, good})) {
            GTEST_SKIP() << testing::ArchiveToolName(tool) << " is not installed";
        }
        const Bytes archiveBytes = ReadFile(made);
        const std::string out = dir.subfolder("out");
        const std::string archiveName = "a b" + Extension(tool);
        for (const Mode& mode :
             {Mode{{}, {"good.nds"}, {}}, Mode{{"--mode=backup"}, {"good.nds"}, {}},
              Mode{{"--mode=folder", "--output=" + out}, {}, {"good.nds"}}}) {
            SCOPED_TRACE(testing::ArchiveToolName(tool) +
                         (mode.arguments.empty() ? "" : " " + mode.arguments[0]));
            const std::string folder = dir.subfolder("roms");
            WriteFile(folder + archiveName, archiveBytes);
            std::vector<std::string> arguments = mode.arguments;
            arguments.push_back(folder + archiveName);

            const testing::CliResult run = RunCommand(arguments);

            EXPECT_EQ(run.code, 0) << run.out;
            EXPECT_TRUE(
                HasLine(run.out,
                        "SKIP: Header checksum does not match (damaged or not an NDS image): "
                        "bad header: é.nds"))
                << run.out;
            EXPECT_TRUE(
                HasLine(run.out, "SKIP: File already trimmed (wifi status unknown): done ü.nds"))
                << run.out;
            std::vector<std::string> beside = mode.besideArchive;
            beside.insert(beside.begin(), archiveName);
            EXPECT_EQ(testing::ListFolder(folder), beside);
            EXPECT_EQ(testing::ListFolder(out), mode.inOutput);
            const std::string result = (mode.inOutput.empty() ? folder : out) + "good.nds";
            EXPECT_EQ(ReadFile(result), Cut(600000));
            EXPECT_EQ(ReadFile(folder + archiveName), archiveBytes);
            std::filesystem::remove_all(folder);
            std::filesystem::remove_all(out);
            dir.subfolder("out");
        }
    }
}

// A zip is read from its directory wherever its end record stands: after a comment of any
// length and before bytes that something appended. Only an archive whose directory is
// really gone is read from its members' own headers, and is damaged; a member whose
// CRC-32 checks out is trimmed either way.
TEST(ZipArchives, BytesAfterTheEndRecordAreNotDamage) {
    if (!Installed("python3")) {
        GTEST_SKIP() << "python3 is not installed";
    }
    struct Row {
        const char* what;
        int comment;
        int trailing;
        bool directoryGone;
    };
    const std::vector<std::string> members{"roms/a b: é.nds", "roms/Zelda: ü.nds"};
    for (const Row& row :
         {Row{"no comment", 0, 0, false}, Row{"the longest comment", 65535, 0, false},
          Row{"the longest comment and 4,443 bytes", 65535, 4443, false},
          Row{"a short comment and 1 MiB", 10, 1 << 20, false}, Row{"no directory", 0, 0, true},
          Row{"no directory and 4,443 bytes", 0, 4443, true}}) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        const std::string src = dir.subfolder("src");
        dir.subfolder("src/roms");
        WriteFile(src + members[0], Rom(600000));
        WriteFile(src + members[1], Rom(700000));
        const std::string folder = dir.subfolder("zips");
        const std::string archive = folder + "long: comment.zip";
        // Python's zipfile writes the archive; the directory is cut off where it starts.
        const std::string script =
            "import sys, zipfile\n"
            "src, archive, comment, trailing, gone = sys.argv[1:6]\n"
            "with zipfile.ZipFile(archive, 'w', zipfile.ZIP_DEFLATED) as z:\n"
            "    z.comment = b'c' * int(comment)\n"
            "    for name in sys.argv[6:]:\n"
            "        z.write(src + name, name)\n"
            "    start = z.start_dir\n"
            "with open(archive, 'r+b') as f:\n"
            "    if gone == '1':\n"
            "        f.truncate(start)\n"
            "    f.seek(0, 2)\n"
            "    f.write(bytes(range(256)) * (int(trailing) // 256) + b'z' * (int(trailing) % "
            "256))\n";
        WriteFile(dir.file("make.py"), Bytes(script.begin(), script.end()));
        const std::string command =
            "python3 '" + dir.file("make.py") + "' '" + src + "' '" + archive + "' " +
            std::to_string(row.comment) + " " + std::to_string(row.trailing) + " " +
            (row.directoryGone ? "1" : "0") + " '" + members[0] + "' '" + members[1] + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;

        const testing::CliResult run = RunCommand({archive});

        const std::string damaged =
            "ERROR: Damaged archive, listed as far as it could be read: long: comment.zip";
        EXPECT_EQ(HasLine(run.out, damaged), row.directoryGone) << run.out;
        EXPECT_EQ(run.code, row.directoryGone ? 1 : 0) << run.out;
        EXPECT_TRUE(HasLine(run.out, members[0] + ": 448576")) << run.out;
        EXPECT_TRUE(HasLine(run.out, members[1] + ": 348576")) << run.out;
        EXPECT_TRUE(HasLine(run.out, row.directoryGone ? "Errors: 1" : "Errors:")) << run.out;
        EXPECT_EQ(ReadFile(folder + "a b: é.nds"), Cut(600000));
        EXPECT_EQ(ReadFile(folder + "Zelda: ü.nds"), Cut(700000));
    }
}

}  // namespace
}  // namespace ostravex::cli
