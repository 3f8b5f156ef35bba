#pragma once

#include <cstdint>
#include <string>

#include "host/entry_facts.h"
#include "io/byte_source.h"
#include "io/file.h"
#include "io/status.h"

namespace ostravex {

// What patching one image did (or, planned, would do): its outcome, its one log line, and
// the image's size afterwards (a patch may append a routine).
struct SramPatchResult {
    SramPatchOutcome outcome = SramPatchOutcome::NotPossible;
    std::string line;
    std::uint64_t sizeAfter = 0;
};

// Patches a finished GBA output in place (the SRAM patch).
class OutputPatcher {
  public:
    virtual ~OutputPatcher() = default;
    // A failure leaves the output as it was before the call; the run reports it.
    virtual Status patch(File& output, SramPatchResult& result) = 0;
    // Fails, with the reason the log gives, for an image the patch must not touch; the
    // run then leaves the image unpatched and counts an error.
    virtual Status checkImageSize(std::uint64_t imageSize) const = 0;
    // The result the patch would give for `image`, which is not written: what a dry run
    // reports instead of patching, and how a run learns beforehand whether the patch
    // changes a rom at all (a rom it leaves as it is is cut in place; one it changes is
    // written whole beside the rom and then patched).
    virtual Status plan(const ByteSource& image, SramPatchResult& result) = 0;
    // Patches `output`, which holds the image plan() was last given in this entry, as that
    // plan found, without searching the image again.
    virtual Status applyPlanned(File& output, SramPatchResult& result) {
        return patch(output, result);
    }
    // The run is over: whatever is kept from one image to the next is let go.
    virtual void runEnded() {}
};

}  // namespace ostravex
