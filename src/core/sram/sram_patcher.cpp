#include "sram/sram_patcher.h"

#include <algorithm>
#include <array>

#include "io/byte_source.h"
#include "sram/signature_search.h"
#include "sram/sram_catalogue.h"

namespace ostravex {
namespace {

constexpr std::uint32_t kCartridgeBase = 0x08000000;  // where the image starts in GBA memory
constexpr std::size_t kPadRunLength = 5;
constexpr std::uint64_t kRoutineAlignment = 16;
constexpr const char* kSramPatchedText = "SRAM Patched: ";
// What unused space of a cartridge reads, and the filler most images are padded with.
constexpr std::uint8_t kUnusedCartridgeByte = 0xFF;

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

namespace {

// Large enough that reads cost little per byte, small enough to stay in the cache between
// the read and the search.
constexpr std::size_t kReadBlock = 256u << 10;

Status ReadExactly(const ByteSource& image, std::uint64_t offset, std::span<std::uint8_t> out) {
    std::size_t got = 0;
    if (Status status = image.readAt(offset, out, got); !status) {
        return status;
    }
    if (got != out.size()) {
        // A patch decided on part of an image could corrupt it.
        return Status::failure("the image could not be read whole");
    }
    return Status::success();
}

// The first occurrence of every signature, reading the image block by block into `buffer`;
// each block is searched together with the end of the one before, where a match may begin.
Status FindSignatures(const ByteSource& image, ByteBuffer& buffer,
                      std::vector<std::size_t>& found) {
    const SignatureSearch& search = CatalogueSearch();
    const std::size_t overlap = search.longest() - 1;
    const std::uint64_t size = image.size();
    // Sized to the image, so a small one does not take a whole block.
    buffer.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kReadBlock, size)) + overlap);
    found.assign(CatalogueSearches().signatures.size(), SignatureSearch::kNotFound);
    std::uint64_t bufferStart = 0;  // image offset of buffer[0]
    std::size_t kept = 0;           // bytes carried over from the block before
    while (bufferStart + kept < size) {
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(kReadBlock, size - bufferStart - kept));
        if (Status status =
                ReadExactly(image, bufferStart + kept, std::span(buffer).subspan(kept, want));
            !status) {
            return status;
        }
        const auto data = std::span<const std::uint8_t>(buffer).first(kept + want);
        if (search.findFirst(data, static_cast<std::size_t>(bufferStart), found) == 0) {
            break;
        }
        const std::size_t carry = std::min(overlap, data.size());
        std::copy(data.end() - static_cast<std::ptrdiff_t>(carry), data.end(), buffer.begin());
        bufferStart += data.size() - carry;
        kept = carry;
    }
    return Status::success();
}

// Where the V111 routine goes, and what fills the gap between the image's end and it.
struct V111Placement {
    std::uint64_t appendAt = 0;
    std::uint8_t gapFiller = kUnusedCartridgeByte;
};

// The V111 placement, reading backwards from the end only as far as the pad run goes. The
// gap before the routine takes the image's pad byte; an image without a pad run (a trimmed
// one has lost it) gets the value unused cartridge space reads.
Status FindV111Placement(const ByteSource& image, ByteBuffer& buffer, V111Placement& placement) {
    std::uint64_t end = image.size();
    if (end >= kPadRunLength) {
        std::array<std::uint8_t, kPadRunLength> tail{};
        if (Status status = ReadExactly(image, end - kPadRunLength, tail); !status) {
            return status;
        }
        const std::uint8_t pad = tail[0];
        const bool padded =
            (pad == 0xFF || pad == 0x00) &&
            std::all_of(tail.begin(), tail.end(), [pad](std::uint8_t b) { return b == pad; });
        if (padded) {
            placement.gapFiller = pad;
        }
        buffer.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kReadBlock, end)));
        while (padded && end > 0) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(kReadBlock, end));
            const auto block = std::span(buffer).first(want);
            if (Status status = ReadExactly(image, end - want, block); !status) {
                return status;
            }
            const auto last = std::find_if(block.rbegin(), block.rend(),
                                           [pad](std::uint8_t b) { return b != pad; });
            end -= static_cast<std::uint64_t>(last - block.rbegin());
            if (last != block.rend()) {
                break;
            }
        }
    }
    placement.appendAt = (end + kRoutineAlignment - 1) / kRoutineAlignment * kRoutineAlignment;
    return Status::success();
}

