#include "sram/sram_patcher.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <span>
#include <string>
#include <string_view>

#include "sram/signature_search.h"
#include "sram/sram_catalogue.h"
#include "support/list_entries.h"
#include "support/recording_host.h"
#include "support/rom_images.h"
#include "support/wired_trim_run.h"
#include "trim/trim_run.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::operator""_MiB;

constexpr const char* kNotPossible = "SRAM Patch Not Possible on this Rom or it's already patched.";

// The catalogue's true bytes, written down independently of the patcher's own tables so
// that a wrong byte there fails here. Hex, first byte first.
struct GoldenEntry {
    int entry;
    const char* group;  // on the last entry of a group only
    const char* signature;
    const char* replacement;
};

constexpr GoldenEntry kGoldenCatalogue[] = {
    {1, "",
     "05 4B AA 21 19 70 05 4A 55 21 11 70 B0 21 19 70 E0 21 09 05 08 70 70 47 55 55 00 0E AA 2A 00 "
     "0E 30 B5 91 B0 68 46 00 F0 F3 F8 6D 46 01 35 06 4A AA 20 10 70 05 49 55 20 08 70 90 20 10 70 "
     "10 A9 03 4A 10 1C 08 E0 00 00 55 55 00 0E AA 2A 00 0E 20 4E 00 00 08 88 01 38 08 80 08 88 00 "
     "28 F9 D1 0C 48",
     "05 4B 80 21 09 02 09 22 12 06 9F 44 11 80 03 49 C3 02 C9 18 11 80 70 47 FE FF FF 01 00 00 00 "
     "00 30 B5 91 B0 68 46 00 F0 F3 F8 6D 46 01 35 06 4A AA 20 00 00 05 49 55 20 00 00 90 20 00 00 "
     "10 A9 03 4A 10 1C 08 E0 00 00 55 55 00 0E AA 2A 00 0E 20 4E 00 00 08 88 01 38 08 80 08 88 00 "
     "28 F9 D1 0C 48 13 20 13 20 00 06 04 0C E0 20 00 05 62 20 62 20 00 06 00 0E 04 43 07 49 AA 20 "
     "00 00 07 4A 55 20 00 00 F0 20 00 00 00 00"},
    {2, "", "14 49 AA 24 0C 70 13 4B 55 22 1A 70 80 20 08 70 0C 70 1A 70 10 20 08 70",
     "0E 21 09 06 FF 24 80 22 13 4B 52 02 01 3A 8C 54 FC D1 00 00 00 00 00 00"},
    {3, "", "AA 25 0D 70 13 4B 55 22 1A 70 80 20 08 70 0D 70 1A 70 30 20 20 70",
     "FF 25 08 22 00 00 52 02 01 3A A5 54 FC D1 00 00 00 00 00 00 00 00"},
    {4, "SRAM_Flash1M_V102", "22 70 09 4B 55 22 1A 70 A0 22 22 70",
     "00 00 09 4B 55 22 00 00 A0 22 00 00"},
    {5, "",
     "05 4B AA 21 19 70 05 4A 55 21 11 70 B0 21 19 70 E0 21 09 05 08 70 70 47 55 55 00 0E AA 2A 00 "
     "0E 30 B5 91 B0 68 46 00 F0 F3 F8 6D 46 01 35 06 4A AA 20 10 70 05 49 55 20 08 70 90 20 10 70 "
     "10 A9 03 4A 10 1C 08 E0 00 00 55 55 00 0E AA 2A 00 0E 20 4E 00 00 08 88 01 38 08 80 08 88 00 "
     "28 F9 D1 0C 48",
     "05 4B 80 21 09 02 09 22 12 06 9F 44 11 80 03 49 C3 02 C9 18 11 80 70 47 FE FF FF 01 00 00 00 "
     "00 30 B5 91 B0 68 46 00 F0 F3 F8 6D 46 01 35 06 4A AA 20 00 00 05 49 55 20 00 00 90 20 00 00 "
     "10 A9 03 4A 10 1C 08 E0 00 00 55 55 00 0E AA 2A 00 0E 20 4E 00 00 08 88 01 38 08 80 08 88 00 "
     "28 F9 D1 0C 48 13 20 13 20 00 06 04 0C E0 20 00 05 62 20 62 20 00 06 00 0E 04 43 07 49 AA 20 "
     "00 00 07 4A 55 20 00 00 F0 20 00 00 00 00"},
    {6, "", "14 49 AA 24 0C 70 13 4B 55 22 1A 70 80 20 08 70 0C 70 1A 70 10 20 08 70",
     "0E 21 09 06 FF 24 80 22 13 4B 52 02 01 3A 8C 54 FC D1 00 00 00 00 00 00"},
    {7, "", "AA 25 0D 70 14 4B 55 22 1A 70 80 20 08 70 0D 70 1A 70 30 20 20 70",
     "FF 25 08 22 00 00 52 02 01 3A A5 54 FC D1 00 00 00 00 00 00 00 00"},
    {8, "", "10 70 0B 49 55 20 08 70 A0 20 10 70", "00 00 0B 49 55 20 00 00 A0 20 00 00"},
    {9, "SRAM_Flash1M_V103", "22 70 09 4B 55 22 1A 70 A0 22 22 70",
     "00 00 09 4B 55 22 00 00 A0 22 00 00"},
    {10, "",
     "F0 B5 A0 B0 0D 1C 16 1C 1F 1C 03 04 1C 0C 0F 4A 10 88 0F 49 08 40 03 21 08 43 10 80 0D 48 00 "
     "68 01 68 80 20 80 02",
     "70 B5 A0 B0 00 03 40 18 E0 21 09 05 09 18 08 78 10 70 01 3B 01 32 01 31 00 2B F8 D1 00 20 20 "
     "B0 70 BC 02 BC 08 47"},
    {11, "", "FF F7 88 FD 00 04 03 0C", "1B 23 1B 02 32 20 03 43"},
    {12, "", "70 B5 90 B0 15 4D 29 88", "00 B5 00 20 02 BC 08 47"},
    {13, "", "70 B5 46 46 40 B4 90 B0", "00 B5 00 20 02 BC 08 47"},
    {14, "SRAM_Flash512_V130_V131_V133",
     "F0 B5 90 B0 0F 1C 00 04 04 0C 03 48 00 68 40 89 84 42 05 D3 01 48 41 E0",
     "7C B5 90 B0 00 03 0A 1C E0 21 09 05 09 18 01 23 1B 03 10 78 08 70 01 3B 01 32 01 31 00 2B F8 "
     "D1 00 20 10 B0 7C BC 02 BC 08 47"},
    {15, "", "A2 B0 0D 1C 00 04 03 0C 03 48 00 68 80 88 83 42 05 D3 01 48",
     "00 04 0A 1C 40 0B E0 21 09 05 41 18 07 31 00 23 08 78 10 70 01 33 01 32 01 39 07 2B F8 D9 00 "
     "20 70 BC 02 BC 08 47"},
    {16, "SRAM_EEProm_V120_V121_V122",
     "30 B5 A9 B0 0D 1C 00 04 04 0C 03 48 00 68 80 88 84 42 05 D3 01 48",
     "70 B5 00 04 0A 1C 40 0B E0 21 09 05 41 18 07 31 00 23 10 78 08 70 01 33 01 32 01 39 07 2B F8 "
     "D9 00 20 70 BC 02 BC 08 47"},
    {17, "", "A2 B0 0D 1C 00 04 03 0C 03 48 00 68 80 88 83 42 05 D3 01 48 48 E0",
     "00 04 0A 1C 40 0B E0 21 09 05 41 18 07 31 00 23 08 78 10 70 01 33 01 32 01 39 07 2B F8 D9 00 "
     "20 70 BC 02 BC 08 47"},
    {18, "SRAM_EEProm_V124",
     "F0 B5 AC B0 0D 1C 00 04 01 0C 12 06 17 0E 03 48 00 68 80 88 81 42 05 D3",
     "70 B5 00 04 0A 1C 40 0B E0 21 09 05 41 18 07 31 00 23 10 78 08 70 01 33 01 32 01 39 07 2B F8 "
     "D9 00 20 70 BC 02 BC 08 47"},
    {19, "", "A2 B0 0D 1C 00 04 03 0C 03 48 00 68 80 88 83 42 05 D3 01 48 48 E0",
     "00 04 0A 1C 40 0B E0 21 09 05 41 18 07 31 00 23 08 78 10 70 01 33 01 32 01 39 07 2B F8 D9 00 "
     "20 70 BC 02 BC 08 47"},
    {20, "SRAM_EEProm_V126",
     "F0 B5 47 46 80 B4 AC B0 0E 1C 00 04 05 0C 12 06 12 0E 90 46 03 48 00 68",
     "70 B5 00 04 0A 1C 40 0B E0 21 09 05 41 18 07 31 00 23 10 78 08 70 01 33 01 32 01 39 07 2B F8 "
     "D9 00 20 70 BC 02 BC 08 47"},
    {21, "", "90 B5 93 B0 6F 46 39 1D 08 1C 00 F0", "00 B5 3D 20 00 02 1F 21 08 43 02 BC 08 47"},
    {22, "",
     "80 B5 94 B0 6F 46 39 1C 08 80 38 1C 01 88 0F 29 04 D9 01 48 56 E0 00 00 FF 80 00 00 23 48 23 "
     "49 0A 88 23 4B",
     "7C B5 00 07 00 0C E0 21 09 05 09 18 01 23 1B 03 FF 20 08 70 01 3B 01 31 00 2B FA D1 00 20 7C "
     "BC 02 BC 08 47"},
    {23, "SRAM_Flash_V120_V121",
     "80 B5 94 B0 6F 46 79 60 39 1C 08 80 38 1C 01 88 0F 29 03 D9 00 48 73 E0 FF 80 00 00 38 1C 01 "
     "88 08 1C FF F7 21 FE 39 1C 0C 31",
     "7C B5 90 B0 00 03 0A 1C E0 21 09 05 09 18 01 23 1B 03 10 78 08 70 01 3B 01 32 01 31 00 2B F8 "
     "D1 00 20 10 B0 7C BC 08 BC 08 47"},
    {24, "", "FF F7 AA FF 00 04 03 0C", "1B 23 1B 02 32 20 03 43"},
    {25, "", "70 B5 90 B0 15 4D", "00 20 70 47 15 4D"},
    {26, "", "70 B5 46 46 40 B4", "00 20 70 47 40 B4"},
    {27, "SRAM_Flash_V123_V124",
     "F0 B5 90 B0 0F 1C 00 04 04 0C 0F 2C 04 D9 01 48 40 E0 00 00 FF 80 00 00 20 1C FF F7 D7 FE 00 "
     "04 05 0C 00 2D 35 D1",
     "70 B5 00 03 0A 1C E0 21 09 05 41 18 01 23 1B 03 10 78 08 70 01 3B 01 32 01 31 00 2B F8 D1 00 "
     "20 70 BC 02 BC 08 47"},
    {28, "", "FF F7 AA FF 00 04 03 0C", "1B 23 1B 02 32 20 03 43"},
    {29, "", "00 03 70 B5 90 B0 15 4D", "00 03 00 20 70 47 15 4D"},
    {30, "", "00 03 70 B5 46 46 40 B4", "00 03 00 20 70 47 40 B4"},
    {31, "SRAM_Flash_V125_V126",
     "F0 B5 90 B0 0F 1C 00 04 04 0C 0F 2C 04 D9 01 48 40 E0 00 00 FF 80 00 00 20 1C FF F7 D7 FE 00 "
     "04 05 0C 00 2D 35 D1",
     "70 B5 00 03 0A 1C E0 21 09 05 41 18 01 23 1B 03 10 78 08 70 01 3B 01 32 01 31 00 2B F8 D1 00 "
     "20 70 BC 02 BC 08 47"},
};

