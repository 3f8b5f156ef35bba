#include "trim/trim_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "support/list_entries.h"
#include "support/recording_host.h"
#include "support/rom_images.h"
#include "support/wired_trim_run.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::GbaImageBuilder;
using testing::NdsImageBuilder;
using testing::ReadFile;
using testing::RecordingHost;
using testing::TempDir;
using testing::WriteFile;
using testing::operator""_MiB;

constexpr std::uint32_t kUsed = 5913600;

Bytes Nds() {
    return NdsImageBuilder().usedSize(kUsed).size(8_MiB).build();
}
Bytes Gba() {
    return GbaImageBuilder().size(4_MiB).dataEnd(1000).build();
}
Bytes Prefix(const Bytes& bytes, std::size_t length) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
}

class TrimRunTest : public ::testing::Test {
  protected:
    std::string put(const std::string& name, const Bytes& bytes) {
        const std::string path = dir.file(name);
        WriteFile(path, bytes);
        return path;
    }
    RunEnd runOn(const std::vector<RomListEntry>& entries) { return run.run(entries); }
    RunEnd runOn(const std::vector<std::string>& paths) {
        return run.run(testing::FileEntries(paths));
    }
    // The log without the three header lines and the closing time line.
    std::vector<std::string> body() const {
        std::vector<std::string> lines(host.log.begin() + 3, host.log.end());
        if (lines.size() >= 3 && lines[lines.size() - 3] == "Processing Finished.") {
            lines.resize(lines.size() - 3);
        }
        return lines;
    }

    TempDir dir;
    RecordingHost host;
    testing::WiredTrimRun run{host};
};

