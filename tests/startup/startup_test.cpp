// The command-line program as a process: which shared libraries it loads, and how it goes
// on when the archive library cannot be loaded. Both depend on how the program is linked
// and started, which only a separate process shows.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <fstream>
#include <sstream>

#include "support/archive_builders.h"
#include "support/rom_images.h"

extern char** environ;

namespace ostravex {
namespace {

using testing::GbaImageBuilder;
using testing::RarBuilder;
using testing::TempDir;
using testing::WriteFile;

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs ostravex-cli with `arguments`, its environment extended by `environment`
// ("NAME=value" texts), standard output and error kept in files of `dir`.
Outcome RunCliProcess(const TempDir& dir, const std::vector<std::string>& arguments,
                      const std::vector<std::string>& environment = {}) {
    std::vector<std::string> argumentTexts{OSTRAVEX_CLI_PATH};
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : argumentTexts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> environmentTexts(environment);
    std::vector<char*> envp;
    for (std::string& text : environmentTexts) {
        envp.push_back(text.data());
    }
    for (char** variable = environ; *variable; ++variable) {
        envp.push_back(*variable);
    }
    envp.push_back(nullptr);

    const std::string outPath = dir.file("stdout.txt");
    const std::string errPath = dir.file("stderr.txt");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    Outcome outcome;
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << argv[0];
        return outcome;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = ReadText(outPath);
    outcome.err = ReadText(errPath);
    return outcome;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Whether `text` has a line that begins with `start` and ends with `end`.
bool HasLine(const std::string& text, const std::string& start, const std::string& end) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(start) && line.ends_with(end)) {
            return true;
        }
    }
    return false;
}

// A folder with one rom of each kind beside the archives the test asks for.
std::string FolderWith(const TempDir& dir, const std::vector<std::string>& archives) {
    const std::string folder = dir.subfolder("roms");
    WriteFile(folder + "game.gba", GbaImageBuilder().size(1u << 20).dataEnd(5000).build());
    for (const std::string& name : archives) {
        if (name.ends_with(".rar")) {
            WriteFile(folder + name, RarBuilder().add("inner.gba", testing::Bytes(300, 7)).build());
        } else if (name.ends_with(".zip")) {
            WriteFile(folder + name,
                      testing::ZipBuilder()
                          .add("zipped.gba", GbaImageBuilder().size(256u << 10).build())
                          .build());
        } else {
            // A 7z archive as 7-Zip makes it, when 7zz is installed; otherwise a file the
            // scan opens as 7z and finds unreadable (an error line).
            const std::string source = dir.subfolder("7z-source");
            WriteFile(source + "inner.gba", GbaImageBuilder().size(256u << 10).build());
            if (!testing::MakeSevenZip(folder + name, source, {"inner.gba"})) {
                WriteFile(folder + name, testing::Bytes(64, 0x37));
            }
        }
    }
    return folder;
}

// The libraries a run loaded, at start-up or later, as the dynamic loader reports them.
bool Loaded(const Outcome& outcome, const std::string& soname) {
    return Contains(outcome.err, "file=" + soname + " ");
}

TEST(Startup, TheArchiveLibraryIsLoadedOnlyWhenARarOr7zArchiveIsMet) {
    struct Row {
        const char* label;
        std::vector<std::string> archives;
        std::vector<std::string> options;
        bool archiveLibrary;
    };
    const Row rows[] = {
        {"version", {}, {"--version"}, false},
        {"help", {}, {"--help"}, false},
        {"run over roms", {}, {"--dry-run"}, false},
        {"zip archives have their own reader", {"pack.zip"}, {"--dry-run"}, false},
        {"archives not searched", {"set.rar", "pack.7z"}, {"--dry-run", "--no-archives"}, false},
        {"a rar archive", {"set.rar"}, {"--list"}, true},
        {"a 7z archive", {"pack.7z"}, {"--list"}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        TempDir dir;
        std::vector<std::string> arguments = row.options;
        if (row.options.front() != "--version" && row.options.front() != "--help") {
            arguments.push_back(FolderWith(dir, row.archives));
        }
        const Outcome outcome = RunCliProcess(dir, arguments, {"LD_DEBUG=files"});
        // Without 7zz the stand-in for a 7z archive is an error line, and only that.
        const bool standIn = Contains(outcome.out + outcome.err, "not a readable 7z archive");
        EXPECT_EQ(outcome.exitCode, standIn ? 1 : 0) << outcome.out;
        EXPECT_TRUE(Loaded(outcome, "libstdc++.so.6")) << "the loader reported nothing";
        EXPECT_EQ(Loaded(outcome, "libarchive.so.13"), row.archiveLibrary);
        if (!row.archiveLibrary) {
            // One of the libraries behind libarchive here.
            EXPECT_FALSE(Loaded(outcome, "libxml2.so.2"));
        }
        // Libraries these runs do not need: libcurl serves only the window's version check,
        // and none of them reads XML or computes OpenSSL's hashes.
        for (const char* unused : {"libcurl.so.4", "libexpat.so.1", "libcrypto.so.3"}) {
            EXPECT_FALSE(Loaded(outcome, unused)) << unused;
        }
    }
}

// The path of a library that is loaded but holds no libarchive function.
std::string LibraryWithoutArchiveFunctions() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&zlibVersion), &info) == 0 || !info.dli_fname) {
        return {};
    }
    return info.dli_fname;
}

TEST(Startup, AnArchiveLibraryThatCannotBeLoadedIsAnErrorForEachArchiveAndTheRestIsDone) {
    struct Row {
        const char* label;
        std::string expectedReason;
        // Fills the folder the dynamic loader searches first for libarchive.so.13.
        void (*stand_in)(const std::string& folder);
    };
    const Row rows[] = {
        {"a file that is no library", "libarchive.so.13 could not be loaded: ",
         [](const std::string& folder) {
             WriteFile(folder + "libarchive.so.13", testing::Bytes(100, 'x'));
         }},
        {"a library without its functions", "libarchive.so.13 lacks the function archive_read_new",
         [](const std::string& folder) {
             ASSERT_EQ(symlink(LibraryWithoutArchiveFunctions().c_str(),
                               (folder + "libarchive.so.13").c_str()),
                       0);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        TempDir dir;
        const std::string libraries = dir.subfolder("lib");
        row.stand_in(libraries);
        const std::string roms = FolderWith(dir, {"set.rar", "pack.7z", "pack.zip"});
        const Outcome outcome =
            RunCliProcess(dir, {"--dry-run", roms}, {"LD_LIBRARY_PATH=" + libraries});
        EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
        for (const char* archive : {"set.rar", "pack.7z"}) {
            EXPECT_TRUE(HasLine(outcome.out, "ERROR: Cannot open archive (" + row.expectedReason,
                                "): " + std::string(archive)))
                << outcome.out;
        }
        // The rom and the zip member are still decided.
        EXPECT_TRUE(Contains(outcome.out, "game.gba")) << outcome.out;
        EXPECT_TRUE(Contains(outcome.out, "zipped.gba")) << outcome.out;
        EXPECT_TRUE(Contains(outcome.out, "Errors: 2")) << outcome.out;
    }
}

}  // namespace
}  // namespace ostravex