constexpr const char* kGoldenV111Signature = "0E 48 39 68 01 60 0E 48";
constexpr const char* kGoldenV111JumpStub = "00 48 00 47 00 00 00 08";
constexpr const char* kGoldenV111SecondarySignature = "27 E0 D0 20 00 05 01 88";
constexpr const char* kGoldenV111SecondaryReplacement = "27 E0 E0 20 00 05 01 88";
constexpr const char* kGoldenV111Routine =
    "39 68 27 48 81 42 23 D0 89 1C 08 88 01 28 02 D1 24 48 78 60 33 E0 00 23 00 22 89 1C 10 B4 01 "
    "24 08 68 20 40 5B 00 03 43 89 1C 52 1C 06 2A F7 D1 10 BC 39 60 DB 01 02 20 00 02 1B 18 0E 20 "
    "00 06 1B 18 7B 60 39 1C 08 31 08 88 09 38 08 80 16 E0 15 49 00 23 00 22 10 B4 01 24 08 68 20 "
    "40 5B 00 03 43 89 1C 52 1C 06 2A F7 D1 10 BC DB 01 02 20 00 02 1B 18 0E 20 00 06 1B 18 08 3B "
    "3B 60 0B 48 39 68 01 60 0A 48 79 68 01 60 0A 48 39 1C 08 31 0A 88 80 21 09 06 0A 43 02 60 07 "
    "48 00 47 00 00 00 00 00 0D 00 00 00 0E 04 00 00 0E D4 00 00 04 D8 00 00 04 DC 00 00 04 00 00 "
    "00 08";

