#include "archive/libarchive_reader.h"

#include <locale.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <array>

#include "archive/libarchive_functions.h"
#include "io/ascii.h"
#include "io/file.h"

namespace ostravex {
namespace {

constexpr std::size_t kOpenBlock = 1u << 16;
constexpr std::size_t kCheckBlock = 1u << 20;
constexpr const char* kCrcMismatch = "the data does not match its CRC-32";

using ArchiveHandle = std::unique_ptr<archive, decltype(&archive_read_free)>;

// libarchive hands member names out in the character encoding of the calling thread's
// locale and drops a name it cannot convert to it: under the C locale (a program started
// without LANG, as scripts, cron jobs and CI do) every 7z and rar name beyond ASCII would be
// lost. While an object of this class lives, the thread's character type is UTF-8; the
// rest of the program, and other threads, keep their locale.
class Utf8NamesScope {
  public:
    Utf8NamesScope() {
        if (const locale_t utf8 = Utf8Locale()) {
            m_previous = uselocale(utf8);
        }
    }
    ~Utf8NamesScope() {
        if (m_previous) {
            uselocale(m_previous);
        }
    }
    Utf8NamesScope(const Utf8NamesScope&) = delete;
    Utf8NamesScope& operator=(const Utf8NamesScope&) = delete;

  private:
    // Made once and kept for the life of the process; none when the system has no UTF-8
    // locale, and names then convert as the process locale allows.
    static locale_t Utf8Locale() {
        static const locale_t utf8 = [] {
            for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
                if (const locale_t made = newlocale(LC_CTYPE_MASK, name, locale_t{})) {
                    return made;
                }
            }
            return locale_t{};
        }();
        return utf8;
    }

    locale_t m_previous{};
};

ArchiveHandle OpenArchive(const LibarchiveFunctions& la, const std::string& path,
                          LibarchiveFormat format) {
    ArchiveHandle handle(la.read_new(), la.read_free);
    if (!handle) {
        return handle;
    }
    if (format == LibarchiveFormat::Rar) {
        la.read_support_format_rar(handle.get());
        la.read_support_format_rar5(handle.get());
    } else {
        la.read_support_format_7zip(handle.get());
    }
    if (la.read_open_filename(handle.get(), path.c_str(), kOpenBlock) != ARCHIVE_OK) {
        handle.reset();
    }
    return handle;
}

ArchiveItem ItemOf(const LibarchiveFunctions& la, archive_entry* entry) {
    ArchiveItem item;
    const char* name = la.entry_pathname_utf8(entry);
    if (!name) {
        name = la.entry_pathname(entry);  // bytes stored without a stated encoding
    }
    item.path = name ? name : "";
    // Archives made on Windows may separate folders with "\": the path is kept with "/"
    // as a zip member's is, so that its last part alone names the output.
    std::replace(item.path.begin(), item.path.end(), '\\', '/');
    item.nameUnreadable = name == nullptr;
    item.isFolder = la.entry_filetype(entry) == AE_IFDIR;
    if (item.isFolder && item.path.size() > 1 && item.path.back() == '/') {
        item.path.pop_back();  // libarchive spells folders with a trailing "/"
    }
    item.size = la.entry_size_is_set(entry) ? static_cast<std::uint64_t>(la.entry_size(entry)) : 0;
    return item;
}

// One block of a member's data as libarchive hands it out; `offset` is where it belongs in
// the member (a sparse member leaves gaps).
struct DataBlock {
    int result = ARCHIVE_OK;
    std::span<const std::uint8_t> bytes;
    std::uint64_t offset = 0;
};

DataBlock ReadDataBlock(const LibarchiveFunctions& la, archive* handle) {
    const void* block = nullptr;
    std::size_t length = 0;
    la_int64_t offset = 0;
    DataBlock data;
    data.result = la.read_data_block(handle, &block, &length, &offset);
    data.bytes = {static_cast<const std::uint8_t*>(block), length};
    data.offset = static_cast<std::uint64_t>(offset);
    return data;
}

// Writes `length` zero bytes: the gap before a block of a sparse member.
Status WriteZeros(MemberSink& sink, std::uint64_t length) {
    static const std::vector<std::uint8_t> zeros(kOpenBlock, 0);
    while (length > 0) {
        const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(zeros.size(), length));
        if (Status status = sink.write(std::span(zeros.data(), part)); !status) {
            return status;
        }
        length -= part;
    }
    return Status::success();
}

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(Le16(p)) | static_cast<std::uint32_t>(Le16(p + 2)) << 16;
}

