#include "scan/rom_list_entry.h"

#include "io/paths.h"

namespace ostravex {
namespace {

struct EntryPrefix {
    ArchiveKind kind;
    std::string_view tag;   // what identifies the entry
    std::string_view text;  // what an entry begins with
};

constexpr EntryPrefix kPrefixes[] = {
    {ArchiveKind::Zip, "ZIP:", "ZIP: "},
    {ArchiveKind::Rar, "RAR:", "RAR: "},
    {ArchiveKind::SevenZip, "7ZIP:", "7ZIP: "},
};

constexpr std::string_view kMemberSeparator = "| ";

const EntryPrefix& PrefixOf(ArchiveKind kind) {
    for (const auto& prefix : kPrefixes) {
        if (prefix.kind == kind) {
            return prefix;
        }
    }
    return kPrefixes[0];
}

}  // namespace

std::optional<ArchiveKind> ArchiveKindOfEntry(std::string_view entry) {
    for (const auto& prefix : kPrefixes) {
        if (entry.starts_with(prefix.tag)) {
            return prefix.kind;
        }
    }
    return std::nullopt;
}

std::optional<ArchiveMemberEntry> ParseArchiveMemberEntry(std::string_view entry) {
    const auto kind = ArchiveKindOfEntry(entry);
    if (!kind || entry.find('|') == std::string_view::npos) {
        return std::nullopt;
    }
    // The tag and the one character after it ("ZIP: ") are dropped; the archive path runs
    // to the first "|", and the member name starts after the character following it.
    std::string_view rest = entry.substr(std::min(entry.size(), PrefixOf(*kind).text.size()));
    const auto bar = rest.find('|');
    if (bar == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view member =
        rest.substr(std::min(rest.size(), bar + kMemberSeparator.size()));
    return ArchiveMemberEntry{*kind, std::string(rest.substr(0, bar)), std::string(member)};
}

std::string MakeArchiveMemberEntry(ArchiveKind kind, std::string_view archivePath,
                                   std::string_view memberName) {
    std::string entry(PrefixOf(kind).text);
    entry += archivePath;
    entry += kMemberSeparator;
    entry += memberName;
    return entry;
}

RomGroup GroupOfName(std::string_view name) {
    return LowerExtension(name) == ".nds" ? RomGroup::Nds : RomGroup::Gba;
}

RomGroup GroupOfEntry(std::string_view entry) {
    if (const auto member = ParseArchiveMemberEntry(entry)) {
        return GroupOfName(member->memberName);
    }
    return GroupOfName(entry);
}

}  // namespace ostravex
