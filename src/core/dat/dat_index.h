#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "dat/dat_file.h"

namespace ostravex {

// A rom of a loaded DAT, and which DAT it comes from.
struct IndexedRom {
    const DatRom* rom;
    const DatFile* dat;
};

// The roms of every loaded DAT, found by size and CRC-32 in constant time whatever the
// DATs' sizes. The DATs are kept in the order they were added; a dump listed in two DATs
// is found in both.
class DatIndex {
  public:
    DatIndex() = default;
    DatIndex(const DatIndex&) = delete;
    DatIndex& operator=(const DatIndex&) = delete;

    void add(DatFile dat);

    bool empty() const { return m_dats.empty(); }
    std::size_t romCount() const { return m_romCount; }
    const std::vector<std::unique_ptr<DatFile>>& dats() const { return m_dats; }

    // Every rom of this size and CRC-32, in the order the DATs were added.
    std::span<const IndexedRom> find(std::uint64_t size, std::uint32_t crc32) const;
    // True when some rom has this size.
    bool hasSize(std::uint64_t size) const { return m_bySize.contains(size); }
    // Every rom of this size, in the order the DATs were added.
    std::span<const IndexedRom> romsOfSize(std::uint64_t size) const;
    // The distinct rom sizes in (above, upTo], ascending. Their number depends on how many
    // different sizes the DATs hold (a few dozen cartridge sizes), not on how many roms.
    std::vector<std::uint64_t> sizesBetween(std::uint64_t above, std::uint64_t upTo) const;

  private:
    struct Key {
        std::uint64_t size;
        std::uint32_t crc32;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const {
            // The CRC is already well mixed; the size spreads roms of one CRC apart.
            return key.crc32 ^ static_cast<std::size_t>(key.size * 0x9E3779B97F4A7C15ull);
        }
    };

    std::vector<std::unique_ptr<DatFile>> m_dats;
    std::unordered_map<Key, std::vector<IndexedRom>, KeyHash> m_roms;
    std::unordered_map<std::uint64_t, std::vector<IndexedRom>> m_bySize;
    std::vector<std::uint64_t> m_sortedSizes;
    std::size_t m_romCount = 0;
};

}  // namespace ostravex