// What a RAR 4 file header says of its member.
struct Rar4FileHeader {
    std::uint64_t dataAt = 0;  // where the member's packed data starts in the archive file
    std::uint64_t packedSize = 0;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    std::uint16_t flags = 0;
    std::uint8_t method = 0;

    // Stored as it is, whole in this volume, not encrypted: the member's bytes stand
    // unchanged in the archive file.
    bool storedPlain() const {
        constexpr std::uint8_t kStored = 0x30;
        constexpr std::uint16_t kSplitOrEncrypted = 0x0001 | 0x0002 | 0x0004;
        return method == kStored && (flags & kSplitOrEncrypted) == 0 && packedSize == size;
    }
};

// The RAR 4 file header at or after `from`, when it is that of a member of `size` bytes.
// libarchive checks the CRC of compressed members only, not of stored ones, and does not
// tell where a member's data lies. Blocks before the file header (the marker, the main
// header, service blocks) are stepped over.
std::optional<Rar4FileHeader> ReadRar4FileHeader(const std::string& path, std::uint64_t from,
                                                 std::uint64_t size) {
    constexpr std::uint8_t kFileHeader = 0x74;
    constexpr std::uint8_t kEndOfArchive = 0x7B;
    constexpr std::uint16_t kHasAddedSize = 0x8000;
    constexpr std::uint16_t kLargeSizes = 0x0100;
    constexpr int kMostBlocksBefore = 16;
    File file;
    if (!file.openShared(path)) {
        return std::nullopt;
    }
    for (int block = 0; block < kMostBlocksBefore; ++block) {
        // Block CRC, type, flags, header size; a file header goes on with packed size,
        // unpacked size, host, file CRC, time, version, method, name size, attributes and,
        // with kLargeSizes, the high halves of both sizes.
        std::array<std::uint8_t, 40> head{};
        std::size_t got = 0;
        if (!file.readAt(from, head, got) || got < 7) {
            return std::nullopt;
        }
        const std::uint8_t type = head[2];
        const std::uint16_t flags = Le16(&head[3]);
        const std::uint16_t headerSize = Le16(&head[5]);
        if (type == kEndOfArchive || headerSize < 7) {
            return std::nullopt;
        }
        if (type == kFileHeader) {
            if (got < 40 || headerSize < 32) {
                return std::nullopt;
            }
            Rar4FileHeader header;
            header.dataAt = from + headerSize;
            header.packedSize = Le32(&head[7]);
            header.size = Le32(&head[11]);
            if ((flags & kLargeSizes) != 0) {
                header.packedSize |= std::uint64_t{Le32(&head[32])} << 32;
                header.size |= std::uint64_t{Le32(&head[36])} << 32;
            }
            header.crc = Le32(&head[16]);
            header.flags = flags;
            header.method = head[25];
            return header.size == size ? std::optional(header) : std::nullopt;
        }
        std::uint64_t added = 0;
        if ((flags & kHasAddedSize) != 0) {
            if (got < 11) {
                return std::nullopt;
            }
            added = Le32(&head[7]);
        }
        from += headerSize + added;
    }
    return std::nullopt;
}

// Reads a stored member where it lies in the archive file and checks it against its CRC.
Status CheckStoredMember(const std::string& path, const Rar4FileHeader& header,
                         const ExtractionProgress& progress) {
    File file;
    if (Status status = file.openShared(path); !status) {
        return status;
    }
    std::vector<std::uint8_t> block(kCheckBlock);
    uLong crc = crc32_z(0, nullptr, 0);
    for (std::uint64_t done = 0; done < header.size;) {
        const auto length =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), header.size - done));
        std::size_t got = 0;
        if (Status status = file.readAt(header.dataAt + done, std::span(block.data(), length), got);
            !status) {
            return status;
        }
        if (got != length) {
            return Status::failure("the member's data is shorter than stated");
        }
        crc = crc32_z(crc, block.data(), length);
        done += length;
        if (progress) {
            progress(done, header.size);
        }
    }
    return crc == header.crc ? Status::success() : Status::failure(kCrcMismatch);
}

}  // namespace

