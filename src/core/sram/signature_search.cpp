#include "sram/signature_search.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define OSTRAVEX_X86_VECTORS 1
#endif

namespace ostravex {
namespace {

using HalfTables = std::array<std::array<std::uint8_t, 16>, 4>;

std::uint16_t BlockAt(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

constexpr std::size_t kHeadBytes = 8;

// Up to the first eight of `bytes` as one word, the others zero.
std::uint64_t HeadWord(const std::uint8_t* bytes, std::size_t available) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, std::min(available, kHeadBytes));
    return word;
}

// Compares the signatures of the buckets a position passed the filter for with the data
// there, and records those that match. Returns true when no signature is left to find.
class Confirmer {
  public:
    Confirmer(const std::vector<std::span<const std::uint8_t>>& signatures,
              const SignatureSearch::Buckets& buckets, std::span<const std::uint8_t> data,
              std::size_t base, std::vector<std::size_t>& found, std::size_t& remaining)
        : m_signatures(signatures),
          m_buckets(buckets),
          m_data(data),
          m_base(base),
          m_found(found),
          m_remaining(remaining) {}

    bool operator()(std::size_t start, std::uint8_t bucketBits) const {
        const std::uint8_t* at = m_data.data() + start;
        const std::size_t available = m_data.size() - start;
        const std::uint64_t head =
            available >= kHeadBytes ? HeadWord(at, kHeadBytes) : HeadWord(at, available);
        for (; bucketBits != 0; bucketBits &= static_cast<std::uint8_t>(bucketBits - 1)) {
            for (const auto& entry : m_buckets[std::countr_zero(bucketBits)]) {
                if ((head & entry.headMask) != entry.head ||
                    m_found[entry.id] != SignatureSearch::kNotFound) {
                    continue;
                }
                const auto& signature = m_signatures[entry.id];
                if (signature.size() > available ||
                    (signature.size() > kHeadBytes &&
                     std::memcmp(at + kHeadBytes, signature.data() + kHeadBytes,
                                 signature.size() - kHeadBytes) != 0)) {
                    continue;
                }
                m_found[entry.id] = m_base + start;
                if (--m_remaining == 0) {
                    return true;
                }
            }
        }
        return false;
    }

  private:
    const std::vector<std::span<const std::uint8_t>>& m_signatures;
    const SignatureSearch::Buckets& m_buckets;
    std::span<const std::uint8_t> m_data;
    std::size_t m_base;
    std::vector<std::size_t>& m_found;
    std::size_t& m_remaining;
};

// The buckets whose signatures may start at `bytes`, by the filter's tables.
template <std::size_t kFiltered>
std::uint8_t FilterOne(const std::uint8_t* bytes, const HalfTables& low, const HalfTables& high) {
    std::uint8_t bits = 0xFF;
    for (std::size_t k = 0; k < kFiltered; ++k) {
        bits &= low[k][bytes[k] & 0x0F] & high[k][bytes[k] >> 4];
    }
    return bits;
}

constexpr std::size_t kEverythingFound = static_cast<std::size_t>(-1);

#ifdef OSTRAVEX_X86_VECTORS
// The filter over 32 positions at a time: per filtered byte, one load of the 32 bytes at
// that distance from the positions, and two table lookups (vpshufb) by their halves.
// Returns the first position it did not look at, or kEverythingFound.
template <std::size_t kFiltered, typename Confirm>
__attribute__((target("avx2"))) std::size_t FilterAvx2(std::span<const std::uint8_t> data,
                                                       const HalfTables& low,
                                                       const HalfTables& high,
                                                       const Confirm& confirm) {
    constexpr std::size_t kStep = 32;
    const __m256i halfMask = _mm256_set1_epi8(0x0F);
    __m256i lowTables[kFiltered];
    __m256i highTables[kFiltered];
#pragma GCC unroll 4
    for (std::size_t k = 0; k < kFiltered; ++k) {
        // vpshufb looks up within each 16-byte lane: the table stands in both.
        lowTables[k] = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(low[k].data())));
        highTables[k] = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(high[k].data())));
    }
    const std::uint8_t* bytes = data.data();
    std::size_t start = 0;
    for (; start + kStep + kFiltered - 1 <= data.size(); start += kStep) {
        __m256i bits = _mm256_set1_epi8(-1);
#pragma GCC unroll 4
        for (std::size_t k = 0; k < kFiltered; ++k) {
            const __m256i v =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + start + k));
            const __m256i lowHalves = _mm256_and_si256(v, halfMask);
            const __m256i highHalves = _mm256_and_si256(_mm256_srli_epi16(v, 4), halfMask);
            bits = _mm256_and_si256(
                bits, _mm256_and_si256(_mm256_shuffle_epi8(lowTables[k], lowHalves),
                                       _mm256_shuffle_epi8(highTables[k], highHalves)));
        }
        if (_mm256_testz_si256(bits, bits)) {
            continue;
        }
        alignas(32) std::uint8_t lanes[kStep];
        _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), bits);
        auto passed = ~static_cast<std::uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(bits, _mm256_setzero_si256())));
        for (; passed != 0; passed &= passed - 1) {
            const auto lane = static_cast<std::size_t>(std::countr_zero(passed));
            if (confirm(start + lane, lanes[lane])) {
                return kEverythingFound;
            }
        }
    }
    return start;
}

