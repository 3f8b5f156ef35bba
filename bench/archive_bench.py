#!/usr/bin/env python3
"""Archive member benchmarks for ostravex-cli, each side by side with the standard tool
that does the same work, run in turn (A B A B ...) so that a drifting machine speed
touches both alike. Reports the medians and the median of the pair-by-pair ratios.

  solid7z  8 NDS images of 64 MiB in one solid 7z made by `7zz a -mx=1`: the whole
           run (every member extracted beside the archive and trimmed in place) against
           `7zz x` of the archive into a folder. Also the figure per member.
  rar      one stored 256 MiB NDS image in a RAR archive, read with `--dry-run` (the member
           is read into memory and decided, nothing is written) against
           `bsdtar -xOf ARCHIVE > /dev/null`.

Usage: bench/archive_bench.py [--cli build/bin/ostravex-cli] [--scratch DIR] [--runs N]
                              [WHICH...]
"""
import os
import random
import shutil
import statistics
import struct
import subprocess
import sys
import time
import zlib

from bench_main import run_benchmarks
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


def timed(command, before=None):
    if before:
        before()
    start = time.perf_counter()
    subprocess.run(command, check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def side_by_side(ours, reference, runs, before=None):
    """Times both commands in turn, after one warm-up run of each."""
    timed(ours, before)
    timed(reference, before)
    mine, theirs = [], []
    for _ in range(runs):
        mine.append(timed(ours, before))
        theirs.append(timed(reference, before))
    return mine, theirs


def report(label, mine, theirs, reference_name):
    ratios = [a / b for a, b in zip(mine, theirs)]
    print("  ostravex        median %.3f s (min %.3f, max %.3f)"
          % (statistics.median(mine), min(mine), max(mine)))
    print("  %-15s median %.3f s (min %.3f, max %.3f)"
          % (reference_name, statistics.median(theirs), min(theirs), max(theirs)))
    print("  %s: ratio %.2f (pair-by-pair median; min %.2f, max %.2f)"
          % (label, statistics.median(ratios), min(ratios), max(ratios)))


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
    # 7-Zip's fastest level: its default solid LZMA2 archive, made in a fraction of the time.
    subprocess.run([seven, "a", "-bd", "-y", "-mx=1", archive] + names, cwd=src, check=True,
                   stdout=subprocess.DEVNULL)
    shutil.rmtree(src)
    print("solid7z: 8 members of 64 MiB, one solid 7z of %.1f MiB"
          % (os.path.getsize(archive) / MIB))

    def clean():
        for name in names:
            if os.path.exists(os.path.join(work, name)):
                os.remove(os.path.join(work, name))
        shutil.rmtree(unpacked, ignore_errors=True)

    check = subprocess.run([cli, "--quiet", archive], capture_output=True, text=True)
    trimmed = [n for n in names if os.path.getsize(os.path.join(work, n)) == 40 * MIB]
    print("  check: exit %d, %d of 8 members trimmed" % (check.returncode, len(trimmed)))
    mine, theirs = side_by_side([cli, "--quiet", archive],
                                [seven, "x", "-bd", "-y", "-o" + unpacked, archive], runs, clean)
    report("whole run / 7zz x", mine, theirs, "7zz x")
    print("  per member: %.3f s" % (statistics.median(mine) / len(names)))
    clean()
    shutil.rmtree(folder, ignore_errors=True)


def bench_rar(cli, scratch, runs):
    if not shutil.which("bsdtar"):
        print("rar: bsdtar is not installed (libarchive-tools); skipped")
        return
    folder = os.path.join(scratch, "rar")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    archive = os.path.join(folder, "big.rar")
    with open(archive, "wb") as f:
        f.write(rar_stored([("big.nds", nds_image(256 * MIB, 160 * MIB, 9))]))
    print("rar: one stored member of 256 MiB")
    check = subprocess.run([cli, "--dry-run", archive], capture_output=True, text=True)
    decided = [line for line in check.stdout.splitlines() if line.startswith("big.nds")]
    print("  check: exit %d, %s" % (check.returncode, decided))
    mine, theirs = side_by_side([cli, "--dry-run", "--quiet", archive],
                                ["sh", "-c", "bsdtar -xOf '%s' > /dev/null" % archive], runs)
    report("dry run / bsdtar -xOf", mine, theirs, "bsdtar -xOf")
    shutil.rmtree(folder, ignore_errors=True)


def main():
    run_benchmarks(__doc__, {"solid7z": bench_solid7z, "rar": bench_rar})


if __name__ == "__main__":
    sys.exit(main())