std::optional<std::size_t> FindMember(const std::vector<ArchiveItem>& items,
                                      const std::string& member) {
    std::optional<std::size_t> caseless;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].isFolder || items[i].nameUnreadable) {
            continue;
        }
        if (items[i].path == member) {
            return i;
        }
        if (!caseless && EqualIgnoringAsciiCase(items[i].path, member)) {
            caseless = i;
        }
    }
    return caseless;
}

ArchiveListing ListArchive(const std::string& path, LibarchiveFormat format) {
    ArchiveListing listing;
    const LibarchiveFunctions* la = nullptr;
    if (Status loaded = LoadLibarchive(la); !loaded) {
        listing.unreadable = loaded.reason();
        return listing;
    }
    const Utf8NamesScope utf8Names;
    ArchiveHandle handle = OpenArchive(*la, path, format);
    if (!handle) {
        return listing;
    }
    archive_entry* entry = nullptr;
    for (;;) {
        const int result = la->read_next_header(handle.get(), &entry);
        if (result == ARCHIVE_EOF) {
            // An archive without members ends here too: it was read, it lists nothing.
            listing.opened = true;
            break;
        }
        if (result != ARCHIVE_OK && result != ARCHIVE_WARN) {
            // Before any member, the file is not an archive of that kind; after, a header
            // is damaged.
            listing.headerBroken = listing.opened;
            break;
        }
        listing.opened = true;
        listing.items.push_back(ItemOf(*la, entry));
    }
    return listing;
}

void ArchiveMemberReader::Closer::operator()(archive* handle) const {
    functions->read_free(handle);
}

void ArchiveMemberReader::close() {
    m_handle.reset();
    m_listing = ArchiveListing{};
    m_listed = false;
    m_path.clear();
    m_next = 0;
}

