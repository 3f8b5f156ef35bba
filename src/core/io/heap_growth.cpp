#include "io/heap_growth.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace ostravex {
namespace {

constexpr std::size_t kStep = 32u << 20;
constexpr std::uintptr_t kLargePage = 2u << 20;
// What sbrk gives when it fails.
constexpr auto kNoBreak = static_cast<std::uintptr_t>(-1);

}  // namespace

void GrowHeapInLargeSteps() {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    // Blocks up to 64 MiB come from the heap, so that a list that grows is moved within
    // memory already used rather than into new mappings each time.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TOP_PAD, static_cast<int>(kStep));
    mallopt(M_TRIM_THRESHOLD, 2 * static_cast<int>(kStep));
    // One block makes the heap grow now, by the block and the step; freed, it stays as the
    // heap's free room at its end, which the next allocations take.
    void* const block = std::malloc(kStep);
    if (block == nullptr) {
        return;
    }
    const auto roomStart = reinterpret_cast<std::uintptr_t>(block);
    std::free(block);
    const auto roomEnd = reinterpret_cast<std::uintptr_t>(sbrk(0));
    // Only when the block came from the heap's end, as the C library's allocator gives it:
    // another allocator (a sanitizer's) maps its blocks elsewhere, and no other memory is
    // advised about.
    if (roomEnd == kNoBreak || roomStart > roomEnd || roomEnd - roomStart < kStep ||
        roomEnd - roomStart > 4 * kStep) {
        return;
    }
    const std::uintptr_t first = (roomStart + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t last = roomEnd & ~(kLargePage - 1);
    if (last > first) {
        // Advice only: where the system has no such pages, nothing changes.
        (void)madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
}

}  // namespace ostravex
