#include "sram/sram_patcher.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>

#include "sram/signature_search.h"
#include "sram/sram_catalogue.h"
#include "support/list_entries.h"
#include "support/recording_host.h"
#include "support/rom_images.h"
#include "trim/trim_run.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::operator""_MiB;

constexpr const char* kNotPossible = "SRAM Patch Not Possible on this Rom or it's already patched.";

Bytes EntrySignature(int entry) {
    const auto bytes = SramCatalogue()[entry - 1].signature;
    return {bytes.begin(), bytes.end()};
}
Bytes EntryReplacement(int entry) {
    const auto bytes = SramCatalogue()[entry - 1].replacement;
    return {bytes.begin(), bytes.end()};
}

// An image of `size` bytes of 0x11 (matching nothing) with byte strings placed in it.
struct Image {
    explicit Image(std::size_t size) : bytes(size, 0x11) {}
    Image& put(std::size_t offset, const Bytes& values) {
        std::copy(values.begin(), values.end(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(offset));
        return *this;
    }
    Bytes bytes;
};

// Applies a plan the way the patcher does, to a copy.
Bytes Apply(Bytes image, const SramPatchPlan& plan) {
    for (const auto& write : plan.writes) {
        if (image.size() < write.offset + write.bytes.size()) {
            image.resize(write.offset + write.bytes.size(), 0);
        }
        std::copy(write.bytes.begin(), write.bytes.end(),
                  image.begin() + static_cast<std::ptrdiff_t>(write.offset));
    }
    return image;
}

Bytes Slice(const Bytes& bytes, std::size_t offset, std::size_t length) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                 bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

struct GroupCase {
    const char* group;  // the group whose signatures are placed
    std::vector<int> entries;
    const char* logLine;  // what completes
};

void PrintTo(const GroupCase& c, std::ostream* os) {
    *os << c.group;
}

class SramGroupTest : public ::testing::TestWithParam<GroupCase> {};

TEST_P(SramGroupTest, GroupCompletesWithSignaturesAtOddOffsets) {
    const GroupCase& c = GetParam();
    Image image(8192);
    std::vector<std::size_t> offsets;
    std::size_t offset = 101;
    for (const int entry : c.entries) {
        image.put(offset, EntrySignature(entry));
        offsets.push_back(offset);
        offset += 213;  // odd, so signatures stand at unaligned offsets
    }
    const SramPatchPlan plan = PlanSramPatch(image.bytes);
    EXPECT_EQ(plan.logLine, c.logLine);
    const Bytes patched = Apply(image.bytes, plan);
    // The last placed entry is the one that completed; its replacement stands at its place.
    const int last = c.entries.back();
    EXPECT_EQ(Slice(patched, offsets.back(), EntryReplacement(last).size()),
              EntryReplacement(last));
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, SramGroupTest,
    ::testing::Values(
        GroupCase{"Flash1M_V102", {1, 2, 3, 4}, "SRAM Patched: SRAM_Flash1M_V102"},
        // Entry 9 repeats entry 4, which ends the patch first.
        GroupCase{"Flash1M_V103", {1, 2, 7, 8, 4}, "SRAM Patched: SRAM_Flash1M_V102"},
        GroupCase{"Flash512", {10, 11, 12, 13, 14}, "SRAM Patched: SRAM_Flash512_V130_V131_V133"},
        GroupCase{"EEProm_V120", {15, 16}, "SRAM Patched: SRAM_EEProm_V120_V121_V122"},
        GroupCase{"EEProm_V124", {17, 18}, "SRAM Patched: SRAM_EEProm_V124"},
        GroupCase{"EEProm_V126", {17, 20}, "SRAM Patched: SRAM_EEProm_V126"},
        GroupCase{"Flash_V120", {21, 22, 23}, "SRAM Patched: SRAM_Flash_V120_V121"},
        GroupCase{"Flash_V123", {24, 25, 26, 27}, "SRAM Patched: SRAM_Flash_V123_V124"},
        // Entry 31 repeats entry 27, which ends the patch first.
        GroupCase{"Flash_V125", {24, 29, 30, 27}, "SRAM Patched: SRAM_Flash_V123_V124"}));

TEST(SramPatch, WritesOfGroupsThatDoNotCompleteStay) {
    // Signature 25 is the tail of signature 29, and the two replacements agree there.
    Image image(4096);
    image.put(301, EntrySignature(29));
    const SramPatchPlan plan = PlanSramPatch(image.bytes);
    EXPECT_EQ(plan.logLine, kNotPossible);
    ASSERT_EQ(plan.writes.size(), 2u);
    EXPECT_EQ(plan.writes[0].offset, 303u);  // entry 25
    EXPECT_EQ(plan.writes[1].offset, 301u);  // entry 29
    EXPECT_EQ(Slice(Apply(image.bytes, plan), 301, 8), EntryReplacement(29));
}

TEST(SramPatch, FirstEntriesOnlyFallThroughToV111) {
    Image image(4096);
    image.put(11, EntrySignature(1)).put(333, EntrySignature(2)).put(777, EntrySignature(3));
    image.put(2001, Bytes(std::begin(kV111Signature), std::end(kV111Signature)));
    const SramPatchPlan plan = PlanSramPatch(image.bytes);
    EXPECT_EQ(plan.logLine, "SRAM Patched: SRAM_EEProm_V111");
    const Bytes patched = Apply(image.bytes, plan);
    EXPECT_EQ(Slice(patched, 11, 138), EntryReplacement(1));
    EXPECT_EQ(Slice(patched, 777, 22), EntryReplacement(3));
}

TEST(SramPatch, V111ExampleImage) {
    Image image(100);
    image.put(40, Bytes(std::begin(kV111Signature), std::end(kV111Signature)));
    const SramPatchPlan plan = PlanSramPatch(image.bytes);
    EXPECT_EQ(plan.logLine, "SRAM Patched: SRAM_EEProm_V111");
    const Bytes patched = Apply(image.bytes, plan);
    ASSERT_EQ(patched.size(), 300u);
    EXPECT_EQ(Slice(patched, 40, 8), (Bytes{0x00, 0x48, 0x00, 0x47, 0x71, 0x00, 0x00, 0x08}));
    EXPECT_EQ(Slice(patched, 100, 12), Bytes(12, 0));
    const auto routine = V111RoutineTemplate();
    EXPECT_EQ(Slice(patched, 112, 184), Bytes(routine.begin(), routine.begin() + 184));
    EXPECT_EQ(Slice(patched, 112 + 184, 4), (Bytes{0x49, 0x00, 0x00, 0x08}));
}

TEST(SramPatch, V111RoutineGoesIntoThePadRun) {
    for (const std::uint8_t pad : {0xFF, 0x00}) {
        Image image(1024);
        std::fill(image.bytes.begin() + 500, image.bytes.end(), pad);
        image.put(99, Bytes(std::begin(kV111Signature), std::end(kV111Signature)));
        image.put(201,
                  Bytes(std::begin(kV111SecondarySignature), std::end(kV111SecondarySignature)));
        EXPECT_EQ(V111AppendPoint(image.bytes), 512u);
        const Bytes patched = Apply(image.bytes, PlanSramPatch(image.bytes));
        EXPECT_EQ(patched.size(), 1024u);
        EXPECT_EQ(Slice(patched, 99 + 4, 4), (Bytes{0x01, 0x02, 0x00, 0x08}));  // 512 + 1
        EXPECT_EQ(Slice(patched, 201, 8), Bytes(std::begin(kV111SecondaryReplacement),
                                                std::end(kV111SecondaryReplacement)));
        EXPECT_EQ(Slice(patched, 512 + 184, 4), (Bytes{99 + 33, 0x00, 0x00, 0x08}));
        EXPECT_EQ(patched[700], pad);
    }
}

TEST(SramPatch, AllPadImageAppendsAtTheStart) {
    EXPECT_EQ(V111AppendPoint(Bytes(64, 0xFF)), 0u);
    EXPECT_EQ(V111AppendPoint(Bytes(4, 0xFF)), 16u);  // too short for a pad run
    EXPECT_EQ(V111AppendPoint(Bytes(33, 0x11)), 48u);
}

TEST(SramPatch, SecondRunOverAV111PatchedImageFindsNothing) {
    Image image(100);
    image.put(40, Bytes(std::begin(kV111Signature), std::end(kV111Signature)));
    const Bytes once = Apply(image.bytes, PlanSramPatch(image.bytes));
    const SramPatchPlan again = PlanSramPatch(once);
    EXPECT_EQ(again.logLine, kNotPossible);
    EXPECT_TRUE(again.writes.empty());
}

TEST(SramPatch, AddressesPast16MiBCarryIntoTheTopByte) {
    Image image(17_MiB + 300);
    const std::size_t at = 17_MiB + 3;
    image.put(at, Bytes(std::begin(kV111Signature), std::end(kV111Signature)));
    const Bytes patched = Apply(image.bytes, PlanSramPatch(image.bytes));
    const std::uint64_t app = 17_MiB + 304;  // 17 MiB + 300 raised to a multiple of 16
    const std::uint32_t stubTarget = 0x08000000 + static_cast<std::uint32_t>(app) + 1;
    EXPECT_EQ(
        Slice(patched, at + 4, 4),
        (Bytes{static_cast<std::uint8_t>(stubTarget), static_cast<std::uint8_t>(stubTarget >> 8),
               static_cast<std::uint8_t>(stubTarget >> 16), 0x09}));
    const std::uint32_t returnTo = 0x08000000 + static_cast<std::uint32_t>(at) + 33;
    EXPECT_EQ(Slice(patched, app + 184, 4),
              (Bytes{static_cast<std::uint8_t>(returnTo), static_cast<std::uint8_t>(returnTo >> 8),
                     static_cast<std::uint8_t>(returnTo >> 16), 0x09}));
}

TEST(SramPatch, AReplacementMayRunPastTheEnd) {
    Image image(512);
    const Bytes signature = EntrySignature(14);
    image.put(512 - signature.size(), signature);
    const Bytes patched = Apply(image.bytes, PlanSramPatch(image.bytes));
    EXPECT_EQ(patched.size(), 512 - signature.size() + EntryReplacement(14).size());
}

TEST(SramPatch, PatcherWritesThroughTheFileAndLogsOnce) {
    testing::TempDir dir;
    Image image(100);
    image.put(40, Bytes(std::begin(kV111Signature), std::end(kV111Signature)));
    const std::string path = dir.file("g.gba");
    testing::WriteFile(path, image.bytes);
    File file;
    ASSERT_TRUE(file.openForUpdate(path).ok());
    testing::RecordingHost host;
    SramPatcher patcher;
    ASSERT_TRUE(patcher.SRAMPatch(file, host).ok());
    file.close();
    EXPECT_EQ(host.log, std::vector<std::string>{"SRAM Patched: SRAM_EEProm_V111"});
    EXPECT_EQ(testing::ReadFile(path), Apply(image.bytes, PlanSramPatch(image.bytes)));
}

TEST(SignatureSearch, FirstOccurrenceOfEachInOnePass) {
    const Bytes a{1, 2, 3, 4, 5, 6};
    const Bytes b{1, 2, 3, 4, 5, 6, 7, 8};  // a is a prefix of b
    const Bytes c{9, 9, 9, 9, 9, 9};
    const Bytes d{6, 1, 2, 3, 4, 5};
    const SignatureSearch search({a, b, c, d});
    Bytes data(64, 0);
    std::copy(a.begin(), a.end(), data.begin() + 3);
    std::copy(b.begin(), b.end(), data.begin() + 21);
    std::copy(a.begin(), a.end(), data.begin() + 40);
    std::copy(c.begin(), c.end(), data.end() - 6);  // at the very end
    EXPECT_EQ(search.firstOccurrences(data),
              (std::vector<std::size_t>{3, 21, 58, SignatureSearch::kNotFound}));
    EXPECT_EQ(search.firstOccurrences(Bytes{1, 2, 3}),
              (std::vector<std::size_t>(4, SignatureSearch::kNotFound)));
    // Overlapping runs: 9 9 9 9 9 9 9 is found at its first possible start.
    Bytes nines(10, 9);
    nines[0] = 0;
    EXPECT_EQ(search.firstOccurrences(nines)[2], 1u);
}

// The patcher reads the image in blocks: signatures across a block border and a pad run
// longer than a block must give the same plan as the image held whole.
TEST(SramPatch, ReadingInBlocksFindsWhatStraddlesTheirBorders) {
    constexpr std::size_t kBlock = 256 * 1024;
    const Bytes v111(std::begin(kV111Signature), std::end(kV111Signature));
    const Bytes secondary(std::begin(kV111SecondarySignature), std::end(kV111SecondarySignature));
    Image image(4 * kBlock);
    image.put(kBlock - 4, v111).put(2 * kBlock - 1, secondary);
    // Pad bytes run from the end of the data over more than one block.
    const std::size_t dataEnd = 2 * kBlock + 50001;
    std::fill(image.bytes.begin() + dataEnd, image.bytes.end(), 0xFF);

    const SramPatchPlan plan = PlanSramPatch(image.bytes);
    ASSERT_EQ(plan.writes.size(), 3u);
    EXPECT_EQ(plan.writes[0].offset, kBlock - 4);
    EXPECT_EQ(plan.writes[1].offset, 2 * kBlock - 1);
    EXPECT_EQ(plan.writes[2].offset, dataEnd + 15);

    testing::TempDir dir;
    const std::string path = dir.file("g.gba");
    testing::WriteFile(path, image.bytes);
    File file;
    ASSERT_TRUE(file.openForUpdate(path).ok());
    testing::RecordingHost host;
    SramPatcher patcher;
    ASSERT_TRUE(patcher.SRAMPatch(file, host).ok());
    file.close();
    EXPECT_EQ(testing::ReadFile(path), Apply(image.bytes, plan));
}

struct SizeCase {
    const char* name;
    std::uint64_t size;  // sparse: 1000 bytes of data, zeros after them
    bool onlyPatch;
    bool refused;
    bool dryRun = false;
};

class SramPatchSize : public ::testing::TestWithParam<SizeCase> {};

// No cartridge is larger than 32 MiB: a larger image is not read into memory or patched
// (it once ended the program), its entry fails alone, and its trimming goes on as usual.
// A dry run refuses it the same way and plans no patch for it.
TEST_P(SramPatchSize, ImagesLargerThanACartridgeAreNotPatched) {
    const SizeCase& c = GetParam();
    testing::TempDir dir;
    const Bytes small = testing::GbaImageBuilder().size(8192).dataEnd(1000).build();
    testing::WriteFile(dir.file("big.gba"), Bytes(small.begin(), small.begin() + 1000));
    if (truncate(dir.file("big.gba").c_str(), static_cast<off_t>(c.size)) != 0) {
        GTEST_SKIP() << "no sparse file of that size here";
    }
    testing::WriteFile(dir.file("small.gba"), small);
    testing::RecordingHost host;
    host.mode = FileMode::Overwrite;
    host.set(Option::SramPatch);
    host.set(Option::OnlyPatch, c.onlyPatch);
    host.set(Option::DryRun, c.dryRun);
    TrimRun run(host);
    run.run(testing::FileEntries({dir.file("big.gba"), dir.file("small.gba")}));

    const std::string refusal = "ERROR: SRAM patch failed (image larger than 32 MiB): big.gba";
    EXPECT_EQ(std::ranges::count(host.log, refusal), c.refused ? 1 : 0);
    EXPECT_EQ(run.counters().ErrorCount, c.refused ? 1 : 0);
    EXPECT_EQ(std::ranges::count(host.log, std::string(kNotPossible)), c.refused ? 1 : 2);
    struct stat info {};
    ASSERT_EQ(stat(dir.file("big.gba").c_str(), &info), 0);
    EXPECT_EQ(static_cast<std::uint64_t>(info.st_size), c.onlyPatch || c.dryRun ? c.size : 1000u);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, SramPatchSize,
    ::testing::Values(SizeCase{"OnlyPatch32MiB", 32_MiB, true, false},
                      SizeCase{"OnlyPatch32MiBAndOne", 32_MiB + 1, true, true},
                      SizeCase{"OnlyPatch64GiB", 65536_MiB, true, true},
                      SizeCase{"Trimmed40MiB", 40_MiB, false, false},
                      SizeCase{"DryRun32MiB", 32_MiB, true, false, true},
                      SizeCase{"DryRun32MiBAndOne", 32_MiB + 1, true, true, true},
                      SizeCase{"DryRunTrimmed40MiB", 40_MiB, false, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ostravex