bool ProcessorHasAvx2() {
    return __builtin_cpu_supports("avx2");
}
#else
bool ProcessorHasAvx2() {
    return false;
}
#endif

// The positions from `start` on, one at a time.
template <std::size_t kFiltered, typename Confirm>
void FilterRest(std::span<const std::uint8_t> data, std::size_t start, const HalfTables& low,
                const HalfTables& high, const Confirm& confirm) {
    for (; start + kFiltered <= data.size(); ++start) {
        if (const std::uint8_t bits = FilterOne<kFiltered>(data.data() + start, low, high);
            bits != 0 && confirm(start, bits)) {
            return;
        }
    }
}

template <std::size_t kFiltered, typename Confirm>
void Filter(std::span<const std::uint8_t> data, const HalfTables& low, const HalfTables& high,
            const Confirm& confirm) {
    std::size_t start = 0;
#ifdef OSTRAVEX_X86_VECTORS
    start = FilterAvx2<kFiltered>(data, low, high, confirm);
    if (start == kEverythingFound) {
        return;
    }
#endif
    FilterRest<kFiltered>(data, start, low, high, confirm);
}

// How many of the 256 byte values each filtered byte of a bucket lets through, multiplied:
// the share of random positions that pass, times 256 to the power of the bytes filtered.
double PassingShare(const std::array<std::uint16_t, 4>& lowSets,
                    const std::array<std::uint16_t, 4>& highSets, std::size_t filtered) {
    double share = 1.0;
    for (std::size_t k = 0; k < filtered; ++k) {
        share *= std::popcount(lowSets[k]) * std::popcount(highSets[k]) / 256.0;
    }
    return share;
}

// Whether a bucket lets runs of one byte value pass: images hold long runs of 0x00 and
// 0xFF, and every position of such a run would then be compared.
bool PassesRunOf(std::uint8_t value, const std::array<std::uint16_t, 4>& lowSets,
                 const std::array<std::uint16_t, 4>& highSets, std::size_t filtered) {
    for (std::size_t k = 0; k < filtered; ++k) {
        if (!(lowSets[k] >> (value & 0x0F) & 1) || !(highSets[k] >> (value >> 4) & 1)) {
            return false;
        }
    }
    return true;
}

}  // namespace

SignatureSearch::SignatureSearch(std::vector<std::span<const std::uint8_t>> signatures, Scan scan)
    : m_signatures(std::move(signatures)) {
    m_window = m_signatures.empty() ? kBlock : m_signatures.front().size();
    for (const auto& signature : m_signatures) {
        m_window = std::min(m_window, signature.size());
        m_longest = std::max(m_longest, signature.size());
    }
    m_vectorScan = scan == Scan::Fastest && ProcessorHasAvx2();
    if (m_vectorScan) {
        makeFilter();
    } else {
        makeWindowTables();
    }
}

