#include "trim/padding_check.h"

#include <cstring>
#include <vector>

#include "trim/file_failure_text.h"

namespace ostravex {
namespace {

// Large enough that each read costs little per byte, small enough to stay in the cache
// while it is compared.
constexpr std::size_t kCheckChunk = 256u << 10;

// The cut would drop data: the verdict becomes a skip.
void RefuseDataAfterCut(CutVerdict& verdict) {
    // A skipped entry counts only as skipped: the wifi line belonged to the cut.
    std::erase_if(verdict.messages,
                  [](const VerdictMessage& message) { return message.kind == VerdictLine::Wifi; });
    verdict.hasWifi = false;
    verdict.finish(VerdictLine::Skip, "SKIP: Data after the used size, not trimmed: ");
}

}  // namespace

bool IsAllFiller(std::span<const std::uint8_t> bytes, std::uint8_t filler) {
    // Whole words are folded without branches (the compiler vectorises this), the rest
    // byte by byte.
    std::uint64_t pattern = 0;
    std::memset(&pattern, filler, sizeof pattern);
    std::uint64_t differences = 0;
    const std::size_t words = bytes.size() / sizeof pattern;
    for (std::size_t i = 0; i < words; ++i) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + i * sizeof word, sizeof word);
        differences |= word ^ pattern;
    }
    for (std::size_t i = words * sizeof pattern; i < bytes.size(); ++i) {
        differences |= bytes[i] ^ filler;
    }
    return differences == 0;
}

void CheckCutPadding(const ImageScan& scan, CutVerdict& verdict) {
    if (!verdict.cutSize) {
        return;
    }
    const auto start = static_cast<std::uint64_t>(*verdict.cutSize);
    if (start >= scan.size()) {
        return;
    }
    if (scan.endOfData(0x00) > start && scan.endOfData(0xFF) > start) {
        RefuseDataAfterCut(verdict);
    }
}

void CheckCutPadding(const ByteSource& source, CutVerdict& verdict) {
    if (!verdict.cutSize) {
        return;
    }
    const auto start = static_cast<std::uint64_t>(*verdict.cutSize);
    const std::uint64_t end = source.size();
    if (start >= end) {
        return;
    }
    std::vector<std::uint8_t> chunk(
        static_cast<std::size_t>(std::min<std::uint64_t>(kCheckChunk, end - start)));
    std::optional<std::uint8_t> filler;
    for (std::uint64_t offset = start; offset < end;) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), end - offset));
        const std::span<std::uint8_t> bytes(chunk.data(), want);
        if (Status status = source.readZeroFilled(offset, bytes); !status) {
            verdict.finish(VerdictLine::Error, FileFailureText(FileAction::Read, status));
            return;
        }
        if (!filler) {
            filler = bytes[0];
        }
        if ((*filler != 0xFF && *filler != 0x00) || !IsAllFiller(bytes, *filler)) {
            RefuseDataAfterCut(verdict);
            return;
        }
        offset += want;
    }
}

}  // namespace ostravex
