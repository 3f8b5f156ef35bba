#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/member_sink.h"
#include "io/status.h"

namespace ostravex {

// The archive formats read through libarchive.
enum class LibarchiveFormat { Rar, SevenZip };

struct ArchiveItem {
    std::string path;  // the member's path inside the archive, as stored
    bool isFolder = false;
    std::uint64_t size = 0;
};

struct ArchiveListing {
    bool opened = false;        // false: not readable as that format; nothing listed
    bool headerBroken = false;  // a damaged header ended the listing after `items`
    std::vector<ArchiveItem> items;
};

// Lists the items of an archive in header order.
ArchiveListing ListArchive(const std::string& path, LibarchiveFormat format);

// The base name of a member path: after its last "/", "\" or ":".
std::string MemberBaseName(const std::string& path);

struct ArchiveExtraction {
    enum class Outcome { Extracted, NotFound, NotOpened, Failed };
    Outcome outcome = Outcome::NotOpened;
    bool headerBroken = false;
    std::string reason;  // for Failed
};

// Progress of an extraction: bytes of the member written, its size.
using ExtractionProgress = std::function<void(std::uint64_t written, std::uint64_t size)>;

// Extracts the first file member that `matches`, into `sink`.
ArchiveExtraction ExtractArchiveMember(const std::string& path, LibarchiveFormat format,
                                       const std::function<bool(const ArchiveItem&)>& matches,
                                       MemberSink& sink, const ExtractionProgress& progress);

}  // namespace ostravex
