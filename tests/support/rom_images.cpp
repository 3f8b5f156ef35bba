#include "support/rom_images.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "romformat/crc16.h"
#include "sram/sram_catalogue.h"

namespace ostravex::testing {

NdsImageBuilder& NdsImageBuilder::word(std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        byte(offset + i, static_cast<std::uint8_t>(value >> (8 * i)));
    }
    return *this;
}

NdsImageBuilder& NdsImageBuilder::byte(std::size_t offset, std::uint8_t value) {
    m_patches.emplace_back(offset, value);
    return *this;
}

NdsImageBuilder& NdsImageBuilder::bytes(std::size_t offset, const Bytes& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        byte(offset + i, values[i]);
    }
    return *this;
}

Bytes NdsImageBuilder::build() const {
    Bytes image(m_size, m_filler);
    std::uint8_t usedBytes[4] = {};
    for (const auto& [offset, value] : m_patches) {
        if (offset >= 0x80 && offset < 0x84) {
            usedBytes[offset - 0x80] = value;
        }
    }
    std::uint32_t used = usedBytes[0] | usedBytes[1] << 8 | usedBytes[2] << 16 |
                         static_cast<std::uint32_t>(usedBytes[3]) << 24;
    if (m_dataEnd >= 0) {
        used = static_cast<std::uint32_t>(m_dataEnd);
    }
    // Data: a pattern that never ends in a run of filler.
    const std::uint64_t dataEnd = std::min<std::uint64_t>(used, m_size);
    for (std::uint64_t i = 0x200; i < dataEnd; ++i) {
        image[i] = static_cast<std::uint8_t>(1 + (i * 131) % 251);
    }
    const std::size_t headerEnd = std::min<std::size_t>(0x214, m_size);
    std::fill(image.begin(), image.begin() + headerEnd,
              m_headerFill >= 0 ? static_cast<std::uint8_t>(m_headerFill) : std::uint8_t{0});
    if (used < m_size) {
        for (std::uint64_t i = used; i < std::min<std::uint64_t>(used + 136, m_size); ++i) {
            switch (m_block) {
                case Block::Blank:
                    image[i] = 0xFF;
                    break;
                case Block::Zero:
                    image[i] = 0x00;
                    break;
                case Block::Data:
                    image[i] = static_cast<std::uint8_t>(0x40 + (i - used));
                    break;
            }
        }
    }
    bool checksumSet = false;
    for (const auto& [offset, value] : m_patches) {
        if (offset < image.size()) {
            image[offset] = value;
        }
        checksumSet = checksumSet || offset == 0x15E || offset == 0x15F;
    }
    if (!checksumSet && image.size() >= 0x160) {
        int checksum = Crc16(std::span<const std::uint8_t>(image).first(0x15E));
        if (m_wrongChecksum) {
            checksum ^= 0x5A5A;
        }
        image[0x15E] = static_cast<std::uint8_t>(checksum);
        image[0x15F] = static_cast<std::uint8_t>(checksum >> 8);
    }
    return image;
}

GbaImageBuilder& GbaImageBuilder::bytes(std::size_t offset, const Bytes& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        m_patches.emplace_back(offset + i, values[i]);
    }
    return *this;
}

Bytes GbaImageBuilder::build() const {
    Bytes image(m_size, m_filler);
    for (std::uint64_t i = 0; i < std::min(m_dataEnd, m_size); ++i) {
        image[i] = static_cast<std::uint8_t>(1 + (i * 37) % 200);
    }
    for (const auto& [offset, value] : m_patches) {
        if (offset < image.size()) {
            image[offset] = value;
        }
    }
    return image;
}

TempDir::TempDir() {
    char pattern[] = "/tmp/ostravex-test-XXXXXX";
    if (!mkdtemp(pattern)) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = std::string(pattern) + "/";
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Give back write permission first, so read-only folders made by a test go too.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        chmod(it->path().c_str(), 0755);
    }
    std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::subfolder(const std::string& name) const {
    const std::string folder = m_path + name + "/";
    std::filesystem::create_directories(folder);
    return folder;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

GbaImageBuilder WithFlashV123Routines(GbaImageBuilder builder) {
    std::size_t offset = 4096;
    for (const int entry : {24, 25, 26, 27}) {
        const auto& signature = SramCatalogue()[entry - 1].signature;
        builder.bytes(offset, Bytes(signature.begin(), signature.end()));
        offset += 1000;
    }
    return builder;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace ostravex::testing
