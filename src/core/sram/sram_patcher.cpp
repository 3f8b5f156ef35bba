#include "sram/sram_patcher.h"

#include <algorithm>

#include "sram/signature_search.h"
#include "sram/sram_catalogue.h"

namespace ostravex {
namespace {

constexpr std::uint32_t kCartridgeBase = 0x08000000;  // where the image starts in GBA memory
constexpr std::size_t kPadRunLength = 5;
constexpr std::uint64_t kRoutineAlignment = 16;

// The catalogue's distinct signatures plus the two V111 ones, searched in one pass.
struct Searches {
    std::vector<std::span<const std::uint8_t>> signatures;
    std::array<std::size_t, kSramCatalogueSize> entrySignature{};
    std::size_t v111 = 0;
    std::size_t secondary = 0;

    Searches() {
        for (std::size_t entry = 0; entry < kSramCatalogueSize; ++entry) {
            entrySignature[entry] = add(SramCatalogue()[entry].signature);
        }
        v111 = add(kV111Signature);
        secondary = add(kV111SecondarySignature);
    }

    std::size_t add(std::span<const std::uint8_t> signature) {
        for (std::size_t i = 0; i < signatures.size(); ++i) {
            if (std::ranges::equal(signatures[i], signature)) {
                return i;
            }
        }
        signatures.push_back(signature);
        return signatures.size() - 1;
    }
};

const Searches& CatalogueSearches() {
    static const Searches searches;
    return searches;
}

const SignatureSearch& CatalogueSearch() {
    static const SignatureSearch search(CatalogueSearches().signatures);
    return search;
}

// A cartridge address: the offset carried in full, so images past 16 MiB are reached too.
void PutAddress(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t offset) {
    const auto address = static_cast<std::uint32_t>(kCartridgeBase + offset);
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(address >> (8 * i));
    }
}

std::vector<std::uint8_t> Bytes(std::span<const std::uint8_t> bytes) {
    return {bytes.begin(), bytes.end()};
}

}  // namespace

std::uint64_t V111AppendPoint(std::span<const std::uint8_t> snapshot) {
    std::uint64_t end = snapshot.size();
    if (snapshot.size() >= kPadRunLength) {
        const auto tail = snapshot.last(kPadRunLength);
        const std::uint8_t pad = tail[0];
        const bool padded =
            (pad == 0xFF || pad == 0x00) &&
            std::all_of(tail.begin(), tail.end(), [pad](std::uint8_t b) { return b == pad; });
        if (padded) {
            while (end >= 1 && snapshot[end - 1] == pad) {
                --end;
            }
        }
    }
    return (end + kRoutineAlignment - 1) / kRoutineAlignment * kRoutineAlignment;
}

SramPatchPlan PlanSramPatch(std::span<const std::uint8_t> snapshot) {
    const Searches& searches = CatalogueSearches();
    const std::vector<std::size_t> found = CatalogueSearch().firstOccurrences(snapshot);
    SramPatchPlan plan;

    for (std::size_t entry = 0; entry < kSramCatalogueSize; ++entry) {
        const std::size_t at = found[searches.entrySignature[entry]];
        if (at == SignatureSearch::kNotFound) {
            continue;
        }
        const SramCatalogueEntry& catalogueEntry = SramCatalogue()[entry];
        plan.writes.push_back({at, Bytes(catalogueEntry.replacement)});
        if (!catalogueEntry.group.empty()) {
            plan.logLine = kSramPatchedText + std::string(catalogueEntry.group);
            return plan;
        }
    }

    const std::size_t signatureAt = found[searches.v111];
    if (signatureAt == SignatureSearch::kNotFound) {
        plan.logLine = "SRAM Patch Not Possible on this Rom or it's already patched.";
        return plan;
    }
    const std::uint64_t appendAt = V111AppendPoint(snapshot);

    std::vector<std::uint8_t> stub = Bytes(kV111JumpStub);
    PutAddress(stub, kV111StubAddressOffset, appendAt + 1);
    plan.writes.push_back({signatureAt, std::move(stub)});

    if (const std::size_t at = found[searches.secondary]; at != SignatureSearch::kNotFound) {
        plan.writes.push_back({at, Bytes(kV111SecondaryReplacement)});
    }

    std::vector<std::uint8_t> routine = Bytes(V111RoutineTemplate());
    PutAddress(routine, kV111RoutineReturnOffset, signatureAt + kV111ReturnDistance);
    plan.writes.push_back({appendAt, std::move(routine)});

    plan.logLine = kSramPatchedText + std::string(kV111GroupName);
    return plan;
}

Status SramPatcher::SRAMPatch(File& output, Host& host) {
    std::uint64_t size = 0;
    if (Status status = output.size(size); !status) {
        return status;
    }
    if (size > m_capacity) {
        // Not value-initialised: the read fills it.
        m_snapshot.reset(new std::uint8_t[size]);
        m_capacity = size;
    }
    const std::span<std::uint8_t> snapshot(m_snapshot.get(), size);
    std::size_t got = 0;
    if (Status status = output.readAt(0, snapshot, got); !status) {
        return status;
    }
    if (got != size) {
        // A patch decided on part of an image could corrupt it.
        return Status::failure("the image could not be read whole");
    }

    const SramPatchPlan plan = PlanSramPatch(snapshot);
    for (const SramPatchWrite& write : plan.writes) {
        if (Status status = output.writeAt(write.offset, write.bytes); !status) {
            // Put back what was there, so that no half-patched image is left.
            for (const SramPatchWrite& undo : plan.writes) {
                if (undo.offset < size) {
                    const auto length =
                        std::min<std::uint64_t>(undo.bytes.size(), size - undo.offset);
                    (void)output.writeAt(undo.offset, snapshot.subspan(undo.offset, length));
                }
            }
            (void)output.setLength(size);
            return status;
        }
    }
    host.addLog(plan.logLine);
    return Status::success();
}

void SramPatcher::releaseSnapshot() {
    m_snapshot.reset();
    m_capacity = 0;
}

}  // namespace ostravex
