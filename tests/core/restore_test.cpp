// Restoring trimmed images to their full size, and the file options around it.
#include <gtest/gtest.h>

#include "support/archive_builders.h"
#include "support/list_entries.h"
#include "support/recording_host.h"
#include "support/rom_images.h"
#include "support/wired_trim_run.h"
#include "trim/restore_decision.h"
#include "trim/trim_run.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::GbaImageBuilder;
using testing::ListFolder;
using testing::NdsImageBuilder;
using testing::ReadFile;
using testing::RecordingHost;
using testing::TempDir;
using testing::WriteFile;
using testing::ZipBuilder;
using testing::operator""_MiB;

constexpr std::uint32_t kUsed = 5913600;
constexpr std::uint8_t kCapacity8MiB = 6;  // 128 KiB << 6

NdsImageBuilder Nds8MiB() {
    return NdsImageBuilder().usedSize(kUsed).size(8_MiB).byte(0x14, kCapacity8MiB);
}

// The log without the three header lines and the closing three lines.
std::vector<std::string> Body(const RecordingHost& host) {
    std::vector<std::string> lines(host.log.begin() + 3, host.log.end());
    if (lines.size() >= 3 && lines[lines.size() - 3] == "Processing Finished.") {
        lines.resize(lines.size() - 3);
    }
    return lines;
}

RecordingHost RunOn(const RomListEntry& entry, bool restore, FileMode mode = FileMode::Overwrite,
                    const std::string& folder = "") {
    RecordingHost host;
    host.options.fileMode = mode;
    host.options.outputFolder = folder;
    host.options.restore = restore;
    testing::WiredTrimRun run(host);
    EXPECT_EQ(run.run({entry}), RunEnd::Finished);
    return host;
}

TEST(Restore, TrimThenRestoreGivesBackTheOriginalBytes) {
    struct Row {
        const char* behaviour;
        const char* name;
        Bytes original;
        std::uint64_t trimmedSize;
    };
    const Row rows[] = {
        {"NDS whose download-play block is blank", "game.nds", Nds8MiB().build(), kUsed},
        {"NDS that keeps its download-play block", "wifi.nds",
         Nds8MiB().wifiBlock(NdsImageBuilder::Block::Data).build(), kUsed + 136},
        {"NDS of a size that is not a whole MiB of filler away", "odd.nds",
         NdsImageBuilder().usedSize(1000001).size(2_MiB).byte(0x14, 4).build(), 1000001},
        {"GBA", "game.gba", GbaImageBuilder().size(4_MiB).dataEnd(3000000).build(), 3000000},
        {"GBA smaller than 1 MiB trimmed from 1 MiB", "small.gba",
         GbaImageBuilder().size(1_MiB).dataEnd(300000).build(), 300000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        TempDir dir;
        const std::string path = dir.file(row.name);
        WriteFile(path, row.original);

        RunOn(RomListEntry::file(path), false);
        ASSERT_EQ(ReadFile(path).size(), row.trimmedSize);
        const RecordingHost host = RunOn(RomListEntry::file(path), true);

        EXPECT_EQ(ReadFile(path), row.original);
        const std::uint64_t added = row.original.size() - row.trimmedSize;
        // A GBA image says nothing of its cartridge: its size is a guess, and said to be.
        const std::string assumed =
            std::string_view(row.name).ends_with(".gba")
                ? " (assumed " + std::to_string(row.original.size() >> 20) + " MiB)"
                : "";
        EXPECT_EQ(Body(host),
                  std::vector<std::string>{std::string("RESTORED: ") + row.name + ": " +
                                           std::to_string(added) + " bytes added" + assumed});
        EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{row.name});
    }
}

TEST(Restore, FollowsTheFileOptions) {
    const Bytes original = Nds8MiB().build();
    const Bytes trimmed(original.begin(), original.begin() + kUsed);

    {
        SCOPED_TRACE("backup: the trimmed file becomes the .bak");
        TempDir dir;
        WriteFile(dir.file("game.nds"), trimmed);
        const RecordingHost host =
            RunOn(RomListEntry::file(dir.file("game.nds")), true, FileMode::Backup);
        EXPECT_EQ(host.labels.at(CounterLabel::Savings), "Total Added: 2.36 MB");
        EXPECT_EQ(ReadFile(dir.file("game.nds")), original);
        EXPECT_EQ(ReadFile(dir.file("game.nds.bak")), trimmed);
    }
    {
        SCOPED_TRACE("folder: the source is untouched");
        TempDir dir;
        const std::string out = dir.subfolder("out");
        WriteFile(dir.file("game.nds"), trimmed);
        RunOn(RomListEntry::file(dir.file("game.nds")), true, FileMode::Folder, out);
        EXPECT_EQ(ReadFile(dir.file("game.nds")), trimmed);
        EXPECT_EQ(ReadFile(out + "game.nds"), original);
    }
    {
        SCOPED_TRACE("zip member: restored beside the archive, the archive untouched");
        TempDir dir;
        const Bytes archive = ZipBuilder().add("roms/game.nds", trimmed).build();
        WriteFile(dir.file("a.zip"), archive);
        const RecordingHost host =
            RunOn(testing::ZipMember(dir.file("a.zip"), "roms/game.nds"), true);
        EXPECT_EQ(ReadFile(dir.file("game.nds")), original);
        EXPECT_EQ(ReadFile(dir.file("a.zip")), archive);
        EXPECT_EQ(Body(host),
                  std::vector<std::string>{"RESTORED: roms/game.nds: 2475008 bytes added"});
    }
}

