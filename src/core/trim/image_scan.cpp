#include "trim/image_scan.h"

#include <algorithm>
#include <cstring>

#include "io/end_of_data.h"

namespace ostravex {

void ImageScan::add(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return;
    }
    const std::uint64_t start = m_size;
    m_size += bytes.size();

    if (start < m_header.size()) {
        const auto count = std::min<std::size_t>(bytes.size(), m_header.size() - start);
        std::memcpy(m_header.data() + start, bytes.data(), count);
    }
    if (!m_cutKnown && m_size >= m_header.size()) {
        // The header is complete: the bytes at its cut are kept as they pass, those that
        // lie inside the header taken from it.
        m_cut = TargetFromHeader(m_header).size;
        m_cutKnown = true;
        keepAtCut(0, std::span<const std::uint8_t>(m_header).first(static_cast<std::size_t>(
                         std::min<std::uint64_t>(start, m_header.size()))));
    }
    if (m_cutKnown) {
        keepAtCut(start, bytes);
    }

    // The newest bytes go to the end of the tail, the older ones moving up.
    if (bytes.size() >= m_tail.size()) {
        std::memcpy(m_tail.data(), bytes.data() + bytes.size() - m_tail.size(), m_tail.size());
    } else {
        std::memmove(m_tail.data(), m_tail.data() + bytes.size(), m_tail.size() - bytes.size());
        std::memcpy(m_tail.data() + m_tail.size() - bytes.size(), bytes.data(), bytes.size());
    }

    for (const std::uint8_t filler : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
        if (const std::size_t end = EndOfData(bytes, filler); end > 0) {
            m_endOfData[filler == 0 ? 0 : 1] = start + end;
        }
    }
}

void ImageScan::keepAtCut(std::uint64_t start, std::span<const std::uint8_t> bytes) {
    const std::uint64_t end = start + bytes.size();
    const std::uint64_t from = std::max(start, m_cut);
    const std::uint64_t to = std::min(end, m_cut + m_atCut.size());
    if (from < to) {
        std::memcpy(m_atCut.data() + (from - m_cut), bytes.data() + (from - start),
                    static_cast<std::size_t>(to - from));
    }
}

Status ImageScan::readAt(std::uint64_t offset, std::span<std::uint8_t> out,
                         std::size_t& got) const {
    const std::span<std::uint8_t> wanted = WithinSize(offset, m_size, out);
    got = 0;
    if (wanted.empty()) {
        return Status::success();
    }
    const std::size_t tailKept =
        static_cast<std::size_t>(std::min<std::uint64_t>(m_size, m_tail.size()));
    const std::uint8_t* from = nullptr;
    if (Holds(0, m_header.size(), offset, wanted.size())) {
        from = m_header.data() + offset;
    } else if (m_cutKnown && Holds(m_cut, m_atCut.size(), offset, wanted.size())) {
        from = m_atCut.data() + (offset - m_cut);
    } else if (Holds(m_size - tailKept, tailKept, offset, wanted.size())) {
        from = m_tail.data() + (m_tail.size() - tailKept) + (offset - (m_size - tailKept));
    } else {
        return Status::failure("the image was read as it came and these bytes were not kept");
    }
    std::memcpy(wanted.data(), from, wanted.size());
    got = wanted.size();
    return Status::success();
}

}  // namespace ostravex
