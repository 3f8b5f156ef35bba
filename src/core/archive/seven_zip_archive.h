#pragma once

#include <string>
#include <vector>

#include "archive/libarchive_reader.h"

namespace ostravex {

// The items of a 7z archive: path and folder flag, in index order. An archive that cannot
// be read as 7z lists nothing and says so.
ArchiveListing ListSevenZipItems(const std::string& archive);

// Extracts the file item `FindMember` picks for `member` (its path; letter case counts
// unless no item matches exactly) into `sink`.
ArchiveExtraction ExtractSevenZipMember(const std::string& archive, const std::string& member,
                                        MemberSink& sink, const ExtractionProgress& progress);

}  // namespace ostravex
