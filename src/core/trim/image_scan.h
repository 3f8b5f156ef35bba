#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "io/byte_source.h"
#include "trim/nds_decision.h"

namespace ostravex {

// What the decisions about an image need of it, gathered in one pass over its bytes as
// they come (an archive member while it is decompressed), so that the image is never held
// whole: its size, its header, the download-play block where the header puts the cut, its
// last bytes, and where its data ends before a filler run of 0x00 or 0xFF.
//
// As a ByteSource it reads only what it kept (the header, the bytes at the header's cut,
// the last bytes); any other read fails. The decisions that look further (the GBA cut, the
// padding check) have versions that take the scan itself.
class ImageScan final : public ByteSource {
  public:
    // Takes the next bytes of the image.
    void add(std::span<const std::uint8_t> bytes);

    std::uint64_t size() const override { return m_size; }
    Status readAt(std::uint64_t offset, std::span<std::uint8_t> out,
                  std::size_t& got) const override;

    // One past the position of the last byte that is not `filler` (0x00 or 0xFF); 0 when
    // every byte is.
    std::uint64_t endOfData(std::uint8_t filler) const {
        return filler == 0 ? m_endOfData[0] : m_endOfData[1];
    }

  private:
    void keepAtCut(std::uint64_t start, std::span<const std::uint8_t> bytes);
    // Whether [offset, offset + length) lies inside [start, start + kept).
    static bool Holds(std::uint64_t start, std::size_t kept, std::uint64_t offset,
                      std::size_t length) {
        return offset >= start && offset - start <= kept && length <= kept - (offset - start);
    }

    std::uint64_t m_size = 0;
    std::array<std::uint8_t, kDecisionHeaderBytes> m_header{};
    // Where the header puts the cut (known once the header has come) and the bytes there.
    bool m_cutKnown = false;
    std::uint64_t m_cut = 0;
    std::array<std::uint8_t, kWifiBlockSize> m_atCut{};
    // The last bytes of the image, the newest last.
    static constexpr std::size_t kTailBytes = 8;
    std::array<std::uint8_t, kTailBytes> m_tail{};
    std::uint64_t m_endOfData[2] = {0, 0};  // for filler 0x00, for filler 0xFF
};

}  // namespace ostravex
