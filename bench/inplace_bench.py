#!/usr/bin/env python3
"""Cutting NDS images in place: ostravex-cli against bench/inplace_trim_reference.c, small C
programs started directly, run in turn, each run getting its untrimmed images back (the cut
images are extended again, which restores them byte for byte).

The reference built with -DSAFETY_CALLS ("checked reference") makes the calls a safe cut
needs and ostravex-cli makes: open, lock (two runs never change one rom at once), size
(learnt once the lock is held), header, block, cut, close; 7 per image. It is what
ostravex-cli is measured against:

  per image 200 and 2,000 sparse images of 512 MiB: the slope from 200 to 2,000 images
            gives the cost of one more image without the start of the process; goal
            <= 1.1 to the checked reference.
  whole     the whole process over 200 images, start included; goal <= 1.5.

The plain reference leaves the lock out (6 calls per image): the checked reference's ratio
to it is what the lock costs. Where strace works, the system calls per image of each program
are counted first (strace -f -c, the difference between 20 and 120 images over 100).

Prints the medians (wall and CPU time) and their ratios.

    python3 bench/inplace_bench.py [--runs 21] [--cli build/bin/ostravex-cli] [--scratch DIR]
"""
import os
import shutil
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


def total_calls(command, trace):
    """The system calls `command` makes, counted by strace -f -c."""
    subprocess.run(["strace", "-f", "-c", "-o", trace] + command, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(trace) as f:
        return int(next(line for line in f if line.rstrip().endswith("total")).split()[-3])


def print_calls_per_image(programs, paths, scratch):
    """Calls per image of each program: (calls over 120 images - calls over 20) / 100."""
    if shutil.which("strace") is None:
        print("calls per image: strace is not here, not counted")
        return
    trace = os.path.join(scratch, "calls.txt")
    for name, command in programs:
        counts = []
        for count in (20, 120):
            for path in paths[:count]:
                os.truncate(path, IMAGE_SIZE)
            counts.append(total_calls(command + paths[:count], trace))
        print(f"calls per image: {name} {(counts[1] - counts[0]) / 100:.2f}")
    for path in paths[:120]:
        os.truncate(path, IMAGE_SIZE)
    os.sync()


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
    print_calls_per_image([("ostravex-cli", cli_arguments), ("checked reference", [checked_program]),
                           ("reference", [reference_program])], paths, scratch)
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
    print(f"per image, slope from {FEW} to {MANY} images (goal: ostravex-cli <= 1.1 to the "
          "checked reference, which makes the same calls):")
    for kind, median in (("wall", figures.median_wall), ("CPU", figures.median_cpu)):
        slope = {name: (median(f"{name} {MANY}") - median(f"{name} {FEW}")) / (MANY - FEW)
                 for name in ("ostravex-cli", "reference", "checked reference")}
        print(f"  {kind:4}: ostravex-cli {slope['ostravex-cli'] * 1e6:7.1f} us, checked reference "
              f"{slope['checked reference'] * 1e6:7.1f} us, ratio "
              f"{slope['ostravex-cli'] / slope['checked reference']:.2f}; reference without the "
              f"lock {slope['reference'] * 1e6:7.1f} us, ostravex-cli to it "
              f"{slope['ostravex-cli'] / slope['reference']:.2f}")
    print(f"whole process, {FEW} images:")
    print_comparison(figures, f"ostravex-cli {FEW}", f"checked reference {FEW}", runs, goal=1.5)
    print(f"whole process, {MANY} images:")
    print_comparison(figures, f"ostravex-cli {MANY}", f"checked reference {MANY}", runs)
    print(f"whole process, {FEW} images, the lock alone:")
    print_comparison(figures, f"checked reference {FEW}", f"reference {FEW}", runs)


def main():
    run_benchmarks(__doc__, {"inplace": bench_inplace}, runs=21)


if __name__ == "__main__":
    sys.exit(main())