TEST_F(TrimRunTest, OverwriteCutsInPlaceAndReportsTheRun) {
    const Bytes original = Nds();
    const std::string path = put("game.nds", original);

    EXPECT_EQ(runOn({path}), RunEnd::Finished);

    EXPECT_EQ(ReadFile(path), Prefix(original, kUsed));
    EXPECT_EQ(testing::ListFolder(dir.path()), std::vector<std::string>{"game.nds"});
    ASSERT_EQ(host.log.size(), 7u);
    EXPECT_EQ(
        std::vector<std::string>(host.log.begin(), host.log.begin() + 6),
        (std::vector<std::string>{"Log", "", "", "game.nds: 2475008", "Processing Finished.", ""}));
    EXPECT_TRUE(host.log[6].starts_with("Trimming took ")) << host.log[6];
    EXPECT_TRUE(host.log[6].ends_with(" seconds.")) << host.log[6];
    EXPECT_EQ(host.labels[CounterLabel::Savings], "Total Savings: 2.36 MB");
    EXPECT_EQ(host.labels[CounterLabel::Complete], "Files Processed: 1/1");
    EXPECT_EQ(host.labels[CounterLabel::Errors], "Errors:");
    EXPECT_EQ(host.labels[CounterLabel::Wifi], "Wifi games:");
    EXPECT_EQ(host.busyChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(host.gauges[Gauge::Run], (std::pair<std::uint64_t, std::uint64_t>(1, 1)));
}

struct ModeCase {
    const char* name;
    FileMode mode;
    bool gba;
};

void PrintTo(const ModeCase& c, std::ostream* os) {
    *os << c.name;
}

class FileOptionTest : public TrimRunTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(FileOptionTest, PutsTheCutImageWhereTheOptionSays) {
    const ModeCase& c = GetParam();
    const std::string name = c.gba ? "x.gba" : "x.nds";
    const Bytes original = c.gba ? Gba() : Nds();
    const Bytes cut = Prefix(original, c.gba ? 1000 : kUsed);
    const std::string roms = dir.subfolder("roms");
    const std::string out = dir.subfolder("out");
    WriteFile(roms + name, original);
    host.options.fileMode = c.mode;
    host.options.outputFolder = out;

    runOn({roms + name});

    EXPECT_EQ(run.counters().errors, 0) << ::testing::PrintToString(host.log);
    switch (c.mode) {
        case FileMode::Overwrite:
            EXPECT_EQ(testing::ListFolder(roms), std::vector<std::string>{name});
            EXPECT_EQ(ReadFile(roms + name), cut);
            break;
        case FileMode::Backup:
            EXPECT_EQ(testing::ListFolder(roms), (std::vector<std::string>{name, name + ".bak"}));
            EXPECT_EQ(ReadFile(roms + name + ".bak"), original);
            EXPECT_EQ(ReadFile(roms + name), cut);
            break;
        case FileMode::Folder:
            EXPECT_EQ(ReadFile(roms + name), original);
            EXPECT_EQ(testing::ListFolder(out), std::vector<std::string>{name});
            EXPECT_EQ(ReadFile(out + name), cut);
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, FileOptionTest,
                         ::testing::Values(ModeCase{"OverwriteNds", FileMode::Overwrite, false},
                                           ModeCase{"OverwriteGba", FileMode::Overwrite, true},
                                           ModeCase{"BackupNds", FileMode::Backup, false},
                                           ModeCase{"BackupGba", FileMode::Backup, true},
                                           ModeCase{"FolderNds", FileMode::Folder, false},
                                           ModeCase{"FolderGba", FileMode::Folder, true}));

// A rom reached through a symbolic link is changed where it lies; its line names that file
// after the link, so that a change outside the scanned folder is not hidden.
TEST_F(TrimRunTest, ALinkedRomsLineNamesTheFileThatChanged) {
    struct Case {
        const char* name;
        FileMode mode;
        bool dryRun;
        bool targetChanges;
    };
    const Case cases[] = {
        {"in place", FileMode::Overwrite, false, true},
        {"backup", FileMode::Backup, false, true},
        {"in place, dry run", FileMode::Overwrite, true, false},
        {"folder: the rom is only read", FileMode::Folder, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir local;
        const std::string elsewhere = local.subfolder("elsewhere game");
        const std::string roms = local.subfolder("roms");
        const std::string out = local.subfolder("out");
        WriteFile(elsewhere + "real:é.nds", Nds());
        ASSERT_EQ(symlink("../elsewhere game/real:é.nds", (roms + "link.nds").c_str()), 0);
        host.options.fileMode = c.mode;
        host.options.outputFolder = out;
        host.options.dryRun = c.dryRun;
        host.reports.clear();

        runOn({roms + "link.nds"});

        const bool named = c.mode != FileMode::Folder;
        const std::string target = elsewhere + "real:é.nds";
        EXPECT_EQ(body()[0], named ? "link.nds -> " + target + ": 2475008" : "link.nds: 2475008");
        ASSERT_EQ(host.reports.size(), 1u);
        EXPECT_EQ(host.reports[0].linkTarget,
                  named ? std::optional<std::string>(target) : std::nullopt);
        EXPECT_EQ(ReadFile(target), c.targetChanges ? Prefix(Nds(), kUsed) : Nds());
        if (c.mode == FileMode::Backup && !c.dryRun) {
            EXPECT_EQ(testing::ListFolder(roms),
                      (std::vector<std::string>{"link.nds", "link.nds.bak"}));
            EXPECT_EQ(ReadFile(roms + "link.nds.bak"), Nds());
        } else {
            EXPECT_EQ(testing::ListFolder(roms), std::vector<std::string>{"link.nds"});
        }
        host.log.clear();
    }
}

TEST_F(TrimRunTest, ExistingBackupRefusesTheEntryAndLeavesBothFiles) {
    const Bytes original = Nds();
    const Bytes oldBackup = Bytes(1000, 7);
    const std::string path = put("x.nds", original);
    put("x.nds.bak", oldBackup);
    host.options.fileMode = FileMode::Backup;

    runOn({path});

    EXPECT_EQ(body(),
              (std::vector<std::string>{"x.nds: 2475008", "Error: File is Read-Only: x.nds"}));
    EXPECT_EQ(run.counters().errors, 1);
    EXPECT_EQ(host.labels[CounterLabel::Errors], "Errors: 1");
    EXPECT_EQ(ReadFile(path), original);
    EXPECT_EQ(ReadFile(path + ".bak"), oldBackup);
    EXPECT_EQ(testing::ListFolder(dir.path()), (std::vector<std::string>{"x.nds", "x.nds.bak"}));
}

TEST_F(TrimRunTest, DontOverwriteDecidesWhetherAnExistingOutputIsReplaced) {
    const Bytes original = Nds();
    const Bytes existing(10, 1);
    struct Row {
        bool dontOverwrite;
        std::vector<std::string> log;
        Bytes xOutput;
        std::int32_t errors;
    };
    for (const Row& row :
         {Row{true,
              {"x.nds: 2475008", "Error: file-exists in the new output folder. Skipping this rom",
               "y.nds: 2475008"},
              existing,
              1},
          Row{false, {"x.nds: 2475008", "y.nds: 2475008"}, Prefix(original, kUsed), 0}}) {
        SCOPED_TRACE(row.dontOverwrite ? "Don't overwrite" : "overwrite");
        TempDir local;
        const std::string roms = local.subfolder("roms");
        const std::string out = local.subfolder("out");
        WriteFile(roms + "x.nds", original);
        WriteFile(roms + "y.nds", original);
        WriteFile(out + "x.nds", existing);
        RecordingHost host;
        host.options.fileMode = FileMode::Folder;
        host.options.outputFolder = out;
        host.options.dontOverwrite = row.dontOverwrite;
        testing::WiredTrimRun run(host);

        run.run(testing::FileEntries({roms + "x.nds", roms + "y.nds"}));

        // The log without its three header lines and its three closing lines.
        ASSERT_GE(host.log.size(), 6u);
        EXPECT_EQ(std::vector<std::string>(host.log.begin() + 3, host.log.end() - 3), row.log);
        EXPECT_EQ(run.counters().errors, row.errors);
        EXPECT_EQ(ReadFile(out + "x.nds"), row.xOutput);
        EXPECT_EQ(ReadFile(out + "y.nds"), Prefix(original, kUsed));
        EXPECT_EQ(testing::ListFolder(out), (std::vector<std::string>{"x.nds", "y.nds"}));
        EXPECT_EQ(ReadFile(roms + "x.nds"), original);
        EXPECT_EQ(ReadFile(roms + "y.nds"), original);
    }
}

TEST_F(TrimRunTest, AMissingEntryIsCountedAndTheRunGoesOn) {
    std::vector<std::string> entries;
    for (int i = 0; i < 10; ++i) {
        const std::string name = "r" + std::to_string(i) + ".nds";
        entries.push_back(i == 2 ? dir.file(name) : put(name, Nds()));
    }

    runOn(entries);

    EXPECT_EQ(run.counters().errors, 1);
    EXPECT_EQ(std::count(host.log.begin(), host.log.end(), "ERROR: File doesn't exist: r2.nds"), 1);
    EXPECT_EQ(host.labels[CounterLabel::Complete], "Files Processed: 10/10");
    EXPECT_EQ(ReadFile(entries[9]).size(), kUsed);
}

TEST_F(TrimRunTest, StopWhileTheFourthIsExaminedWritesNothingOfIt) {
    std::vector<std::string> entries;
    for (int i = 0; i < 10; ++i) {
        entries.push_back(put("r" + std::to_string(i) + ".nds", Nds()));
    }
    // The second pump with three entries done comes after the fourth was examined.
    int pumpsAtThree = 0;
    host.onPump = [&](RecordingHost& h) {
        if (h.gauges[Gauge::Run].first == 3 && ++pumpsAtThree == 2) {
            h.pressStop();
        }
    };

    EXPECT_EQ(runOn(entries), RunEnd::Halted);

    EXPECT_EQ(ReadFile(entries[2]).size(), kUsed);
    EXPECT_EQ(ReadFile(entries[3]).size(), 8_MiB);
    EXPECT_EQ(run.counters().processed, 3);
    EXPECT_EQ(host.gauges[Gauge::Run].first, 3u);
    EXPECT_EQ(
        std::vector<std::string>(host.log.end() - 2, host.log.end()),
        (std::vector<std::string>{"Halt Requested. Stopping Operations...", "Operations Halted"}));
    EXPECT_FALSE(host.halted());
    EXPECT_EQ(host.busyChanges.back(), false);
}

TEST_F(TrimRunTest, StopWhileTheFourthIsWrittenCompletesIt) {
    std::vector<std::string> entries;
    for (int i = 0; i < 10; ++i) {
        entries.push_back(put("r" + std::to_string(i) + ".nds", Nds()));
    }
    host.options.fileMode = FileMode::Backup;
    host.options.removeSceneNumbers = true;
    host.onPump = [&](RecordingHost& h) {
        if (!h.halted() && h.log.back() == "r3.nds: 2475008") {
            h.pressStop();
        }
    };

    EXPECT_EQ(runOn(entries), RunEnd::Halted);

    EXPECT_EQ(ReadFile(entries[3]).size(), kUsed);
    EXPECT_TRUE(testing::Exists(entries[3] + ".bak"));
    EXPECT_EQ(ReadFile(entries[4]).size(), 8_MiB);
    EXPECT_EQ(run.counters().processed, 4);
}

TEST_F(TrimRunTest, ASecondRunStartsFromZero) {
    const std::string missing = dir.file("gone.nds");
    runOn({missing});
    EXPECT_EQ(run.counters().errors, 1);

    const std::string path = put("game.nds", Nds());
    runOn({path});

    EXPECT_EQ(run.counters().errors, 0);
    EXPECT_EQ(host.labels[CounterLabel::Errors], "Errors:");
    EXPECT_EQ(body(), std::vector<std::string>{"game.nds: 2475008"});
}

TEST_F(TrimRunTest, AnEmptyListStillFinishes) {
    runOn(std::vector<RomListEntry>{});
    ASSERT_EQ(host.log.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(host.log.begin(), host.log.begin() + 5),
              (std::vector<std::string>{"Log", "", "", "Processing Finished.", ""}));
}

TEST_F(TrimRunTest, SceneNumbersAreRemovedAlsoFromSkippedEntries) {
    const Bytes trimmed = Prefix(Nds(), kUsed);
    const std::string skipped = put("0123 - abc.nds", trimmed);
    const std::string blocked = put("0124 - def.nds", trimmed);
    put("def.nds", Bytes(600, 1));
    const std::string failed = put("0125 - ghi.nds", Bytes(100, 0));
    host.options.removeSceneNumbers = true;

    runOn({skipped, blocked, failed});

    EXPECT_EQ(body(), (std::vector<std::string>{
                          "SKIP: File already trimmed (wifi status unknown): 0123 - abc.nds",
                          "Rename succesful: 0123 - abc.nds -> abc.nds",
                          "SKIP: File already trimmed (wifi status unknown): 0124 - def.nds",
                          "Rename FAILED: 0124 - def.nds -> def.nds",
                          "ERROR: Incorrect File: 0125 - ghi.nds",
                          "Rename succesful: 0125 - ghi.nds -> ghi.nds"}));
    EXPECT_EQ(host.labels[CounterLabel::Complete], "Files Processed: 3/3");
    EXPECT_EQ(testing::ListFolder(dir.path()),
              (std::vector<std::string>{"0124 - def.nds", "abc.nds", "def.nds", "ghi.nds"}));
    EXPECT_EQ(ReadFile(dir.file("abc.nds")), trimmed);
    EXPECT_EQ(ReadFile(dir.file("def.nds")), Bytes(600, 1));
    EXPECT_EQ(ReadFile(dir.file("ghi.nds")), Bytes(100, 0));
}

TEST_F(TrimRunTest, AnImageWhoseHeaderDoesNotCheckOutKeepsItsName) {
    const Bytes damaged = NdsImageBuilder().usedSize(kUsed).wrongHeaderChecksum().build();
    const std::string path = put("0123 - bad.nds", damaged);
    host.options.removeSceneNumbers = true;

    runOn({path});

    EXPECT_EQ(testing::ListFolder(dir.path()), std::vector<std::string>{"0123 - bad.nds"});
    EXPECT_EQ(ReadFile(path), damaged);
    ASSERT_EQ(host.reports.size(), 1u);
    EXPECT_EQ(host.reports[0].rename, RenameOutcome::NotTried);
}

TEST_F(TrimRunTest, BrickerSizeShowsTheNoticeAndIsJudged) {
    const std::string path = put("b.nds", NdsImageBuilder().size(151361).build());
    runOn({path});
    EXPECT_EQ(host.notices,
              std::vector<std::string>{"WARNING: POSSIBLE BRICKER DETECTED!!! CHECK LOG!"});
    EXPECT_EQ(body(), (std::vector<std::string>{
                          "WARNING: POSSIBLE BRICKER: b.nds",
                          "ERROR: File size mismatch or previously overtrimmed: b.nds"}));
    EXPECT_EQ(ReadFile(path).size(), 151361u);
}

TEST_F(TrimRunTest, CountersFollowSkipsWifiAndErrors) {
    const std::string wifi = put(
        "w.nds", NdsImageBuilder().usedSize(kUsed).wifiBlock(NdsImageBuilder::Block::Data).build());
    const std::string done = put("d.gba", Bytes(2048, 0x11));
    const std::string tiny = put("t.nds", Bytes(100, 0));
    host.separator = ",";
    testing::WiredTrimRun commaRun(host);

    commaRun.run(testing::FileEntries({wifi, done, tiny}));

    EXPECT_EQ(host.labels[CounterLabel::Wifi], "Wifi games: 1");
    EXPECT_EQ(host.labels[CounterLabel::Skipped], "Files skipped: 1");
    EXPECT_EQ(host.labels[CounterLabel::Errors], "Errors: 1");
    EXPECT_EQ(host.labels[CounterLabel::Savings], "Total Savings: 2,36 MB");
    EXPECT_EQ(ReadFile(wifi).size(), kUsed + 136u);
}

TEST_F(TrimRunTest, OnlyPatchLeavesGbaWholeAndStillCutsNds) {
    const Bytes gba = Gba();
    const std::string g = put("g.gba", gba);
    const std::string n = put("n.nds", Nds());
    host.options.onlyPatch = true;

    runOn({g, n});

    EXPECT_EQ(ReadFile(g), gba);
    EXPECT_EQ(ReadFile(n).size(), kUsed);
    EXPECT_EQ(body(), (std::vector<std::string>{"g.gba: 0", "n.nds: 2475008"}));
}

TEST_F(TrimRunTest, SkipDsiIsReadAfreshForEveryEntry) {
    const Bytes dsi = NdsImageBuilder()
                          .usedSize(kUsed)
                          .byte(0x12, 2)
                          .word(0x1E0, 0x4000)
                          .word(0x1E4, 100)
                          .word(0x1E8, 6000000)
                          .word(0x1EC, 1000)
                          .dataEnd(6001000)
                          .build();
    const std::string first = put("a.nds", dsi);
    const std::string second = put("b.nds", dsi);
    host.onPump = [](RecordingHost& h) { h.options.skipDsi = true; };

    runOn({first, second});

    EXPECT_EQ(body(), (std::vector<std::string>{"WARNING: DSi rom: a.nds", "a.nds: 2387608",
                                                "SKIP: DSi rom, skipping trimming: b.nds"}));
    EXPECT_EQ(ReadFile(first).size(), 6001000u);
    EXPECT_EQ(ReadFile(second), dsi);
}

TEST_F(TrimRunTest, DryRunDecidesAndLogsButWritesNothing) {
    for (const FileMode mode : {FileMode::Overwrite, FileMode::Backup, FileMode::Folder}) {
        SCOPED_TRACE(::testing::PrintToString(mode));
        TempDir local;
        const std::string out = local.subfolder("out");
        const std::string path = local.file("0123 - game.nds");
        WriteFile(path, Nds());
        host.options.fileMode = mode;
        host.options.outputFolder = out;
        host.options.dryRun = true;
        host.options.removeSceneNumbers = true;

        runOn({path});

        EXPECT_EQ(body()[0], "0123 - game.nds: 2475008");
        EXPECT_EQ(ReadFile(path), Nds());
        EXPECT_EQ(testing::ListFolder(local.path()),
                  (std::vector<std::string>{"0123 - game.nds", "out"}));
        EXPECT_TRUE(testing::ListFolder(out).empty());
    }
}

TEST_F(TrimRunTest, ALockedSourceIsSkippedAndTheRunGoesOn) {
    const std::string locked = put("locked.nds", Nds());
    const std::string free = put("free.nds", Nds());
    const int holder = open(locked.c_str(), O_RDONLY);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);

    runOn({locked, free});
    close(holder);

    EXPECT_EQ(body(), (std::vector<std::string>{"SKIP: In use by another run: locked.nds",
                                                "free.nds: 2475008"}));
    EXPECT_EQ(run.counters().skipped, 1);
    EXPECT_EQ(run.counters().errors, 0);
    EXPECT_EQ(ReadFile(locked), Nds());
}

TEST_F(TrimRunTest, AMissingOutputFolderIsAnErrorLinePerEntry) {
    const Bytes original = Nds();
    const std::string path = put("x.nds", original);
    host.options.fileMode = FileMode::Folder;
    host.options.outputFolder = dir.file("nowhere/");

    runOn({path, path});

    EXPECT_EQ(run.counters().errors, 2);
    EXPECT_EQ(body()[1], "ERROR: Cannot create file (No such file or directory): x.nds");
    EXPECT_EQ(ReadFile(path), original);
}

TEST_F(TrimRunTest, ASourceThatShrinksBeforeTheCopyGetsItsNameBack) {
    const std::string path = put("x.nds", Nds());
    host.options.fileMode = FileMode::Backup;
    host.onPump = [&](RecordingHost& h) {
        if (h.log.back() == "") {  // the pump between examination and output
            truncate(path.c_str(), 1000);
        }
    };

    runOn({path});

    EXPECT_EQ(body(), (std::vector<std::string>{"x.nds: 2475008",
                                                "ERROR: File changed since it was read: x.nds"}));
    EXPECT_EQ(testing::ListFolder(dir.path()), std::vector<std::string>{"x.nds"});
    EXPECT_EQ(ReadFile(path).size(), 1000u);
}

// Another run that kept the original as its backup and put its result in place while this
// run waited: this run finds the work done, skips the rom, and changes nothing.
TEST_F(TrimRunTest, ABackupMadeByAnotherRunMeanwhileIsASkip) {
    const Bytes original = Nds();
    const std::string path = put("x.nds", original);
    host.options.fileMode = FileMode::Backup;
    host.onPump = [&](RecordingHost& h) {
        if (h.log.back() == "" && !testing::Exists(path + ".bak")) {
            // The pump between examination and output: the other run's whole commit.
            ASSERT_EQ(link(path.c_str(), (path + ".bak").c_str()), 0);
            WriteFile(dir.file("other.tmp"), Prefix(original, kUsed));
            ASSERT_EQ(rename(dir.file("other.tmp").c_str(), path.c_str()), 0);
        }
    };

    runOn({path});

    EXPECT_EQ(body(),
              (std::vector<std::string>{"x.nds: 2475008", "SKIP: In use by another run: x.nds"}));
    EXPECT_EQ(run.counters().errors, 0);
    EXPECT_EQ(run.counters().skipped, 1);
    EXPECT_EQ(ReadFile(path), Prefix(original, kUsed));
    EXPECT_EQ(ReadFile(path + ".bak"), original);
    EXPECT_EQ(testing::ListFolder(dir.path()), (std::vector<std::string>{"x.nds", "x.nds.bak"}));
}

TEST_F(TrimRunTest, MissingArchiveAndPlainNamesWithABar) {
    const Bytes original = Nds();
    const std::string other = put("b.nds", original);
    const std::string barred = put("a| b.nds", original);

    runOn({testing::ZipMember(dir.file("gone.zip"), "m.nds"), RomListEntry::file(barred)});

    EXPECT_EQ(body(), (std::vector<std::string>{"ERROR(2): File doesn't exist: gone.zip",
                                                "a| b.nds: 2475008"}));
    EXPECT_EQ(ReadFile(barred).size(), kUsed);
    EXPECT_EQ(ReadFile(other), original);
}

// Stands in for the SRAM patcher: records which outputs it saw and their size.
class RecordingPatcher : public OutputPatcher {
  public:
    Status patch(File& output, SramPatchResult& result) override {
        std::uint64_t size = 0;
        EXPECT_TRUE(output.size(size).ok());
        sizes.push_back(size);
        result = {SramPatchOutcome::Patched, "patched", size};
        return Status::success();
    }
    Status checkImageSize(std::uint64_t) const override { return Status::success(); }
    Status plan(const ByteSource&, SramPatchResult&) override {
        return Status::failure("not planned");
    }
    std::vector<std::uint64_t> sizes;
};

TEST_F(TrimRunTest, GbaOutputGoesThroughThePatcherAfterItIsWritten) {
    RecordingPatcher patcher;
    ArchiveMemberExtraction extraction;
    TrimRun patchedRun(host.frontEnd(), extraction, patcher);
    const std::string out = dir.subfolder("out");
    const std::string n = put("n.nds", Nds());
    host.options.outputFolder = out;
    host.options.sramPatch = true;
    for (const FileMode mode : {FileMode::Overwrite, FileMode::Backup, FileMode::Folder}) {
        TempDir local;
        const std::string g = local.file("g.gba");
        WriteFile(g, Gba());
        host.options.fileMode = mode;
        patchedRun.run(testing::FileEntries({g, n}));
    }
    host.options.sramPatch = false;
    patchedRun.run(testing::FileEntries({put("h.gba", Gba())}));
    EXPECT_EQ(patcher.sizes, (std::vector<std::uint64_t>{1000, 1000, 1000}));
}

// A patcher that fails in a way no step expects: it throws.
class ThrowingPatcher final : public OutputPatcher {
  public:
    Status patch(File&, SramPatchResult&) override { throw std::runtime_error("no SHA-1"); }
    Status checkImageSize(std::uint64_t) const override { return Status::success(); }
    Status plan(const ByteSource&, SramPatchResult&) override {
        throw std::runtime_error("no SHA-1");
    }
};

// Whatever an entry throws is that entry's error line: its temporary is removed, its rom
// keeps its bytes, and the run goes on with the next entry.
TEST_F(TrimRunTest, AnExceptionFailsItsEntryAloneAndLeavesNothingBehind) {
    ThrowingPatcher patcher;
    ArchiveMemberExtraction extraction;
    TrimRun throwingRun(host.frontEnd(), extraction, patcher);
    host.options.sramPatch = true;
    for (const FileMode mode : {FileMode::Overwrite, FileMode::Backup, FileMode::Folder}) {
        SCOPED_TRACE(::testing::PrintToString(mode));
        TempDir local;
        const std::string out = local.subfolder("out");
        const std::string g = local.file("g.gba");
        const std::string n = local.file("n.nds");
        WriteFile(g, Gba());
        WriteFile(n, Nds());
        host.options.fileMode = mode;
        host.options.outputFolder = out;

        EXPECT_EQ(throwingRun.run(testing::FileEntries({g, n})), RunEnd::Finished);

        EXPECT_EQ(ReadFile(g), Gba());
        EXPECT_EQ(throwingRun.counters().errors, 1);
        EXPECT_TRUE(std::find(host.log.begin(), host.log.end(),
                              "ERROR: Cannot process file (no SHA-1): g.gba") != host.log.end());
        const std::string folder = mode == FileMode::Folder ? out : local.path();
        EXPECT_EQ(ReadFile(folder + "n.nds"), Prefix(Nds(), kUsed));
        for (const std::string& where : {local.path(), out}) {
            for (const std::string& name : testing::ListFolder(where)) {
                EXPECT_FALSE(name.starts_with(".ostravex-")) << name;
            }
        }
    }
}

// An entry reads the options once, when it starts: a box ticked while it is under way
// applies from the next entry on.
TEST_F(TrimRunTest, AnOptionChangedDuringAnEntryAppliesFromTheNext) {
    const Bytes v111{0x0E, 0x48, 0x39, 0x68, 0x01, 0x60, 0x0E, 0x48};
    const Bytes gba = GbaImageBuilder().size(4_MiB).dataEnd(1000).bytes(501, v111).build();
    const std::string first = put("first.gba", gba);
    const std::string second = put("second.gba", gba);
    host.onPump = [](RecordingHost& h) {
        if (h.log.back() == "") {  // the pump between examination and output
            h.options.sramPatch = true;
        }
    };

    runOn({first, second});

    EXPECT_EQ(ReadFile(first), Prefix(gba, 1000));     // cut, not patched
    EXPECT_EQ(ReadFile(second).size(), 1008u + 188u);  // patched
    EXPECT_EQ(body(), (std::vector<std::string>{"first.gba: 4193304", "second.gba: 4193304",
                                                "SRAM Patched: SRAM_EEProm_V111"}));
}

}  // namespace
}  // namespace ostravex

