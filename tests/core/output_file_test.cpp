// The output file on its own: cuts in place, replacements of an open original, backups.
#include "io/output_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>

#include "io/temporary_files.h"
#include "support/rom_images.h"
#include "support/temporary_lock_holder.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

const Bytes kOriginal = [] {
    Bytes bytes(300000);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    }
    return bytes;
}();
const Bytes kResult(1000, 0x5A);

void WriteResult(OutputFile& output) {
    ASSERT_TRUE(output.file().writeAt(0, kResult).ok());
}

struct stat StatOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info;
}

// ---- cut in place -------------------------------------------------------------------------

struct CutCase {
    const char* behaviour;
    std::function<void(const std::string&)> meanwhile;  // another program, after the open
    bool cut;
    std::uint64_t sizeAfter;
};

TEST(CutInPlace, CutsOnlyAFileThatKeptItsSizeAndNeverGrowsOne) {
    const CutCase rows[] = {
        {"unchanged: cut", [](const std::string&) {}, true, 1000},
        {"shrank below the cut: left short, not filled with zeros",
         [](const std::string& path) { ASSERT_EQ(truncate(path.c_str(), 500), 0); }, false, 500},
        {"shrank, still above the cut: not cut either",
         [](const std::string& path) { ASSERT_EQ(truncate(path.c_str(), 200000), 0); }, false,
         200000},
        {"grew: what was appended is not cut off",
         [](const std::string& path) { ASSERT_EQ(truncate(path.c_str(), 400000), 0); }, false,
         400000},
    };
    // The size is asked again when the host's own code ran since the open, or when the
    // cut comes long after it.
    for (const bool hostCodeRan : {true, false}) {
        for (const CutCase& row : rows) {
            SCOPED_TRACE(std::string(row.behaviour) +
                         (hostCodeRan ? ", the host's code ran" : ", a long wait"));
            TempDir dir;
            const std::string path = dir.file("x.nds");
            WriteFile(path, kOriginal);
            File file;
            ASSERT_TRUE(file.openForUpdate(path).ok());
            OutputFile output;
            output.adoptInPlace(std::move(file), path);
            row.meanwhile(path);
            if (!hostCodeRan) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }

            const Status status = output.cutInPlace(1000, hostCodeRan);

            EXPECT_EQ(status.ok(), row.cut) << status.reason();
            EXPECT_EQ(IsChangedSinceRead(status), !row.cut);
            EXPECT_TRUE(output.commit().ok());
            EXPECT_EQ(ReadFile(path).size(), row.sizeAfter);
        }
    }
}

pid_t DeadProcess() {
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    return child;
}

// The process id in a temporary's name says nothing about its writer (a run in another PID
// namespace has ids of its own): only a temporary nobody holds a lock on is removed.
TEST(CutInPlace, RemovesOnlyTheTemporariesNobodyHoldsFromTheRomsFolder) {
    TempDir dir;
    const std::string path = dir.file("x.nds");
    WriteFile(path, kOriginal);
    const std::string dead = std::to_string(DeadProcess());
    const std::string self = std::to_string(getpid());
    struct Row {
        std::string name;
        enum Holder { Nobody, TemporaryLock, OpenFile } holder;
        bool kept;
    };
    const Row rows[] = {
        {".ostravex-" + dead + "-3.tmp", Row::Nobody, false},
        {".ostravex-" + self + "-999999.tmp", Row::Nobody, false},
        {".ostravex-" + dead + "-4.tmp", Row::TemporaryLock, true},
        {".ostravex-" + self + "-999998.tmp", Row::TemporaryLock, true},
        // The lock every open File takes, which earlier runs held on their temporaries.
        {".ostravex-" + dead + "-5.tmp", Row::OpenFile, true},
        {"notes.tmp", Row::Nobody, true},
    };
    std::vector<std::unique_ptr<testing::TemporaryLockHolder>> held;
    std::vector<File> open;
    std::vector<std::string> kept{"x.nds"};
    for (const Row& row : rows) {
        WriteFile(dir.file(row.name), Bytes(10, 1));
        if (row.holder == Row::TemporaryLock) {
            held.push_back(std::make_unique<testing::TemporaryLockHolder>(dir.file(row.name)));
            ASSERT_TRUE(held.back()->held());
        } else if (row.holder == Row::OpenFile) {
            open.emplace_back();
            ASSERT_TRUE(open.back().openForUpdate(dir.file(row.name)).ok());
        }
        if (row.kept) {
            kept.push_back(row.name);
        }
    }
    std::sort(kept.begin(), kept.end());

    OutputFile output;
    ASSERT_TRUE(output.openInPlace(path).ok());

    EXPECT_EQ(testing::ListFolder(dir.path()), kept);
}

