#include "archive/seven_zip_archive.h"

namespace ostravex {

ArchiveListing ListSevenZipItems(const std::string& archive) {
    return ListArchive(archive, LibarchiveFormat::SevenZip);
}

ArchiveExtraction ExtractSevenZipMember(const std::string& archive, const std::string& member,
                                        MemberSink& sink, const ExtractionProgress& progress) {
    ArchiveMemberReader reader;
    return reader.extract(archive, LibarchiveFormat::SevenZip, member, sink, progress);
}

}  // namespace ostravex
