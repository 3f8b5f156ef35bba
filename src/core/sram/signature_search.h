#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace ostravex {

// Finds the first occurrence of each of a set of byte strings in one pass over the data
// (Wu-Manber: a window as long as the shortest string slides over the data, and a table of
// two-byte blocks tells how far it may jump without passing a possible match).
class SignatureSearch {
  public:
    static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

    // Every signature must be at least two bytes long.
    explicit SignatureSearch(std::vector<std::span<const std::uint8_t>> signatures);

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

  private:
    static constexpr std::size_t kBlock = 2;

    std::vector<std::span<const std::uint8_t>> m_signatures;
    std::size_t m_window = 0;  // length of the shortest signature
    std::size_t m_longest = 0;
    std::array<std::uint8_t, 65536> m_shift{};
    std::size_t m_fullShift = 1;  // the shift of a block that stands in no signature's window
    // One bit per block: set when its shift is short of the full one. Small enough for the
    // first-level cache, so most windows are passed over without touching m_shift.
    std::array<std::uint64_t, 65536 / 64> m_shortShift{};
    // Signatures whose window ends with a block: index + 1 into m_candidates, 0 for none.
    std::array<std::uint8_t, 65536> m_candidateList{};
    std::vector<std::vector<std::size_t>> m_candidates;
};

}  // namespace ostravex
