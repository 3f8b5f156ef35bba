// A process killed at any moment leaves every rom under its name; outputs that cannot be
// put in place leave the original as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "support/list_entries.h"
#include "support/recording_host.h"
#include "support/rom_images.h"
#include "support/wired_trim_run.h"
#include "trim/trim_run.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::NdsImageBuilder;
using testing::ReadFile;
using testing::RecordingHost;
using testing::TempDir;
using testing::WriteFile;
using testing::operator""_MiB;

Bytes Original() {
    return NdsImageBuilder().usedSize(600000).size(1_MiB).build();
}

Bytes Trimmed() {
    const Bytes original = Original();
    return Bytes(original.begin(), original.begin() + 600000);
}

// Makes a step fail as the file system would, with `error`.
struct InjectedFault {
    OutputStep step;
    int error;
};

OutputStepHook FailingAt(std::vector<InjectedFault> faults) {
    return [faults](OutputStep step) {
        for (const InjectedFault& fault : faults) {
            if (fault.step == step) {
                return Status::fromErrno(fault.error);
            }
        }
        return Status::success();
    };
}

const char* StepName(OutputStep step) {
    switch (step) {
        case OutputStep::Close:
            return "Close";
        case OutputStep::KeepOriginal:
            return "KeepOriginal";
        case OutputStep::Replace:
            return "Replace";
    }
    return "?";
}

struct LinkCase {
    const char* name;
    bool hardLinks;  // FAT and exFAT have none: link() fails with EPERM there
};

void PrintTo(const LinkCase& c, std::ostream* os) {
    *os << c.name;
}

class BackupSteps : public ::testing::TestWithParam<LinkCase> {};

// A kill -9 can come between any two steps: at each of them the rom's name must hold the
// whole original or the whole result, so that a second run still finds the rom.
TEST_P(BackupSteps, TheRomsNameHoldsTheOriginalOrTheResultBetweenEverySteps) {
    TempDir dir;
    WriteFile(dir.file("x.nds"), Original());
    RecordingHost host;
    host.mode = FileMode::Backup;
    testing::WiredTrimRun run(host);
    std::vector<OutputStep> seen;
    const bool hardLinks = GetParam().hardLinks;
    run.setOutputStepHook([&](OutputStep step) -> Status {
        seen.push_back(step);
        if (!hardLinks && step == OutputStep::Replace) {
            // Without hard links the name is empty between the two renames, and only then.
            EXPECT_EQ(ReadFile(dir.file("x.nds.bak")), Original());
            return Status::success();
        }
        if (!testing::Exists(dir.file("x.nds"))) {
            ADD_FAILURE() << "no x.nds before " << StepName(step);
            return Status::success();
        }
        const Bytes now = ReadFile(dir.file("x.nds"));
        EXPECT_TRUE(now == Original() || now == Trimmed()) << StepName(step);
        // The original is not moved before the trimmed copy is complete.
        if (step == OutputStep::Close) {
            EXPECT_EQ(now, Original());
            EXPECT_FALSE(testing::Exists(dir.file("x.nds.bak")));
        }
        return step == OutputStep::KeepOriginal && !hardLinks ? Status::fromErrno(EPERM)
                                                              : Status::success();
    });
    run.run(testing::FileEntries({dir.file("x.nds")}));

    EXPECT_EQ(seen, (std::vector<OutputStep>{OutputStep::Close, OutputStep::KeepOriginal,
                                             OutputStep::Replace}));
    EXPECT_EQ(run.counters().ErrorCount, 0);
    EXPECT_EQ(ReadFile(dir.file("x.nds")), Trimmed());
    EXPECT_EQ(ReadFile(dir.file("x.nds.bak")), Original());
    EXPECT_EQ(testing::ListFolder(dir.path()), (std::vector<std::string>{"x.nds", "x.nds.bak"}));
}

