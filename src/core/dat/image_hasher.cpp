#include "dat/image_hasher.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

#include "dat/dat_libraries.h"
#include "io/end_of_data.h"

namespace ostravex {
namespace {

// Hashing works through pieces of this size, so that each piece is still in the cache
// when the second checksum reads it.
constexpr std::size_t kPiece = 64u << 10;
constexpr std::size_t kReadBlock = 1u << 20;

// libcrypto, loaded when the first image is hashed.
const CryptoFunctions& Crypto() {
    const CryptoFunctions* functions = nullptr;
    if (Status status = LoadLibcrypto(functions); !status) {
        throw std::runtime_error(status.reason());
    }
    return *functions;
}

// The SHA-1 implementation is looked up once, not at every image.
const EVP_MD* Sha1Algorithm() {
    static EVP_MD* const algorithm = Crypto().MD_fetch(nullptr, "SHA1", nullptr);
    if (algorithm == nullptr) {
        throw std::runtime_error(
            "libcrypto has no SHA-1 (none of the providers its configuration loads gives one)");
    }
    return algorithm;
}

const std::array<std::uint8_t, kPiece>& FillerPiece(std::uint8_t filler) {
    static const auto pieces = [] {
        std::array<std::array<std::uint8_t, kPiece>, 2> both{};
        both[1].fill(0xFF);
        return both;
    }();
    return pieces[filler == 0xFF ? 1 : 0];
}

std::uint32_t Crc32(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint32_t>(crc32_z(crc, bytes.data(), bytes.size()));
}

std::uint32_t CombineCrc32(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength) {
    return static_cast<std::uint32_t>(
        crc32_combine(first, second, static_cast<z_off_t>(secondLength)));
}

}  // namespace

struct ImageHasher::Sha1State {
    const CryptoFunctions& crypto = Crypto();
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context{crypto.MD_CTX_new(),
                                                                    crypto.MD_CTX_free};
    Sha1State() {
        if (!context || crypto.DigestInit_ex(context.get(), Sha1Algorithm(), nullptr) != 1) {
            throw std::runtime_error("cannot start a SHA-1");
        }
    }
    void update(std::span<const std::uint8_t> bytes) {
        crypto.DigestUpdate(context.get(), bytes.data(), bytes.size());
    }
    void feedFiller(std::uint8_t filler, std::uint64_t count) {
        const auto& piece = FillerPiece(filler);
        while (count > 0) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, kPiece));
            update(std::span(piece).first(n));
            count -= n;
        }
    }
    // The digest so far; the state goes on unchanged.
    Sha1Digest peek() const {
        std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> copy(crypto.MD_CTX_new(),
                                                                     crypto.MD_CTX_free);
        Sha1Digest digest{};
        unsigned length = 0;
        if (!copy || crypto.MD_CTX_copy_ex(copy.get(), context.get()) != 1 ||
            crypto.DigestFinal_ex(copy.get(), digest.data(), &length) != 1) {
            throw std::runtime_error("cannot finish a SHA-1");
        }
        return digest;
    }
    std::unique_ptr<Sha1State> clone() const {
        auto copy = std::make_unique<Sha1State>();
        if (crypto.MD_CTX_copy_ex(copy->context.get(), context.get()) != 1) {
            throw std::runtime_error("cannot copy a SHA-1");
        }
        return copy;
    }
};

Status Sha1Available() {
    // The hasher's own steps, from loading the library to a finished digest.
    try {
        const ImageHasher hasher;
        (void)hasher.digest();
    } catch (const std::runtime_error& error) {
        return Status::failure(error.what());
    }
    return Status::success();
}

ImageHasher::ImageHasher() : m_sha1(std::make_unique<Sha1State>()) {}
ImageHasher::~ImageHasher() = default;
ImageHasher::ImageHasher(ImageHasher&&) noexcept = default;
ImageHasher& ImageHasher::operator=(ImageHasher&&) noexcept = default;

void ImageHasher::update(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const auto piece = bytes.first(std::min(bytes.size(), kPiece));
        m_sha1->update(piece);
        m_crc32 = Crc32(m_crc32, piece);
        // Data bytes end a piece almost always, so these stop at its last byte or two.
        if (const std::size_t end = EndOfData(piece, 0xFF); end > 0) {
            m_dataEndFf = m_size + end;
        }
        if (const std::size_t end = EndOfData(piece, 0x00); end > 0) {
            m_dataEnd00 = m_size + end;
        }
        m_size += piece.size();
        bytes = bytes.subspan(piece.size());
    }
}

void ImageHasher::fill(std::uint8_t filler, std::uint64_t count) {
    if (count == 0) {
        return;
    }
    m_sha1->feedFiller(filler, count);
    m_crc32 = CombineCrc32(m_crc32, FillerCrc32(filler, count), count);
    // Filler bytes are data for the other filler value.
    if (filler != 0xFF) {
        m_dataEndFf = m_size + count;
    }
    if (filler != 0x00) {
        m_dataEnd00 = m_size + count;
    }
    m_size += count;
}

ImageDigest ImageHasher::digest() const {
    return {m_size, m_crc32, m_sha1->peek()};
}

std::uint64_t ImageHasher::dataEnd(std::uint8_t filler) const {
    return filler == 0xFF ? m_dataEndFf : filler == 0x00 ? m_dataEnd00 : m_size;
}

std::uint32_t ImageHasher::paddedCrc32(std::uint8_t filler, std::uint64_t size) const {
    const std::uint64_t padding = size - std::min(size, m_size);
    return CombineCrc32(m_crc32, FillerCrc32(filler, padding), padding);
}

Sha1Digest ImageHasher::paddedSha1(std::uint8_t filler, std::uint64_t size) const {
    const std::unique_ptr<Sha1State> padded = m_sha1->clone();
    padded->feedFiller(filler, size - std::min(size, m_size));
    return padded->peek();
}

std::uint32_t FillerCrc32(std::uint8_t filler, std::uint64_t count) {
    // Runs of 1, 2, 4, ... filler bytes, doubled by combining a run with itself, added
    // for each bit of the count.
    std::uint32_t result = 0;  // the CRC-32 of nothing
    std::uint32_t run = Crc32(0, std::span(&filler, 1));
    for (std::uint64_t runLength = 1; count > 0; runLength *= 2, count >>= 1) {
        if (count & 1) {
            result = CombineCrc32(result, run, runLength);
        }
        if (count > 1) {
            run = CombineCrc32(run, run, runLength);
        }
    }
    return result;
}

Status HashRest(const ByteSource& source, ImageHasher& hasher, ByteBuffer& buffer) {
    const std::uint64_t size = source.size();
    if (hasher.bytesSeen() >= size) {
        return Status::success();
    }
    buffer.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kReadBlock, size)));
    while (hasher.bytesSeen() < size) {
        const std::uint64_t offset = hasher.bytesSeen();
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - offset));
        std::size_t got = 0;
        if (Status status = source.readAt(offset, std::span(buffer).first(want), got); !status) {
            return status;
        }
        if (got == 0) {
            return Status::failure("the image ended before its size");
        }
        hasher.update(std::span(buffer).first(got));
    }
    return Status::success();
}

}  // namespace ostravex
