#!/usr/bin/env python3
"""Identifying a 512 MiB NDS image against a DAT, the engine's one pass of CRC-32 and
SHA-1 over it plus the match and the reversibility check of a cut at its used size
(build/bin/dat_identify), alternating with `sha1sum` of the same file (the bare tool) and
with `dat_hash_reference` (bench/dat_hash_reference.c: CRC-32 and SHA-1 with the zlib and
libcrypto the program uses, nothing else). All read the file from a warm page cache. Goal: a
ratio of at most 1.1 to either.

    python3 bench/dat_hash_bench.py [--runs N] [--tool build/bin/dat_identify]
"""
import argparse
import os
import shutil
import subprocess
import sys

from measure import (Command, alternate, fixture_check, load_average, print_commands,
                     print_comparison)
from dat_reference import build_dat_hash_reference, reference_sha1
from nds_fixture import write_nds_dump

MIB = 1 << 20
SIZE = 512 * MIB
USED = 400 * MIB


def make_image(path):
    """A 512 MiB cartridge image (capacity byte 12): 400 MiB of data, then 0xFF."""
    return write_nds_dump(path, SIZE, USED, 0xFF, header_size=0x200)


def write_dat(path, size, crc, sha1):
    with open(path, "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0"?>\n<datafile>\n\t<header>\n\t\t<name>Bench - Nintendo DS'
                "</name>\n\t</header>\n")
        f.write('\t<game name="Big &amp; B\u00e9nch (Europe)">\n\t\t<rom name="big.nds" '
                f'size="{size}" crc="{crc:08x}" sha1="{sha1}"/>\n\t</game>\n</datafile>\n')


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--tool", default="build/bin/dat_identify")
    args = parser.parse_args()
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "dat-hash-data")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    image = os.path.join(folder, "big.nds")
    dat = os.path.join(folder, "bench.dat")
    try:
        crc, sha1 = make_image(image)
        write_dat(dat, SIZE, crc, sha1)
        # The fixture is what it claims: 512 MiB, in the DAT as a full dump, cut reversibly.
        out = subprocess.run([args.tool, "--dat", dat, image], capture_output=True, text=True,
                             check=True).stdout
        sha1sum_sha1 = subprocess.run(["sha1sum", image], capture_output=True, text=True,
                                      check=True).stdout.split()[0]
        reference = build_dat_hash_reference(folder)
        print(out.strip())
        fixture_check(os.path.getsize(image) == SIZE and sha1sum_sha1 == sha1 and
                      reference_sha1(reference, image) == sha1,
                      "an NDS image of 512 MiB (sha1sum and the reference agree with the DAT)")
        fixture_check(": full dump [Bench - Nintendo DS" in out and "is reversible" in out and
                      f"sha1 {sha1}" in out,
                      "the DAT has it as a full dump, and its cut is reversible")
        print("before: " + load_average())
        commands = [Command("dat_identify", [args.tool, "--dat", dat, image]),
                    Command("sha1sum", ["sha1sum", image]),
                    Command("reference", [reference, image])]
        print_commands(commands)
        figures = alternate(commands, args.runs)
        for name in ("dat_identify", "sha1sum", "reference"):
            print(f"  {name:14} {SIZE / MIB / figures.median_wall(name):6.0f} MiB/s")
        print_comparison(figures, "dat_identify", "sha1sum", args.runs, goal=1.1)
        print_comparison(figures, "dat_identify", "reference", args.runs, goal=1.1)
        print("after: " + load_average())
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
