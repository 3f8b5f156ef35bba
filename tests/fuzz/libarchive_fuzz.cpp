// Lists an arbitrary file as RAR and as 7z and extracts its first file member into memory,
// through the generic reader and through each format's own calls.
#include "archive/rar_archive.h"
#include "archive/seven_zip_archive.h"
#include "fuzz_support.h"

namespace {

// Extraction stops here: a sparse member may claim any size.
constexpr std::uint64_t kMemoryLimit = 16u << 20;

void CheckExtraction(const ostravex::ArchiveExtraction& extraction,
                     const ostravex::ByteBuffer& bytes) {
    ostravex::fuzz::Require(bytes.size() <= kMemoryLimit, "the sink went past its limit");
    ostravex::fuzz::Require(extraction.outcome != ostravex::ArchiveExtraction::Outcome::Failed ||
                                !extraction.reason.empty(),
                            "a failed extraction gives no reason");
}

void TryFormat(const std::string& path, ostravex::LibarchiveFormat format) {
    const ostravex::ArchiveListing listing = ostravex::ListArchive(path, format);
    ostravex::fuzz::Require(listing.opened || listing.items.empty(),
                            "an unopened archive lists items");
    ostravex::ByteBuffer bytes;
    ostravex::MemoryMemberSink sink(bytes, kMemoryLimit);
    std::uint64_t reported = 0;
    const ostravex::ArchiveExtraction extraction = ostravex::ExtractArchiveMember(
        path, format, [](const ostravex::ArchiveItem&) { return true; }, sink,
        [&](std::uint64_t written, std::uint64_t) {
            ostravex::fuzz::Require(written >= reported, "progress went backwards");
            reported = written;
        });
    CheckExtraction(extraction, bytes);
    if (extraction.outcome == ostravex::ArchiveExtraction::Outcome::Extracted) {
        ostravex::fuzz::Require(listing.opened, "extracted from an archive that did not list");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ostravex::fuzz::MemoryFile file;
    const std::string& path = file.hold(data, size);
    TryFormat(path, ostravex::LibarchiveFormat::Rar);
    TryFormat(path, ostravex::LibarchiveFormat::SevenZip);

    const ostravex::RarNames rar = ostravex::RarListFiles(path, true);
    if (!rar.names.empty()) {
        ostravex::ByteBuffer bytes;
        ostravex::MemoryMemberSink sink(bytes, kMemoryLimit);
        CheckExtraction(ostravex::RarExtractFile(path, rar.names.front(), sink, {}), bytes);
    }
    const std::vector<ostravex::ArchiveItem> items = ostravex::SevenZipList(path);
    if (!items.empty()) {
        ostravex::ByteBuffer bytes;
        ostravex::MemoryMemberSink sink(bytes, kMemoryLimit);
        CheckExtraction(
            ostravex::SevenZipExtract(path, ostravex::MemberBaseName(items.front().path), sink, {}),
            bytes);
    }
    return 0;
}
