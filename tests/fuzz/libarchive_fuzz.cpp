// Lists an arbitrary file as RAR and as 7z and extracts its file members into memory: in
// header order through one reader that keeps the archive open between members, as a run
// does, and the first member through each format's own calls.
#include <memory>

#include "archive/rar_archive.h"
#include "archive/seven_zip_archive.h"
#include "fuzz_support.h"

namespace {

// Extraction stops here: a sparse member may claim any size.
constexpr std::uint64_t kMemoryLimit = 16u << 20;
// Enough members to read on from one to the next; more only repeat that.
constexpr std::size_t kMembersTried = 4;

void CheckExtraction(const ostravex::ArchiveExtraction& extraction,
                     const ostravex::ByteBuffer& bytes) {
    ostravex::fuzz::Require(bytes.size() <= kMemoryLimit, "the sink went past its limit");
    ostravex::fuzz::Require(extraction.outcome != ostravex::ArchiveExtraction::Outcome::Failed ||
                                !extraction.reason.empty(),
                            "a failed extraction gives no reason");
}

// A member handed over to be read where it lies must be readable whole there: its CRC was
// checked on those very bytes.
void CheckStoredMember(const ostravex::ByteSource& source, std::size_t archiveSize) {
    ostravex::fuzz::Require(source.size() <= archiveSize, "a stored member outgrows its archive");
    std::uint8_t block[4096];
    for (std::uint64_t at = 0; at < source.size(); at += sizeof block) {
        std::size_t got = 0;
        ostravex::fuzz::Require(source.readAt(at, block, got).ok(),
                                "a stored member cannot be read where it lies");
    }
}

void TryFormat(const std::string& path, std::size_t archiveSize,
               ostravex::LibarchiveFormat format) {
    const ostravex::ArchiveListing listing = ostravex::ListArchive(path, format);
    ostravex::fuzz::Require(listing.opened || listing.items.empty(),
                            "an unopened archive lists items");
    ostravex::ArchiveMemberReader reader;
    std::size_t tried = 0;
    for (const ostravex::ArchiveItem& item : listing.items) {
        if (item.isFolder || item.nameUnreadable) {
            continue;
        }
        if (++tried > kMembersTried) {
            break;
        }
        ostravex::ByteBuffer bytes;
        std::unique_ptr<ostravex::ByteSource> inPlace;
        ostravex::MemoryMemberSink sink(bytes, kMemoryLimit, &inPlace);
        std::uint64_t reported = 0;
        const ostravex::ArchiveExtraction extraction = reader.extract(
            path, format, item.path, sink, [&](std::uint64_t written, std::uint64_t) {
                ostravex::fuzz::Require(written >= reported, "progress went backwards");
                reported = written;
            });
        CheckExtraction(extraction, bytes);
        if (inPlace) {
            ostravex::fuzz::Require(
                extraction.outcome == ostravex::ArchiveExtraction::Outcome::Extracted,
                "a member read in place did not extract");
            CheckStoredMember(*inPlace, archiveSize);
        }
    }
    reader.close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ostravex::fuzz::MemoryFile file;
    const std::string& path = file.hold(data, size);
    TryFormat(path, size, ostravex::LibarchiveFormat::Rar);
    TryFormat(path, size, ostravex::LibarchiveFormat::SevenZip);

    const ostravex::RarNames rar = ostravex::ListRarMembers(path);
    if (!rar.names.empty()) {
        ostravex::ByteBuffer bytes;
        ostravex::MemoryMemberSink sink(bytes, kMemoryLimit);
        CheckExtraction(ostravex::ExtractRarMember(path, rar.names.front(), sink, {}), bytes);
    }
    const std::vector<ostravex::ArchiveItem> items = ostravex::ListSevenZipItems(path).items;
    if (!items.empty()) {
        ostravex::ByteBuffer bytes;
        ostravex::MemoryMemberSink sink(bytes, kMemoryLimit);
        CheckExtraction(ostravex::ExtractSevenZipMember(path, items.front().path, sink, {}), bytes);
    }
    return 0;
}
