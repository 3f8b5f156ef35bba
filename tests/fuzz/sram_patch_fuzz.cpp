// Plans the SRAM patch of an arbitrary image, checks the signature search against a plain
// one, and applies the patch both in memory and through a file: the two must agree.
#include <string.h>

#include <algorithm>
#include <string>

#include "fuzz_support.h"
#include "io/file.h"
#include "sram/signature_search.h"
#include "sram/sram_catalogue.h"
#include "sram/sram_patcher.h"

namespace {

std::vector<std::span<const std::uint8_t>> EverySignature() {
    std::vector<std::span<const std::uint8_t>> signatures;
    for (const ostravex::SramCatalogueEntry& entry : ostravex::SramCatalogue()) {
        signatures.push_back(entry.signature);
    }
    signatures.push_back(ostravex::kV111Signature);
    signatures.push_back(ostravex::kV111SecondarySignature);
    return signatures;
}

void CheckSearch(std::span<const std::uint8_t> image) {
    static const std::vector<std::span<const std::uint8_t>> signatures = EverySignature();
    static const ostravex::SignatureSearch search(signatures);
    const std::vector<std::size_t> found = search.firstOccurrences(image);
    ostravex::fuzz::Require(found.size() == signatures.size(), "one result per signature");
    for (std::size_t i = 0; i < signatures.size(); ++i) {
        // libc's memmem: a plain search, and not instrumented, so the fuzzer's time goes to
        // the code under test rather than to this check.
        const void* at =
            memmem(image.data(), image.size(), signatures[i].data(), signatures[i].size());
        const std::size_t expected =
            at == nullptr
                ? ostravex::SignatureSearch::kNotFound
                : static_cast<std::size_t>(static_cast<const std::uint8_t*>(at) - image.data());
        ostravex::fuzz::Require(found[i] == expected, "the search missed a first occurrence");
    }
}

std::vector<std::uint8_t> ApplyInMemory(std::span<const std::uint8_t> image,
                                        const ostravex::SramPatchPlan& plan) {
    std::vector<std::uint8_t> patched(image.begin(), image.end());
    for (const ostravex::SramPatchWrite& write : plan.writes) {
        // The routine goes after the image's last data, rounded up to 16 bytes.
        ostravex::fuzz::Require(write.offset <= (image.size() + 15) / 16 * 16,
                                "a patch write starts past the image");
        if (patched.size() < write.offset + write.bytes.size()) {
            patched.resize(write.offset + write.bytes.size(), 0);
        }
        std::copy(write.bytes.begin(), write.bytes.end(), patched.begin() + write.offset);
    }
    return patched;
}

std::vector<std::uint8_t> ApplyThroughFile(std::span<const std::uint8_t> image) {
    static ostravex::fuzz::MemoryFile memory;
    static ostravex::SramPatcher patcher;
    ostravex::File file;
    ostravex::fuzz::Require(file.openForUpdate(memory.hold(image.data(), image.size())).ok(),
                            "the image file opens");
    ostravex::SramPatchResult result;
    ostravex::fuzz::Require(patcher.patch(file, result).ok(), "patching a file fails");
    ostravex::fuzz::Require(!result.line.empty(), "patching gives its line");
    std::uint64_t size = 0;
    ostravex::fuzz::Require(file.size(size).ok(), "the patched file has a size");
    std::vector<std::uint8_t> patched(size);
    std::size_t got = 0;
    ostravex::fuzz::Require(file.readAt(0, patched, got).ok() && got == size,
                            "the patched file reads back");
    return patched;
}

// A patch writes the routines of the group its line names and nothing else; the V111 path
// writes the stub, the secondary fix, the alignment gap and the routine only.
void CheckWritesBelongToTheReportedGroup(const ostravex::SramPatchPlan& plan) {
    if (!plan.patched) {
        ostravex::fuzz::Require(plan.writes.empty(), "a patch not possible writes something");
        return;
    }
    const std::string v111Line = "SRAM Patched: " + std::string(ostravex::kV111GroupName);
    if (plan.logLine == v111Line) {
        const auto stubHead = std::span(ostravex::kV111JumpStub).first<4>();
        const auto routineHead = ostravex::V111RoutineTemplate().first<184>();
        for (const ostravex::SramPatchWrite& write : plan.writes) {
            const std::span<const std::uint8_t> bytes = write.bytes;
            const bool stub = bytes.size() == sizeof(ostravex::kV111JumpStub) &&
                              std::ranges::equal(bytes.first(4), stubHead);
            const bool secondary = std::ranges::equal(bytes, ostravex::kV111SecondaryReplacement);
            const bool gap = bytes.size() < 16 && std::ranges::all_of(bytes, [&](std::uint8_t b) {
                                 return b == bytes.front();
                             });
            const bool routine = bytes.size() == ostravex::kV111RoutineSize &&
                                 std::ranges::equal(bytes.first(184), routineHead);
            ostravex::fuzz::Require(stub || secondary || gap || routine,
                                    "the V111 path writes something else");
        }
        return;
    }
    // The entries of the named group: from the one after the previous named entry to it.
    const auto& catalogue = ostravex::SramCatalogue();
    std::size_t first = 0;
    std::size_t last = 0;
    for (std::size_t entry = 0; entry < catalogue.size(); ++entry) {
        if (catalogue[entry].group.empty()) {
            continue;
        }
        if ("SRAM Patched: " + std::string(catalogue[entry].group) == plan.logLine) {
            last = entry;
            break;
        }
        first = entry + 1;
    }
    for (const ostravex::SramPatchWrite& write : plan.writes) {
        bool ofTheGroup = false;
        for (std::size_t entry = first; entry <= last; ++entry) {
            ofTheGroup =
                ofTheGroup || std::ranges::equal(write.bytes, catalogue[entry].replacement);
        }
        ostravex::fuzz::Require(ofTheGroup, "a patch writes a routine of another group");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> image(data, size);
    CheckSearch(image);
    const ostravex::SramPatchPlan plan = ostravex::PlanSramPatch(image);
    ostravex::fuzz::Require(!plan.logLine.empty(), "a patch plan names its outcome");
    CheckWritesBelongToTheReportedGroup(plan);
    ostravex::fuzz::Require(ApplyInMemory(image, plan) == ApplyThroughFile(image),
                            "the file and the plan disagree");
    return 0;
}
