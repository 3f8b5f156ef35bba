#include "sram/signature_search.h"

#include <algorithm>
#include <cstring>

namespace ostravex {
namespace {

std::uint16_t BlockAt(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

}  // namespace

SignatureSearch::SignatureSearch(std::vector<std::span<const std::uint8_t>> signatures)
    : m_signatures(std::move(signatures)) {
    m_window = m_signatures.empty() ? kBlock : m_signatures.front().size();
    for (const auto& signature : m_signatures) {
        m_window = std::min(m_window, signature.size());
        m_longest = std::max(m_longest, signature.size());
    }
    const std::size_t lastBlock = m_window - kBlock;
    m_fullShift = std::min<std::size_t>(lastBlock + 1, 255);
    m_shift.fill(static_cast<std::uint8_t>(m_fullShift));
    for (std::size_t id = 0; id < m_signatures.size(); ++id) {
        const std::uint8_t* bytes = m_signatures[id].data();
        for (std::size_t j = 0; j <= lastBlock; ++j) {
            std::uint8_t& shift = m_shift[BlockAt(bytes + j)];
            shift = std::min(shift, static_cast<std::uint8_t>(lastBlock - j));
        }
        const std::uint16_t last = BlockAt(bytes + lastBlock);
        if (m_candidateList[last] == 0) {
            m_candidates.emplace_back();
            m_candidateList[last] = static_cast<std::uint8_t>(m_candidates.size());
        }
        m_candidates[m_candidateList[last] - 1].push_back(id);
    }
    for (std::size_t block = 0; block < m_shift.size(); ++block) {
        if (m_shift[block] < m_fullShift) {
            m_shortShift[block / 64] |= std::uint64_t{1} << (block % 64);
        }
    }
}

std::vector<std::size_t> SignatureSearch::firstOccurrences(
    std::span<const std::uint8_t> data) const {
    std::vector<std::size_t> found(m_signatures.size(), kNotFound);
    findFirst(data, 0, found);
    return found;
}

std::size_t SignatureSearch::findFirst(std::span<const std::uint8_t> data, std::size_t base,
                                       std::vector<std::size_t>& found) const {
    std::size_t remaining = static_cast<std::size_t>(std::ranges::count(found, kNotFound));
    if (data.size() < m_window || remaining == 0) {
        return remaining;
    }
    const std::size_t lastBlock = m_window - kBlock;
    const std::uint8_t* bytes = data.data();
    const auto isShort = [this](std::uint16_t block) {
        return (m_shortShift[block / 64] >> (block % 64)) & 1;
    };
    const std::size_t stride = m_fullShift;
    // `end` is where the window's last block starts.
    for (std::size_t end = lastBlock; end + kBlock <= data.size();) {
        // Four windows at a time while all of them would take the full shift: the four
        // lookups do not wait on each other.
        while (end + 3 * stride + kBlock <= data.size() &&
               !(isShort(BlockAt(bytes + end)) | isShort(BlockAt(bytes + end + stride)) |
                 isShort(BlockAt(bytes + end + 2 * stride)) |
                 isShort(BlockAt(bytes + end + 3 * stride)))) {
            end += 4 * stride;
        }
        if (end + kBlock > data.size()) {
            break;
        }
        const std::uint16_t block = BlockAt(bytes + end);
        if (const std::uint8_t shift = m_shift[block]; shift > 0) {
            end += shift;
            continue;
        }
        const std::size_t start = end - lastBlock;
        for (const std::size_t id : m_candidates[m_candidateList[block] - 1]) {
            const auto& signature = m_signatures[id];
            if (found[id] == kNotFound && start + signature.size() <= data.size() &&
                std::memcmp(bytes + start, signature.data(), signature.size()) == 0) {
                found[id] = base + start;
                if (--remaining == 0) {
                    return remaining;
                }
            }
        }
        ++end;
    }
    return remaining;
}

}  // namespace ostravex
