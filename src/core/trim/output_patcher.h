#pragma once

#include <cstdint>
#include <string>

#include "host.h"
#include "io/byte_source.h"
#include "io/file.h"
#include "io/status.h"

namespace ostravex {

// The beginnings of the patch's outcome lines; an entry's report is read from them.
inline constexpr const char* kSramPatchedText = "SRAM Patched: ";
inline constexpr const char* kSramNotPossibleText = "SRAM Patch Not Possible";
inline constexpr const char* kSramPatchFailedText = "ERROR: SRAM patch failed";

// Patches a finished GBA output in place (the SRAM patch) and logs its one outcome line.
class OutputPatcher {
  public:
    virtual ~OutputPatcher() = default;
    // A failure leaves the output as it was before the call; the run reports it.
    virtual Status SRAMPatch(File& output, Host& host) = 0;
    // Fails, with the reason the log gives, for an image the patch must not touch; the
    // run then leaves the image unpatched and counts an error.
    virtual Status checkImageSize(std::uint64_t imageSize) const = 0;
    // What a dry run logs instead of patching: the outcome line the patch would give for
    // `image`, which is not written.
    virtual Status planLine(const ByteSource& image, std::string& line) = 0;
    // What patching `image` would do, without writing: whether it changes any byte, and
    // its outcome line. A rom the patch leaves as it is is cut in place and the line logged
    // by the run; one it changes is written whole beside the rom and then patched. Without
    // an answer the patch is taken to change the image.
    virtual Status preview(const ByteSource& /*image*/, bool& changes, std::string& /*line*/) {
        changes = true;
        return Status::success();
    }
    // Patches `output`, which holds the image preview() was last given in this entry, as
    // that preview found, without searching the image again.
    virtual Status applyPreview(File& output, Host& host) { return SRAMPatch(output, host); }
    // The run is over: whatever is kept from one image to the next is let go.
    virtual void runEnded() {}
};

}  // namespace ostravex
