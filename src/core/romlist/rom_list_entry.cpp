#include "romlist/rom_list_entry.h"

#include "io/paths.h"

namespace ostravex {
namespace {

std::string_view PrefixOf(ArchiveKind kind) {
    switch (kind) {
        case ArchiveKind::Zip:
            return "ZIP: ";
        case ArchiveKind::Rar:
            return "RAR: ";
        case ArchiveKind::SevenZip:
            return "7ZIP: ";
    }
    return "";
}

constexpr std::string_view kMemberSeparator = "| ";

}  // namespace

RomListEntry RomListEntry::file(std::string path) {
    return RomListEntry{std::nullopt, std::move(path), {}};
}

RomListEntry RomListEntry::inArchive(ArchiveKind kind, std::string archivePath,
                                     std::string member) {
    return RomListEntry{kind, std::move(archivePath), std::move(member)};
}

std::string RomListEntry::text() const {
    if (!archive) {
        return path;
    }
    std::string text(PrefixOf(*archive));
    text += path;
    text += kMemberSeparator;
    text += member;
    return text;
}

RomGroup GroupOfName(std::string_view name) {
    return LowerExtension(name) == ".nds" ? RomGroup::Nds : RomGroup::Gba;
}

RomGroup GroupOfEntry(const RomListEntry& entry) {
    return GroupOfName(entry.romName());
}

}  // namespace ostravex
