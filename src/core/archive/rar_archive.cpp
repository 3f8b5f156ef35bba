#include "archive/rar_archive.h"

namespace ostravex {

RarNames ListRarMembers(const std::string& archive) {
    ArchiveListing listing = ListArchive(archive, LibarchiveFormat::Rar);
    RarNames result;
    result.opened = listing.opened;
    result.headerBroken = listing.headerBroken;
    result.unreadable = std::move(listing.unreadable);
    for (std::size_t i = 0; i < listing.items.size(); ++i) {
        const ArchiveItem& item = listing.items[i];
        if (item.nameUnreadable) {
            result.unreadableNames.push_back(i + 1);
        } else {
            result.names.push_back(item.path);
        }
    }
    return result;
}

ArchiveExtraction ExtractRarMember(const std::string& archive, const std::string& member,
                                   MemberSink& sink, const ExtractionProgress& progress) {
    ArchiveMemberReader reader;
    return reader.extract(archive, LibarchiveFormat::Rar, member, sink, progress);
}

}  // namespace ostravex
