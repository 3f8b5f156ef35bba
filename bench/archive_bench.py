#!/usr/bin/env python3
"""Archive member benchmarks for ostravex-cli, each side by side with the standard tool
that does the same work, both started directly, run in turn (A B A B ...) so that a
drifting machine speed touches both alike. Reports the medians (wall and CPU time) and
their ratios.

  solid7z  8 NDS images of 64 MiB in one solid 7z (`7zz a -mx=1 -ms=on -ms=1g`: one
           block; checked with `7zz l -slt`): the whole run (every member extracted beside
           the archive and trimmed in place) against `7zz x` of the archive into a folder.
           Also the figure per member.
  rar      one stored 256 MiB NDS image in a RAR archive, read with `--dry-run` (the member
           is read into memory and decided, nothing is written) against
           `bsdtar -xOf ARCHIVE > /dev/null`.
  zip      one deflated 128 MiB NDS image in a zip archive made by Python's zipfile with its
           defaults, read with `--dry-run` (the member is inflated block by block, checked
           against its CRC and decided; nothing is kept or written) against
           `bsdtar -xOf ARCHIVE > /dev/null`. Goal: wall ratio <= 1.2.

Usage: bench/archive_bench.py [--cli build/bin/ostravex-cli] [--scratch DIR] [--runs N]
                              [WHICH...]
"""
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import zipfile
import zlib

from bench_main import run_benchmarks
from measure import Command, alternate, fixture_check, print_commands, print_comparison
from nds_fixture import sign_nds_header

MIB = 1 << 20