namespace ostravex {
namespace {

struct PatchCase {
    const char* name;
    FileMode mode;
    bool onlyPatch;
};

void PrintTo(const PatchCase& c, std::ostream* os) {
    *os << c.name;
}

class SramThroughTheRunTest : public TrimRunTest,
                              public ::testing::WithParamInterface<PatchCase> {};

TEST_P(SramThroughTheRunTest, GbaOutputIsPatchedAndNdsIsNot) {
    const PatchCase& c = GetParam();
    const Bytes v111{0x0E, 0x48, 0x39, 0x68, 0x01, 0x60, 0x0E, 0x48};
    const Bytes gba = GbaImageBuilder().size(4_MiB).dataEnd(1000).bytes(501, v111).build();
    const Bytes nds = Nds();
    const std::string roms = dir.subfolder("roms");
    const std::string out = dir.subfolder("out");
    WriteFile(roms + "g.gba", gba);
    WriteFile(roms + "n.nds", nds);
    host.options.fileMode = c.mode;
    host.options.outputFolder = out;
    host.options.sramPatch = true;
    host.options.onlyPatch = c.onlyPatch;

    runOn({roms + "g.gba", roms + "n.nds"});

    const std::string folder = c.mode == FileMode::Folder ? out : roms;
    const Bytes patched = ReadFile(folder + "g.gba");
    // Trimmed to 1000 bytes the image has no pad run: the routine goes at 1008 and the file
    // grows; whole, the routine goes into the filler at 1008 and the size stays.
    EXPECT_EQ(patched.size(), c.onlyPatch ? 4_MiB : 1008u + 188u);
    // Either way the bytes between the data and the routine are the image's 0xFF filler.
    EXPECT_EQ(Bytes(patched.begin() + 1000, patched.begin() + 1008), Bytes(8, 0xFF));
    EXPECT_EQ(Prefix(patched, 501), Prefix(gba, 501));
    EXPECT_EQ(Bytes(patched.begin() + 501, patched.begin() + 509),
              (Bytes{0x00, 0x48, 0x00, 0x47, 0xF1, 0x03, 0x00, 0x08}));  // 0x08000000 + 1009
    EXPECT_EQ(body(),
              (std::vector<std::string>{c.onlyPatch ? "g.gba: 0" : "g.gba: 4193304",
                                        "SRAM Patched: SRAM_EEProm_V111", "n.nds: 2475008"}));
    EXPECT_EQ(ReadFile(folder + "n.nds"), Prefix(nds, kUsed));
    if (c.mode == FileMode::Backup) {
        EXPECT_EQ(ReadFile(roms + "g.gba.bak"), gba);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, SramThroughTheRunTest,
                         ::testing::Values(PatchCase{"Overwrite", FileMode::Overwrite, false},
                                           PatchCase{"Backup", FileMode::Backup, false},
                                           PatchCase{"Folder", FileMode::Folder, false},
                                           PatchCase{"OverwriteOnlyPatch", FileMode::Overwrite,
                                                     true},
                                           PatchCase{"BackupOnlyPatch", FileMode::Backup, true},
                                           PatchCase{"FolderOnlyPatch", FileMode::Folder, true}));

}  // namespace
}  // namespace ostravex

namespace ostravex {
namespace {

// A front end that takes the engine's calls on a thread of its own, as a window that runs
// the engine elsewhere does: every call is queued and delivered on that thread, and its
// "Stop" is pressed there. The engine waits for nothing a call returns.
class QueuedHost final : public Host {
  public:
    explicit QueuedHost(RunControl& control) : m_control(control) {
        m_thread = std::thread([this] { deliver(); });
    }
    ~QueuedHost() override {
        post([this] { m_done = true; });
        m_thread.join();
    }

