// The command-line program as a process: the questions it asks the file system about each
// path it is given, and what it does when its standard output cannot be written.
//
// The file-system calls are counted by wrappers of the C library's functions in this test
// program: the engine's calls bind to them, record the calls that name a path of the test
// or one of its open descriptors, and go on to the C library.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli.h"
#include "support/archive_builders.h"
#include "support/rom_images.h"

namespace {

// The calls made on the watched paths, in order: "stat", "open", "fstat", ...
struct CallLog {
    std::mutex mutex;
    std::string watched;  // a path prefix; empty: nothing is recorded
    std::map<int, bool> descriptors;
    std::vector<std::string> calls;

    void onPath(const char* name, const char* path) {
        const std::lock_guard lock(mutex);
        if (!watched.empty() && path && std::string(path).starts_with(watched)) {
            calls.push_back(std::string(name) + " " + std::string(path).substr(watched.size()));
        }
    }
    void opened(const char* path, int fd) {
        const std::lock_guard lock(mutex);
        if (!watched.empty() && path && std::string(path).starts_with(watched)) {
            calls.push_back("open " + std::string(path).substr(watched.size()) +
                            (fd < 0 ? " (failed)" : ""));
            if (fd >= 0) {
                descriptors[fd] = true;
            }
        }
    }
    // Bytes taken from the watched descriptors, by reads and by kernel copies.
    std::uint64_t bytesRead = 0;
    void readFrom(int fd, ssize_t count) {
        const std::lock_guard lock(mutex);
        if (count > 0 && descriptors.contains(fd)) {
            bytesRead += static_cast<std::uint64_t>(count);
        }
    }
    void onDescriptor(const char* name, int fd) {
        const std::lock_guard lock(mutex);
        if (descriptors.contains(fd)) {
            calls.push_back(std::string(name) + " fd");
        }
    }
    // Runs once, before the next lock taken on a watched descriptor: what another run does
    // while this one has opened a file and not yet locked it.
    std::function<void()> beforeNextLock;
    void closed(int fd) {
        const std::lock_guard lock(mutex);
        if (descriptors.erase(fd) > 0) {
            calls.push_back("close fd");
        }
    }
};

CallLog& Calls() {
    static CallLog log;
    return log;
}

template <typename Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

int stat(const char* path, struct stat* info) {
    Calls().onPath("stat", path);
    static const auto next = Next<int (*)(const char*, struct stat*)>("stat");
    return next(path, info);
}

int lstat(const char* path, struct stat* info) {
    Calls().onPath("lstat", path);
    static const auto next = Next<int (*)(const char*, struct stat*)>("lstat");
    return next(path, info);
}

int fstatat(int dirfd, const char* path, struct stat* info, int flags) {
    Calls().onPath("fstatat", path);
    static const auto next = Next<int (*)(int, const char*, struct stat*, int)>("fstatat");
    return next(dirfd, path, info, flags);
}

int access(const char* path, int mode) {
    Calls().onPath("access", path);
    static const auto next = Next<int (*)(const char*, int)>("access");
    return next(path, mode);
}

int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list arguments;
        va_start(arguments, flags);
        mode = static_cast<mode_t>(va_arg(arguments, int));
        va_end(arguments);
    }
    static const auto next = Next<int (*)(const char*, int, ...)>("open");
    const int fd = next(path, flags, mode);
    Calls().opened(path, fd);
    return fd;
}

int fstat(int fd, struct stat* info) {
    Calls().onDescriptor("fstat", fd);
    static const auto next = Next<int (*)(int, struct stat*)>("fstat");
    return next(fd, info);
}

