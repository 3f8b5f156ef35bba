// A process killed at any moment leaves every rom under its name; outputs that cannot be
// put in place leave the original as it was.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <algorithm>
#include <cerrno>
#include <functional>
#include <new>

#include "support/killed_run.h"
#include "support/list_entries.h"
#include "support/recording_host.h"
#include "support/rom_images.h"
#include "support/temporary_lock_holder.h"
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
        case OutputStep::CheckOriginal:
            return "CheckOriginal";
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
// whole original, so that a second run still finds the rom, and the backup name nothing
// or the whole original.
TEST_P(BackupSteps, TheRomsNameHoldsTheOriginalBetweenEverySteps) {
    TempDir dir;
    WriteFile(dir.file("x.nds"), Original());
    RecordingHost host;
    host.options.fileMode = FileMode::Backup;
    testing::WiredTrimRun run(host);
    std::vector<OutputStep> seen;
    const bool hardLinks = GetParam().hardLinks;
    run.setOutputStepHook([&](OutputStep step) -> Status {
        seen.push_back(step);
        if (!testing::Exists(dir.file("x.nds"))) {
            ADD_FAILURE() << "no x.nds before " << StepName(step);
            return Status::success();
        }
        EXPECT_EQ(ReadFile(dir.file("x.nds")), Original()) << StepName(step);
        if (step == OutputStep::Replace) {
            EXPECT_EQ(ReadFile(dir.file("x.nds.bak")), Original());
        } else {
            EXPECT_FALSE(testing::Exists(dir.file("x.nds.bak"))) << StepName(step);
        }
        return step == OutputStep::KeepOriginal && !hardLinks ? Status::fromErrno(EPERM)
                                                              : Status::success();
    });
    run.run(testing::FileEntries({dir.file("x.nds")}));

    EXPECT_EQ(seen, (std::vector<OutputStep>{OutputStep::Close, OutputStep::CheckOriginal,
                                             OutputStep::KeepOriginal, OutputStep::Replace}));
    EXPECT_EQ(run.counters().errors, 0);
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
    host.options.fileMode = FileMode::Backup;
    testing::WiredTrimRun run(host);
    // Only the first entry's steps fail.
    int entry = 0;
    const OutputStepHook fail = FailingAt(c.faults);
    run.setOutputStepHook([&](OutputStep step) {
        entry += step == OutputStep::Close ? 1 : 0;
        return entry == 1 ? fail(step) : Status::success();
    });
    run.run(testing::FileEntries({dir.file("x.nds"), dir.file("y.nds")}));

    EXPECT_EQ(run.counters().errors, 1);
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
                             FaultCase{"CheckOriginal",
                                       {{OutputStep::CheckOriginal, EIO}},
                                       "ERROR: Cannot write file (Input/output error): x.nds"},
                             // A ".bak" that appeared while the copy was written.
                             FaultCase{"KeepOriginal",
                                       {{OutputStep::KeepOriginal, EEXIST}},
                                       "Error: File is Read-Only: x.nds"},
                             FaultCase{"ReplaceAfterLink",
                                       {{OutputStep::Replace, EIO}},
                                       "ERROR: Cannot write file (Input/output error): x.nds"},
                             FaultCase{
                                 "ReplaceAfterCopy",
                                 {{OutputStep::KeepOriginal, EPERM}, {OutputStep::Replace, EIO}},
                                 "ERROR: Cannot write file (Input/output error): x.nds"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BackupOutput, TheTrimmedFileKeepsTheOriginalsPermissionBits) {
    for (const mode_t permissions : {0600, 0444, 0640}) {
        TempDir dir;
        WriteFile(dir.file("x.nds"), Original());
        chmod(dir.file("x.nds").c_str(), permissions);
        RecordingHost host;
        host.options.fileMode = FileMode::Backup;
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
    host.options.fileMode = FileMode::Backup;
    testing::WiredTrimRun run(host);
    run.run(testing::FileEntries({dir.file(name)}));

    EXPECT_EQ(host.log[4], "Error: File is Read-Only: " + name);
    EXPECT_EQ(run.counters().errors, 1);
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

TEST(StaleTemporaries, ThoseNobodyHoldsAreRemovedBeforeWritingIntoTheFolder) {
    TempDir dir;
    const std::string out = dir.subfolder("out");
    WriteFile(dir.file("x.nds"), Original());
    const std::string stale = ".ostravex-" + std::to_string(DeadProcess()) + "-7.tmp";
    // Written now by a run whose process id means nothing here (another PID namespace).
    const std::string live = ".ostravex-" + std::to_string(DeadProcess()) + "-8.tmp";
    for (const std::string& name :
         {stale, live, std::string(".ostravex-notes.tmp"), std::string(".ostravex-12-x.tmp")}) {
        WriteFile(out + name, Bytes(10, 1));
    }
    const testing::TemporaryLockHolder writer(out + live);
    ASSERT_TRUE(writer.held());
    RecordingHost host;
    host.options.fileMode = FileMode::Folder;
    host.options.outputFolder = out;
    testing::WiredTrimRun run(host);
    run.run(testing::FileEntries({dir.file("x.nds")}));

    std::vector<std::string> kept{".ostravex-12-x.tmp", live, ".ostravex-notes.tmp", "x.nds"};
    std::sort(kept.begin(), kept.end());  // the folder is listed in name order
    EXPECT_EQ(testing::ListFolder(out), kept);
    // A dry run writes nothing and removes nothing.
    WriteFile(out + stale, Bytes(10, 1));
    host.options.dryRun = true;
    run.run(testing::FileEntries({dir.file("x.nds")}));
    EXPECT_TRUE(testing::Exists(out + stale));
}

TEST(StaleTemporaries, AnInPlaceRunRemovesThoseOfTheRomsFolder) {
    TempDir dir;
    WriteFile(dir.file("x.nds"), Original());
    const std::string stale = ".ostravex-" + std::to_string(DeadProcess()) + "-7.tmp";
    WriteFile(dir.file(stale), Bytes(10, 1));
    RecordingHost host;
    testing::WiredTrimRun run(host);
    run.run(testing::FileEntries({dir.file("x.nds")}));

    EXPECT_EQ(testing::ListFolder(dir.path()), std::vector<std::string>{"x.nds"});
    EXPECT_EQ(ReadFile(dir.file("x.nds")), Trimmed());
}

// ---- changes in place that are more than a cut ------------------------------------------

// A GBA image whose SRAM patch writes twice: a jump at 501 and the routine after the data.
Bytes PatchableGba() {
    const Bytes v111{0x0E, 0x48, 0x39, 0x68, 0x01, 0x60, 0x0E, 0x48};
    return testing::GbaImageBuilder().size(1_MiB).dataEnd(1000).bytes(501, v111).build();
}

// A trimmed NDS image of a 1 MiB cartridge (128 KiB << 3).
Bytes TrimmedNds() {
    return NdsImageBuilder().usedSize(600000).size(600000).byte(0x14, 3).build();
}

struct InPlaceCase {
    const char* name;
    std::function<Bytes()> image;
    std::vector<bool RunOptions::*> options;  // switched on
};

void PrintTo(const InPlaceCase& c, std::ostream* os) {
    *os << c.name;
}

const char* RomName(const InPlaceCase&) {
    return "x.gba";
}

RecordingHost HostFor(const InPlaceCase& c) {
    RecordingHost host;
    for (bool RunOptions::*option : c.options) {
        host.options.*option = true;
    }
    return host;
}

// What the change gives, made as a copy into another folder (no in-place step involved).
Bytes ExpectedResult(const InPlaceCase& c) {
    TempDir dir;
    const std::string out = dir.subfolder("out");
    WriteFile(dir.file(RomName(c)), c.image());
    RecordingHost host = HostFor(c);
    host.options.fileMode = FileMode::Folder;
    host.options.outputFolder = out;
    testing::WiredTrimRun run(host);
    run.run(testing::FileEntries({dir.file(RomName(c))}));
    EXPECT_EQ(run.counters().errors, 0);
    return ReadFile(out + RomName(c));
}

class InPlaceChange : public ::testing::TestWithParam<InPlaceCase> {};

// The in-place change is written whole beside the rom and renamed over it: before every
// step the rom holds its original bytes, afterwards the whole result.
TEST_P(InPlaceChange, TheRomHoldsItsOriginalUntilTheWholeResultTakesItsName) {
    const InPlaceCase& c = GetParam();
    const Bytes expected = ExpectedResult(c);
    TempDir dir;
    const std::string rom = dir.file(RomName(c));
    WriteFile(rom, c.image());
    ASSERT_NE(expected, c.image());
    RecordingHost host = HostFor(c);
    testing::WiredTrimRun run(host);
    std::vector<OutputStep> seen;
    run.setOutputStepHook([&](OutputStep step) {
        seen.push_back(step);
        EXPECT_EQ(ReadFile(rom), c.image()) << StepName(step);
        return Status::success();
    });

    run.run(testing::FileEntries({rom}));

    EXPECT_EQ(seen, (std::vector<OutputStep>{OutputStep::Close, OutputStep::CheckOriginal,
                                             OutputStep::Replace}));
    EXPECT_EQ(run.counters().errors, 0);
    EXPECT_EQ(ReadFile(rom), expected);
    EXPECT_EQ(testing::ListFolder(dir.path()), std::vector<std::string>{RomName(c)});
}

TEST_P(InPlaceChange, AKillAtAnyStepLeavesTheOriginalAndTheNextRunCompletesIt) {
    const InPlaceCase& c = GetParam();
    const Bytes expected = ExpectedResult(c);
    for (const OutputStep step :
         {OutputStep::Close, OutputStep::CheckOriginal, OutputStep::Replace}) {
        SCOPED_TRACE(StepName(step));
        TempDir dir;
        const std::string rom = dir.file(RomName(c));
        WriteFile(rom, c.image());
        const RecordingHost host = HostFor(c);
        ASSERT_TRUE(testing::RunKilledBefore(host, testing::FileEntries({rom}), step));
        EXPECT_EQ(ReadFile(rom), c.image());

        RecordingHost again = HostFor(c);
        testing::WiredTrimRun run(again);
        run.run(testing::FileEntries({rom}));
        EXPECT_EQ(ReadFile(rom), expected);
        // The killed run's temporary is gone with the next run into the folder.
        EXPECT_EQ(testing::ListFolder(dir.path()), std::vector<std::string>{RomName(c)});
    }
}

TEST_P(InPlaceChange, AFailedStepLeavesTheOriginal) {
    const InPlaceCase& c = GetParam();
    for (const OutputStep step :
         {OutputStep::Close, OutputStep::CheckOriginal, OutputStep::Replace}) {
        SCOPED_TRACE(StepName(step));
        TempDir dir;
        const std::string rom = dir.file(RomName(c));
        WriteFile(rom, c.image());
        RecordingHost host = HostFor(c);
        testing::WiredTrimRun run(host);
        run.setOutputStepHook(FailingAt({{step, EIO}}));
        run.run(testing::FileEntries({rom}));

        EXPECT_EQ(run.counters().errors, 1);
        EXPECT_EQ(ReadFile(rom), c.image());
        EXPECT_EQ(testing::ListFolder(dir.path()), std::vector<std::string>{RomName(c)});
    }
}

// Only the step that holds the lock can be observed from outside: another run that tries
// the rom meanwhile must find it held, and skip it.
TEST_P(InPlaceChange, AnotherRunMeanwhileSkipsTheRom) {
    const InPlaceCase& c = GetParam();
    const Bytes expected = ExpectedResult(c);
    TempDir dir;
    const std::string rom = dir.file(RomName(c));
    WriteFile(rom, c.image());
    RecordingHost host = HostFor(c);
    testing::WiredTrimRun run(host);
    std::vector<std::string> otherLines;
    run.setOutputStepHook([&](OutputStep step) {
        RecordingHost other;
        other.options.fileMode = FileMode::Backup;
        testing::WiredTrimRun otherRun(other);
        otherRun.run(testing::FileEntries({rom}));
        otherLines.push_back(other.log[3] + " (" + StepName(step) + ")");
        return Status::success();
    });

    run.run(testing::FileEntries({rom}));

    const std::string skip = std::string("SKIP: In use by another run: ") + RomName(c);
    EXPECT_EQ(otherLines, (std::vector<std::string>{skip + " (Close)", skip + " (CheckOriginal)",
                                                    skip + " (Replace)"}));
    EXPECT_EQ(ReadFile(rom), expected);
    EXPECT_EQ(testing::ListFolder(dir.path()), std::vector<std::string>{RomName(c)});
}

INSTANTIATE_TEST_SUITE_P(
    Changes, InPlaceChange,
    ::testing::Values(InPlaceCase{"SramPatchAfterTheCut", PatchableGba, {&RunOptions::sramPatch}},
                      InPlaceCase{"SramPatchOnly",
                                  PatchableGba,
                                  {&RunOptions::sramPatch, &RunOptions::onlyPatch}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- a restore in place grows the rom at its end -------------------------------------------

RecordingHost RestoringHost() {
    RecordingHost host;
    host.options.restore = true;
    return host;
}

Bytes PaddedTo(Bytes image, std::size_t size) {
    image.resize(size, 0xFF);
    return image;
}

// The rom itself grows: same file, its bytes where they were, the filler after them, on the
// disk before the entry is done; another run meanwhile finds the rom held and skips it.
TEST(RestoreInPlace, TheRomKeepsItsInodeAndOnlyGrowsAtItsEnd) {
    TempDir dir;
    const std::string rom = dir.file("x.nds");
    const Bytes trimmed = TrimmedNds();
    WriteFile(rom, trimmed);
    struct stat before {};
    ASSERT_EQ(stat(rom.c_str(), &before), 0);
    RecordingHost host = RestoringHost();
    testing::WiredTrimRun run(host);
    std::vector<std::string> otherLines;
    run.setOutputStepHook([&](OutputStep step) {
        const Bytes now = ReadFile(rom);
        EXPECT_TRUE(now.size() >= trimmed.size() &&
                    std::equal(trimmed.begin(), trimmed.end(), now.begin()))
            << StepName(step);
        RecordingHost other;
        testing::WiredTrimRun otherRun(other);
        otherRun.run(testing::FileEntries({rom}));
        otherLines.push_back(other.log[3] + " (" + StepName(step) + ")");
        return Status::success();
    });

    run.run(testing::FileEntries({rom}));

    EXPECT_EQ(otherLines, std::vector<std::string>{"SKIP: In use by another run: x.nds (Close)"});
    EXPECT_EQ(run.counters().errors, 0) << host.log[3];
    EXPECT_EQ(ReadFile(rom), PaddedTo(trimmed, 1_MiB));
    struct stat after {};
    ASSERT_EQ(stat(rom.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_dev, before.st_dev);
    EXPECT_EQ(testing::ListFolder(dir.path()), std::vector<std::string>{"x.nds"});
}

// A growth that cannot be made durable is taken back: the rom is its original again.
TEST(RestoreInPlace, AFailureBeforeTheGrowthIsDurableCutsTheRomBackToItsOriginal) {
    TempDir dir;
    const std::string rom = dir.file("x.nds");
    WriteFile(rom, TrimmedNds());
    RecordingHost host = RestoringHost();
    testing::WiredTrimRun run(host);
    run.setOutputStepHook(FailingAt({{OutputStep::Close, EIO}}));

    run.run(testing::FileEntries({rom}));

    EXPECT_EQ(run.counters().errors, 1);
    EXPECT_TRUE(host.log[3].starts_with("ERROR: Cannot write file (")) << host.log[3];
    EXPECT_EQ(ReadFile(rom), TrimmedNds());
    EXPECT_EQ(testing::ListFolder(dir.path()), std::vector<std::string>{"x.nds"});
}

// SIGKILL at each pump of a restore of an 8 MiB cartridge (its filler goes in 1 MiB blocks,
// with a pump after each): the rom is its original followed by part of its filler, which
// the next restore completes and a trim cuts back.
TEST(RestoreInPlace, AKillLeavesTheOriginalAndPartOfItsFillerWhichTheNextRunCompletes) {
    const Bytes trimmed = NdsImageBuilder().usedSize(600000).size(600000).byte(0x14, 6).build();
    const Bytes restored = PaddedTo(trimmed, 8_MiB);
    for (int killedAt = 1; killedAt <= 10; ++killedAt) {
        for (const bool thenTrim : {false, true}) {
            SCOPED_TRACE("killed at pump " + std::to_string(killedAt) +
                         (thenTrim ? ", then trimmed" : ", then restored"));
            TempDir dir;
            const std::string rom = dir.file("x.nds");
            WriteFile(rom, trimmed);
            const pid_t child = fork();
            if (child == 0) {
                RecordingHost own = RestoringHost();
                int pumps = 0;
                own.onPump = [&](RecordingHost&) {
                    if (++pumps == killedAt) {
                        raise(SIGKILL);
                    }
                };
                testing::WiredTrimRun run(own);
                run.run(testing::FileEntries({rom}));
                _exit(0);
            }
            int status = 0;
            waitpid(child, &status, 0);
            const Bytes left = ReadFile(rom);
            ASSERT_GE(left.size(), trimmed.size());
            ASSERT_LE(left.size(), restored.size());
            EXPECT_TRUE(std::equal(left.begin(), left.end(), restored.begin()));

            RecordingHost again = RestoringHost();
            again.options.restore = !thenTrim;
            testing::WiredTrimRun run(again);
            run.run(testing::FileEntries({rom}));
            EXPECT_EQ(run.counters().errors, 0) << again.log[3];
            EXPECT_EQ(ReadFile(rom), thenTrim ? trimmed : restored);
        }
    }
}

TEST(InPlaceCut, StaysOneCutInPlaceAlsoWhenThePatchWouldChangeNothing) {
    struct Row {
        const char* behaviour;
        const char* name;
        Bytes image;
        std::vector<bool RunOptions::*> options;  // switched on
        std::size_t sizeAfter;
    };
    const Row rows[] = {
        {"NDS", "x.nds", Original(), {}, 600000},
        {"NDS with the SRAM patch asked for",
         "x.nds",
         Original(),
         {&RunOptions::sramPatch},
         600000},
        {"GBA that no patch matches",
         "x.gba",
         testing::GbaImageBuilder().size(1_MiB).dataEnd(1000).build(),
         {&RunOptions::sramPatch},
         1000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        TempDir dir;
        const std::string rom = dir.file(row.name);
        WriteFile(rom, row.image);
        const ino_t inode = [&] {
            struct stat info {};
            stat(rom.c_str(), &info);
            return info.st_ino;
        }();
        RecordingHost host;
        for (bool RunOptions::*option : row.options) {
            host.options.*option = true;
        }
        testing::WiredTrimRun run(host);
        std::vector<OutputStep> seen;
        run.setOutputStepHook([&](OutputStep step) {
            seen.push_back(step);
            return Status::success();
        });
        run.run(testing::FileEntries({rom}));

        EXPECT_EQ(seen, std::vector<OutputStep>{OutputStep::Close});
        struct stat info {};
        ASSERT_EQ(stat(rom.c_str(), &info), 0);
        EXPECT_EQ(info.st_ino, inode) << "cut in place, not replaced";
        EXPECT_EQ(static_cast<std::size_t>(info.st_size), row.sizeAfter);
    }
}

// Says what the patch would do, and counts how often the image is searched.
class PreviewingPatcher final : public OutputPatcher {
  public:
    explicit PreviewingPatcher(bool changes) : m_changes(changes) {}
    Status patch(File& output, SramPatchResult& result) override {
        ++searches;
        result = {SramPatchOutcome::Patched, "patched", 0};
        return output.size(result.sizeAfter);
    }
    Status checkImageSize(std::uint64_t) const override { return Status::success(); }
    Status plan(const ByteSource& image, SramPatchResult& result) override {
        ++searches;
        result = {m_changes ? SramPatchOutcome::Patched : SramPatchOutcome::NotPossible,
                  m_changes ? "would patch" : "nothing to patch", image.size()};
        return Status::success();
    }
    Status applyPlanned(File& output, SramPatchResult& result) override {
        ++applied;
        result = {SramPatchOutcome::Patched, "patched as previewed", 0};
        return output.size(result.sizeAfter);
    }
    int searches = 0;
    int applied = 0;

  private:
    bool m_changes;
};

TEST(InPlaceCut, AnImageIsSearchedOnceAndCutInPlaceWhenThePatchLeavesItAsItIs) {
    for (const bool changes : {false, true}) {
        SCOPED_TRACE(changes ? "the patch changes it" : "the patch leaves it");
        TempDir dir;
        const std::string rom = dir.file("g.gba");
        WriteFile(rom, testing::GbaImageBuilder().size(1_MiB).dataEnd(1000).build());
        RecordingHost host;
        host.options.sramPatch = true;
        PreviewingPatcher patcher(changes);
        ArchiveMemberExtraction extraction;
        TrimRun run(host.frontEnd(), extraction, patcher);
        std::vector<OutputStep> seen;
        run.setOutputStepHook([&](OutputStep step) {
            seen.push_back(step);
            return Status::success();
        });
        run.run(testing::FileEntries({rom}));

        EXPECT_EQ(host.log[4], changes ? "patched as previewed" : "nothing to patch");
        EXPECT_EQ(patcher.searches, 1);
        EXPECT_EQ(patcher.applied, changes ? 1 : 0);
        EXPECT_EQ(seen.size(), changes ? 3u : 1u);
        EXPECT_EQ(ReadFile(rom).size(), 1000u);
    }
}

// The rom shrinks between its examination and the cut (another program writes it): the
// cut must not grow it back with zeros and report a trim.
TEST(InPlaceCut, ARomThatShrankSinceItWasReadIsAnErrorAndIsNotGrown) {
    TempDir dir;
    const std::string rom = dir.file("x.nds");
    WriteFile(rom, Original());
    RecordingHost host;
    host.onPump = [&](RecordingHost& h) {
        if (h.log.back() == "") {  // the pump between examination and output
            ASSERT_EQ(truncate(rom.c_str(), 1000), 0);
        }
    };
    testing::WiredTrimRun run(host);
    run.run(testing::FileEntries({rom}));

    EXPECT_EQ(host.log[4], "ERROR: File changed since it was read: x.nds");
    EXPECT_EQ(run.counters().errors, 1);
    const Bytes original = Original();
    EXPECT_EQ(ReadFile(rom), Bytes(original.begin(), original.begin() + 1000));
}

// ---- backups: locks, leftovers, owners --------------------------------------------------

TEST(BackupOutput, AnInPlaceRunMeanwhileSkipsTheRomAndTheBackupKeepsTheOriginal) {
    TempDir dir;
    const std::string rom = dir.file("x.nds");
    WriteFile(rom, Original());
    RecordingHost host;
    host.options.fileMode = FileMode::Backup;
    testing::WiredTrimRun run(host);
    std::vector<std::string> otherLines;
    run.setOutputStepHook([&](OutputStep step) {
        RecordingHost other;
        testing::WiredTrimRun otherRun(other);
        otherRun.run(testing::FileEntries({rom}));
        otherLines.push_back(other.log[3] + " (" + StepName(step) + ")");
        return Status::success();
    });

    run.run(testing::FileEntries({rom}));

    const std::string skip = "SKIP: In use by another run: x.nds";
    EXPECT_EQ(otherLines,
              (std::vector<std::string>{skip + " (Close)", skip + " (CheckOriginal)",
                                        skip + " (KeepOriginal)", skip + " (Replace)"}));
    EXPECT_EQ(ReadFile(rom), Trimmed());
    EXPECT_EQ(ReadFile(rom + ".bak"), Original());
}

// What a backup run killed between keeping the original and replacing it leaves: the
// rom under both names (hard links), or the rom and a whole copy of it (no hard links).
TEST(BackupOutput, ALeftoverOfAKilledBackupIsTakenAndTheRunGoesOn) {
    struct Row {
        const char* behaviour;
        OutputStep killedBefore;
        bool hardLinks;
    };
    const Row rows[] = {
        {"hard links: killed between link and rename", OutputStep::Replace, true},
        {"no hard links: killed after the copy took the backup name", OutputStep::Replace, false},
        {"killed before the backup", OutputStep::KeepOriginal, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        TempDir dir;
        const std::string rom = dir.file("x.nds");
        WriteFile(rom, Original());
        RecordingHost host;
        host.options.fileMode = FileMode::Backup;
        // Without hard links, link() fails with EPERM.
        const OutputStepHook fileSystem =
            row.hardLinks ? OutputStepHook() : FailingAt({{OutputStep::KeepOriginal, EPERM}});
        ASSERT_TRUE(testing::RunKilledBefore(host, testing::FileEntries({rom}), row.killedBefore, 1,
                                             fileSystem));
        EXPECT_EQ(ReadFile(rom), Original());

        RecordingHost again;
        again.options.fileMode = FileMode::Backup;
        testing::WiredTrimRun run(again);
        run.run(testing::FileEntries({rom}));

        EXPECT_EQ(run.counters().errors, 0) << again.log[4];
        EXPECT_EQ(ReadFile(rom), Trimmed());
        EXPECT_EQ(ReadFile(rom + ".bak"), Original());
        EXPECT_EQ(testing::ListFolder(dir.path()),
                  (std::vector<std::string>{"x.nds", "x.nds.bak"}));
    }
}

TEST(BackupOutput, EveryReplacedRomKeepsItsOwnerGroupAndPermissionBits) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "giving a file to another owner needs root";
    }
    struct Row {
        const char* behaviour;
        FileMode mode;
        std::vector<bool RunOptions::*> options;  // switched on
        const char* name;
        std::function<Bytes()> image;
    };
    const Row rows[] = {
        {"backup", FileMode::Backup, {}, "x.nds", Original},
        {"SRAM patch in place",
         FileMode::Overwrite,
         {&RunOptions::sramPatch},
         "x.gba",
         PatchableGba},
        {"restore in place", FileMode::Overwrite, {&RunOptions::restore}, "x.nds", TrimmedNds},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        TempDir dir;
        const std::string rom = dir.file(row.name);
        WriteFile(rom, row.image());
        ASSERT_EQ(chown(rom.c_str(), 4321, 8765), 0);
        ASSERT_EQ(chmod(rom.c_str(), 0600), 0);
        RecordingHost host;
        host.options.fileMode = row.mode;
        for (bool RunOptions::*option : row.options) {
            host.options.*option = true;
        }
        testing::WiredTrimRun run(host);
        run.run(testing::FileEntries({rom}));

        struct stat info {};
        ASSERT_EQ(stat(rom.c_str(), &info), 0);
        EXPECT_NE(ReadFile(rom), row.image());
        EXPECT_EQ(info.st_uid, 4321u);
        EXPECT_EQ(info.st_gid, 8765u);
        EXPECT_EQ(info.st_mode & 07777, 0600u);
    }
}

// Runs out of memory while patching the first image.
class ExhaustedPatcher final : public OutputPatcher {
  public:
    Status patch(File& output, SramPatchResult& result) override {
        if (m_calls++ == 0) {
            throw std::bad_alloc();
        }
        result.line = "patched";
        return output.size(result.sizeAfter);
    }
    Status checkImageSize(std::uint64_t) const override { return Status::success(); }
    Status plan(const ByteSource&, SramPatchResult&) override {
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
        host.options.fileMode = mode;
        host.options.outputFolder = out;
        host.options.sramPatch = true;
        ExhaustedPatcher patcher;
        ArchiveMemberExtraction extraction;
        TrimRun run(host.frontEnd(), extraction, patcher);
        EXPECT_EQ(run.run(testing::FileEntries({dir.file("a.gba"), dir.file("b.gba")})),
                  RunEnd::Finished);

        EXPECT_EQ(host.log[4], "ERROR: Not enough memory: a.gba");
        EXPECT_EQ(run.counters().errors, 1);
        EXPECT_EQ(run.counters().processed, 2);
        EXPECT_EQ(ReadFile(dir.file("a.gba")), gba);
        EXPECT_EQ(ReadFile((mode == FileMode::Folder ? out : dir.path()) + "b.gba").size(), 1000u);
        EXPECT_FALSE(testing::Exists(dir.file("a.gba.bak")));
        EXPECT_FALSE(testing::Exists(out + "a.gba"));
    }
}

}  // namespace
}  // namespace ostravex
