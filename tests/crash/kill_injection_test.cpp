// The command-line program killed (kill -9) at chosen system calls, through strace's fault
// injection: every rom is left with its original bytes or its whole result, and the next
// run completes what the killed one began.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>

#include "support/rom_images.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
using testing::operator""_MiB;

using Folder = std::map<std::string, Bytes>;

std::string StracePath() {
    for (const char* path : {"/usr/bin/strace", "/bin/strace"}) {
        if (access(path, X_OK) == 0) {
            return path;
        }
    }
    return {};
}

// Runs a program with its output dropped; returns its wait status.
int RunProgram(const std::vector<std::string>& arguments) {
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

std::vector<std::string> CliCommand(const std::vector<std::string>& options,
                                    const std::string& rom) {
    std::vector<std::string> command{OSTRAVEX_CLI, "--quiet"};
    command.insert(command.end(), options.begin(), options.end());
    command.push_back(rom);
    return command;
}

Folder ReadFolder(const std::string& folder) {
    Folder files;
    for (const std::string& name : testing::ListFolder(folder)) {
        files[name] = ReadFile(folder + name);
    }
    return files;
}

struct KillCase {
    const char* name;
    const char* rom;
    std::function<Bytes()> image;
    std::vector<std::string> options;
    const char* syscalls;  // the set strace kills the program in
    std::vector<int> whens;
    // The change only appends to the rom (a restore in place): a kill may also leave the
    // original followed by part of what the result adds.
    bool appends = false;
};

// Whether `bytes` is the start of `result`, at least as long as `original`.
bool IsPartOfTheGrowth(const Bytes& bytes, const Bytes& original, const Bytes& result) {
    return bytes.size() >= original.size() && bytes.size() <= result.size() &&
           std::equal(bytes.begin(), bytes.end(), result.begin());
}

void PrintTo(const KillCase& c, std::ostream* os) {
    *os << c.name;
}

// A GBA image whose SRAM patch writes twice: a jump at 501 and the routine after the data.
Bytes PatchableGba() {
    const Bytes v111{0x0E, 0x48, 0x39, 0x68, 0x01, 0x60, 0x0E, 0x48};
    return testing::GbaImageBuilder().size(1_MiB).dataEnd(1000).bytes(501, v111).build();
}

// A trimmed NDS image of a 4 MiB cartridge (128 KiB << 5): restoring it writes 3 MiB.
Bytes TrimmedNds() {
    return testing::NdsImageBuilder().usedSize(1_MiB).size(1_MiB).byte(0x14, 5).build();
}

Bytes UntrimmedNds() {
    return testing::NdsImageBuilder().usedSize(600000).size(1_MiB).build();
}

class KillInjection : public ::testing::TestWithParam<KillCase> {
  protected:
    void SetUp() override {
        strace = StracePath();
        if (strace.empty()) {
            GTEST_SKIP() << "strace is not installed";
        }
        const int probe = RunProgram({strace, "-qq", "-o", "/dev/null", "/bin/true"});
        if (!WIFEXITED(probe) || WEXITSTATUS(probe) != 0) {
            GTEST_SKIP() << "strace cannot trace here";
        }
    }
    std::string strace;
};

TEST_P(KillInjection, EveryRomHoldsItsOriginalOrItsResultAndTheNextRunCompletesIt) {
    const KillCase& c = GetParam();
    const Bytes original = c.image();
    TempDir clean;
    WriteFile(clean.file(c.rom), original);
    ASSERT_EQ(RunProgram(CliCommand(c.options, clean.file(c.rom))), 0);
    const Folder result = ReadFolder(clean.path());
    ASSERT_NE(result.at(c.rom), original);

    for (const int when : c.whens) {
        SCOPED_TRACE("killed at " + std::string(c.syscalls) + " number " + std::to_string(when));
        TempDir dir;
        const std::string rom = dir.file(c.rom);
        WriteFile(rom, original);
        std::vector<std::string> command{
            strace,
            "-qq",
            "-o",
            "/dev/null",
            "-e",
            "inject=" + std::string(c.syscalls) + ":signal=KILL:when=" + std::to_string(when)};
        const std::vector<std::string> cli = CliCommand(c.options, rom);
        command.insert(command.end(), cli.begin(), cli.end());
        const int status = RunProgram(command);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "not killed";

        for (const auto& [name, bytes] : ReadFolder(dir.path())) {
            if (name.starts_with(".ostravex-")) {
                continue;  // the killed run's temporary, removed by the next run
            }
            ASSERT_TRUE(result.count(name) > 0) << name;
            const bool partlyGrown =
                c.appends && name == c.rom && IsPartOfTheGrowth(bytes, original, result.at(name));
            EXPECT_TRUE(bytes == result.at(name) || bytes == original || partlyGrown)
                << name << " holds " << bytes.size() << " bytes, neither the original ("
                << original.size() << ") nor the result (" << result.at(name).size() << ")";
        }
        EXPECT_TRUE(testing::Exists(rom));

        ASSERT_EQ(RunProgram(CliCommand(c.options, rom)), 0);
        EXPECT_EQ(ReadFolder(dir.path()), result);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kills, KillInjection,
    ::testing::Values(
        KillCase{"SramPatchInPlaceAtAPatchWrite",
                 "g.gba",
                 PatchableGba,
                 {"--sram-patch"},
                 "pwrite64",
                 {1, 2}},
        KillCase{"SramPatchOnlyAtAPatchWrite",
                 "g.gba",
                 PatchableGba,
                 {"--sram-patch", "--only-patch"},
                 "pwrite64",
                 {1, 2}},
        KillCase{"SramPatchInPlaceBeforeTheRename",
                 "g.gba",
                 PatchableGba,
                 {"--sram-patch"},
                 "rename",
                 {1}},
        KillCase{"RestoreInPlaceWhilePadding",
                 "t.nds",
                 TrimmedNds,
                 {"--restore"},
                 "pwrite64",
                 {1, 2, 3},
                 true},
        KillCase{
            "RestoreInPlaceBeforeTheSync", "t.nds", TrimmedNds, {"--restore"}, "fsync", {1}, true},
        KillCase{
            "BackupBeforeTheLink", "x.nds", UntrimmedNds, {"--mode=backup"}, "link,linkat", {1}},
        KillCase{
            "BackupBetweenLinkAndRename", "x.nds", UntrimmedNds, {"--mode=backup"}, "rename", {1}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ostravex
