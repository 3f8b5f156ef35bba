#pragma once

#include <string>
#include <vector>

#include "io/status.h"
#include "romformat/nds_header.h"

namespace ostravex {

// The "Rom Header Info" report of one NDS image, as UTF-8 lines in display order. Header
// and banner strings are shown as their Latin-1 characters; a text control shows a header
// string only up to its first NUL, so the lines stop there too. The line holding CR LF
// shows as two empty lines and is given as two.
std::vector<std::string> HeaderReportLines(const std::string& fileName, const HeaderInfo& header,
                                           const BannerInfo& banner);

// Opens `path`, decodes header and banner, and builds the report.
Status ReadHeaderReport(const std::string& path, std::vector<std::string>& lines);

}  // namespace ostravex