// Puts each signature in the bucket where it lets the fewest random positions through,
// signatures that start alike together.
void SignatureSearch::makeFilter() {
    m_filteredBytes = std::min(m_window, kMostFilteredBytes);
    std::array<std::array<std::uint16_t, 4>, kBuckets> lowSets{};
    std::array<std::array<std::uint16_t, 4>, kBuckets> highSets{};
    const auto cost = [this](const std::array<std::uint16_t, 4>& lows,
                             const std::array<std::uint16_t, 4>& highs) {
        constexpr double kRunCost = 1.0;  // more than any set of byte values costs
        return PassingShare(lows, highs, m_filteredBytes) +
               kRunCost * (PassesRunOf(0x00, lows, highs, m_filteredBytes) +
                           PassesRunOf(0xFF, lows, highs, m_filteredBytes));
    };
    for (std::size_t id = 0; id < m_signatures.size(); ++id) {
        const std::uint8_t* bytes = m_signatures[id].data();
        std::size_t best = 0;
        double bestIncrease = 0.0;
        for (std::size_t bucket = 0; bucket < kBuckets; ++bucket) {
            auto lows = lowSets[bucket];
            auto highs = highSets[bucket];
            const double before = m_buckets[bucket].empty() ? 0.0 : cost(lows, highs);
            for (std::size_t k = 0; k < m_filteredBytes; ++k) {
                lows[k] |= static_cast<std::uint16_t>(1u << (bytes[k] & 0x0F));
                highs[k] |= static_cast<std::uint16_t>(1u << (bytes[k] >> 4));
            }
            const double increase = cost(lows, highs) - before;
            if (bucket == 0 || increase < bestIncrease) {
                best = bucket;
                bestIncrease = increase;
            }
        }
        for (std::size_t k = 0; k < m_filteredBytes; ++k) {
            lowSets[best][k] |= static_cast<std::uint16_t>(1u << (bytes[k] & 0x0F));
            highSets[best][k] |= static_cast<std::uint16_t>(1u << (bytes[k] >> 4));
        }
        const std::uint8_t allBytes[kHeadBytes] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        const std::size_t headLength = std::min(m_signatures[id].size(), kHeadBytes);
        m_buckets[best].push_back(
            {HeadWord(bytes, headLength), HeadWord(allBytes, headLength), id});
    }
    for (std::size_t bucket = 0; bucket < kBuckets; ++bucket) {
        for (std::size_t k = 0; k < m_filteredBytes; ++k) {
            for (std::size_t half = 0; half < 16; ++half) {
                const auto bit = static_cast<std::uint8_t>(1u << bucket);
                if (lowSets[bucket][k] >> half & 1) {
                    m_lowHalves[k][half] |= bit;
                }
                if (highSets[bucket][k] >> half & 1) {
                    m_highHalves[k][half] |= bit;
                }
            }
        }
    }
}

void SignatureSearch::makeWindowTables() {
    const std::size_t lastBlock = m_window - kBlock;
    m_fullShift = std::min<std::size_t>(lastBlock + 1, 255);
    m_shift.assign(65536, static_cast<std::uint8_t>(m_fullShift));
    m_shortShift.assign(65536 / 64, 0);
    m_candidateList.assign(65536, 0);
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
    const auto remaining = static_cast<std::size_t>(std::ranges::count(found, kNotFound));
    if (data.size() < m_window || remaining == 0) {
        return remaining;
    }
    return m_vectorScan ? findWithFilter(data, base, found, remaining)
                        : findWithWindow(data, base, found, remaining);
}

std::size_t SignatureSearch::findWithFilter(std::span<const std::uint8_t> data, std::size_t base,
                                            std::vector<std::size_t>& found,
                                            std::size_t remaining) const {
    const Confirmer confirm(m_signatures, m_buckets, data, base, found, remaining);
    switch (m_filteredBytes) {
        case 2:
            Filter<2>(data, m_lowHalves, m_highHalves, confirm);
            break;
        case 3:
            Filter<3>(data, m_lowHalves, m_highHalves, confirm);
            break;
        default:
            Filter<4>(data, m_lowHalves, m_highHalves, confirm);
            break;
    }
    return remaining;
}

std::size_t SignatureSearch::findWithWindow(std::span<const std::uint8_t> data, std::size_t base,
                                            std::vector<std::size_t>& found,
                                            std::size_t remaining) const {
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