def nds_image(size, used_size, seed, random_part=None):
    """An image that compresses like a real one: coded data (random bytes of a small
    alphabet), `random_part` bytes of incompressible data (half the used size by default),
    then filler from the used size on."""
    rng = random.Random(seed)
    alphabet = bytes(range(0, 256, 17))
    random_part = used_size // 2 if random_part is None else random_part
    coded = bytes(alphabet[b & 15] for b in rng.randbytes(MIB)) * ((used_size - random_part) // MIB)
    image = bytearray(coded) + bytearray(rng.randbytes(used_size - len(coded)))
    image += b"\xff" * (size - len(image))
    image[0:0x200] = bytes(0x200)
    image[0:12] = b"BENCHMARK\0\0\0"
    struct.pack_into("<I", image, 0x80, used_size)
    return bytes(sign_nds_header(image))


def rar_stored(members):
    """A RAR 4 archive holding `members` ((name, bytes) pairs) stored, as WinRAR writes
    them with "-m0"."""

    def block(from_type):
        return struct.pack("<H", zlib.crc32(from_type) & 0xFFFF) + from_type

    out = bytearray(b"Rar!\x1a\x07\x00")
    out += block(struct.pack("<BHH", 0x73, 0, 13) + bytes(6))
    for name, data in members:
        encoded = name.encode()
        header = struct.pack("<BHHIIBIIBBHI", 0x74, 0x8000, 32 + len(encoded), len(data),
                             len(data), 2, zlib.crc32(data), 0x5A210000, 29, 0x30,
                             len(encoded), 0x20) + encoded
        out += block(header)
        out += data
    out += block(struct.pack("<BHH", 0x7B, 0x4000, 7))
    return bytes(out)


def seven_zip_blocks(seven, archive):
    """What `7zz l -slt` says of the archive: (solid, number of blocks)."""
    listing = subprocess.run([seven, "l", "-slt", archive], capture_output=True, text=True,
                             check=True).stdout
    solid = re.search(r"^Solid = (.)", listing, re.M)
    blocks = re.search(r"^Blocks = (\d+)", listing, re.M)
    return (solid.group(1) == "+" if solid else False), (int(blocks.group(1)) if blocks else 0)


def bench_solid7z(cli, scratch, runs):
    seven = shutil.which("7zz")
    if not seven:
        print("solid7z: 7zz is not installed; skipped")
        return
    folder = os.path.join(scratch, "solid7z")
    shutil.rmtree(folder, ignore_errors=True)
    src = os.path.join(folder, "src")
    work = os.path.join(folder, "run")
    unpacked = os.path.join(folder, "x")
    os.makedirs(src)
    os.makedirs(work)
    names = ["game%d.nds" % i for i in range(8)]
    for i, name in enumerate(names):
        with open(os.path.join(src, name), "wb") as f:
            f.write(nds_image(64 * MIB, 40 * MIB, i, random_part=4 * MIB))
    archive = os.path.join(work, "set.7z")
    # 7-Zip's fastest level, solid, in one block that holds all 512 MiB: at this level 7-Zip
    # otherwise starts a new block for each large member, and the archive is not solid.
    subprocess.run([seven, "a", "-bd", "-y", "-mx=1", "-ms=on", "-ms=1g", archive] + names,
                   cwd=src, check=True, stdout=subprocess.DEVNULL)
    shutil.rmtree(src)
    solid, blocks = seven_zip_blocks(seven, archive)
    fixture_check(solid and blocks == 1, "one solid 7z (7zz l -slt: Solid = +, Blocks = 1) "
                  "of 8 members of 64 MiB, %.1f MiB" % (os.path.getsize(archive) / MIB))

    def clean(_command=None):
        for name in names:
            if os.path.exists(os.path.join(work, name)):
                os.remove(os.path.join(work, name))
        shutil.rmtree(unpacked, ignore_errors=True)

    def check(command):
        if command.name == "ostravex-cli":
            trimmed = [n for n in names if os.path.getsize(os.path.join(work, n)) == 40 * MIB]
            if len(trimmed) != len(names):
                sys.exit("ostravex-cli trimmed %d of 8 members" % len(trimmed))
        elif sorted(os.listdir(unpacked)) != sorted(names):
            sys.exit("7zz x did not extract the 8 members")

    subject = Command("ostravex-cli", [cli, "--quiet", archive])
    reference = Command("7zz x", [seven, "x", "-bd", "-y", "-o" + unpacked, archive])
    print("solid7z: every member extracted beside the archive and trimmed in place, against "
          "extracting them")
    print_commands([subject, reference])
    figures = alternate([subject, reference], runs, before_each=clean, after_each=check)
    print_comparison(figures, subject.name, reference.name, runs, scale=1.0, unit="s")
    print("  per member: %.3f s" % (figures.median_wall(subject.name) / len(names)))
    clean()
    shutil.rmtree(folder, ignore_errors=True)


def bench_rar(cli, scratch, runs):
    bsdtar = shutil.which("bsdtar")
    if not bsdtar:
        print("rar: bsdtar is not installed (libarchive-tools); skipped")
        return
    folder = os.path.join(scratch, "rar")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    archive = os.path.join(folder, "big.rar")
    with open(archive, "wb") as f:
        f.write(rar_stored([("big.nds", nds_image(256 * MIB, 160 * MIB, 9))]))
    listed = subprocess.run([bsdtar, "-tvf", archive], capture_output=True, text=True).stdout
    fixture_check(listed.split()[-1:] == ["big.nds"] and str(256 * MIB) in listed,
                  "a RAR archive with one stored member of 256 MiB (bsdtar -tvf lists it)")
    decided = subprocess.run([cli, "--dry-run", archive], capture_output=True, text=True)
    fixture_check(decided.returncode == 0 and any(line.startswith("big.nds: ")
                                                   for line in decided.stdout.splitlines()),
                  "ostravex-cli decides the member without an error")
    subject = Command("ostravex-cli", [cli, "--dry-run", "--quiet", archive])
    reference = Command("bsdtar -xOf", [bsdtar, "-xOf", archive])
    print("rar: the member read and checked against its CRC, nothing written, against "
          "extracting it to /dev/null")
    print_commands([subject, reference])
    figures = alternate([subject, reference], runs)
    print_comparison(figures, subject.name, reference.name, runs, scale=1.0, unit="s")
    shutil.rmtree(folder, ignore_errors=True)


def bench_zip(cli, scratch, runs):
    bsdtar = shutil.which("bsdtar")
    if not bsdtar:
        print("zip: bsdtar is not installed (libarchive-tools); skipped")
        return
    folder = os.path.join(scratch, "zip")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    archive = os.path.join(folder, "big.zip")
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("big.nds", nds_image(128 * MIB, 96 * MIB, 11, random_part=16 * MIB))
    with zipfile.ZipFile(archive) as z:
        member = z.getinfo("big.nds")
    fixture_check(member.compress_type == zipfile.ZIP_DEFLATED and member.file_size == 128 * MIB
                  and member.compress_size < member.file_size // 2,
                  "a zip archive (Python zipfile defaults) with one deflated member of 128 MiB, "
                  "%.1f MiB packed" % (member.compress_size / MIB))
    decided = subprocess.run([cli, "--dry-run", archive], capture_output=True, text=True)
    fixture_check(decided.returncode == 0 and any(line.startswith("big.nds: ")
                                                   for line in decided.stdout.splitlines()),
                  "ostravex-cli decides the member without an error")
    subject = Command("ostravex-cli", [cli, "--dry-run", "--quiet", archive])
    reference = Command("bsdtar -xOf", [bsdtar, "-xOf", archive])
    print("zip: the member inflated and checked against its CRC, nothing written, against "
          "extracting it to /dev/null")
    print_commands([subject, reference])
    figures = alternate([subject, reference], runs)
    print_comparison(figures, subject.name, reference.name, runs, goal=1.2, scale=1.0, unit="s")
    shutil.rmtree(folder, ignore_errors=True)


def main():
    run_benchmarks(__doc__, {"solid7z": bench_solid7z, "rar": bench_rar, "zip": bench_zip})


if __name__ == "__main__":
    sys.exit(main())
