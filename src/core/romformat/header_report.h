#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/status.h"
#include "romformat/nds_header.h"

namespace ostravex {

// True when the image of `imageSize` bytes has a banner where its header says: an offset
// of 0 (every image made without one) or one past the end of the file points at no banner,
// and decoding the bytes there would show the header or zeros as six titles.
bool HasBanner(const HeaderInfo& header, std::uint64_t imageSize);

// A banner title (its 256 bytes of UTF-16LE) as one line of UTF-8 text: the title's lines,
// up to its first NUL, joined by " / "; empty lines and control characters are left out,
// and half a surrogate pair shows as U+FFFD.
std::string BannerTitleText(std::string_view utf16le);

// The "Rom Header Info" report of one NDS image, as UTF-8 lines in display order. Header
// strings are shown as their Latin-1 characters, banner titles as the text they hold; a
// text control shows a header string only up to its first NUL, so the lines stop there too. The
// line holding CR LF shows as two empty lines and is given as two. Without a banner, the banner
// part is one line that says so.
std::vector<std::string> HeaderReportLines(const std::string& fileName, const HeaderInfo& header,
                                           const std::optional<BannerInfo>& banner);

// Opens `path`, decodes header and banner, and builds the report.
Status ReadHeaderReport(const std::string& path, std::vector<std::string>& lines);

}  // namespace ostravex
