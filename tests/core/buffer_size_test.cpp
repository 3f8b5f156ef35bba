// Small images get small buffers: deciding the cut of a GBA image and planning an SRAM patch
// allocate no block larger than the image needs (fuzzing and scans of many small files were
// slowed by a 256 KiB buffer allocated and cleared per image). A test binary of its own,
// because it counts every allocation of the process.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "io/byte_buffer.h"
#include "sram/sram_patcher.h"
#include "support/archive_builders.h"
#include "support/list_entries.h"
#include "support/recording_host.h"
#include "support/rom_images.h"
#include "support/wired_trim_run.h"
#include "trim/gba_decision.h"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<std::size_t> g_largest{0};

void* Allocate(std::size_t size) {
    if (g_counting && size > g_largest) {
        g_largest = size;
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace ostravex {
namespace {

using testing::Bytes;
using testing::GbaImageBuilder;

// The largest single allocation `work` makes.
template <typename Work>
std::size_t LargestAllocation(Work work) {
    g_largest = 0;
    g_counting = true;
    work();
    g_counting = false;
    return g_largest;
}

TEST(BufferSizes, FollowTheImageNotAFixedBlock) {
    const Bytes image =
        testing::WithFlashV123Routines(GbaImageBuilder().size(8192).dataEnd(6000)).build();
    const MemoryByteSource source(image);
    // Tables built once per process are made before counting.
    (void)PlanSramPatch(image);

    EXPECT_LE(LargestAllocation([&] { (void)DecideGbaCut(source, false); }), image.size());
    EXPECT_LE(LargestAllocation([&] { (void)PlanSramPatch(image); }), image.size() + 256);
    ByteBuffer kept;
    SramPatchPlan plan;
    EXPECT_LE(LargestAllocation([&] { (void)PlanSramPatch(source, kept, plan); }),
              image.size() + 256);
}

// A zip member is inflated block by block into its output, or only looked at in a dry run:
// it is never held whole, whatever its size.
TEST(BufferSizes, AZipMemberIsNeverHeldWhole) {
    using testing::operator""_MiB;
    const Bytes image = testing::NdsImageBuilder().usedSize(6000000).size(16_MiB).build();
    testing::TempDir dir;
    const std::string out = dir.subfolder("out");
    testing::WriteFile(dir.file("a.zip"), testing::ZipBuilder().add("game.nds", image).build());
    for (const bool dryRun : {false, true}) {
        SCOPED_TRACE(dryRun ? "dry run" : "written into an output folder");
        testing::RecordingHost host;
        host.options.fileMode = FileMode::Folder;
        host.options.outputFolder = out;
        host.options.dryRun = dryRun;
        testing::WiredTrimRun trim{host};

        const std::size_t largest = LargestAllocation(
            [&] { trim.run({testing::ZipMember(dir.file("a.zip"), "game.nds")}); });

        EXPECT_EQ(trim.counters().errors, 0) << ::testing::PrintToString(host.log);
        EXPECT_LE(largest, 2_MiB);
    }
    EXPECT_EQ(testing::ReadFile(out + "game.nds").size(), 6000000u);
}

}  // namespace
}  // namespace ostravex
