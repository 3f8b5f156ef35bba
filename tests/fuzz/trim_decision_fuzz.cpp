// Decides the cut of an arbitrary image as NDS and as GBA, with every option combination.
#include <algorithm>
#include <array>
#include <vector>

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

// True when the image's bytes from `from` to its end are all 0xFF or all 0x00.
bool OnlyFillerFrom(const ostravex::MemoryByteSource& source, std::uint64_t from) {
    std::vector<std::uint8_t> rest(static_cast<std::size_t>(source.size() - from));
    (void)source.readZeroFilled(from, rest);
    return std::all_of(rest.begin(), rest.end(), [](std::uint8_t b) { return b == 0xFF; }) ||
           std::all_of(rest.begin(), rest.end(), [](std::uint8_t b) { return b == 0x00; });
}

// An NDS cut never goes below what the header declares used, is made only on a header
// whose checksum matches unless the check is off, never on a DSi unit code when DSi images
// are skipped, and drops less than a download-play block only when that is filler.
void CheckNdsVerdict(const ostravex::CutVerdict& verdict, const ostravex::MemoryByteSource& source,
                     ostravex::HeaderCheck check, bool skipDsi) {
    CheckVerdict(verdict, source.size());
    if (!verdict.cutSize) {
        return;
    }
    std::array<std::uint8_t, ostravex::kDecisionHeaderBytes> header{};
    (void)source.readZeroFilled(0, header);
    const auto cut = static_cast<std::uint64_t>(*verdict.cutSize);
    const std::uint64_t dropped = source.size() - cut;
    ostravex::fuzz::Require(verdict.hasWifi || dropped == 0 ||
                                dropped >= ostravex::kWifiBlockSize || OnlyFillerFrom(source, cut),
                            "a cut drops part of a download-play block");
    ostravex::fuzz::Require(cut >= ostravex::LittleEndian32(header, ostravex::kUsedRomSizeOffset),
                            "a cut below the used size at 0x80");
    const std::uint8_t unit = header[ostravex::kUnitCodeOffset];
    ostravex::fuzz::Require(
        (unit != 2 && unit != 3) ||
            cut >= ostravex::LittleEndian32(header, ostravex::kTotalUsedSizeOffset),
        "a DSi cut below the total used size at 0x210");
    ostravex::fuzz::Require(!skipDsi || (unit != 2 && unit != 3),
                            "a DSi unit code cut while DSi images are skipped");
    ostravex::fuzz::Require(
        check == ostravex::HeaderCheck::Off || ostravex::HeaderChecksumMatches(header),
        "a cut of an image whose header checksum is wrong");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ostravex::MemoryByteSource source({data, size});
    for (const bool option : {false, true}) {
        for (const auto check : {ostravex::HeaderCheck::Required, ostravex::HeaderCheck::Off}) {
            CheckNdsVerdict(ostravex::DecideNdsCut(source, option, check), source, check, option);
        }
        CheckVerdict(ostravex::DecideGbaCut(source, option), size);
    }
    return 0;
}