int flock(int fd, int operation) {
    Calls().onDescriptor("flock", fd);
    std::function<void()> before;
    {
        const std::lock_guard lock(Calls().mutex);
        if (Calls().descriptors.contains(fd)) {
            before = std::exchange(Calls().beforeNextLock, {});
        }
    }
    if (before) {
        before();
    }
    static const auto next = Next<int (*)(int, int)>("flock");
    return next(fd, operation);
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
    Calls().onDescriptor("pread", fd);
    static const auto next = Next<ssize_t (*)(int, void*, size_t, off_t)>("pread");
    const ssize_t got = next(fd, buffer, count, offset);
    Calls().readFrom(fd, got);
    return got;
}

ssize_t copy_file_range(int in, loff_t* inOffset, int out, loff_t* outOffset, size_t count,
                        unsigned flags) {
    Calls().onDescriptor("copy_file_range", in);
    static const auto next =
        Next<ssize_t (*)(int, loff_t*, int, loff_t*, size_t, unsigned)>("copy_file_range");
    const ssize_t copied = next(in, inOffset, out, outOffset, count, flags);
    Calls().readFrom(in, copied);
    return copied;
}

int ftruncate(int fd, off_t length) {
    Calls().onDescriptor("ftruncate", fd);
    static const auto next = Next<int (*)(int, off_t)>("ftruncate");
    return next(fd, length);
}

int close(int fd) {
    Calls().closed(fd);
    static const auto next = Next<int (*)(int)>("close");
    return next(fd);
}

}  // extern "C"

