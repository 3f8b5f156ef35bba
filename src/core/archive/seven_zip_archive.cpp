#include "archive/seven_zip_archive.h"

#include <algorithm>

namespace ostravex {
namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

}  // namespace

std::vector<ArchiveItem> SevenZipList(const std::string& archive) {
    return ListArchive(archive, LibarchiveFormat::SevenZip).items;
}

ArchiveExtraction SevenZipExtract(const std::string& archive, const std::string& member,
                                  MemberSink& sink, const ExtractionProgress& progress) {
    return ExtractArchiveMember(
        archive, LibarchiveFormat::SevenZip,
        [&member](const ArchiveItem& item) {
            return SameIgnoringCase(MemberBaseName(item.path), member);
        },
        sink, progress);
}

}  // namespace ostravex