Bytes Hex(std::string_view text) {
    Bytes bytes;
    for (std::size_t at = 0; at + 1 < text.size(); at += 3) {
        bytes.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(text.substr(at, 2)), nullptr, 16)));
    }
    return bytes;
}
Bytes Of(std::span<const std::uint8_t> bytes) {
    return {bytes.begin(), bytes.end()};
}

Bytes EntrySignature(int entry) {
    return Hex(kGoldenCatalogue[entry - 1].signature);
}
Bytes EntryReplacement(int entry) {
    return Hex(kGoldenCatalogue[entry - 1].replacement);
}

TEST(SramCatalogue, HoldsTheTrueBytes) {
    ASSERT_EQ(std::size(kGoldenCatalogue), SramCatalogue().size());
    for (const GoldenEntry& golden : kGoldenCatalogue) {
        SCOPED_TRACE("entry " + std::to_string(golden.entry));
        const SramCatalogueEntry& entry = SramCatalogue()[golden.entry - 1];
        EXPECT_EQ(Of(entry.signature), Hex(golden.signature));
        EXPECT_EQ(Of(entry.replacement), Hex(golden.replacement));
        EXPECT_EQ(entry.group, golden.group);
    }
    EXPECT_EQ(Of(kV111Signature), Hex(kGoldenV111Signature));
    EXPECT_EQ(Of(kV111JumpStub), Hex(kGoldenV111JumpStub));
    EXPECT_EQ(Of(kV111SecondarySignature), Hex(kGoldenV111SecondarySignature));
    EXPECT_EQ(Of(kV111SecondaryReplacement), Hex(kGoldenV111SecondaryReplacement));
    EXPECT_EQ(Of(V111RoutineTemplate()), Hex(kGoldenV111Routine));
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
        // Entry 9 repeats entry 4; V103's own routines (entries 7 and 8) make it V103.
        GroupCase{"Flash1M_V103", {1, 2, 7, 8, 4}, "SRAM Patched: SRAM_Flash1M_V103"},
        GroupCase{"Flash512", {10, 11, 12, 13, 14}, "SRAM Patched: SRAM_Flash512_V130_V131_V133"},
        GroupCase{"EEProm_V120", {15, 16}, "SRAM Patched: SRAM_EEProm_V120_V121_V122"},
        GroupCase{"EEProm_V124", {17, 18}, "SRAM Patched: SRAM_EEProm_V124"},
        GroupCase{"EEProm_V126", {17, 20}, "SRAM Patched: SRAM_EEProm_V126"},
        GroupCase{"Flash_V120", {21, 22, 23}, "SRAM Patched: SRAM_Flash_V120_V121"},
        GroupCase{"Flash_V123", {24, 25, 26, 27}, "SRAM Patched: SRAM_Flash_V123_V124"},
        // Entry 31 repeats entry 27, which ends the patch first.
        GroupCase{"Flash_V125", {24, 29, 30, 27}, "SRAM Patched: SRAM_Flash_V123_V124"}));

