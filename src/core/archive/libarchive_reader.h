#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/member_sink.h"
#include "io/status.h"

struct archive;

namespace ostravex {

struct LibarchiveFunctions;

// The archive formats read through libarchive.
enum class LibarchiveFormat { Rar, SevenZip };

struct ArchiveItem {
    std::string path;  // the member's path inside the archive, folders separated by "/"
    bool isFolder = false;
    std::uint64_t size = 0;
    bool nameUnreadable = false;  // the stored name is not valid in its encoding; path is ""
};

struct ArchiveListing {
    bool opened = false;        // false: not readable as that format; nothing listed
    bool headerBroken = false;  // a damaged header ended the listing after `items`
    std::vector<ArchiveItem> items;
    // Why no archive of the kind can be read at all (the archive library cannot be
    // loaded); empty otherwise.
    std::string unreadable;
};

// Lists the items of an archive in header order.
ArchiveListing ListArchive(const std::string& path, LibarchiveFormat format);

// The index of the file item a member path stands for: the first whose path equals
// `member`; only when none does, the first whose path equals it ignoring letter case.
// Members of one name in different folders are told apart by their paths.
std::optional<std::size_t> FindMember(const std::vector<ArchiveItem>& items,
                                      const std::string& member);

struct ArchiveExtraction {
    enum class Outcome { Extracted, NotFound, NotOpened, Failed };
    Outcome outcome = Outcome::NotOpened;
    bool headerBroken = false;
    std::string reason;  // why it was not extracted
};

// Progress of an extraction: bytes of the member written, its size.
using ExtractionProgress = std::function<void(std::uint64_t written, std::uint64_t size)>;

// Extracts members of rar and 7z archives. After a member the archive stays open and
// positioned at the next one, so that the members of one archive taken in header order
// are read in a single pass: a solid 7z block is decompressed once for all of them, not
// once per member from its start.
class ArchiveMemberReader {
  public:
    // Extracts the member `FindMember` picks into `sink`. Every data error (a CRC that
    // does not match included) is a failure; the sink is then left unfinished.
    ArchiveExtraction extract(const std::string& path, LibarchiveFormat format,
                              const std::string& member, MemberSink& sink,
                              const ExtractionProgress& progress);
    // Closes the archive held open.
    void close();

  private:
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        std::int64_t modified = 0;
        bool operator==(const Identity&) const = default;
    };
    static std::optional<Identity> IdentityOf(const std::string& path);

    bool holds(const std::string& path, LibarchiveFormat format) const;
    bool reopen();
    Status passOver(const ArchiveItem& item, const ExtractionProgress& progress);
    // Checks the data against `statedCrc` too, when the format leaves that to the caller.
    Status copyMember(const ArchiveItem& item, std::optional<std::uint32_t> statedCrc,
                      MemberSink& sink, const ExtractionProgress& progress);
    ArchiveExtraction fail(ArchiveExtraction::Outcome outcome, std::string reason,
                           bool headerBroken = false);
    std::string errorText(const char* otherwise) const;

    struct Closer {
        const LibarchiveFunctions* functions;  // set when a handle is held
        void operator()(archive* handle) const;
    };
    const LibarchiveFunctions* m_la = nullptr;  // set once an extraction has loaded them
    std::unique_ptr<archive, Closer> m_handle;  // open, positioned before header `m_next`
    std::string m_path;
    LibarchiveFormat m_format = LibarchiveFormat::Rar;
    Identity m_identity;
    ArchiveListing m_listing;  // of m_path, while m_listed
    bool m_listed = false;
    std::size_t m_next = 0;
};

}  // namespace ostravex