// The writer's lock stands from the temporary's creation until it has its final name: also
// once the complete output is closed, waiting for its rename. A cleaning meanwhile leaves it.
TEST(NewOutput, TheTemporaryIsHeldUntilItHasItsName) {
    TempDir dir;
    const std::string path = dir.file("x.nds");
    OutputFile output;
    ASSERT_TRUE(output.createNew(path, false).ok());
    WriteResult(output);
    std::vector<OutputStep> seen;
    output.setStepHook([&](OutputStep step) {
        seen.push_back(step);
        const std::vector<std::string> names = testing::ListFolder(dir.path());
        EXPECT_EQ(names.size(), 1u);
        for (const std::string& name : names) {
            EXPECT_FALSE(testing::TemporaryLockFree(dir.file(name))) << name;
        }
        RemoveStaleTemporaries(dir.path());
        EXPECT_EQ(testing::ListFolder(dir.path()), names);
        return Status::success();
    });

    ASSERT_TRUE(output.commit().ok());

    EXPECT_EQ(seen, (std::vector<OutputStep>{OutputStep::Close, OutputStep::Replace}));
    EXPECT_EQ(ReadFile(path), kResult);
    EXPECT_TRUE(testing::TemporaryLockFree(path));
}

// ---- replacing an open original ---------------------------------------------------------

// The original, open and locked as the run holds it, and the output that replaces it.
struct Replacement {
    TempDir dir;
    std::string path = dir.file("x.nds");
    File original;
    OutputFile output;

    explicit Replacement(const Bytes& bytes = kOriginal) {
        WriteFile(path, bytes);
        EXPECT_TRUE(original.openForReading(path).ok());
    }
    void create(const std::string& through = "") {
        ASSERT_TRUE(output.createReplacement(through.empty() ? path : through, original).ok());
        WriteResult(output);
    }
    std::vector<std::string> names() const { return testing::ListFolder(dir.path()); }
};

TEST(Replacement, ThePathHoldsTheWholeOriginalUntilTheWholeResultTakesItsName) {
    Replacement r;
    r.create();
    std::vector<OutputStep> seen;
    r.output.setStepHook([&](OutputStep step) {
        seen.push_back(step);
        EXPECT_EQ(ReadFile(r.path), kOriginal);
        return Status::success();
    });

    ASSERT_TRUE(r.output.commit().ok());

    EXPECT_EQ(seen, (std::vector<OutputStep>{OutputStep::Close, OutputStep::CheckOriginal,
                                             OutputStep::Replace}));
    EXPECT_EQ(ReadFile(r.path), kResult);
    EXPECT_EQ(r.names(), std::vector<std::string>{"x.nds"});
}

TEST(Replacement, KeepsTheOriginalsOwnerGroupAndPermissionBits) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "giving a file to another owner needs root";
    }
    for (const mode_t permissions : {0600, 0640, 0444}) {
        Replacement r;
        r.original.close();
        ASSERT_EQ(chown(r.path.c_str(), 4321, 8765), 0);
        ASSERT_EQ(chmod(r.path.c_str(), permissions), 0);
        ASSERT_TRUE(r.original.openForReading(r.path).ok());
        r.create();
        r.output.keepOriginalAs(r.path + ".bak");
        ASSERT_TRUE(r.output.commit().ok());

        for (const std::string& path : {r.path, r.path + ".bak"}) {
            const struct stat info = StatOf(path);
            EXPECT_EQ(info.st_uid, 4321u) << path;
            EXPECT_EQ(info.st_gid, 8765u) << path;
            EXPECT_EQ(info.st_mode & 07777, permissions) << path;
        }
    }
}