    // The engine's pump: lets the front end's thread catch up with what it was told.
    void catchUp() {
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [this] { return m_queue.empty() && !m_busy; });
    }
    // Lines seen on the front end's thread, and the line after which it presses "Stop".
    std::vector<std::string> seen;
    std::string stopAfter;

    using Host::addLog;
    void addLog(const std::string& line, LineKind) override {
        post([this, line] {
            seen.push_back(line);
            if (line == stopAfter) {
                m_control.requestHalt();
            }
        });
    }
    void clearLog() override {}
    void addRomEntry(const RomListEntry&) override {}
    void clearRomList() override {}
    void setLabel(CounterLabel, const std::string&) override {}
    void setGauge(Gauge, std::uint64_t, std::uint64_t) override {}
    void notice(const Notice&) override {}
    void setBusy(bool) override {}

  private:
    void post(std::function<void()> call) {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(call));
        m_wake.notify_one();
    }
    void deliver() {
        std::unique_lock lock(m_mutex);
        while (!m_done) {
            m_wake.wait(lock, [this] { return !m_queue.empty(); });
            std::function<void()> call = std::move(m_queue.front());
            m_queue.pop_front();
            m_busy = true;
            lock.unlock();
            call();
            lock.lock();
            m_busy = false;
            m_idle.notify_all();
        }
    }

