#include "dat/dat_index.h"

#include <algorithm>

namespace ostravex {

void DatIndex::add(DatFile dat) {
    // Held behind a pointer, so the index's pointers stay valid as more DATs are added.
    const DatFile& kept = *m_dats.emplace_back(std::make_unique<DatFile>(std::move(dat)));
    m_roms.reserve(m_roms.size() + kept.roms.size());
    bool newSize = false;
    for (const DatRom& rom : kept.roms) {
        m_roms[{rom.size, rom.crc32}].push_back({&rom, &kept});
        std::vector<IndexedRom>& ofSize = m_bySize[rom.size];
        newSize = ofSize.empty() || newSize;
        ofSize.push_back({&rom, &kept});
    }
    if (newSize) {
        m_sortedSizes.clear();
        for (const auto& [size, roms] : m_bySize) {
            m_sortedSizes.push_back(size);
        }
        std::sort(m_sortedSizes.begin(), m_sortedSizes.end());
    }
    m_romCount += kept.roms.size();
}

std::span<const IndexedRom> DatIndex::find(std::uint64_t size, std::uint32_t crc32) const {
    const auto found = m_roms.find({size, crc32});
    if (found == m_roms.end()) {
        return {};
    }
    return found->second;
}

std::span<const IndexedRom> DatIndex::romsOfSize(std::uint64_t size) const {
    const auto found = m_bySize.find(size);
    if (found == m_bySize.end()) {
        return {};
    }
    return found->second;
}

std::vector<std::uint64_t> DatIndex::sizesBetween(std::uint64_t above, std::uint64_t upTo) const {
    const auto first = std::upper_bound(m_sortedSizes.begin(), m_sortedSizes.end(), above);
    const auto last = std::upper_bound(first, m_sortedSizes.end(), upTo);
    return {first, last};
}

}  // namespace ostravex
