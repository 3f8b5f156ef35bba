#include "archive/libarchive_functions.h"

#include "io/shared_library.h"

namespace ostravex {
namespace {

// Version 3 of libarchive keeps soname 13; the headers compiled against must be of it.
static_assert(ARCHIVE_VERSION_NUMBER >= 3000000 && ARCHIVE_VERSION_NUMBER < 4000000);
constexpr const char* kLibarchiveSoname = "libarchive.so.13";

Status ResolveLibarchive(const SharedLibrary& library, LibarchiveFunctions& f) {
    for (Status status : {
             library.resolve("archive_read_new", f.read_new),
             library.resolve("archive_read_free", f.read_free),
             library.resolve("archive_read_support_format_rar", f.read_support_format_rar),
             library.resolve("archive_read_support_format_rar5", f.read_support_format_rar5),
             library.resolve("archive_read_support_format_7zip", f.read_support_format_7zip),
             library.resolve("archive_read_open_filename", f.read_open_filename),
             library.resolve("archive_read_next_header", f.read_next_header),
             library.resolve("archive_read_header_position", f.read_header_position),
             library.resolve("archive_read_data_block", f.read_data_block),
             library.resolve("archive_read_data_skip", f.read_data_skip),
             library.resolve("archive_format", f.format),
             library.resolve("archive_error_string", f.error_string),
             library.resolve("archive_entry_pathname", f.entry_pathname),
             library.resolve("archive_entry_pathname_utf8", f.entry_pathname_utf8),
             library.resolve("archive_entry_filetype", f.entry_filetype),
             library.resolve("archive_entry_size", f.entry_size),
             library.resolve("archive_entry_size_is_set", f.entry_size_is_set),
         }) {
        if (!status) {
            return status;
        }
    }
    return Status::success();
}

}  // namespace

Status LoadLibarchive(const LibarchiveFunctions*& functions) {
    static const OptionalLibrary<LibarchiveFunctions> libarchive(kLibarchiveSoname,
                                                                 &ResolveLibarchive);
    functions = libarchive.functions();
    return libarchive.status();
}

}  // namespace ostravex
