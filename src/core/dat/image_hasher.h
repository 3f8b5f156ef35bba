#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "dat/dat_file.h"
#include "io/byte_buffer.h"
#include "io/byte_source.h"
#include "io/status.h"

namespace ostravex {

// The checksums of a whole image, as a DAT lists them.
struct ImageDigest {
    std::uint64_t size = 0;
    std::uint32_t crc32 = 0;
    Sha1Digest sha1{};
    bool operator==(const ImageDigest&) const = default;
};

// Hashes an image in one pass, fed in order from its first byte: CRC-32 (zlib) and SHA-1
// (OpenSSL's libcrypto, which uses the CPU's SHA instructions where it has them) of every
// byte, and where the image's data ends before a tail of 0xFF or of 0x00 bytes. From that
// state it also gives the checksums of the image padded with a filler byte to a larger size
// without reading anything more: the CRC-32 by arithmetic, the SHA-1 by hashing filler.
//
// The copy loop of a run can feed it the bytes it copies anyway and hashRest() reads the
// rest, so an image is read once whether or not it is copied.
class ImageHasher {
  public:
    ImageHasher();
    ~ImageHasher();
    ImageHasher(ImageHasher&&) noexcept;
    ImageHasher& operator=(ImageHasher&&) noexcept;
    ImageHasher(const ImageHasher&) = delete;
    ImageHasher& operator=(const ImageHasher&) = delete;

    // The next bytes of the image.
    void update(std::span<const std::uint8_t> bytes);
    // `count` more bytes of `filler`, as a padded image holds them.
    void fill(std::uint8_t filler, std::uint64_t count);
    std::uint64_t bytesSeen() const { return m_size; }

    // The checksums of the bytes seen so far.
    ImageDigest digest() const;
    // One past the last byte seen that differs from `filler` (0xFF or 0x00): the bytes from
    // there on are all that filler. 0 when every byte is filler.
    std::uint64_t dataEnd(std::uint8_t filler) const;

    // The checksums of the bytes seen followed by `filler` up to `size` (>= bytesSeen()).
    // The CRC-32 costs a few microseconds; the SHA-1 hashes the padding's bytes.
    std::uint32_t paddedCrc32(std::uint8_t filler, std::uint64_t size) const;
    Sha1Digest paddedSha1(std::uint8_t filler, std::uint64_t size) const;

  private:
    struct Sha1State;
    std::unique_ptr<Sha1State> m_sha1;
    std::uint32_t m_crc32 = 0;
    std::uint64_t m_size = 0;
    std::uint64_t m_dataEndFf = 0;
    std::uint64_t m_dataEnd00 = 0;
};

// Whether an image can be hashed here: libcrypto loads and gives a SHA-1 (its configuration
// can load providers that lack it, as an OPENSSL_CONF that activates only the base provider
// does). Loading DATs asks this, so that a run that cannot check roms never starts.
[[nodiscard]] Status Sha1Available();

// The CRC-32 of `count` bytes of `filler`, in time logarithmic in `count`.
std::uint32_t FillerCrc32(std::uint8_t filler, std::uint64_t count);

// Feeds `hasher` the bytes of `source` from hasher.bytesSeen() to its end, through `buffer`
// (kept by the caller from one image to the next).
[[nodiscard]] Status HashRest(const ByteSource& source, ImageHasher& hasher, ByteBuffer& buffer);

}  // namespace ostravex