// The Flash1M V103 library ends with the same routine as V102 (entry 9 repeats entry 4),
// so an image of it completes the V102 group first and would keep V103's own sector-erase
// and byte-program routines (entries 7 and 8), which on SRAM write flash commands into the
// save. Those two routines tell a V103 image apart; it gets the whole V103 group.
constexpr std::size_t kFlash1MV102LastEntry = 3;          // entry 4, 0-based
constexpr std::size_t kFlash1MV103OwnEntries[] = {6, 7};  // entries 7 and 8, 0-based

bool FoundEntry(const std::vector<std::size_t>& found, std::size_t entry) {
    return found[CatalogueSearches().entrySignature[entry]] != SignatureSearch::kNotFound;
}

bool CarriesFlash1MV103(const std::vector<std::size_t>& found) {
    return std::ranges::any_of(kFlash1MV103OwnEntries,
                               [&](std::size_t entry) { return FoundEntry(found, entry); });
}

// Goes through the catalogue group by group. A group completes when its last entry (the one
// that carries its name) is found; the plan is then the replacements of that group's entries
// that were found, and nothing of a group before it: their signatures, some of them common
// function prologues, may match code that has nothing to do with saving.
SramPatchPlan PlanFromMatches(const std::vector<std::size_t>& found) {
    const Searches& searches = CatalogueSearches();
    SramPatchPlan plan;
    std::vector<SramPatchWrite> groupWrites;
    for (std::size_t entry = 0; entry < kSramCatalogueSize; ++entry) {
        const std::size_t at = found[searches.entrySignature[entry]];
        const SramCatalogueEntry& catalogueEntry = SramCatalogue()[entry];
        if (at != SignatureSearch::kNotFound) {
            groupWrites.push_back({at, Bytes(catalogueEntry.replacement)});
        }
        if (catalogueEntry.group.empty()) {
            continue;
        }
        // The V103 group, which repeats entry 4 last, completes instead of V102.
        const bool givesWayToV103 = entry == kFlash1MV102LastEntry && CarriesFlash1MV103(found);
        if (at != SignatureSearch::kNotFound && !givesWayToV103) {
            plan.writes = std::move(groupWrites);
            plan.logLine = kSramPatchedText + std::string(catalogueEntry.group);
            plan.patched = true;
            return plan;
        }
        groupWrites.clear();
    }
    return plan;
}

// The V111 path writes the V111 routines only: the jump stub, the secondary fix, and the
// replacement routine, with the alignment gap before it when it lies past the image's end.
void AddV111Writes(const std::vector<std::size_t>& found, std::uint64_t imageSize,
                   const V111Placement& placement, SramPatchPlan& plan) {
    const Searches& searches = CatalogueSearches();
    const std::size_t signatureAt = found[searches.v111];
    std::vector<std::uint8_t> stub = Bytes(kV111JumpStub);
    PutAddress(stub, kV111StubAddressOffset, placement.appendAt + 1);
    plan.writes.push_back({signatureAt, std::move(stub)});

    if (const std::size_t at = found[searches.secondary]; at != SignatureSearch::kNotFound) {
        plan.writes.push_back({at, Bytes(kV111SecondaryReplacement)});
    }

    if (placement.appendAt > imageSize) {
        plan.writes.push_back(
            {imageSize,
             std::vector<std::uint8_t>(static_cast<std::size_t>(placement.appendAt - imageSize),
                                       placement.gapFiller)});
    }
    std::vector<std::uint8_t> routine = Bytes(V111RoutineTemplate());
    PutAddress(routine, kV111RoutineReturnOffset, signatureAt + kV111ReturnDistance);
    plan.writes.push_back({placement.appendAt, std::move(routine)});
    plan.logLine = kSramPatchedText + std::string(kV111GroupName);
    plan.patched = true;
}

}  // namespace

