#pragma once

#include <archive.h>
#include <archive_entry.h>

#include "io/status.h"

namespace ostravex {

// The libarchive functions the rar and 7z readers use. The library is loaded when the
// first archive is met, not at start-up: with it come nine more libraries (libxml2 and ICU
// among them) that would otherwise cost every run, also one that never sees an archive.
struct LibarchiveFunctions {
    decltype(&archive_read_new) read_new;
    decltype(&archive_read_free) read_free;
    decltype(&archive_read_support_format_rar) read_support_format_rar;
    decltype(&archive_read_support_format_rar5) read_support_format_rar5;
    decltype(&archive_read_support_format_7zip) read_support_format_7zip;
    decltype(&archive_read_open_filename) read_open_filename;
    decltype(&archive_read_next_header) read_next_header;
    decltype(&archive_read_header_position) read_header_position;
    decltype(&archive_read_data_block) read_data_block;
    decltype(&archive_read_data_skip) read_data_skip;
    decltype(&archive_format) format;
    decltype(&archive_error_string) error_string;
    decltype(&archive_entry_pathname) entry_pathname;
    decltype(&archive_entry_pathname_utf8) entry_pathname_utf8;
    decltype(&archive_entry_filetype) entry_filetype;
    decltype(&archive_entry_size) entry_size;
    decltype(&archive_entry_size_is_set) entry_size_is_set;
};

// libarchive's functions, the library being loaded by the first call; later calls give
// the same outcome. When the library is missing or lacks a function, `functions` is null
// and the failure names the library.
Status LoadLibarchive(const LibarchiveFunctions*& functions);

}  // namespace ostravex
