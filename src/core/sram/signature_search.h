#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace ostravex {

// Finds the first occurrence of each of a set of byte strings in one pass over the data.
//
// On processors with AVX2 a filter looks at 32 positions at a time: the signatures are
// put in eight buckets, and for each of the first bytes of a signature two 16-entry tables,
// indexed by the byte's low and high half, tell which buckets have a signature that may
// have that byte there. A position that passes for all of them is compared with the
// signatures of its buckets. Elsewhere a portable scan (Wu-Manber) slides a window as long
// as the shortest signature over the data; a table of two-byte blocks tells how far it may
// jump without passing a possible match.
class SignatureSearch {
  public:
    static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

    // The fastest scan this processor runs, or the portable one whatever it runs (both
    // find the same; tests run each).
    enum class Scan { Fastest, Portable };

    // Every signature must be at least two bytes long.
    explicit SignatureSearch(std::vector<std::span<const std::uint8_t>> signatures,
                             Scan scan = Scan::Fastest);

    // The offset of the first occurrence of each signature, in the order given; kNotFound
    // for those that do not occur.
    std::vector<std::size_t> firstOccurrences(std::span<const std::uint8_t> data) const;

    // The same over data that arrives in pieces: `data` starts at offset `base` of the
    // whole, and only the signatures still kNotFound in `found` are looked for. A piece
    // must begin with the last longest() - 1 bytes of the piece before it, so that a match
    // across the border is seen. Returns how many signatures are still not found.
    std::size_t findFirst(std::span<const std::uint8_t> data, std::size_t base,
                          std::vector<std::size_t>& found) const;
    std::size_t longest() const { return m_longest; }

    // Whether this search filters with vector instructions.
    bool vectorScan() const { return m_vectorScan; }

  private:
    static constexpr std::size_t kBlock = 2;
    static constexpr std::size_t kBuckets = 8;
    static constexpr std::size_t kMostFilteredBytes = 4;

    void makeFilter();
    void makeWindowTables();
    std::size_t findWithFilter(std::span<const std::uint8_t> data, std::size_t base,
                               std::vector<std::size_t>& found, std::size_t remaining) const;
    std::size_t findWithWindow(std::span<const std::uint8_t> data, std::size_t base,
                               std::vector<std::size_t>& found, std::size_t remaining) const;

    std::vector<std::span<const std::uint8_t>> m_signatures;
    std::size_t m_window = 0;  // length of the shortest signature
    std::size_t m_longest = 0;
    bool m_vectorScan = false;

  public:
    // A signature of a bucket with its first eight bytes (fewer when it is shorter) as one
    // word, so that most positions that pass the filter are told apart by one comparison.
    struct BucketEntry {
        std::uint64_t head;
        std::uint64_t headMask;  // the bytes of `head` the signature has
        std::size_t id;
    };
    using Buckets = std::array<std::vector<BucketEntry>, 8>;

  private:
    // The filter: how many first bytes it looks at, per byte the bucket bits of each low
    // and each high half, and the signatures of each bucket.
    std::size_t m_filteredBytes = 0;
    std::array<std::array<std::uint8_t, 16>, kMostFilteredBytes> m_lowHalves{};
    std::array<std::array<std::uint8_t, 16>, kMostFilteredBytes> m_highHalves{};
    Buckets m_buckets;

    // The portable scan's tables.
    std::vector<std::uint8_t> m_shift;  // per two-byte block
    std::size_t m_fullShift = 1;        // the shift of a block that stands in no window
    // One bit per block: set when its shift is short of the full one. Small enough for the
    // first-level cache, so most windows are passed over without touching m_shift.
    std::vector<std::uint64_t> m_shortShift;
    // Signatures whose window ends with a block: index + 1 into m_candidates, 0 for none.
    std::vector<std::uint8_t> m_candidateList;
    std::vector<std::vector<std::size_t>> m_candidates;
};

}  // namespace ostravex
