#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ostravex::testing {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t operator""_MiB(unsigned long long n) {
    return n * 1048576;
}

// Builds NDS images: a header with the chosen words and a matching header checksum, data up
// to the used size, an optional download-play block, and filler after it.
class NdsImageBuilder {
  public:
    enum class Block { Blank, Zero, Data };

    NdsImageBuilder& size(std::uint64_t bytes) {
        m_size = bytes;
        return *this;
    }
    NdsImageBuilder& usedSize(std::uint32_t bytes) { return word(0x80, bytes); }
    NdsImageBuilder& wifiBlock(Block block) {
        m_block = block;
        return *this;
    }
    // Where the data ends and the download-play block starts; the used size by default.
    NdsImageBuilder& dataEnd(std::uint64_t bytes) {
        m_dataEnd = bytes;
        return *this;
    }
    NdsImageBuilder& filler(std::uint8_t value) {
        m_filler = value;
        return *this;
    }
    NdsImageBuilder& word(std::size_t offset, std::uint32_t value);
    NdsImageBuilder& byte(std::size_t offset, std::uint8_t value);
    NdsImageBuilder& bytes(std::size_t offset, const Bytes& values);
    // The whole header area (first 0x214 bytes) set to one value.
    NdsImageBuilder& headerFill(std::uint8_t value) {
        m_headerFill = value;
        return *this;
    }

    // The header checksum at 0x15E is computed over the finished header unless a test sets
    // those bytes itself; this stores a wrong one instead, as in a damaged dump.
    NdsImageBuilder& wrongHeaderChecksum() {
        m_wrongChecksum = true;
        return *this;
    }

    Bytes build() const;

  private:
    bool m_wrongChecksum = false;
    std::uint64_t m_size = 8_MiB;
    std::int64_t m_dataEnd = -1;
    Block m_block = Block::Blank;
    std::uint8_t m_filler = 0xFF;
    int m_headerFill = -1;
    std::vector<std::pair<std::size_t, std::uint8_t>> m_patches;
};

// Builds GBA images: `dataEnd` bytes of data (none of them the filler at the end), then
// filler to the full size.
class GbaImageBuilder {
  public:
    GbaImageBuilder& size(std::uint64_t bytes) {
        m_size = bytes;
        return *this;
    }
    GbaImageBuilder& dataEnd(std::uint64_t bytes) {
        m_dataEnd = bytes;
        return *this;
    }
    GbaImageBuilder& filler(std::uint8_t value) {
        m_filler = value;
        return *this;
    }
    GbaImageBuilder& bytes(std::size_t offset, const Bytes& values);

    Bytes build() const;

  private:
    std::uint64_t m_size = 4_MiB;
    std::uint64_t m_dataEnd = 1000;
    std::uint8_t m_filler = 0xFF;
    std::vector<std::pair<std::size_t, std::uint8_t>> m_patches;
};

// `builder` with the Flash V123 save routines in its data, which the SRAM patch rewrites.
GbaImageBuilder WithFlashV123Routines(GbaImageBuilder builder);

// A fresh folder under /tmp, removed with everything in it at the end of the test.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, ending with "/".
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + name; }
    std::string subfolder(const std::string& name) const;

  private:
    std::string m_path;
};

void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);
bool Exists(const std::string& path);
// Names in a folder, sorted, without "." and "..".
std::vector<std::string> ListFolder(const std::string& folder);

}  // namespace ostravex::testing