    RunControl& m_control;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_idle;
    std::deque<std::function<void()>> m_queue;
    bool m_busy = false;
    bool m_done = false;
    std::thread m_thread;
};

TEST(TrimRunThreads, AStopPressedOnTheFrontEndsThreadHaltsTheRun) {
    TempDir dir;
    std::vector<std::string> paths;
    for (const char* name : {"a.nds", "b.nds", "c.nds"}) {
        paths.push_back(dir.file(name));
        WriteFile(paths.back(), Nds());
    }
    RunControl control;
    FixedRunOptions options(RunOptions{});
    std::vector<std::string> seen;
    {
        QueuedHost host(control);
        host.stopAfter = "a.nds: 2475008";
        control.setPump([&host] { host.catchUp(); });
        ArchiveMemberExtraction extraction;
        SramPatcher patcher;
        TrimRun run(FrontEnd{host, options, control}, extraction, patcher);

        EXPECT_EQ(run.run(testing::FileEntries(paths)), RunEnd::Halted);
        EXPECT_EQ(run.counters().processed, 1);
        host.catchUp();
        seen = host.seen;
    }
    EXPECT_EQ(std::vector<std::string>(seen.begin() + 3, seen.end()),
              (std::vector<std::string>{"a.nds: 2475008", "Operations Halted"}));
    EXPECT_EQ(ReadFile(paths[0]).size(), kUsed);
    EXPECT_EQ(ReadFile(paths[1]), Nds());
    EXPECT_FALSE(control.haltRequested());
}

}  // namespace
}  // namespace ostravex
