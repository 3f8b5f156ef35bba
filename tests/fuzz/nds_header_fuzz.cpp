// Decodes an arbitrary image's header and banner and builds the header report from them.
#include "fuzz_support.h"
#include "io/utf8.h"
#include "romformat/header_report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ostravex::MemoryByteSource source({data, size});
    ostravex::HeaderInfo header;
    if (!ostravex::ReadHeaderInfo(source, header).ok()) {
        return 0;
    }
    ostravex::BannerInfo banner;
    if (!ostravex::ReadBannerInfo(source, static_cast<std::uint32_t>(header.IconTitles), banner)
             .ok()) {
        return 0;
    }
    const bool hasBanner = ostravex::HasBanner(header, size);
    for (const std::string& line : ostravex::HeaderReportLines(
             "rom \xC3\xA9.nds", header,
             hasBanner ? std::optional<ostravex::BannerInfo>(banner) : std::nullopt)) {
        ostravex::fuzz::Require(ostravex::IsWellFormedUtf8(line),
                                "a report line is not valid UTF-8");
    }
    for (const std::string* title : {&banner.TitleJP, &banner.TitleEN, &banner.TitleFR,
                                     &banner.TitleGR, &banner.TitleIT, &banner.TitleSP}) {
        for (const char c : ostravex::CleanTitle(*title)) {
            ostravex::fuzz::Require(static_cast<unsigned char>(c) >= 0x20,
                                    "a cleaned title keeps a control character");
        }
    }
    return 0;
}
