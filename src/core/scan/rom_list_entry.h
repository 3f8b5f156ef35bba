#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostravex {

// A ROM list entry is one string per listed rom: a plain path, or an archive member as
// "ZIP: " / "RAR: " / "7ZIP: " + archive path + "| " + member name.
enum class ArchiveKind { Zip, Rar, SevenZip };

// The two groups of the list view.
enum class RomGroup { Nds = 0, Gba = 1 };

struct ArchiveMemberEntry {
    ArchiveKind kind;
    std::string archivePath;
    std::string memberName;
};

// The archive kind named by the entry's prefix, when it has one.
std::optional<ArchiveKind> ArchiveKindOfEntry(std::string_view entry);

// Takes an archive member entry apart. An entry is a member only when it carries one of the
// three prefixes and a "|"; everything else is a plain path, also when its name holds a "|"
// (Linux file names may), so such a file is never mistaken for a member of another file.
std::optional<ArchiveMemberEntry> ParseArchiveMemberEntry(std::string_view entry);

std::string MakeArchiveMemberEntry(ArchiveKind kind, std::string_view archivePath,
                                   std::string_view memberName);

// Group 0 for a ".nds" file or member name, group 1 otherwise.
RomGroup GroupOfName(std::string_view name);
RomGroup GroupOfEntry(std::string_view entry);

}  // namespace ostravex
