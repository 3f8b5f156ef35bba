"""NDS header checksums for the benchmark fixtures: the program leaves an NDS image alone
unless the CRC-16 stored at 0x15E matches bytes 0x000-0x15D, as in every real dump; and
whole dumps of a given size for the DAT benchmarks."""

import hashlib
import os
import zlib


def header_crc16(data):
    """CRC-16/MODBUS (reflected 0xA001, initial 0xFFFF) of `data`."""
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def sign_nds_header(image):
    """Stores the header checksum of the bytearray `image` (at least 0x160 bytes) in place
    and returns it."""
    image[0x15E:0x160] = header_crc16(image[0:0x15E]).to_bytes(2, "little")
    return image


def write_nds_dump(path, size, used, filler, header_size=0x200):
    """Writes a cartridge dump of `size` bytes to `path`: a signed header and random data up to
    `used` bytes, then the byte `filler` to the end. Returns its CRC-32 and SHA-1 (hex)."""
    mib = 1 << 20
    header = bytearray(os.urandom(header_size))
    header[0x12] = 0  # an NDS unit code
    header[0x14] = (size // (128 * 1024)).bit_length() - 1  # 128 KiB << n = size
    header[0x80:0x84] = used.to_bytes(4, "little")
    header[0x1E8:0x1EC] = bytes(4)  # no DSi digest region
    if header_size >= 0x214:
        header[0x210:0x214] = bytes(4)  # no DSi total
    sign_nds_header(header)
    sha1 = hashlib.sha1()
    crc = 0

    def write(block):
        nonlocal crc
        f.write(block)
        sha1.update(block)
        crc = zlib.crc32(block, crc)

    with open(path, "wb") as f:
        write(bytes(header))
        while f.tell() < used:
            write(os.urandom(min(mib, used - f.tell())))
        tail = bytes([filler]) * mib
        while f.tell() < size:
            write(tail[: min(mib, size - f.tell())])
    return crc, sha1.hexdigest()
