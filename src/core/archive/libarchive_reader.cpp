#include "archive/libarchive_reader.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <memory>

namespace ostravex {
namespace {

struct ArchiveCloser {
    void operator()(archive* a) const { archive_read_free(a); }
};
using ArchiveHandle = std::unique_ptr<archive, ArchiveCloser>;

constexpr std::size_t kOpenBlock = 1u << 16;

ArchiveHandle OpenArchive(const std::string& path, LibarchiveFormat format) {
    ArchiveHandle handle(archive_read_new());
    if (!handle) {
        return handle;
    }
    if (format == LibarchiveFormat::Rar) {
        archive_read_support_format_rar(handle.get());
        archive_read_support_format_rar5(handle.get());
    } else {
        archive_read_support_format_7zip(handle.get());
    }
    if (archive_read_open_filename(handle.get(), path.c_str(), kOpenBlock) != ARCHIVE_OK) {
        handle.reset();
    }
    return handle;
}

ArchiveItem ItemOf(archive_entry* entry) {
    ArchiveItem item;
    const char* name = archive_entry_pathname_utf8(entry);
    if (!name) {
        name = archive_entry_pathname(entry);
    }
    item.path = name ? name : "";
    item.isFolder = archive_entry_filetype(entry) == AE_IFDIR;
    if (item.isFolder && item.path.size() > 1 && item.path.back() == '/') {
        item.path.pop_back();  // libarchive spells folders with a trailing "/"
    }
    item.size = archive_entry_size_is_set(entry)
                    ? static_cast<std::uint64_t>(archive_entry_size(entry))
                    : 0;
    return item;
}

}  // namespace

std::string MemberBaseName(const std::string& path) {
    const auto cut = path.find_last_of("/\\:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

ArchiveListing ListArchive(const std::string& path, LibarchiveFormat format) {
    ArchiveListing listing;
    ArchiveHandle handle = OpenArchive(path, format);
    if (!handle) {
        return listing;
    }
    archive_entry* entry = nullptr;
    for (;;) {
        const int result = archive_read_next_header(handle.get(), &entry);
        if (result == ARCHIVE_EOF) {
            break;
        }
        if (result != ARCHIVE_OK && result != ARCHIVE_WARN) {
            // Before any member, the file is not an archive of that kind; after, a header
            // is damaged.
            listing.headerBroken = listing.opened;
            break;
        }
        listing.opened = true;
        listing.items.push_back(ItemOf(entry));
    }
    return listing;
}

ArchiveExtraction ExtractArchiveMember(const std::string& path, LibarchiveFormat format,
                                       const std::function<bool(const ArchiveItem&)>& matches,
                                       MemberSink& sink, const ExtractionProgress& progress) {
    ArchiveExtraction extraction;
    ArchiveHandle handle = OpenArchive(path, format);
    if (!handle) {
        return extraction;
    }
    archive_entry* entry = nullptr;
    bool opened = false;
    for (;;) {
        const int result = archive_read_next_header(handle.get(), &entry);
        if (result == ARCHIVE_EOF) {
            extraction.outcome = opened ? ArchiveExtraction::Outcome::NotFound
                                        : ArchiveExtraction::Outcome::NotOpened;
            return extraction;
        }
        if (result != ARCHIVE_OK && result != ARCHIVE_WARN) {
            extraction.outcome =
                opened ? ArchiveExtraction::Outcome::Failed : ArchiveExtraction::Outcome::NotOpened;
            extraction.headerBroken = opened;
            extraction.reason = archive_error_string(handle.get())
                                    ? archive_error_string(handle.get())
                                    : "damaged header";
            return extraction;
        }
        opened = true;
        const ArchiveItem item = ItemOf(entry);
        if (item.isFolder || !matches(item)) {
            continue;
        }
        extraction.outcome = ArchiveExtraction::Outcome::Failed;
        if (Status status = sink.begin(item.size); !status) {
            extraction.reason = status.reason();
            return extraction;
        }
        std::uint64_t written = 0;
        for (;;) {
            const void* block = nullptr;
            std::size_t length = 0;
            la_int64_t offset = 0;
            const int read = archive_read_data_block(handle.get(), &block, &length, &offset);
            if (read == ARCHIVE_EOF) {
                break;
            }
            if (read != ARCHIVE_OK && read != ARCHIVE_WARN) {
                extraction.reason = archive_error_string(handle.get())
                                        ? archive_error_string(handle.get())
                                        : "cannot read the member";
                return extraction;
            }
            // A sparse member: the gap before this block is zeros.
            static const std::vector<std::uint8_t> zeros(kOpenBlock, 0);
            while (written < static_cast<std::uint64_t>(offset)) {
                const std::size_t gap = static_cast<std::size_t>(std::min<std::uint64_t>(
                    zeros.size(), static_cast<std::uint64_t>(offset) - written));
                if (Status status = sink.write(std::span(zeros.data(), gap)); !status) {
                    extraction.reason = status.reason();
                    return extraction;
                }
                written += gap;
            }
            if (Status status = sink.write({static_cast<const std::uint8_t*>(block), length});
                !status) {
                extraction.reason = status.reason();
                return extraction;
            }
            written += length;
            if (progress) {
                progress(written, item.size);
            }
        }
        if (Status status = sink.finish(); !status) {
            extraction.reason = status.reason();
            return extraction;
        }
        extraction.outcome = ArchiveExtraction::Outcome::Extracted;
        return extraction;
    }
}

}  // namespace ostravex
