#!/usr/bin/env python3
"""Cutting NDS images in place: ostravex-cli against bench/inplace_trim_reference.c, a small
C program that makes only the system calls a cut needs (open, fstat, two reads, ftruncate,
close), both started directly, run in turn, each run getting its untrimmed images back (the
cut images are extended again, which restores them byte for byte).

  whole     200 sparse images of 512 MiB: the whole process, start included; goal <= 1.5.
  per image the same over 2,000 images: the slope from 200 to 2,000 images gives the cost
            of one more image without the start of the process; goal <= 1.15.

The same C program built with -DSAFETY_CALLS ("checked reference") also takes the
exclusive lock ostravex-cli takes for safety, before it learns the size: open, lock, size,
header, block, cut, close. Its ratio to the plain reference is the least the lock costs,
and ostravex-cli is compared with it too (goal per image <= 1.1).

Prints the medians (wall and CPU time) and their ratios.

    python3 bench/inplace_bench.py [--runs 21] [--cli build/bin/ostravex-cli] [--scratch DIR]
"""
import os
import subprocess
import sys

from bench_main import run_benchmarks
from measure import (Command, alternate, fixture_check, is_sparse, print_commands,
                     print_comparison)
from nds_fixture import header_crc16, sign_nds_header

FEW = 200
MANY = 2000
IMAGE_SIZE = 512 << 20
USED_SIZE = 1 << 20
HERE = os.path.dirname(os.path.abspath(__file__))


def nds_header():
    """A header whose used size is 1 MiB and whose checksum is right."""
    header = bytearray(0x200)
    header[0:12] = b"BENCHMARK\0\0\0"
    header[0x80:0x84] = USED_SIZE.to_bytes(4, "little")
    return bytes(sign_nds_header(header))


def make_images(folder):
    """MANY images: the header, then a hole up to 512 MiB."""
    header = nds_header()
    paths = []
    for i in range(MANY):
        path = os.path.join(folder, f"rom{i:04}.nds")
        with open(path, "wb") as f:
            f.write(header)
            f.truncate(IMAGE_SIZE)
        paths.append(path)
    return paths


def bench_inplace(cli, scratch, runs):
    reference_program = os.path.join(scratch, "inplace_trim_reference")
    checked_program = os.path.join(scratch, "inplace_trim_reference_checked")
    source = os.path.join(HERE, "inplace_trim_reference.c")
    subprocess.run(["cc", "-O2", "-o", reference_program, source], check=True)
    subprocess.run(["cc", "-O2", "-DSAFETY_CALLS", "-o", checked_program, source], check=True)
    folder = os.path.join(scratch, "inplace")
    os.makedirs(folder, exist_ok=True)
    paths = make_images(folder)
    header = nds_header()
    with open(paths[-1], "rb") as f:
        first_bytes = f.read(len(header))
    fixture_check(len(paths) == MANY and first_bytes == header and
                  header_crc16(header[:0x15E]) == int.from_bytes(header[0x15E:0x160], "little"),
                  f"{MANY} NDS images whose header checksum is right, used size 1 MiB")
    fixture_check(all(os.path.getsize(p) == IMAGE_SIZE and is_sparse(p) for p in paths),
                  "each is a sparse file of 512 MiB")

    cli_arguments = [cli, "--quiet", "--no-archives", "--mode=overwrite"]
    commands = [
        Command(f"ostravex-cli {FEW}", cli_arguments + paths[:FEW],
                summary=f"{' '.join(cli_arguments)} {folder}/rom0000.nds ... (first {FEW} images) > /dev/null"),
        Command(f"reference {FEW}", [reference_program] + paths[:FEW],
                summary=f"{reference_program} {folder}/rom0000.nds ... (first {FEW} images) > /dev/null"),
        Command(f"ostravex-cli {MANY}", cli_arguments + paths,
                summary=f"{' '.join(cli_arguments)} {folder}/rom0000.nds ... ({MANY} images) > /dev/null"),
        Command(f"reference {MANY}", [reference_program] + paths,
                summary=f"{reference_program} {folder}/rom0000.nds ... ({MANY} images) > /dev/null"),
        Command(f"checked reference {FEW}", [checked_program] + paths[:FEW],
                summary=f"{checked_program} {folder}/rom0000.nds ... (first {FEW} images) > /dev/null"),
        Command(f"checked reference {MANY}", [checked_program] + paths,
                summary=f"{checked_program} {folder}/rom0000.nds ... ({MANY} images) > /dev/null"),
    ]
    count = {command.name: int(command.name.split()[-1]) for command in commands}

    def restore(command):
        for path in paths[:count[command.name]]:
            os.truncate(path, IMAGE_SIZE)
        # The changes waiting for the disk would otherwise be written during the next run.
        os.sync()

    def check_cut(command):
        if any(os.path.getsize(p) != USED_SIZE for p in paths[:count[command.name]]):
            sys.exit(f"{command.name} did not cut every image to 1 MiB")

    print("in place: sparse 512 MiB NDS images cut to 1 MiB")
    print_commands(commands)
    figures = alternate(commands, runs, before_each=restore, after_each=check_cut)
    print(f"whole process, {FEW} images:")
    print_comparison(figures, f"ostravex-cli {FEW}", f"reference {FEW}", runs, goal=1.5)
    print(f"whole process, {MANY} images:")
    print_comparison(figures, f"ostravex-cli {MANY}", f"reference {MANY}", runs)
    print(f"whole process, {FEW} images, the lock alone:")
    print_comparison(figures, f"checked reference {FEW}", f"reference {FEW}", runs)
    print(f"per image, slope from {FEW} to {MANY} images (goals: <= 1.15 to the reference, "
          "<= 1.1 to the checked reference):")
    for kind, median in (("wall", figures.median_wall), ("CPU", figures.median_cpu)):
        slope = {name: (median(f"{name} {MANY}") - median(f"{name} {FEW}")) / (MANY - FEW)
                 for name in ("ostravex-cli", "reference", "checked reference")}
        print(f"  {kind:4}: ostravex-cli {slope['ostravex-cli'] * 1e6:7.1f} us, reference "
              f"{slope['reference'] * 1e6:7.1f} us, ratio "
              f"{slope['ostravex-cli'] / slope['reference']:.2f}; checked reference "
              f"{slope['checked reference'] * 1e6:7.1f} us, ratio to reference "
              f"{slope['checked reference'] / slope['reference']:.2f}, ostravex-cli to it "
              f"{slope['ostravex-cli'] / slope['checked reference']:.2f}")


def main():
    run_benchmarks(__doc__, {"inplace": bench_inplace}, runs=21)


if __name__ == "__main__":
    sys.exit(main())
