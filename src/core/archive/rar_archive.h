#pragma once

#include <string>
#include <vector>

#include "archive/libarchive_reader.h"

namespace ostravex {

struct RarNames {
    bool opened = false;             // false: not readable as RAR; nothing listed
    std::vector<std::string> names;  // paths, folders separated by "/", in header order
    bool headerBroken = false;       // a damaged header ended the listing
    // Header positions (from 1) of the members whose stored name is not valid in its
    // encoding; they are not in `names`.
    std::vector<std::size_t> unreadableNames;
    // Why no RAR archive can be read at all (the archive library cannot be loaded).
    std::string unreadable;
};

// The member paths of a RAR archive. An archive that cannot be read as RAR lists nothing.
RarNames ListRarMembers(const std::string& archive);

// Extracts the member `FindMember` picks for `member` (its path; letter case counts unless
// no member matches exactly) into `sink`.
ArchiveExtraction ExtractRarMember(const std::string& archive, const std::string& member,
                                   MemberSink& sink, const ExtractionProgress& progress);

}  // namespace ostravex
