#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "io/byte_buffer.h"
#include "io/byte_source.h"
#include "io/status.h"
#include "trim/output_patcher.h"

namespace ostravex {

// The largest GBA cartridge; larger images are not patched.
constexpr std::uint64_t kLargestGbaImage = 32u << 20;

// The log line of an image in which no save routine was found to patch.
inline constexpr const char* kSramPatchNotPossibleText =
    "SRAM Patch Not Possible on this Rom or it's already patched.";

// Fails, with the reason the log gives, for an image larger than any cartridge.
Status CheckCartridgeSize(std::uint64_t imageSize);

struct SramPatchWrite {
    std::uint64_t offset;
    std::vector<std::uint8_t> bytes;
};

// What patching an image does: the writes, in order, and the one log line.
struct SramPatchPlan {
    std::vector<SramPatchWrite> writes;
    std::string logLine;
    bool patched = false;  // a routine group was found and is rewritten
};

// Decides the patch from the image as it is before any write: every search runs on the
// unchanged image, so bytes written by an earlier entry are never matched. The image is
// read in blocks through `buffer`, which is kept for the next image.
Status PlanSramPatch(const ByteSource& image, ByteBuffer& buffer, SramPatchPlan& plan);
// The same for an image held in memory.
SramPatchPlan PlanSramPatch(std::span<const std::uint8_t> snapshot);

// Where the V111 routine goes: after the last byte that is not the image's pad byte (0xFF
// or 0x00, when its last five bytes are all that byte), raised to a multiple of 16.
std::uint64_t V111AppendPoint(std::span<const std::uint8_t> snapshot);

// Patches GBA save routines that target EEPROM or Flash chips so that the game saves to
// SRAM. Works in place on the finished output.
class SramPatcher final : public OutputPatcher {
  public:
    Status patch(File& output, SramPatchResult& result) override;
    Status checkImageSize(std::uint64_t imageSize) const override {
        return CheckCartridgeSize(imageSize);
    }
    Status plan(const ByteSource& image, SramPatchResult& result) override;
    Status applyPlanned(File& output, SramPatchResult& result) override;
    // The read buffer is kept from one image to the next; this gives its memory back.
    void runEnded() override;

  private:
    Status writePlan(const SramPatchPlan& plan, File& output, std::uint64_t size,
                     SramPatchResult& result);

    ByteBuffer m_buffer;
    std::optional<SramPatchPlan> m_planned;  // the plan of the last image planned
};

}  // namespace ostravex
