#include "member_header_report.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "archive/libarchive_reader.h"
#include "archive/member_sink.h"
#include "archive/zip_reader.h"
#include "io/byte_source.h"
#include "romformat/header_report.h"
#include "romformat/nds_header.h"

namespace ostravex::app {
namespace {

// Ends the reading of a member once the header and the banner are in: no error.
constexpr const char* kEnoughRead = "the header and the banner have been read";

// Keeps the bytes of a member that the header and the banner take, and stops the reading
// after them.
class HeaderAndBannerSink final : public MemberSink {
  public:
    explicit HeaderAndBannerSink(const std::function<bool()>& stopRequested)
        : m_stopRequested(stopRequested) {}

    Status begin(std::uint64_t size) override {
        m_size = size;
        return Status::success();
    }

    Status write(std::span<const std::uint8_t> bytes) override {
        if (m_stopRequested && m_stopRequested()) {
            return Status::failure(kHeaderReadStopped);
        }
        keep(bytes, 0, m_header);
        if (!m_bannerAt && m_offset + bytes.size() >= kHeaderInfoBytes) {
            decideBanner();
        }
        if (m_bannerAt) {
            keep(bytes, *m_bannerAt, m_banner);
        }
        m_offset += bytes.size();
        return done() ? Status::failure(kEnoughRead) : Status::success();
    }

    Status finish() override { return Status::success(); }

    // After the reading: the report, from the bytes kept (the rest of a member that ended
    // early reads as zeros).
    std::vector<std::string> report(const std::string& name) {
        if (!m_bannerAt) {
            decideBanner();
        }
        std::optional<BannerInfo> banner;
        if (m_hasBanner) {
            banner = DecodeBannerInfo(m_banner);
        }
        return HeaderReportLines(name, m_headerInfo, banner);
    }

  private:
    // Copies the part of `bytes` (which start at m_offset of the member) that falls in
    // `target`, which starts at `targetAt`.
    template <std::size_t N>
    void keep(std::span<const std::uint8_t> bytes, std::uint64_t targetAt,
              std::array<std::uint8_t, N>& target) {
        const std::uint64_t from = std::max(m_offset, targetAt);
        const std::uint64_t to = std::min<std::uint64_t>(m_offset + bytes.size(), targetAt + N);
        if (from < to) {
            std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(from - m_offset),
                      bytes.begin() + static_cast<std::ptrdiff_t>(to - m_offset),
                      target.begin() + static_cast<std::ptrdiff_t>(from - targetAt));
        }
    }

    void decideBanner() {
        m_headerInfo = DecodeHeaderInfo(std::span<const std::uint8_t, kHeaderInfoBytes>(m_header));
        const auto at = static_cast<std::uint32_t>(m_headerInfo.IconTitles);
        m_hasBanner = HasBanner(m_headerInfo, m_size);
        m_bannerAt = at;
        // A banner that starts inside the header: those bytes came before it was known.
        for (std::uint64_t i = at; i < kHeaderInfoBytes && i < at + kBannerInfoBytes; ++i) {
            m_banner[i - at] = m_header[i];
        }
    }

    bool done() const {
        if (!m_bannerAt) {
            return false;
        }
        return !m_hasBanner || m_offset >= *m_bannerAt + kBannerInfoBytes;
    }

    const std::function<bool()>& m_stopRequested;
    std::uint64_t m_size = 0;
    std::uint64_t m_offset = 0;  // of the next byte to come
    std::array<std::uint8_t, kHeaderInfoBytes> m_header{};
    std::array<std::uint8_t, kBannerInfoBytes> m_banner{};
    HeaderInfo m_headerInfo;
    std::optional<std::uint64_t> m_bannerAt;  // known once the header is in
    bool m_hasBanner = false;
};

bool FinishedReading(const Status& status) {
    return status.ok() || status.reason() == kEnoughRead;
}

Status ReadZipMember(const RomListEntry& member, MemberSink& sink) {
    ZipReader zip;
    if (Status status = zip.open(member.path); !status) {
        return status;
    }
    if (!zip.isZipFile()) {
        return Status::failure("not a readable zip archive");
    }
    for (const ZipEntry& entry : zip.entries()) {
        if (entry.name() == member.member) {
            return zip.readMember(entry, sink);
        }
    }
    return Status::failure("the member is not in the archive");
}

Status ReadLibarchiveMember(const RomListEntry& member, MemberSink& sink) {
    const LibarchiveFormat format =
        *member.archive == ArchiveKind::Rar ? LibarchiveFormat::Rar : LibarchiveFormat::SevenZip;
    ArchiveMemberReader reader;
    const ArchiveExtraction extraction =
        reader.extract(member.path, format, member.member, sink, {});
    if (extraction.outcome == ArchiveExtraction::Outcome::Extracted) {
        return Status::success();
    }
    return Status::failure(extraction.reason);
}

}  // namespace

Status ReadMemberHeaderReport(const RomListEntry& member, std::vector<std::string>& lines,
                              const std::function<bool()>& stopRequested) {
    HeaderAndBannerSink sink(stopRequested);
    const Status status = *member.archive == ArchiveKind::Zip ? ReadZipMember(member, sink)
                                                              : ReadLibarchiveMember(member, sink);
    if (!FinishedReading(status)) {
        return status;
    }
    lines = sink.report(member.member);
    return Status::success();
}

}  // namespace ostravex::app
