#!/usr/bin/env python3
"""Restore and padding-check benchmarks for ostravex-cli, each side by side with the
standard tools doing the same work, every process started directly (no shell). Makes its
own images under a scratch folder on the disk it is run on (default: bench-data/ beside
this script). The two commands of a benchmark alternate run by run, so that drift of the
machine touches both alike; medians of wall and CPU time are shown.

  restore   NDS images padded in place to their cartridge size (`--restore`), which
            appends the filler to each rom, against restore_append_reference.c, a small C
            program that does the same with the same calls (open, lock, size, header, the
            filler appended with pwrite in 1 MiB blocks, fsync, close); goal: CPU <= 1.3.
            Two sets: 200 images of 4-6 MiB padded to 8 MiB, and 8 of 96 MiB to 128 MiB.
  padding   8 NDS images of 64 MiB, 32 MiB used, whose last 32 MiB are 0xFF: the bytes a
            cut would remove checked (`--dry-run --check-padding`) against `cmp` of the
            same regions with a file of 0xFF bytes; goal ratio <= 1.5.

Usage: bench/restore_bench.py [--cli build/bin/ostravex-cli] [--scratch DIR] [--runs N] [WHICH...]
"""
import os
import shutil
import struct
import subprocess
import sys

from bench_main import run_benchmarks
from measure import (Command, Step, alternate, fixture_check, print_commands,
                     print_comparison, run_once)
from nds_fixture import sign_nds_header

MIB = 1 << 20
HERE = os.path.dirname(os.path.abspath(__file__))


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


def compare(label, runs, subject, reference, reset, check, goal):
    """Runs the two commands in turn, `runs` times each, with `reset` before each run and
    `check` after it; prints the medians and the ratio of the first to the second."""
    print(label)
    print_commands([subject, reference])

    def before(_command):
        reset()
        # Earlier writes still waiting for the disk would slow down whatever runs next.
        os.sync()

    figures = alternate([subject, reference], runs, before_each=before, after_each=check)
    print_comparison(figures, subject.name, reference.name, runs, goal=goal, scale=1.0,
                     unit="s")


def restore_set(cli, scratch, runs, reference_program, label, sizes, capacity_shift):
    """Images of the used sizes `sizes`, trimmed to them, padded back to 128 KiB <<
    `capacity_shift` by ostravex-cli and by the reference in turn."""
    full = (128 << 10) << capacity_shift
    folder = os.path.join(scratch, "restore")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    paths = [os.path.join(folder, "r%03d.nds" % i) for i in range(len(sizes))]
    for path, size in zip(paths, sizes):
        write_image(path, size, size, capacity_shift, 0xFF)
    fixture_check(all(os.path.getsize(p) == size for p, size in zip(paths, sizes)),
                  "%d NDS images of %.1f-%.1f MiB whose header gives a %d MiB cartridge"
                  % (len(sizes), min(sizes) / MIB, max(sizes) / MIB, full // MIB))

    def reset():
        for path, size in zip(paths, sizes):
            os.truncate(path, size)

    def check(command):
        if any(os.path.getsize(p) != full for p in paths):
            sys.exit("%s did not pad every image to %d MiB" % (command.name, full // MIB))

    cli_command = Command("ostravex-cli", [cli, "--quiet", "--no-archives", "--restore", folder])
    reference = Command("reference", [reference_program] + paths,
                        summary="%s FILE ... (the %d images)" % (reference_program, len(paths)))
    compare("restore: %s" % label, runs, cli_command, reference, reset, check, 1.3)
    # What was measured did the work: one more restore, its bytes checked.
    reset()
    run_once(cli_command)
    for path, size in zip(paths, sizes):
        with open(path, "rb") as f:
            f.seek(size)
            assert f.read() == b"\xff" * (full - size), "not padded with 0xFF to %d MiB: %s" % (
                full // MIB, path)
    shutil.rmtree(folder, ignore_errors=True)


def bench_restore(cli, scratch, runs):
    reference_program = os.path.join(scratch, "restore_append_reference")
    subprocess.run(["cc", "-O2", "-o", reference_program,
                    os.path.join(HERE, "restore_append_reference.c")], check=True)
    # 4-6 MiB, spread evenly, none on a whole MiB; 128 KiB << 6 is 8 MiB.
    small = [4 * MIB + 1 + (i * 2 * MIB) // 200 for i in range(200)]
    restore_set(cli, scratch, runs, reference_program,
                "200 images of 4-6 MiB padded in place to 8 MiB", small, 6)
    # 128 KiB << 10 is 128 MiB.
    restore_set(cli, scratch, runs, reference_program,
                "8 images of 96 MiB padded in place to 128 MiB", [96 * MIB] * 8, 10)


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
    with open(paths[0], "rb") as f:
        f.seek(used)
        tail = f.read()
    fixture_check(tail == b"\xff" * (size - used) and
                  all(os.path.getsize(p) == size for p in paths),
                  "%d NDS images of %d MiB, %d MiB used, 0xFF after it"
                  % (count, size // MIB, used // MIB))
    reference = Command(
        "cmp", *[Step(["cmp", "-i", "%d:0" % used, "-n", size - used, path, filler])
                 for path in paths],
        summary="cmp -i %d:0 -n %d IMAGE %s, for each of the %d images"
        % (used, size - used, filler, count))
    compare("padding: %d images of %d MiB, %d MiB of 0xFF each checked (warm page cache)"
            % (count, size // MIB, (size - used) // MIB), runs,
            Command("ostravex-cli", [cli, "--quiet", "--dry-run", "--check-padding",
                                     os.path.join(folder, "roms")]),
            reference, lambda: None, None, 1.5)
    shutil.rmtree(folder, ignore_errors=True)


def main():
    run_benchmarks(__doc__, {"restore": bench_restore, "padding": bench_padding})


if __name__ == "__main__":
    sys.exit(main())