TEST(Replacement, AnOriginalChangedBeforeTheCommitIsLeftAsItIsNow) {
    struct Row {
        const char* behaviour;
        std::function<void(const std::string&)> change;
    };
    const Bytes other(5000, 0x33);
    const Row rows[] = {
        {"shortened", [](const std::string& path) { ASSERT_EQ(truncate(path.c_str(), 10), 0); }},
        {"grown", [](const std::string& path) { ASSERT_EQ(truncate(path.c_str(), 400000), 0); }},
        {"replaced by another file",
         [&](const std::string& path) {
             WriteFile(path + ".new", other);
             ASSERT_EQ(rename((path + ".new").c_str(), path.c_str()), 0);
         }},
        {"removed", [](const std::string& path) { ASSERT_EQ(unlink(path.c_str()), 0); }},
    };
    for (const Row& row : rows) {
        for (const bool backup : {false, true}) {
            SCOPED_TRACE(std::string(row.behaviour) + (backup ? ", with a backup" : ""));
            Replacement r;
            r.create();
            if (backup) {
                r.output.keepOriginalAs(r.path + ".bak");
            }
            row.change(r.path);
            const bool existed = testing::Exists(r.path);
            const Bytes before = existed ? ReadFile(r.path) : Bytes();

            const Status status = r.output.commit();

            EXPECT_TRUE(IsChangedSinceRead(status)) << status.reason();
            EXPECT_EQ(r.output.failedStep(), OutputStep::CheckOriginal);
            EXPECT_EQ(testing::Exists(r.path), existed);
            if (existed) {
                EXPECT_EQ(ReadFile(r.path), before);
                EXPECT_EQ(r.names(), std::vector<std::string>{"x.nds"});
            } else {
                EXPECT_TRUE(r.names().empty());
            }
        }
    }
}

TEST(Replacement, ALinkIsFollowedTheFileItNamesIsReplacedAndTheLinkStays) {
    Replacement r;
    const std::string link = r.dir.file("link.nds");
    ASSERT_EQ(symlink("x.nds", link.c_str()), 0);
    r.create(link);

    ASSERT_TRUE(r.output.commit().ok());

    EXPECT_TRUE(S_ISLNK(StatOf(link).st_mode));
    EXPECT_EQ(ReadFile(r.path), kResult);
}

// ---- the backup name --------------------------------------------------------------------

struct BackupNameCase {
    const char* behaviour;
    std::function<void(const std::string& rom, const std::string& backup)> make;
    bool usable;
};

TEST(BackupName, IsUsableWhenFreeOrAlreadyTheOriginalsBackup) {
    const BackupNameCase rows[] = {
        {"free", [](const std::string&, const std::string&) {}, true},
        {"the same file: a run killed between link and rename",
         [](const std::string& rom, const std::string& backup) {
             ASSERT_EQ(link(rom.c_str(), backup.c_str()), 0);
         },
         true},
        {"a complete copy: a run killed after the copy took the backup name",
         [](const std::string&, const std::string& backup) { WriteFile(backup, kOriginal); }, true},
        {"another image of the same size",
         [](const std::string&, const std::string& backup) {
             Bytes other = kOriginal;
             other[299999] ^= 1;
             WriteFile(backup, other);
         },
         false},
        {"a part of the original",
         [](const std::string&, const std::string& backup) {
             WriteFile(backup, Bytes(kOriginal.begin(), kOriginal.begin() + 1000));
         },
         false},
        {"an empty file",
         [](const std::string&, const std::string& backup) { WriteFile(backup, {}); }, false},
        {"a link to the rom itself",
         [](const std::string&, const std::string& backup) {
             ASSERT_EQ(symlink("x.nds", backup.c_str()), 0);
         },
         false},
        {"a folder",
         [](const std::string&, const std::string& backup) {
             ASSERT_EQ(mkdir(backup.c_str(), 0755), 0);
         },
         false},
    };
    for (const BackupNameCase& row : rows) {
        SCOPED_TRACE(row.behaviour);
        Replacement r;
        const std::string backup = r.path + ".bak";
        row.make(r.path, backup);

        const Status usable = BackupNameUsable(backup, r.original, r.path);

        EXPECT_EQ(usable.ok(), row.usable) << usable.reason();
        if (!row.usable) {
            EXPECT_EQ(usable.code(), EEXIST);
        }
    }
}

