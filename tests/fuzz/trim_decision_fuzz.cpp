// Decides the cut of an arbitrary image as NDS and as GBA, with every option combination.
#include <array>

#include "fuzz_support.h"
#include "romformat/nds_header.h"
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

// An NDS cut never goes below what the header declares used, and is made only on a header
// whose checksum matches unless the check is off.
void CheckNdsVerdict(const ostravex::CutVerdict& verdict, const ostravex::MemoryByteSource& source,
                     ostravex::HeaderCheck check) {
    CheckVerdict(verdict, source.size());
    if (!verdict.cutSize) {
        return;
    }
    std::array<std::uint8_t, ostravex::kDecisionHeaderBytes> header{};
    (void)source.readZeroFilled(0, header);
    const auto cut = static_cast<std::uint64_t>(*verdict.cutSize);
    ostravex::fuzz::Require(cut >= ostravex::LittleEndian32(header, ostravex::kUsedRomSizeOffset),
                            "a cut below the used size at 0x80");
    const std::uint8_t unit = header[ostravex::kUnitCodeOffset];
    ostravex::fuzz::Require(
        (unit != 2 && unit != 3) ||
            cut >= ostravex::LittleEndian32(header, ostravex::kTotalUsedSizeOffset),
        "a DSi cut below the total used size at 0x210");
    ostravex::fuzz::Require(
        check == ostravex::HeaderCheck::Off || ostravex::HeaderChecksumMatches(header),
        "a cut of an image whose header checksum is wrong");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ostravex::MemoryByteSource source({data, size});
    for (const bool option : {false, true}) {
        for (const auto check : {ostravex::HeaderCheck::Required, ostravex::HeaderCheck::Off}) {
            CheckNdsVerdict(ostravex::DecideNdsCut(source, option, check), source, check);
        }
        CheckVerdict(ostravex::DecideGbaCut(source, option), size);
    }
    return 0;
}
