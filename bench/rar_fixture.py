"""RAR 4.x archives with stored members, written without the rar tool (which is not free to
install): the marker block, the archive header, one file header per member followed by its
bytes as they are (method 0x30, "store"), and the end-of-archive block. Members are under
4 GiB, so no file header needs the high halves of its sizes (LHD_LARGE)."""

import struct
import zlib

MARKER = b"Rar!\x1a\x07\x00"
MAIN_HEAD, FILE_HEAD, END_HEAD = 0x73, 0x74, 0x7B
LONG_BLOCK = 0x8000  # the block is followed by data (ADD_SIZE): every file header has it
SKIP_IF_UNKNOWN = 0x4000
STORED = 0x30
HOST_WINDOWS, HOST_UNIX = 2, 3
# Oldest RAR version that can extract the member, times ten: 2.9 for the RAR 4.x format.
UNPACK_VERSION = 29


def dos_time(year, month, day, hour, minute, second):
    """A date and time as MS-DOS packs them into 32 bits (two-second steps)."""
    return ((year - 1980) << 25 | month << 21 | day << 16 | hour << 11 | minute << 5
            | second // 2)


def block(after_crc):
    """A block: HEAD_CRC, the low 16 bits of the CRC-32 of the header from HEAD_TYPE on,
    then the header."""
    return struct.pack("<H", zlib.crc32(after_crc) & 0xFFFF) + after_crc


def file_header(name, data, host_os, modified):
    encoded = name.encode("ascii")  # no unicode name field: ASCII names only
    # A regular file rw-r--r-- (Unix), or FILE_ATTRIBUTE_ARCHIVE (Windows).
    attributes = 0o100644 if host_os == HOST_UNIX else 0x20
    fields = struct.pack("<IIBIIBBHI", len(data), len(data), host_os, zlib.crc32(data),
                         modified, UNPACK_VERSION, STORED, len(encoded), attributes)
    # HEAD_TYPE, HEAD_FLAGS and HEAD_SIZE (the header's size with HEAD_CRC) come first.
    size = 2 + 5 + len(fields) + len(encoded)
    return block(struct.pack("<BHH", FILE_HEAD, LONG_BLOCK, size) + fields + encoded)


def write_stored_rar(path, members, host_os=HOST_UNIX, modified=dos_time(2024, 5, 1, 12, 30, 0)):
    """Writes a RAR 4.x archive at `path` holding `members` ((name, bytes) pairs, in that
    order), each stored."""
    with open(path, "wb") as f:
        f.write(MARKER)
        # HEAD_TYPE, HEAD_FLAGS (no volume, no solid, no comment), HEAD_SIZE, two reserved fields.
        f.write(block(struct.pack("<BHHHI", MAIN_HEAD, 0, 13, 0, 0)))
        for name, data in members:
            f.write(file_header(name, data, host_os, modified))
            f.write(data)
        f.write(block(struct.pack("<BHH", END_HEAD, SKIP_IF_UNKNOWN, 7)))
