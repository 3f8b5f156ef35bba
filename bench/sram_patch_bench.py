#!/usr/bin/env python3
"""The SRAM patch search through the program: `ostravex-cli --sram-patch --only-patch` on a
32 MiB GBA image that matches no signature (every search runs to the end and nothing is
written), against `cat FILE` with its output to /dev/null, which reads the same bytes.
Both are started directly, without a shell, alternately, from a warm page cache; process
start included in both. Prints the medians (wall and CPU time) and their ratios.

    python3 bench/sram_patch_bench.py [--runs 21] [--cli build/bin/ostravex-cli]
"""
import hashlib
import os
import random
import subprocess
import sys

from bench_main import run_benchmarks
from measure import Command, alternate, fixture_check, print_commands, print_comparison

IMAGE_SIZE = 32 << 20


def bench_search(cli, scratch, runs):
    image = os.path.join(scratch, "image.gba")
    with open(image, "wb") as f:
        f.write(random.Random(1234).randbytes(IMAGE_SIZE))
    with open(image, "rb") as f:
        before = hashlib.sha256(f.read()).hexdigest()
    fixture_check(os.path.getsize(image) == IMAGE_SIZE, "a GBA image of 32 MiB")
    check = subprocess.run([cli, "--no-archives", "--sram-patch", "--only-patch", image],
                           capture_output=True, text=True)
    fixture_check(check.returncode == 0 and
                  "SRAM Patch Not Possible on this Rom or it's already patched." in check.stdout,
                  "it matches no signature, so every search runs to the end")
    subject = Command("ostravex-cli", [cli, "--quiet", "--no-archives", "--sram-patch",
                                       "--only-patch", image])
    reference = Command("cat", ["cat", image])
    print("search: the SRAM patch of a 32 MiB image against reading it")
    print_commands([subject, reference])
    figures = alternate([subject, reference], runs)
    print_comparison(figures, subject.name, reference.name, runs, goal=2.0)
    with open(image, "rb") as f:
        fixture_check(hashlib.sha256(f.read()).hexdigest() == before,
                      "the image is unchanged after the runs")


def main():
    run_benchmarks(__doc__, {"search": bench_search}, runs=21)


if __name__ == "__main__":
    sys.exit(main())
