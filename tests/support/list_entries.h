#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "romlist/rom_list_entry.h"

namespace ostravex {

// Shows an entry in test failures as its fields, with bytes that are not printable ASCII
// written as \xNN.
inline void PrintTo(const RomListEntry& entry, std::ostream* os) {
    const auto quoted = [os](const std::string& text) {
        *os << '"';
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte >= 0x7F) {
                constexpr char kHex[] = "0123456789ABCDEF";
                *os << "\\x" << kHex[byte >> 4] << kHex[byte & 15];
            } else {
                *os << c;
            }
        }
        *os << '"';
    };
    *os << (entry.archive ? static_cast<int>(*entry.archive) : -1) << ' ';
    quoted(entry.path);
    *os << ' ';
    quoted(entry.member);
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