TEST(BackupName, ABackupLeftByAKilledRunIsTakenAsItIsAndKeptIfTheCommitFails) {
    for (const bool sameFile : {true, false}) {
        SCOPED_TRACE(sameFile ? "hard link" : "copy");
        Replacement r;
        const std::string backup = r.path + ".bak";
        if (sameFile) {
            ASSERT_EQ(link(r.path.c_str(), backup.c_str()), 0);
        } else {
            WriteFile(backup, kOriginal);
        }
        const ino_t backupInode = StatOf(backup).st_ino;
        r.create();
        r.output.keepOriginalAs(backup);
        r.output.setStepHook([](OutputStep step) {
            return step == OutputStep::Replace ? Status::fromErrno(EIO) : Status::success();
        });
        EXPECT_FALSE(r.output.commit().ok());
        EXPECT_EQ(ReadFile(r.path), kOriginal);
        EXPECT_EQ(ReadFile(backup), kOriginal);

        r.create();
        r.output.keepOriginalAs(backup);
        r.output.setStepHook({});
        ASSERT_TRUE(r.output.commit().ok());

        EXPECT_EQ(ReadFile(r.path), kResult);
        EXPECT_EQ(ReadFile(backup), kOriginal);
        EXPECT_EQ(StatOf(backup).st_ino, backupInode);
        EXPECT_EQ(r.names(), (std::vector<std::string>{"x.nds", "x.nds.bak"}));
    }
}

// FAT and exFAT have no hard links: the backup is a copy, and the rom's name holds the
// original until the result replaces it.
TEST(BackupName, WithoutHardLinksTheBackupIsACompleteCopyBeforeTheRomIsReplaced) {
    Replacement r;
    r.create();
    r.output.keepOriginalAs(r.path + ".bak");
    std::vector<OutputStep> seen;
    r.output.setStepHook([&](OutputStep step) {
        seen.push_back(step);
        EXPECT_EQ(ReadFile(r.path), kOriginal);
        if (step == OutputStep::Replace) {
            EXPECT_EQ(ReadFile(r.path + ".bak"), kOriginal);
            EXPECT_NE(StatOf(r.path).st_ino, StatOf(r.path + ".bak").st_ino);
        }
        return step == OutputStep::KeepOriginal ? Status::fromErrno(EPERM) : Status::success();
    });
    std::uint64_t copied = 0;

    ASSERT_TRUE(r.output.commit([&](std::uint64_t bytes) { copied = bytes; }).ok());

    EXPECT_EQ(seen, (std::vector<OutputStep>{OutputStep::Close, OutputStep::CheckOriginal,
                                             OutputStep::KeepOriginal, OutputStep::Replace}));
    EXPECT_EQ(copied, kOriginal.size());
    EXPECT_EQ(ReadFile(r.path), kResult);
    EXPECT_EQ(ReadFile(r.path + ".bak"), kOriginal);
    EXPECT_EQ(r.names(), (std::vector<std::string>{"x.nds", "x.nds.bak"}));
}

TEST(NewOutput, AFileItReplacesGivesItsOwnerAndPermissionBits) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "giving a file to another owner needs root";
    }
    TempDir dir;
    const std::string path = dir.file("game.nds");
    WriteFile(path, kOriginal);
    ASSERT_EQ(chown(path.c_str(), 4321, 8765), 0);
    ASSERT_EQ(chmod(path.c_str(), 0604), 0);
    OutputFile output;
    ASSERT_TRUE(output.createNew(path, /*mayReplace=*/true).ok());
    WriteResult(output);

    ASSERT_TRUE(output.commit().ok());

    const struct stat info = StatOf(path);
    EXPECT_EQ(ReadFile(path), kResult);
    EXPECT_EQ(info.st_uid, 4321u);
    EXPECT_EQ(info.st_gid, 8765u);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
}

}  // namespace
}  // namespace ostravex
