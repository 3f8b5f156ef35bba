#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "romlist/rom_list_entry.h"

namespace ostravex {

// Shows an entry in test failures as its fields, bytes escaped.
inline void PrintTo(const RomListEntry& entry, std::ostream* os) {
    *os << ::testing::PrintToString(entry.archive ? static_cast<int>(*entry.archive) : -1) << " "
        << ::testing::PrintToString(entry.path) << " " << ::testing::PrintToString(entry.member);
}

}  // namespace ostravex

namespace ostravex::testing {

inline RomListEntry ZipMember(std::string archive, std::string member) {
    return RomListEntry::inArchive(ArchiveKind::Zip, std::move(archive), std::move(member));
}
inline RomListEntry RarMember(std::string archive, std::string member) {
    return RomListEntry::inArchive(ArchiveKind::Rar, std::move(archive), std::move(member));
}
inline RomListEntry SevenZipMember(std::string archive, std::string member) {
    return RomListEntry::inArchive(ArchiveKind::SevenZip, std::move(archive), std::move(member));
}

inline std::vector<RomListEntry> FileEntries(const std::vector<std::string>& paths) {
    std::vector<RomListEntry> entries;
    for (const std::string& path : paths) {
        entries.push_back(RomListEntry::file(path));
    }
    return entries;
}

}  // namespace ostravex::testing