TEST(Restore, SkipsOrRefusesWhatItCannotRestore) {
    struct Row {
        const char* behaviour;
        const char* name;
        Bytes image;
        std::string line;
        bool error = false;
    };
    const Row rows[] = {
        {"already at its cartridge size", "full.nds", Nds8MiB().build(),
         "SKIP: Already at its cartridge size, not restored: full.nds"},
        {"above its cartridge size, data within it", "over.nds",
         NdsImageBuilder().usedSize(1000).size(1_MiB + 4096).byte(0x14, 3).build(),
         "SKIP: Already at its cartridge size, not restored: over.nds"},
        {"cartridge size below the used size", "small.nds",
         NdsImageBuilder().usedSize(kUsed).size(kUsed).byte(0x14, 5).build(),
         "SKIP: Cartridge size in the header is below the used size, not restored: small.nds"},
        {"cartridge size above 4 GiB", "huge.nds",
         NdsImageBuilder().usedSize(kUsed).size(kUsed).byte(0x14, 16).build(),
         "SKIP: Cartridge size in the header is above 512 MiB, not restored: huge.nds"},
        // 128 KiB << 15 would pad a 700 KB file to 4 GiB; the largest cartridges made are
        // 512 MiB (capacity 12).
        {"capacity byte 15 on a 700 KB file", "implausible.nds",
         NdsImageBuilder().usedSize(700000).size(700000).byte(0x14, 15).build(),
         "SKIP: Cartridge size in the header is above 512 MiB, not restored: implausible.nds"},
        {"capacity byte 13, one above the largest cartridge", "thirteen.nds",
         NdsImageBuilder().usedSize(700000).size(700000).byte(0x14, 13).build(),
         "SKIP: Cartridge size in the header is above 512 MiB, not restored: thirteen.nds"},
        {"header checksum wrong", "damaged.nds",
         NdsImageBuilder()
             .usedSize(kUsed)
             .size(kUsed)
             .byte(0x14, kCapacity8MiB)
             .wrongHeaderChecksum()
             .build(),
         "SKIP: Header checksum does not match (damaged or not an NDS image): damaged.nds"},
        {"GBA already a power of two", "full.gba", GbaImageBuilder().size(4_MiB).build(),
         "SKIP: Size is already a power of two, not restored: full.gba"},
        {"GBA larger than any GBA cartridge", "big.gba",
         GbaImageBuilder().size(32_MiB + 1000).dataEnd(32_MiB + 1000).build(),
         "SKIP: Larger than a GBA cartridge (32 MiB), not restored: big.gba"},
        {"NDS shorter than its used size", "cut.nds",
         NdsImageBuilder().usedSize(kUsed).size(kUsed - 1).byte(0x14, kCapacity8MiB).build(),
         "ERROR: File size mismatch or previously overtrimmed: cut.nds", true},
        {"NDS cut inside its download-play block", "block.nds",
         NdsImageBuilder()
             .usedSize(kUsed)
             .wifiBlock(NdsImageBuilder::Block::Data)
             .size(kUsed + 50)
             .byte(0x14, kCapacity8MiB)
             .build(),
         "ERROR: Previous trimming was wrong. Untrimmed source rom needed: block.nds", true},
        {"under 512 bytes", "tiny.gba", Bytes(400, 0x11), "ERROR: Incorrect File: tiny.gba", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        TempDir dir;
        const std::string path = dir.file(row.name);
        WriteFile(path, row.image);
        const RecordingHost host = RunOn(RomListEntry::file(path), true);
        EXPECT_EQ(Body(host), std::vector<std::string>{row.line});
        EXPECT_EQ(host.labels.at(row.error ? CounterLabel::Errors : CounterLabel::Skipped),
                  std::string(row.error ? "Errors: 1" : "Files skipped: 1"));
        EXPECT_EQ(host.labels.at(CounterLabel::Savings), "Total Added:");
        EXPECT_EQ(ReadFile(path), row.image);
    }
}

// What a restore stopped part-way leaves, the original followed by part of its filler, is
// completed; bytes after the data that are not filler are not what a restore leaves, and the
// rom is left as it is.
TEST(Restore, APartlyRestoredRomIsCompletedAndOtherBytesAfterTheDataAreLeftAlone) {
    const Bytes original = Nds8MiB().build();
    const Bytes wifi = Nds8MiB().wifiBlock(NdsImageBuilder::Block::Data).build();
    const auto prefix = [](const Bytes& image, std::size_t size) {
        return Bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(size));
    };
    Bytes strayByte = prefix(original, kUsed + 300000);
    strayByte.back() = 0x00;
    Bytes strayInGap = prefix(original, kUsed + 100);
    strayInGap.back() = 0x00;
    struct Row {
        const char* behaviour;
        Bytes image;
        Bytes after;       // what the rom holds afterwards
        std::string line;  // the entry's line
    };
    const Row rows[] = {
        {"one byte of filler", prefix(original, kUsed + 1), original,
         "RESTORED: x.nds: 2475007 bytes added"},
        {"all but the last byte", prefix(original, 8_MiB - 1), original,
         "RESTORED: x.nds: 1 bytes added"},
        {"download-play data, then some filler", prefix(wifi, kUsed + 136 + 5000), wifi,
         "RESTORED: x.nds: 2469872 bytes added"},
        {"a byte that is not filler after the download-play block", strayByte, strayByte,
         "SKIP: Bytes after the used size are not filler, not restored: x.nds"},
        {"a byte that is not filler where the download-play block would stand", strayInGap,
         strayInGap, "ERROR: Previous trimming was wrong. Untrimmed source rom needed: x.nds"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        TempDir dir;
        const std::string path = dir.file("x.nds");
        WriteFile(path, row.image);
        const RecordingHost host = RunOn(RomListEntry::file(path), true);
        EXPECT_EQ(Body(host), std::vector<std::string>{row.line});
        EXPECT_EQ(ReadFile(path), row.after);
    }
}

TEST(RestoreDecision, TheLargestCartridgeIsStillRestoredAndOneAboveIsNot) {
    const Bytes trimmed = NdsImageBuilder().usedSize(700000).size(700000).byte(0x14, 12).build();
    EXPECT_EQ(DecideRestore(MemoryByteSource(trimmed), false).cutSize,
              static_cast<std::int64_t>(512_MiB));
    const Bytes above = NdsImageBuilder().usedSize(700000).size(700000).byte(0x14, 13).build();
    EXPECT_FALSE(DecideRestore(MemoryByteSource(above), false).cutSize);
}

TEST(RestoreDecision, TheHeaderCheckCanBeTurnedOff) {
    const Bytes damaged = Nds8MiB().size(kUsed).wrongHeaderChecksum().build();
    const CutVerdict checked = DecideRestore(MemoryByteSource(damaged), false);
    EXPECT_TRUE(checked.headerMismatch);
    EXPECT_FALSE(checked.cutSize);
    EXPECT_EQ(DecideRestore(MemoryByteSource(damaged), false, HeaderCheck::Off).cutSize,
              static_cast<std::int64_t>(8_MiB));
}

TEST(Restore, DryRunLogsTheRestoreAndWritesNothing) {
    TempDir dir;
    const Bytes original = Nds8MiB().build();
    const Bytes trimmed(original.begin(), original.begin() + kUsed);
    WriteFile(dir.file("game.nds"), trimmed);
    RecordingHost host;
    host.options.restore = true;
    host.options.dryRun = true;
    testing::WiredTrimRun run(host);
    run.run(testing::FileEntries({dir.file("game.nds")}));
    EXPECT_EQ(Body(host), std::vector<std::string>{"RESTORED: game.nds: 2475008 bytes added"});
    EXPECT_EQ(ReadFile(dir.file("game.nds")), trimmed);
}

// The patch of a restored image is planned on the source followed by its filler, so a dry
// run logs what the real run then does.
TEST(Restore, SramPatchOfARestoredImageIsTheSameInADryRun) {
    const Bytes trimmed =
        testing::WithFlashV123Routines(GbaImageBuilder().size(60000).dataEnd(60000)).build();
    const std::vector<std::string> expected = {
        "SRAM Patched: SRAM_Flash_V123_V124",
        "RESTORED: save.gba: 988576 bytes added (assumed 1 MiB)"};
    for (const bool dryRun : {true, false}) {
        SCOPED_TRACE(dryRun ? "dry run" : "real run");
        TempDir dir;
        WriteFile(dir.file("save.gba"), trimmed);
        RecordingHost host;
        host.options.restore = true;
        host.options.sramPatch = true;
        host.options.dryRun = dryRun;
        testing::WiredTrimRun run(host);
        run.run(testing::FileEntries({dir.file("save.gba")}));
        EXPECT_EQ(Body(host), expected);
        EXPECT_EQ(ReadFile(dir.file("save.gba")).size(), dryRun ? trimmed.size() : 1_MiB);
    }
}

}  // namespace
}  // namespace ostravex
