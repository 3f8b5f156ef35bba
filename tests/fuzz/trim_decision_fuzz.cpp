// Decides the cut of an arbitrary image as NDS and as GBA, with every option combination.
#include "fuzz_support.h"
#include "trim/gba_decision.h"
#include "trim/nds_decision.h"

namespace {

void CheckVerdict(const ostravex::CutVerdict& verdict, std::size_t imageSize) {
    ostravex::fuzz::Require(!verdict.messages.empty() || verdict.cutSize.has_value(),
                            "a decision gives neither a cut nor a reason");
    if (verdict.cutSize) {
        ostravex::fuzz::Require(
            *verdict.cutSize > 0 && static_cast<std::uint64_t>(*verdict.cutSize) <= imageSize,
            "a cut lies outside the image");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ostravex::MemoryByteSource source({data, size});
    for (const bool option : {false, true}) {
        CheckVerdict(ostravex::DecideNdsCut(source, option), size);
        CheckVerdict(ostravex::DecideGbaCut(source, option), size);
    }
    return 0;
}