Status PlanSramPatch(const ByteSource& image, ByteBuffer& buffer, SramPatchPlan& plan) {
    std::vector<std::size_t> found;
    if (Status status = FindSignatures(image, buffer, found); !status) {
        return status;
    }
    plan = PlanFromMatches(found);
    if (!plan.logLine.empty()) {
        return Status::success();
    }
    if (found[CatalogueSearches().v111] == SignatureSearch::kNotFound) {
        // No group completed, so nothing is written: the image is left as it was.
        plan.logLine = kSramPatchNotPossibleText;
        return Status::success();
    }
    V111Placement placement;
    if (Status status = FindV111Placement(image, buffer, placement); !status) {
        return status;
    }
    AddV111Writes(found, image.size(), placement, plan);
    return Status::success();
}

SramPatchPlan PlanSramPatch(std::span<const std::uint8_t> snapshot) {
    ByteBuffer buffer;
    SramPatchPlan plan;
    (void)PlanSramPatch(MemoryByteSource(snapshot), buffer, plan);  // memory reads never fail
    return plan;
}

std::uint64_t V111AppendPoint(std::span<const std::uint8_t> snapshot) {
    ByteBuffer buffer;
    V111Placement placement;
    (void)FindV111Placement(MemoryByteSource(snapshot), buffer, placement);
    return placement.appendAt;
}

Status CheckCartridgeSize(std::uint64_t imageSize) {
    if (imageSize > kLargestGbaImage) {
        return Status::failure("image larger than 32 MiB");
    }
    return Status::success();
}

Status SramPatcher::patch(File& output, SramPatchResult& result) {
    std::uint64_t size = 0;
    if (Status status = output.size(size); !status) {
        return status;
    }
    if (Status fits = CheckCartridgeSize(size); !fits) {
        return fits;
    }
    SramPatchPlan plan;
    if (Status status = PlanSramPatch(FileByteSource(output, size), m_buffer, plan); !status) {
        return status;
    }
    return writePlan(plan, output, size, result);
}

Status SramPatcher::applyPlanned(File& output, SramPatchResult& result) {
    if (!m_planned) {
        return patch(output, result);
    }
    const SramPatchPlan plan = std::move(*m_planned);
    m_planned.reset();
    std::uint64_t size = 0;
    if (Status status = output.size(size); !status) {
        return status;
    }
    return writePlan(plan, output, size, result);
}

Status SramPatcher::writePlan(const SramPatchPlan& plan, File& output, std::uint64_t size,
                              SramPatchResult& result) {
    // What the writes cover, so that a failed write can be taken back.
    std::vector<std::vector<std::uint8_t>> before;
    for (const SramPatchWrite& write : plan.writes) {
        std::vector<std::uint8_t> bytes(
            write.offset < size ? std::min<std::uint64_t>(write.bytes.size(), size - write.offset)
                                : 0);
        std::size_t got = 0;
        if (Status status = output.readAt(write.offset, bytes, got); !status) {
            return status;
        }
        before.push_back(std::move(bytes));
    }
    for (const SramPatchWrite& write : plan.writes) {
        if (Status status = output.writeAt(write.offset, write.bytes); !status) {
            // Put back what was there, so that no half-patched image is left.
            for (std::size_t i = 0; i < plan.writes.size(); ++i) {
                (void)output.writeAt(plan.writes[i].offset, before[i]);
            }
            (void)output.setLength(size);
            return status;
        }
    }
    // A routine appended past the end has grown the file: its size is read back.
    std::uint64_t sizeAfter = size;
    if (!plan.writes.empty()) {
        if (Status status = output.size(sizeAfter); !status) {
            return status;
        }
    }
    result = {plan.patched ? SramPatchOutcome::Patched : SramPatchOutcome::NotPossible,
              plan.logLine, sizeAfter};
    return Status::success();
}

Status SramPatcher::plan(const ByteSource& image, SramPatchResult& result) {
    SramPatchPlan plan;
    if (Status status = PlanSramPatch(image, m_buffer, plan); !status) {
        return status;
    }
    std::uint64_t sizeAfter = image.size();
    for (const SramPatchWrite& write : plan.writes) {
        sizeAfter = std::max<std::uint64_t>(sizeAfter, write.offset + write.bytes.size());
    }
    result = {plan.patched ? SramPatchOutcome::Patched : SramPatchOutcome::NotPossible,
              plan.logLine, sizeAfter};
    m_planned = std::move(plan);
    return Status::success();
}

void SramPatcher::runEnded() {
    m_planned.reset();
    m_buffer.clear();
    m_buffer.shrink_to_fit();
}

}  // namespace ostravex
