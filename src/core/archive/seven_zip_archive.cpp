#include "archive/seven_zip_archive.h"

#include "io/ascii.h"

namespace ostravex {

std::vector<ArchiveItem> SevenZipList(const std::string& archive) {
    return ListArchive(archive, LibarchiveFormat::SevenZip).items;
}

ArchiveExtraction SevenZipExtract(const std::string& archive, const std::string& member,
                                  MemberSink& sink, const ExtractionProgress& progress) {
    return ExtractArchiveMember(
        archive, LibarchiveFormat::SevenZip,
        [&member](const ArchiveItem& item) {
            return EqualIgnoringAsciiCase(MemberBaseName(item.path), member);
        },
        sink, progress);
}

}  // namespace ostravex