TEST(SramPatch, NotPossibleLeavesTheImageUnchanged) {
    struct Row {
        const char* behaviour;
        std::vector<std::pair<std::size_t, int>> placed;  // offset, catalogue entry
    };
    const Row rows[] = {
        // Signature 25 is the tail of signature 29: both match, no group completes.
        {"the first entries of Flash V125", {{301, 29}}},
        {"Flash1M without its last routine", {{11, 1}, {333, 2}, {777, 3}}},
        {"V103's own routines alone", {{11, 7}, {333, 8}}},
        {"Flash512 without its last routine", {{11, 10}, {333, 11}, {777, 12}, {1201, 13}}},
        {"EEPROM V124 without its last routine", {{11, 17}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        Image image(4096);
        for (const auto& [offset, entry] : row.placed) {
            image.put(offset, EntrySignature(entry));
        }
        const SramPatchPlan plan = PlanSramPatch(image.bytes);
        EXPECT_EQ(plan.logLine, kNotPossible);
        EXPECT_TRUE(plan.writes.empty());
    }
}

TEST(SramPatch, AFlash1MV103ImageGetsTheWholeV103Group) {
    Image image(4096);
    image.put(11, EntrySignature(1))
        .put(333, EntrySignature(2))
        .put(777, EntrySignature(7))
        .put(1201, EntrySignature(8))
        .put(1601, EntrySignature(4));
    const SramPatchPlan plan = PlanSramPatch(image.bytes);
    EXPECT_EQ(plan.logLine, "SRAM Patched: SRAM_Flash1M_V103");
    const Bytes patched = Apply(image.bytes, plan);
    EXPECT_EQ(Slice(patched, 11, 138), EntryReplacement(5));
    EXPECT_EQ(Slice(patched, 333, 24), EntryReplacement(6));
    EXPECT_EQ(Slice(patched, 777, 22), EntryReplacement(7));
    EXPECT_EQ(Slice(patched, 1201, 12), EntryReplacement(8));
    EXPECT_EQ(Slice(patched, 1601, 12), EntryReplacement(9));
    // Nothing else changed.
    Bytes rest = patched;
    Bytes expectedRest = image.bytes;
    for (const auto& [offset, length] : {std::pair<std::size_t, std::size_t>{11, 138},
                                         {333, 24},
                                         {777, 22},
                                         {1201, 12},
                                         {1601, 12}}) {
        std::fill_n(rest.begin() + static_cast<std::ptrdiff_t>(offset), length, 0);
        std::fill_n(expectedRest.begin() + static_cast<std::ptrdiff_t>(offset), length, 0);
    }
    EXPECT_EQ(rest, expectedRest);

    // Either of V103's own routines is enough: the one present is patched too.
    Image onlyErase(4096);
    onlyErase.put(11, EntrySignature(1)).put(333, EntrySignature(2)).put(777, EntrySignature(7));
    onlyErase.put(1601, EntrySignature(4));
    const SramPatchPlan erasePlan = PlanSramPatch(onlyErase.bytes);
    EXPECT_EQ(erasePlan.logLine, "SRAM Patched: SRAM_Flash1M_V103");
    EXPECT_EQ(Slice(Apply(onlyErase.bytes, erasePlan), 777, 22), EntryReplacement(7));
}

TEST(SramPatch, AFlash1MV102ImageStaysV102) {
    Image image(4096);
    image.put(11, EntrySignature(1))
        .put(333, EntrySignature(2))
        .put(777, EntrySignature(3))
        .put(1601, EntrySignature(4));
    const SramPatchPlan plan = PlanSramPatch(image.bytes);
    EXPECT_EQ(plan.logLine, "SRAM Patched: SRAM_Flash1M_V102");
    ASSERT_EQ(plan.writes.size(), 4u);
    EXPECT_EQ(plan.writes[2].offset, 777u);
    EXPECT_EQ(plan.writes[2].bytes, EntryReplacement(3));
}

// Patches `image` through a file, as a run does: planned on the bytes and then applied
// without searching again, or searched and written in one call. Returns the file afterwards.
struct FilePatch {
    Bytes bytes;
    SramPatchResult planned;  // what plan() reports (a dry run's line and size)
    SramPatchResult written;
};

FilePatch PatchThroughFile(const Bytes& image, bool planFirst) {
    testing::TempDir dir;
    const std::string path = dir.file("g.gba");
    testing::WriteFile(path, image);
    SramPatcher patcher;
    FilePatch patch;
    File file;
    EXPECT_TRUE(file.openForUpdate(path).ok());
    if (planFirst) {
        EXPECT_TRUE(patcher.plan(MemoryByteSource(image), patch.planned).ok());
        EXPECT_TRUE(patcher.applyPlanned(file, patch.written).ok());
    } else {
        EXPECT_TRUE(patcher.patch(file, patch.written).ok());
    }
    file.close();
    patch.bytes = testing::ReadFile(path);
    return patch;
}

// The run, the dry run and the one-call patch all give `expected` and one line.
void ExpectEveryWayGives(const Bytes& image, const Bytes& expected, const std::string& line) {
    EXPECT_EQ(Apply(image, PlanSramPatch(image)), expected);
    for (const bool planFirst : {true, false}) {
        SCOPED_TRACE(planFirst ? "planned, then applied" : "in one call");
        const FilePatch patch = PatchThroughFile(image, planFirst);
        EXPECT_EQ(patch.bytes, expected);
        EXPECT_EQ(patch.written.line, line);
        EXPECT_EQ(patch.written.sizeAfter, expected.size());
        if (planFirst) {
            EXPECT_EQ(patch.planned.line, line);
            EXPECT_EQ(patch.planned.sizeAfter, expected.size());
        }
    }
}

Bytes Address(std::uint64_t offset) {
    const auto address = static_cast<std::uint32_t>(0x08000000 + offset);
    return {static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 24)};
}

// The V111 writes by hand: the stub at the signature, the routine at `appendAt`.
Bytes WithV111Patch(Bytes image, std::size_t signatureAt, std::size_t appendAt) {
    Bytes stub = Hex(kGoldenV111JumpStub);
    const Bytes target = Address(appendAt + 1);
    std::copy(target.begin(), target.begin() + 3, stub.begin() + 4);
    Bytes routine = Hex(kGoldenV111Routine);
    const Bytes returnTo = Address(signatureAt + 33);
    std::copy(returnTo.begin(), returnTo.begin() + 3, routine.begin() + 184);
    image.resize(std::max(image.size(), appendAt + routine.size()), 0xEE);
    std::copy(stub.begin(), stub.end(), image.begin() + static_cast<std::ptrdiff_t>(signatureAt));
    std::copy(routine.begin(), routine.end(),
              image.begin() + static_cast<std::ptrdiff_t>(appendAt));
    return image;
}

constexpr std::size_t kNoV111 = 0;

// Only the group the line reports is written. A found entry of a group that did not
// complete may be unrelated code: entry 13's signature is a common Thumb function prologue.
TEST(SramPatch, WritesOnlyTheGroupItReports) {
    using Placed = std::vector<std::pair<std::size_t, int>>;  // offset, catalogue entry
    struct Row {
        const char* behaviour;
        Placed placed;
        std::size_t v111At;  // kNoV111: no V111 signature
        const char* logLine;
        Placed written;  // the replacements the image gets
    };
    const char* v111Line = "SRAM Patched: SRAM_EEProm_V111";
    const Row rows[] = {
        {"EEPROM V122 and a Thumb prologue elsewhere",
         {{11, 13}, {333, 15}, {777, 16}},
         kNoV111,
         "SRAM Patched: SRAM_EEProm_V120_V121_V122",
         {{333, 15}, {777, 16}}},
        {"Flash V120 after Flash1M and Flash512 groups that did not complete",
         {{11, 1}, {333, 2}, {777, 3}, {1201, 10}, {1601, 12}, {2001, 21}, {2401, 22}, {2801, 23}},
         kNoV111,
         "SRAM Patched: SRAM_Flash_V120_V121",
         {{2001, 21}, {2401, 22}, {2801, 23}}},
        {"Flash1M V103 and V102's own erase routine",
         {{11, 1}, {333, 2}, {777, 3}, {1201, 7}, {1601, 8}, {2001, 4}},
         kNoV111,
         "SRAM Patched: SRAM_Flash1M_V103",
         {{11, 5}, {333, 6}, {1201, 7}, {1601, 8}, {2001, 9}}},
        // Signature 17 holds signature 15, so V126 also shows V122's and V124's first entry.
        {"EEPROM V126, whose routine the earlier EEPROM groups share",
         {{11, 17}, {333, 20}},
         kNoV111,
         "SRAM Patched: SRAM_EEProm_V126",
         {{11, 19}, {333, 20}}},
        {"V111 and a Thumb prologue elsewhere", {{11, 13}}, 2001, v111Line, {}},
        {"V111 and Flash512 without its last routine",
         {{11, 10}, {333, 11}, {777, 12}, {1201, 13}},
         2001,
         v111Line,
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        Image image(4096);  // no pad run, a multiple of 16: a V111 routine goes at 4096
        for (const auto& [offset, entry] : row.placed) {
            image.put(offset, EntrySignature(entry));
        }
        Image expected = image;
        if (row.v111At != kNoV111) {
            image.put(row.v111At, Hex(kGoldenV111Signature));
            expected.bytes = WithV111Patch(image.bytes, row.v111At, 4096);
        }
        for (const auto& [offset, entry] : row.written) {
            expected.put(offset, EntryReplacement(entry));
        }
        ExpectEveryWayGives(image.bytes, expected.bytes, row.logLine);
    }
}

// The V111 routine that goes past the image's end starts at a multiple of 16; the gap
// before it holds the image's filler (0xFF where the image shows none, as unused cartridge
// space reads), so the image does not get a run of zeros between its data and the routine.
TEST(SramPatch, TheGapBeforeAnAppendedV111RoutineTakesTheImagesFiller) {
    struct Row {
        const char* behaviour;
        std::size_t dataEnd;  // bytes of data (0x11), then pad bytes up to `size`
        std::size_t size;
        std::uint8_t pad;
        std::size_t appendAt;
        std::uint8_t gapFiller;
    };
    const Row rows[] = {
        {"no pad run (a trimmed image)", 1000, 1000, 0, 1008, 0xFF},
        {"15 bytes to the next multiple of 16", 1009, 1009, 0, 1024, 0xFF},
        {"a pad run of 0xFF shorter than the gap", 1000, 1005, 0xFF, 1008, 0xFF},
        {"a pad run of 0x00 shorter than the gap", 1000, 1005, 0x00, 1008, 0x00},
        {"ending at a multiple of 16: no gap", 1008, 1008, 0, 1008, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        Image image(row.size);
        std::fill(image.bytes.begin() + static_cast<std::ptrdiff_t>(row.dataEnd), image.bytes.end(),
                  row.pad);
        image.put(101, Hex(kGoldenV111Signature));
        Bytes expected = image.bytes;
        expected.resize(row.appendAt, row.gapFiller);
        expected = WithV111Patch(expected, 101, row.appendAt);
        ExpectEveryWayGives(image.bytes, expected, "SRAM Patched: SRAM_EEProm_V111");
    }
}

// Routines of a group that did not complete are not written when the V111 path applies.
TEST(SramPatch, FirstEntriesOnlyFallThroughToV111AndStayUnwritten) {
    Image image(4096);
    image.put(11, EntrySignature(1)).put(333, EntrySignature(2)).put(777, EntrySignature(3));
    image.put(2001, Bytes(std::begin(kV111Signature), std::end(kV111Signature)));
    const SramPatchPlan plan = PlanSramPatch(image.bytes);
    EXPECT_EQ(plan.logLine, "SRAM Patched: SRAM_EEProm_V111");
    const Bytes patched = Apply(image.bytes, plan);
    EXPECT_EQ(Slice(patched, 11, 138), Slice(image.bytes, 11, 138));
    EXPECT_EQ(Slice(patched, 333, 24), EntrySignature(2));
    EXPECT_EQ(Slice(patched, 777, 22), EntrySignature(3));
}

TEST(SramPatch, V111ExampleImage) {
    Image image(100);
    image.put(40, Bytes(std::begin(kV111Signature), std::end(kV111Signature)));
    const SramPatchPlan plan = PlanSramPatch(image.bytes);
    EXPECT_EQ(plan.logLine, "SRAM Patched: SRAM_EEProm_V111");
    const Bytes patched = Apply(image.bytes, plan);
    ASSERT_EQ(patched.size(), 300u);
    EXPECT_EQ(Slice(patched, 40, 8), (Bytes{0x00, 0x48, 0x00, 0x47, 0x71, 0x00, 0x00, 0x08}));
    EXPECT_EQ(Slice(patched, 100, 12), Bytes(12, 0xFF));  // the image shows no filler
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
    SramPatcher patcher;
    SramPatchResult result;
    ASSERT_TRUE(patcher.patch(file, result).ok());
    file.close();
    EXPECT_EQ(result.line, "SRAM Patched: SRAM_EEProm_V111");
    EXPECT_EQ(result.outcome, SramPatchOutcome::Patched);
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
    SramPatcher patcher;
    SramPatchResult result;
    ASSERT_TRUE(patcher.patch(file, result).ok());
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

void PrintTo(const SizeCase& c, std::ostream* os) {
    *os << c.name;
}

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
    host.options.fileMode = FileMode::Overwrite;
    host.options.sramPatch = true;
    host.options.onlyPatch = c.onlyPatch;
    host.options.dryRun = c.dryRun;
    testing::WiredTrimRun run(host);
    run.run(testing::FileEntries({dir.file("big.gba"), dir.file("small.gba")}));

    const std::string refusal = "ERROR: SRAM patch failed (image larger than 32 MiB): big.gba";
    EXPECT_EQ(std::ranges::count(host.log, refusal), c.refused ? 1 : 0);
    EXPECT_EQ(run.counters().errors, c.refused ? 1 : 0);
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