namespace ostravex::cli {
namespace {

using testing::Bytes;
using testing::NdsImageBuilder;
using testing::TempDir;
using testing::WriteFile;

// Runs the command line with the calls on paths under `dir` recorded; its exit status.
int RunWatched(const std::vector<std::string>& arguments, const TempDir& dir,
               std::ostringstream& out) {
    {
        const std::lock_guard lock(Calls().mutex);
        Calls().watched = dir.path();
        Calls().calls.clear();
        Calls().descriptors.clear();
        Calls().bytesRead = 0;
    }
    std::ostringstream err;
    const int code = RunCli(arguments, out, err);
    const std::lock_guard lock(Calls().mutex);
    Calls().watched.clear();
    Calls().beforeNextLock = {};
    return code;
}

std::vector<std::string> CallsOf(const std::vector<std::string>& arguments, const TempDir& dir) {
    std::ostringstream out;
    (void)RunWatched(arguments, dir, out);
    const std::lock_guard lock(Calls().mutex);
    return Calls().calls;
}

bool StraceWorks() {
    return access("/usr/bin/strace", X_OK) == 0 &&
           std::system("/usr/bin/strace -qq -o /dev/null /bin/true") == 0;
}

std::size_t NameQueries(const std::vector<std::string>& calls, const std::string& path) {
    std::size_t count = 0;
    for (const std::string& call : calls) {
        for (const char* query : {"stat ", "lstat ", "fstatat ", "access "}) {
            if (call == query + path) {
                ++count;
            }
        }
    }
    return count;
}

TEST(SystemCalls, EachPathGivenIsAskedAboutOnce) {
    TempDir dir;
    const Bytes rom = NdsImageBuilder().usedSize(600000).size(1u << 20).build();
    WriteFile(dir.file("game.nds"), rom);
    dir.subfolder("roms");
    WriteFile(dir.file("roms/in.nds"), rom);
    struct Row {
        std::vector<std::string> options;
        std::string path;  // relative to the test's folder
        std::size_t queries;
    };
    for (const Row& row : {
             Row{{}, "game.nds", 1},
             Row{{"--list"}, "game.nds", 1},
             Row{{}, "gone.nds", 1},
             Row{{"--list"}, "gone.nds", 1},
             // What it is, and where the folder walk starts (which learns its identity to
             // walk no folder twice).
             Row{{"--dry-run"}, "roms", 2},
         }) {
        std::vector<std::string> arguments = row.options;
        arguments.push_back(dir.file(row.path));
        SCOPED_TRACE(::testing::PrintToString(arguments));
        const std::vector<std::string> calls = CallsOf(arguments, dir);
        EXPECT_EQ(NameQueries(calls, row.path), row.queries) << ::testing::PrintToString(calls);
    }
}

// Many roms named on the command line, cut in place: what each is comes from one read of
// their folder, and each rom then costs seven calls: open, lock, size, header, block, cut,
// close. The size learnt under the lock is the one the cut is checked against.
TEST(SystemCalls, AnInPlaceTrimOpensLocksReadsCutsAndCloses) {
    TempDir dir;
    const Bytes rom = NdsImageBuilder().usedSize(600000).size(1u << 20).build();
    std::vector<std::string> arguments;
    for (int i = 0; i < 10; ++i) {
        const std::string name = "game" + std::to_string(i) + ".nds";
        WriteFile(dir.file(name), rom);
        arguments.push_back(dir.file(name));
    }
    const std::vector<std::string> calls = CallsOf(arguments, dir);
    // The folder, read once for what each path is.
    std::vector<std::string> expected{"open ", "close fd"};
    for (int i = 0; i < 10; ++i) {
        expected.insert(expected.end(), {"open game" + std::to_string(i) + ".nds", "flock fd",
                                         "fstat fd",    // once the lock is held
                                         "pread fd",    // the header
                                         "pread fd"});  // where a download-play block would stand
        if (i == 0) {
            expected.push_back("open ");  // the folder, once a run: leftovers of killed runs
        }
        expected.insert(expected.end(), {"ftruncate fd", "close fd"});
    }
    EXPECT_EQ(calls, expected);
    for (const std::string& path : arguments) {
        EXPECT_EQ(testing::ReadFile(path).size(), 600000u) << path;
    }
}

// A folder named like a rom, given as a PATH to a run that trims, is searched as a folder
// (and listed itself, as a drop lists it): alone, and among enough roms that their folder
// is read to tell what each is.
TEST(SystemCalls, AFolderNamedLikeARomIsSearchedAsAFolder) {
    const Bytes rom = NdsImageBuilder().usedSize(600000).size(1u << 20).build();
    for (const int others : {0, 9}) {
        SCOPED_TRACE(std::to_string(others) + " roms beside it");
        TempDir dir;
        dir.subfolder("x.nds");
        WriteFile(dir.file("x.nds/inner.nds"), rom);
        std::vector<std::string> arguments{dir.file("x.nds")};
        for (int i = 0; i < others; ++i) {
            const std::string name = "game" + std::to_string(i) + ".nds";
            WriteFile(dir.file(name), rom);
            arguments.push_back(dir.file(name));
        }
        std::ostringstream out;
        EXPECT_EQ(RunWatched(arguments, dir, out), 1) << out.str();
        EXPECT_EQ(testing::ReadFile(dir.file("x.nds/inner.nds")).size(), 600000u) << out.str();
        EXPECT_NE(out.str().find("\nERROR: File doesn't exist: x.nds\n"), std::string::npos)
            << out.str();
        EXPECT_NE(out.str().find("\nErrors: 1\n"), std::string::npos) << out.str();
        for (int i = 0; i < others; ++i) {
            EXPECT_EQ(testing::ReadFile(dir.file("game" + std::to_string(i) + ".nds")).size(),
                      600000u);
        }
    }
}

// A second run that opened a rom while another run was cutting it, and takes the lock once
// the other is done, sees the rom as the other left it: already trimmed, nothing lost, no
// error.
TEST(TwoRuns, ARomCutByAnotherRunBeforeTheLockIsSeenAsItWasLeft) {
    TempDir dir;
    WriteFile(dir.file("game.nds"), NdsImageBuilder().usedSize(5913600).size(8u << 20).build());
    Calls().beforeNextLock = [&dir] { (void)truncate(dir.file("game.nds").c_str(), 5913600); };
    std::ostringstream out;
    EXPECT_EQ(RunWatched({dir.file("game.nds")}, dir, out), 0) << out.str();
    EXPECT_NE(out.str().find("SKIP: File already trimmed"), std::string::npos) << out.str();
    EXPECT_EQ(testing::ReadFile(dir.file("game.nds")).size(), 5913600u);
}

// A rom checked against a DAT is identified before anything of it is copied, in every file
// option, as a dry run identifies it: it is hashed once, whole, and its copy then takes
// only the part it keeps.
TEST(SystemCalls, ARomCheckedAgainstADatIsHashedOnceThenCopied) {
    TempDir dir;
    const Bytes rom = NdsImageBuilder().usedSize(5913600).size(8u << 20).build();
    WriteFile(dir.file("game.nds"), rom);
    const std::string dat =
        "clrmamepro ( name \"x\" )\ngame ( name \"g\" rom ( name \"g.nds\" "
        "size 1 crc 00000000 ) )\n";
    WriteFile(dir.file("x.dat"), Bytes(dat.begin(), dat.end()));
    const std::string out = dir.subfolder("out");
    for (const std::vector<std::string>& mode : std::vector<std::vector<std::string>>{
             {"--mode=backup"}, {"--mode=folder", "--output=" + out}}) {
        SCOPED_TRACE(mode.front());
        WriteFile(dir.file("game.nds"), rom);
        std::vector<std::string> arguments = mode;
        arguments.insert(arguments.end(), {"--dat", dir.file("x.dat"), dir.file("game.nds")});
        (void)CallsOf(arguments, dir);
        // The header and the download-play block are read for the decision besides.
        EXPECT_LE(Calls().bytesRead, rom.size() + 5913600 + 4096);
        EXPECT_GE(Calls().bytesRead, rom.size() + 5913600);
        EXPECT_EQ(
            testing::ReadFile(mode.size() == 1 ? dir.file("game.nds") : out + "game.nds").size(),
            5913600u);
    }
}

// The peak resident memory of the command line run as a child process, in KiB, from the
// kernel's accounting of that child; its standard output goes to `output`.
long PeakMemoryOfRun(const std::vector<std::string>& arguments, const std::string& output,
                     int& exitStatus) {
    const pid_t child = fork();
    if (child == 0) {
        const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) {
            _exit(127);
        }
        std::vector<char*> argv{const_cast<char*>(OSTRAVEX_CLI)};
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        execv(OSTRAVEX_CLI, argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (wait4(child, &status, 0, &usage) != child) {
        return -1;
    }
    exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return usage.ru_maxrss;
}

// A dry run of a 200 MiB member of a rar or 7z archive streams it through the scan, as a
// run does: it never holds the member whole.
TEST(DryRunMemory, ABigRarOr7zMemberIsStreamedNotHeld) {
    constexpr std::uint32_t kMemberSize = 200u << 20;
    TempDir dir;
    {
        // Let go of before the runs: a child's peak counts what it shares with this process
        // from its fork to its exec.
        const Bytes member = NdsImageBuilder().usedSize(1u << 20).size(kMemberSize).build();
        WriteFile(dir.file("big.nds"), member);
        WriteFile(dir.file("big.rar"), testing::RarBuilder().add("big.nds", member).build());
    }
    const bool sevenZip = testing::MakeSevenZip(dir.file("big.7z"), dir.path(), {"big.nds"});
    std::vector<std::string> archives{"big.rar"};
    if (sevenZip) {
        archives.push_back("big.7z");
    }
    for (const std::string& archive : archives) {
        SCOPED_TRACE(archive);
        int exitStatus = -1;
        const long peakKiB =
            PeakMemoryOfRun({"--dry-run", dir.file(archive)}, dir.file("out"), exitStatus);
        const Bytes out = testing::ReadFile(dir.file("out"));
        const std::string text(out.begin(), out.end());
        EXPECT_EQ(exitStatus, 0) << text;
        EXPECT_NE(text.find("\nbig.nds: " + std::to_string(kMemberSize - (1u << 20)) + "\n"),
                  std::string::npos)
            << text;
        EXPECT_GT(peakKiB, 0);
        EXPECT_LT(peakKiB, 64 * 1024) << "peak resident memory " << peakKiB << " KiB";
    }
    if (!sevenZip) {
        GTEST_SKIP() << "7zz is not installed: the 7z archive was not tried";
    }
}

// The program itself, its standard output a full device: as the GNU tools, it says so on
// standard error and fails.
TEST(StandardOutput, AFullDeviceFailsTheCall) {
    if (access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no /dev/full here";
    }
    TempDir dir;
    WriteFile(dir.file("game.nds"), NdsImageBuilder().usedSize(600000).size(1u << 20).build());
    for (const char* options : {"--list", "--json --dry-run", "--dry-run", "--version"}) {
        SCOPED_TRACE(options);
        const std::string command = std::string(OSTRAVEX_CLI) + " " + options + " '" +
                                    dir.file("game.nds") + "' >/dev/full 2>'" + dir.file("err") +
                                    "'";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        const Bytes err = testing::ReadFile(dir.file("err"));
        EXPECT_NE(std::string(err.begin(), err.end())
                      .find("ostravex-cli: write error: No space left on device\n"),
                  std::string::npos)
            << std::string(err.begin(), err.end());
    }
}

std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// Ctrl-C pressed by strace at the SRAM patch's writes into the output's temporary: the first
// press is answered on standard error during the patch, not after the entry; a second one
// ends the program without leaving the temporary.
TEST(CtrlC, TheFirstIsAnsweredAtOnceASecondEndsTheProgramAndRemovesItsTemporary) {
    if (!StraceWorks()) {
        GTEST_SKIP() << "strace cannot trace here";
    }
    // A GBA image whose patch writes twice: a jump at 501, then the routine after the data.
    const Bytes v111{0x0E, 0x48, 0x39, 0x68, 0x01, 0x60, 0x0E, 0x48};
    const Bytes rom =
        testing::GbaImageBuilder().size(1u << 20).dataEnd(1000).bytes(501, v111).build();
    for (const char* presses : {"1", "1..2"}) {
        SCOPED_TRACE(std::string("Ctrl-C at the patch's writes ") + presses);
        TempDir dir;
        WriteFile(dir.file("p.gba"), rom);
        const std::string out = dir.subfolder("out");
        const std::string command =
            "/usr/bin/strace -qq -o '" + dir.file("trace") +
            "' -e trace=pwrite64,write -e inject=pwrite64:signal=INT:when=" + presses + " " +
            OSTRAVEX_CLI + " --sram-patch --mode=folder --output='" + out + "' '" +
            dir.file("p.gba") + "' >'" + dir.file("stdout") + "' 2>'" + dir.file("stderr") + "'";
        const int status = std::system(command.c_str());
        const std::string trace = Text(testing::ReadFile(dir.file("trace")));
        const std::string err = Text(testing::ReadFile(dir.file("stderr")));
        const std::size_t answer = trace.find("write(2, \"ostravex-cli: Halt Requested");
        const std::size_t secondWrite = trace.find("pwrite64", trace.find("pwrite64") + 1);
        ASSERT_NE(answer, std::string::npos) << trace;
        EXPECT_LT(answer, secondWrite) << trace;
        EXPECT_NE(err.find("Halt Requested"), std::string::npos) << err;
        EXPECT_EQ(testing::ReadFile(dir.file("p.gba")), rom);
        if (std::string(presses) == "1") {
            // The step and its entry are finished; the patched image is in place.
            EXPECT_EQ(testing::ListFolder(out), std::vector<std::string>{"p.gba"});
        } else {
            EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            EXPECT_EQ(testing::ListFolder(out), std::vector<std::string>{}) << trace;
        }
    }
}

// Ctrl-C pressed twice by strace in the second entry, standard output a pipe: the lines of
// the first entry were produced before, and reach the pipe before the program ends.
TEST(CtrlC, ASecondOneLosesNoLineAlreadyProducedIntoAPipe) {
    if (!StraceWorks()) {
        GTEST_SKIP() << "strace cannot trace here";
    }
    // The NDS image is copied first (by the kernel, without pwrite); then the GBA image's
    // SRAM patch writes twice into its copy.
    const Bytes v111{0x0E, 0x48, 0x39, 0x68, 0x01, 0x60, 0x0E, 0x48};
    const Bytes gba =
        testing::GbaImageBuilder().size(1u << 20).dataEnd(1000).bytes(501, v111).build();
    TempDir dir;
    const std::string roms = dir.subfolder("roms");
    WriteFile(roms + "a.nds", NdsImageBuilder().usedSize(600000).size(1u << 20).build());
    WriteFile(roms + "p.gba", gba);
    const std::string out = dir.subfolder("out");
    const std::string command = "/usr/bin/strace -qq -o '" + dir.file("trace") +
                                "' -e trace=pwrite64 -e inject=pwrite64:signal=INT:when=1..2 " +
                                OSTRAVEX_CLI + " --sram-patch --mode=folder --output='" + out +
                                "' '" + roms + "' 2>'" + dir.file("stderr") + "' | cat >'" +
                                dir.file("stdout") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string trace = Text(testing::ReadFile(dir.file("trace")));
    ASSERT_NE(trace.find("+++ killed by SIGINT"), std::string::npos) << trace;
    // The first entry was done, the second not.
    ASSERT_EQ(testing::ListFolder(out), std::vector<std::string>{"a.nds"}) << trace;

    const std::string lines = Text(testing::ReadFile(dir.file("stdout")));
    EXPECT_TRUE(lines.starts_with("Dragged files Scan Started.\n")) << lines;
    EXPECT_NE(lines.find("\n2 roms found\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("\na.nds: 448576\n"), std::string::npos) << lines;
}

// A libcrypto configured without SHA-1 (an OPENSSL_CONF that activates only the base
// provider) stops a call with DATs before any rom is touched, as a DAT that cannot be
// loaded does.
TEST(Dats, ALibcryptoWithoutSha1StopsTheCallBeforeAnything) {
    TempDir dir;
    const std::string config = dir.file("base-only.cnf");
    const std::string configText =
        "openssl_conf = openssl_init\n[openssl_init]\nproviders = provider_sect\n"
        "[provider_sect]\nbase = base_sect\n[base_sect]\nactivate = 1\n";
    WriteFile(config, Bytes(configText.begin(), configText.end()));
    const std::string dat =
        "clrmamepro ( name \"x\" )\ngame ( name \"g\" rom ( name \"g.nds\" "
        "size 1 crc 00000000 ) )\n";
    WriteFile(dir.file("x.dat"), Bytes(dat.begin(), dat.end()));
    const std::string roms = dir.subfolder("roms");
    const Bytes rom = NdsImageBuilder().usedSize(600000).size(1u << 20).build();
    WriteFile(roms + "game.nds", rom);

    const std::string command = "OPENSSL_CONF='" + config + "' " + OSTRAVEX_CLI +
                                " --mode=backup --dat '" + dir.file("x.dat") + "' '" + roms +
                                "' >'" + dir.file("stdout") + "' 2>'" + dir.file("stderr") + "'";
    const int status = std::system(command.c_str());

    const std::string err = Text(testing::ReadFile(dir.file("stderr")));
    ASSERT_TRUE(WIFEXITED(status)) << err;
    EXPECT_EQ(WEXITSTATUS(status), 1) << err;
    EXPECT_TRUE(err.starts_with("ERROR: Cannot hash roms: libcrypto has no SHA-1")) << err;
    EXPECT_EQ(Text(testing::ReadFile(dir.file("stdout"))), "");
    EXPECT_EQ(testing::ListFolder(roms), std::vector<std::string>{"game.nds"});
    EXPECT_EQ(testing::ReadFile(roms + "game.nds"), rom);
}

}  // namespace
}  // namespace ostravex::cli
