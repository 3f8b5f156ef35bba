#!/usr/bin/env python3
"""Restore and padding-check benchmarks for ostravex-cli, each side by side with the
standard tools doing the same work. Makes its own images under a scratch folder on the disk
it is run on (default: bench-data/ beside this script). The two commands of a benchmark
alternate run by run, so that drift of the machine touches both alike; medians are shown.

  restore   8 NDS images of 96 MiB padded in place to their 128 MiB cartridge size
            (`--restore`) against `head -c 32M /dev/zero | tr '\\0' '\\377' >> FILE` for
            each image; goal ratio <= 1.2.
  padding   8 NDS images of 64 MiB, 32 MiB used, whose last 32 MiB are 0xFF: the bytes a
            cut would remove checked (`--dry-run --check-padding`) against `cmp` of the
            same regions with a file of 0xFF bytes; goal ratio <= 1.5.

Usage: bench/restore_bench.py [--cli build/bin/ostravex-cli] [--scratch DIR] [--runs N] [WHICH...]
"""
import os
import shutil
import statistics
import struct
import subprocess
import sys
import time

from bench_main import run_benchmarks
from nds_fixture import sign_nds_header

MIB = 1 << 20


def nds_header(used_size, capacity_shift):
    header = bytearray(0x200)
    header[0:12] = b"BENCHMARK\0\0\0"
    header[0x14] = capacity_shift
    struct.pack_into("<I", header, 0x80, used_size)
    return bytes(sign_nds_header(header))


def write_image(path, used_size, size, capacity_shift, filler):
    """An image with data up to its used size and `size - used_size` filler bytes after it."""
    data = bytes((i * 131 + 7) % 251 + 1 for i in range(MIB))
    with open(path, "wb") as f:
        f.write(nds_header(used_size, capacity_shift))
        written = 0x200
        while written < used_size:
            chunk = data[: min(len(data), used_size - written)]
            f.write(chunk)
            written += len(chunk)
        block = bytes([filler]) * MIB
        while written < size:
            chunk = block[: min(len(block), size - written)]
            f.write(chunk)
            written += len(chunk)


def timed(command):
    # Earlier writes still waiting for the disk would slow down whatever runs next.
    os.sync()
    start = time.perf_counter()
    result = subprocess.run(command, check=False, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        sys.exit("failed (%d): %s" % (result.returncode, " ".join(command)))
    return elapsed


def compare(label, runs, commands, reset, goal):
    """Runs the two commands of `commands` (name -> argv) in turn, `runs` times each, calling
    `reset` before each; prints the medians and the ratio of the first to the second."""
    times = {name: [] for name in commands}
    for _ in range(runs):
        for name, command in commands.items():
            reset()
            times[name].append(timed(command))
    names = list(commands)
    print(label)
    for name in names:
        print("  %-12s median %.3f s, best %.3f s over %d runs"
              % (name, statistics.median(times[name]), min(times[name]), runs))
    ratio = statistics.median(times[names[0]]) / statistics.median(times[names[1]])
    print("  ratio %s / %s: %.2f (goal <= %.1f)" % (names[0], names[1], ratio, goal))


def bench_restore(cli, scratch, runs, count=8, trimmed=96 * MIB, full=128 * MIB):
    folder = os.path.join(scratch, "restore")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    paths = [os.path.join(folder, "r%02d.nds" % i) for i in range(count)]
    for path in paths:
        # 128 KiB << 10 is 128 MiB.
        write_image(path, trimmed, trimmed, 10, 0xFF)

    def reset():
        for path in paths:
            os.truncate(path, trimmed)

    pad = full - trimmed
    shell = "; ".join("head -c %d /dev/zero | tr '\\0' '\\377' >> '%s'" % (pad, path)
                      for path in paths)
    compare("restore: %d images of %d MiB padded in place to %d MiB" % (count, trimmed // MIB, full // MIB),
            runs, {"ostravex-cli": [cli, "--quiet", "--restore", folder],
                   "head | tr": ["sh", "-c", shell]}, reset, 1.2)
    # What was measured did the work: one more restore, checked.
    reset()
    timed([cli, "--quiet", "--restore", folder])
    for path in paths:
        with open(path, "rb") as f:
            f.seek(trimmed)
            assert f.read() == b"\xff" * pad, "not padded with 0xFF to %d MiB: %s" % (full // MIB, path)
    shutil.rmtree(folder, ignore_errors=True)


def bench_padding(cli, scratch, runs, count=8, used=32 * MIB, size=64 * MIB):
    folder = os.path.join(scratch, "padding")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "roms"))
    paths = [os.path.join(folder, "roms", "p%02d.nds" % i) for i in range(count)]
    for path in paths:
        write_image(path, used, size, 9, 0xFF)
    filler = os.path.join(folder, "filler")
    with open(filler, "wb") as f:
        f.write(b"\xff" * (size - used))
    shell = " && ".join("cmp -i %d:0 -n %d '%s' '%s'" % (used, size - used, path, filler)
                        for path in paths)
    compare("padding: %d images of %d MiB, %d MiB of 0xFF each checked (warm page cache)"
            % (count, size // MIB, (size - used) // MIB),
            runs, {"ostravex-cli": [cli, "--quiet", "--dry-run", "--check-padding",
                                    os.path.join(folder, "roms")],
                   "cmp": ["sh", "-c", shell]}, lambda: None, 1.5)
    shutil.rmtree(folder, ignore_errors=True)


def main():
    run_benchmarks(__doc__, {"restore": bench_restore, "padding": bench_padding})


if __name__ == "__main__":
    sys.exit(main())
