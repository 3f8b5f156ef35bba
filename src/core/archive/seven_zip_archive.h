#pragma once

#include <string>
#include <vector>

#include "archive/libarchive_reader.h"

namespace ostravex {

// The items of a 7z archive: path and folder flag, in index order. An archive that cannot
// be read as 7z lists nothing.
std::vector<ArchiveItem> SevenZipList(const std::string& archive);

// Extracts the first file item whose base name equals `member` without regard to letter
// case (the ROM list carries only base names) into `sink`.
ArchiveExtraction SevenZipExtract(const std::string& archive, const std::string& member,
                                  MemberSink& sink, const ExtractionProgress& progress);

}  // namespace ostravex
