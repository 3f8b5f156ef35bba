#!/usr/bin/env python3
"""A run with a DAT: `ostravex-cli --quiet --dat DAT IMAGE` cutting a 512 MiB NDS image in
place (one read of the whole image for CRC-32 and SHA-1, the match as a full dump, the check
that the cut pads back to the dump, the cut), alternating with `sha1sum IMAGE` (the bare
tool) and with `dat_hash_reference IMAGE` (bench/dat_hash_reference.c: CRC-32 and SHA-1 with
the zlib and libcrypto the program uses, nothing else). Both started directly and reading a warm page cache. Before each run the image gets
its cut-off bytes back (its filler is 0x00, so extending the file restores it byte for byte).
Goal: a ratio of at most 1.1 to either.

    python3 bench/dat_trim_bench.py [--runs 11] [--cli build/bin/ostravex-cli] [--scratch DIR]
"""
import os
import subprocess
import sys

from bench_main import run_benchmarks
from dat_reference import build_dat_hash_reference, reference_sha1
from measure import Command, alternate, fixture_check, print_commands, print_comparison
from nds_fixture import write_nds_dump

MIB = 1 << 20
SIZE = 512 * MIB
USED = 400 * MIB


def make_image(path):
    """A 512 MiB cartridge dump (capacity byte 12): 400 MiB of data, then 0x00. Returns its
    CRC-32 and SHA-1."""
    return write_nds_dump(path, SIZE, USED, 0x00, header_size=0x1000)


def write_dat(path, crc, sha1):
    with open(path, "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0"?>\n<datafile>\n\t<header>\n\t\t<name>Bench - Nintendo DS'
                "</name>\n\t</header>\n")
        f.write('\t<game name="Big &amp; B\u00e9nch (Europe)">\n\t\t<rom name="big.nds" '
                f'size="{SIZE}" crc="{crc:08x}" sha1="{sha1}"/>\n\t</game>\n</datafile>\n')


def bench_dat_trim(cli, scratch, runs):
    image = os.path.join(scratch, "big.nds")
    dat = os.path.join(scratch, "bench.dat")
    crc, sha1 = make_image(image)
    write_dat(dat, crc, sha1)
    sha1sum_sha1 = subprocess.run(["sha1sum", image], capture_output=True, text=True,
                                    check=True).stdout.split()[0]
    reference = build_dat_hash_reference(scratch)
    fixture_check(os.path.getsize(image) == SIZE and sha1sum_sha1 == sha1 and
                  reference_sha1(reference, image) == sha1,
                  "an NDS image of 512 MiB whose SHA-1 (by sha1sum and the reference) the DAT "
                  "lists")
    log = subprocess.run([cli, "--dry-run", "--dat", dat, image], capture_output=True,
                         text=True, check=True).stdout
    fixture_check("INFO: Full dump of a DAT entry: big.nds" in log and
                  f"big.nds: {SIZE - USED}" in log,
                  "the run finds it a full dump and cuts it at its used size")

    commands = [Command("ostravex-cli --dat", [cli, "--quiet", "--dat", dat, image]),
                Command("sha1sum", ["sha1sum", image]),
                Command("reference", [reference, image])]

    def restore(command):
        if os.path.getsize(image) != SIZE:
            os.truncate(image, SIZE)
            os.sync()

    def check(command):
        if command.name.startswith("ostravex-cli") and os.path.getsize(image) != USED:
            sys.exit("ostravex-cli did not cut the image to its used size")

    print("in place with a DAT: a 512 MiB NDS dump hashed, matched and cut")
    print_commands(commands)
    figures = alternate(commands, runs, before_each=restore, after_each=check)
    print_comparison(figures, "ostravex-cli --dat", "sha1sum", runs, goal=1.1)
    print_comparison(figures, "ostravex-cli --dat", "reference", runs, goal=1.1)


def main():
    run_benchmarks(__doc__, {"dat_trim": bench_dat_trim}, runs=11)


if __name__ == "__main__":
    sys.exit(main())
