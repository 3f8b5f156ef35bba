#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostravex {

enum class ArchiveKind { Zip, Rar, SevenZip };

// The two groups of the list view.
enum class RomGroup { Nds = 0, Gba = 1 };

// One listed rom: a rom file, or a rom member of a zip, rar or 7z archive. The scan fills
// it and the run reads it field by field; its text is made for display only and is never
// taken apart again, so any byte a file name may hold ("|", ": ", newlines, bytes that are
// not UTF-8) can stand in the path and in the member name.
struct RomListEntry {
    std::optional<ArchiveKind> archive;  // set for archive members
    std::string path;                    // the rom file, or the archive
    // A zip member's stored path; a rar or 7z member's path, folders separated by "/". Its
    // last part names the output.
    std::string member;

    static RomListEntry file(std::string path);
    static RomListEntry inArchive(ArchiveKind kind, std::string archivePath, std::string member);

    bool isMember() const { return archive.has_value(); }
    // The rom's own name: the member name, or the file path.
    const std::string& romName() const { return isMember() ? member : path; }
    // The line the lists show: the path, or "ZIP: " / "RAR: " / "7ZIP: " + archive path +
    // "| " + member name.
    std::string text() const;

    bool operator==(const RomListEntry&) const = default;
};

// Group 0 for a ".nds" file or member name, group 1 otherwise.
RomGroup GroupOfName(std::string_view name);
RomGroup GroupOfEntry(const RomListEntry& entry);

}  // namespace ostravex