std::optional<ArchiveMemberReader::Identity> ArchiveMemberReader::IdentityOf(
    const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return Identity{
        info.st_dev, info.st_ino, info.st_size,
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

bool ArchiveMemberReader::holds(const std::string& path, LibarchiveFormat format) const {
    return m_listed && m_path == path && m_format == format && IdentityOf(path) == m_identity;
}

bool ArchiveMemberReader::reopen() {
    ArchiveHandle handle = OpenArchive(*m_la, m_path, m_format);
    m_handle = std::unique_ptr<archive, Closer>(handle.release(), Closer{m_la});
    m_next = 0;
    return m_handle != nullptr;
}

std::string ArchiveMemberReader::errorText(const char* otherwise) const {
    const char* text = m_handle ? m_la->error_string(m_handle.get()) : nullptr;
    return text ? text : otherwise;
}

ArchiveExtraction ArchiveMemberReader::fail(ArchiveExtraction::Outcome outcome, std::string reason,
                                            bool headerBroken) {
    // Where a failure leaves the archive's reading is not known: start afresh next time.
    m_handle.reset();
    return ArchiveExtraction{outcome, headerBroken, std::move(reason)};
}

ArchiveExtraction ArchiveMemberReader::extract(const std::string& path, LibarchiveFormat format,
                                               const std::string& member, MemberSink& sink,
                                               const ExtractionProgress& progress) {
    using Outcome = ArchiveExtraction::Outcome;
    if (Status loaded = LoadLibarchive(m_la); !loaded) {
        return fail(Outcome::NotOpened, loaded.reason());
    }
    // The names read here are compared with the listing's.
    const Utf8NamesScope utf8Names;
    if (!holds(path, format)) {
        close();
        const std::optional<Identity> identity = IdentityOf(path);
        if (!identity) {
            return fail(Outcome::NotOpened, "the archive has gone");
        }
        m_path = path;
        m_format = format;
        m_identity = *identity;
        m_listing = ListArchive(path, format);
        m_listed = true;
    }
    if (!m_listing.opened) {
        return fail(Outcome::NotOpened, format == LibarchiveFormat::Rar
                                            ? "not a readable rar archive"
                                            : "not a readable 7z archive");
    }
    const std::optional<std::size_t> index = FindMember(m_listing.items, member);
    if (!index) {
        if (m_listing.headerBroken) {
            return fail(Outcome::Failed, "damaged header", /*headerBroken=*/true);
        }
        return ArchiveExtraction{Outcome::NotFound, false, "the member is not in the archive"};
    }
    // Members are usually asked for in header order: go on from where the last one ended.
    if ((!m_handle || m_next > *index) && !reopen()) {
        return fail(Outcome::NotOpened, "the archive cannot be opened");
    }
    for (;;) {
        archive_entry* entry = nullptr;
        const int result = m_la->read_next_header(m_handle.get(), &entry);
        if (result != ARCHIVE_OK && result != ARCHIVE_WARN) {
            return fail(Outcome::Failed, errorText("damaged header"), /*headerBroken=*/true);
        }
        const ArchiveItem item = ItemOf(*m_la, entry);
        if (item.path != m_listing.items[m_next].path) {
            return fail(Outcome::Failed, "the archive changed while it was read");
        }
        if (m_next++ == *index) {
            std::optional<Rar4FileHeader> header;
            if (m_la->format(m_handle.get()) == ARCHIVE_FORMAT_RAR) {
                header =
                    ReadRar4FileHeader(path, m_la->read_header_position(m_handle.get()), item.size);
            }
            Status status = Status::success();
            if (header && header->storedPlain() && sink.takesStoredMembers()) {
                // Read where it lies: one pass for the check, nothing copied.
                status = CheckStoredMember(path, *header, progress);
                if (status) {
                    status = sink.takeStoredMember(path, header->dataAt, header->size);
                }
            } else {
                const std::optional<std::uint32_t> statedCrc =
                    header ? std::optional(header->crc) : std::nullopt;
                status = copyMember(item, statedCrc, sink, progress);
            }
            if (!status) {
                return fail(Outcome::Failed, status.reason());
            }
            return ArchiveExtraction{Outcome::Extracted, false, {}};
        }
        if (Status status = passOver(m_listing.items[*index], progress); !status) {
            return fail(Outcome::Failed, status.reason());
        }
    }
}

Status ArchiveMemberReader::passOver(const ArchiveItem& wanted,
                                     const ExtractionProgress& progress) {
    if (m_format == LibarchiveFormat::Rar) {
        if (m_la->read_data_skip(m_handle.get()) != ARCHIVE_OK) {
            return Status::failure(errorText("cannot read the archive"));
        }
        return Status::success();
    }
    // A 7z member is read through rather than skipped: libarchive before 3.7.5 loses its
    // place in a solid block after skipping a member whose data ends on a multiple of
    // 64 KiB (every power-of-two rom size), and the next member then reads as truncated.
    for (;;) {
        const int read = ReadDataBlock(*m_la, m_handle.get()).result;
        if (read == ARCHIVE_EOF) {
            return Status::success();
        }
        // A data warning in a member passed over is not the wanted member's concern.
        if (read != ARCHIVE_OK && read != ARCHIVE_WARN) {
            return Status::failure(errorText("cannot read the archive"));
        }
        if (progress) {
            progress(0, wanted.size);  // lets the window breathe during a long read
        }
    }
}

Status ArchiveMemberReader::copyMember(const ArchiveItem& item,
                                       std::optional<std::uint32_t> statedCrc, MemberSink& sink,
                                       const ExtractionProgress& progress) {
    uLong crc = crc32_z(0, nullptr, 0);
    if (Status status = sink.begin(item.size); !status) {
        return status;
    }
    std::uint64_t written = 0;
    for (;;) {
        const DataBlock data = ReadDataBlock(*m_la, m_handle.get());
        if (data.result == ARCHIVE_EOF) {
            break;
        }
        // A warning on data is a CRC that does not match or data that cannot be decoded
        // whole: the member is not what was stored.
        if (data.result != ARCHIVE_OK) {
            return Status::failure(errorText("cannot read the member"));
        }
        if (data.offset > written) {
            if (Status status = WriteZeros(sink, data.offset - written); !status) {
                return status;
            }
            written = data.offset;
        }
        if (statedCrc) {
            crc = crc32_z(crc, data.bytes.data(), data.bytes.size());
        }
        if (Status status = sink.write(data.bytes); !status) {
            return status;
        }
        written += data.bytes.size();
        if (progress) {
            progress(written, item.size);
        }
    }
    if (written != item.size) {
        return Status::failure("the member's data is shorter than stated");
    }
    if (statedCrc && crc != *statedCrc) {
        return Status::failure(kCrcMismatch);
    }
    return sink.finish();
}

}  // namespace ostravex