INSTANTIATE_TEST_SUITE_P(FileSystems, BackupSteps,
                         ::testing::Values(LinkCase{"HardLinks", true},
                                           LinkCase{"NoHardLinks", false}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FaultCase {
    const char* name;
    std::vector<InjectedFault> faults;
    const char* line;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

class BackupFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(BackupFaults, AFailedStepLeavesTheOriginalUnderItsNameAndNothingElse) {
    const FaultCase& c = GetParam();
    TempDir dir;
    WriteFile(dir.file("x.nds"), Original());
    WriteFile(dir.file("y.nds"), Original());
    RecordingHost host;
    host.mode = FileMode::Backup;
    testing::WiredTrimRun run(host);
    // Only the first entry's steps fail.
    int entry = 0;
    const OutputStepHook fail = FailingAt(c.faults);
    run.setOutputStepHook([&](OutputStep step) {
        entry += step == OutputStep::Close ? 1 : 0;
        return entry == 1 ? fail(step) : Status::success();
    });
    run.run(testing::FileEntries({dir.file("x.nds"), dir.file("y.nds")}));

    EXPECT_EQ(run.counters().ErrorCount, 1);
    EXPECT_EQ(host.log[4], c.line);
    EXPECT_EQ(ReadFile(dir.file("x.nds")), Original());
    // The next entry is written as usual.
    EXPECT_EQ(ReadFile(dir.file("y.nds")), Trimmed());
    EXPECT_EQ(testing::ListFolder(dir.path()),
              (std::vector<std::string>{"x.nds", "y.nds", "y.nds.bak"}));
}

INSTANTIATE_TEST_SUITE_P(Steps, BackupFaults,
                         ::testing::Values(
                             // A failed close is a failed write.
                             FaultCase{"Close",
                                       {{OutputStep::Close, EIO}},
                                       "ERROR: Cannot write file (Input/output error): x.nds"},
                             // A ".bak" that appeared while the copy was written.
                             FaultCase{"KeepOriginal",
                                       {{OutputStep::KeepOriginal, EEXIST}},
                                       "Error: File is Read-Only: x.nds"},
                             FaultCase{"ReplaceAfterLink",
                                       {{OutputStep::Replace, EIO}},
                                       "ERROR: Cannot write file (Input/output error): x.nds"},
                             FaultCase{
                                 "ReplaceAfterRename",
                                 {{OutputStep::KeepOriginal, EPERM}, {OutputStep::Replace, EIO}},
                                 "ERROR: Cannot write file (Input/output error): x.nds"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BackupOutput, TheTrimmedFileKeepsTheOriginalsPermissionBits) {
    for (const mode_t permissions : {0600, 0444, 0640}) {
        TempDir dir;
        WriteFile(dir.file("x.nds"), Original());
        chmod(dir.file("x.nds").c_str(), permissions);
        RecordingHost host;
        host.mode = FileMode::Backup;
        testing::WiredTrimRun run(host);
        run.run(testing::FileEntries({dir.file("x.nds")}));
        struct stat info {};
        ASSERT_EQ(stat(dir.file("x.nds").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, permissions);
        EXPECT_EQ(info.st_size, 600000);
    }
}

TEST(BackupOutput, ABackupNameTooLongKeepsItsLineAndGivesTheReasonApart) {
    TempDir dir;
    // 255 bytes fit in a name; with ".bak" it is 259.
    const std::string name = std::string(251, 'n') + ".nds";
    WriteFile(dir.file(name), Original());
    RecordingHost host;
    host.mode = FileMode::Backup;
    testing::WiredTrimRun run(host);
    run.run(testing::FileEntries({dir.file(name)}));

    EXPECT_EQ(host.log[4], "Error: File is Read-Only: " + name);
    EXPECT_EQ(run.counters().ErrorCount, 1);
    EXPECT_EQ(host.diagnostics, std::vector<std::string>{"Cannot keep the original as " + name +
                                                         ".bak: File name too long"});
    EXPECT_EQ(ReadFile(dir.file(name)), Original());
    EXPECT_EQ(testing::ListFolder(dir.path()), std::vector<std::string>{name});
}

pid_t DeadProcess() {
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    return child;
}

TEST(StaleTemporaries, ThoseOfGoneProcessesAreRemovedBeforeWritingIntoTheFolder) {
    TempDir dir;
    const std::string out = dir.subfolder("out");
    WriteFile(dir.file("x.nds"), Original());
    const std::string stale = ".ostravex-" + std::to_string(DeadProcess()) + "-7.tmp";
    const std::string live = ".ostravex-" + std::to_string(getppid()) + "-7.tmp";
    for (const std::string& name :
         {stale, live, std::string(".ostravex-notes.tmp"), std::string(".ostravex-12-x.tmp")}) {
        WriteFile(out + name, Bytes(10, 1));
    }
    RecordingHost host;
    host.mode = FileMode::Folder;
    host.folder = out;
    testing::WiredTrimRun run(host);
    run.run(testing::FileEntries({dir.file("x.nds")}));

    std::vector<std::string> kept{".ostravex-12-x.tmp", live, ".ostravex-notes.tmp", "x.nds"};
    std::sort(kept.begin(), kept.end());  // the folder is listed in name order
    EXPECT_EQ(testing::ListFolder(out), kept);
    // A dry run writes nothing and removes nothing.
    WriteFile(out + stale, Bytes(10, 1));
    host.set(Option::DryRun);
    run.run(testing::FileEntries({dir.file("x.nds")}));
    EXPECT_TRUE(testing::Exists(out + stale));
}

// Runs out of memory while patching the first image.
class ExhaustedPatcher final : public OutputPatcher {
  public:
    Status SRAMPatch(File&, Host&) override {
        if (m_calls++ == 0) {
            throw std::bad_alloc();
        }
        return Status::success();
    }
    Status checkImageSize(std::uint64_t) const override { return Status::success(); }
    Status planLine(const ByteSource&, std::string&) override {
        return Status::failure("not planned");
    }

  private:
    int m_calls = 0;
};

TEST(RunGuard, AnAllocationFailureIsAnErrorLineForItsEntryAlone) {
    for (const FileMode mode : {FileMode::Backup, FileMode::Folder}) {
        TempDir dir;
        const std::string out = dir.subfolder("out");
        const Bytes gba = testing::GbaImageBuilder().size(8192).dataEnd(1000).build();
        WriteFile(dir.file("a.gba"), gba);
        WriteFile(dir.file("b.gba"), gba);
        RecordingHost host;
        host.mode = mode;
        host.folder = out;
        host.set(Option::SramPatch);
        ExhaustedPatcher patcher;
        ArchiveMemberExtraction extraction;
        TrimRun run(host, extraction, patcher);
        EXPECT_EQ(run.run(testing::FileEntries({dir.file("a.gba"), dir.file("b.gba")})),
                  RunEnd::Finished);

        EXPECT_EQ(host.log[4], "ERROR: Not enough memory: a.gba");
        EXPECT_EQ(run.counters().ErrorCount, 1);
        EXPECT_EQ(run.counters().ProcessedCount, 2);
        EXPECT_EQ(ReadFile(dir.file("a.gba")), gba);
        EXPECT_EQ(ReadFile((mode == FileMode::Folder ? out : dir.path()) + "b.gba").size(), 1000u);
        EXPECT_FALSE(testing::Exists(dir.file("a.gba.bak")));
        EXPECT_FALSE(testing::Exists(out + "a.gba"));
    }
}

}  // namespace
}  // namespace ostravex
