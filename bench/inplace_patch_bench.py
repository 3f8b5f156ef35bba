#!/usr/bin/env python3
"""What the crash-safe SRAM patch in place costs: `ostravex-cli --sram-patch` on a 32 MiB
GBA image that the patch changes writes the whole result beside the image and renames it
over the image, where an unsafe patch would write its few bytes into the image itself.

Measured, alternately, warm cache, process start included, a fresh unpatched image before
every run (untimed, followed by `sync`):
  ostravex-cli    --sram-patch --only-patch IMAGE (the whole 32 MiB kept, then patched)
  cut+patch       --sram-patch IMAGE (cut to its 24 MiB of data, then patched)
  cp              `cp --reflink=never` of the 32 MiB image beside itself: the copy alone
  before          with --before-cli PATH: the same --only-patch run of an older build

    python3 bench/inplace_patch_bench.py [--runs 21] [--cli build/bin/ostravex-cli]
                                         [--before-cli PATH]
"""
import argparse
import hashlib
import os
import random
import shutil
import subprocess

from measure import (Command, alternate, fixture_check, load_average, print_commands,
                     print_comparison)

MiB = 1 << 20
# The EEPROM V111 save routine's signature, which the SRAM patch rewrites.
V111_SIGNATURE = bytes([0x0E, 0x48, 0x39, 0x68, 0x01, 0x60, 0x0E, 0x48])


def patchable_gba():
    data = bytearray(random.Random(1234).randbytes(24 * MiB))
    data[-1] = 0x01
    data[501:501 + len(V111_SIGNATURE)] = V111_SIGNATURE
    return bytes(data) + b"\xff" * (8 * MiB)


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha1(f.read()).hexdigest()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=21)
    parser.add_argument("--cli", default="build/bin/ostravex-cli")
    parser.add_argument("--before-cli")
    args = parser.parse_args()
    data = os.path.join(os.path.dirname(os.path.abspath(__file__)), "patch-data")
    shutil.rmtree(data, ignore_errors=True)
    os.makedirs(data)
    try:
        master = os.path.join(data, "master.gba")
        image = os.path.join(data, "image.gba")
        copy = os.path.join(data, "copy.gba")
        with open(master, "wb") as f:
            f.write(patchable_gba())
        fixture_check(os.path.getsize(master) == 32 * MiB, "a GBA image of 32 MiB")

        # The fixture is what it claims: the patch changes it, and the safe run replaces it.
        shutil.copyfile(master, image)
        inode = os.stat(image).st_ino
        log = subprocess.run([args.cli, "--sram-patch", "--only-patch", image],
                             capture_output=True, text=True, check=True).stdout
        fixture_check("SRAM Patched: " in log and os.path.getsize(image) == 32 * MiB and
                      digest(image) != digest(master), "the SRAM patch changes it")
        fixture_check(os.stat(image).st_ino != inode,
                      "the patch is written beside the image and renamed over it")

        commands = [
            Command("ostravex-cli", [args.cli, "--quiet", "--sram-patch", "--only-patch", image]),
            Command("cut+patch", [args.cli, "--quiet", "--sram-patch", image]),
            Command("cp", ["cp", "--reflink=never", master, copy]),
        ]
        if args.before_cli:
            commands.append(Command("before", [args.before_cli, "--quiet", "--sram-patch",
                                               "--only-patch", image]))

        def fresh_image(_command):
            shutil.copyfile(master, image)
            if os.path.exists(copy):
                os.unlink(copy)
            os.sync()

        print("before: " + load_average())
        print_commands(commands)
        figures = alternate(commands, args.runs, fresh_image)
        print_comparison(figures, "ostravex-cli", "cp", args.runs)
        print_comparison(figures, "cut+patch", "cp", args.runs)
        if args.before_cli:
            print_comparison(figures, "ostravex-cli", "before", args.runs)
        print("after: " + load_average())
    finally:
        shutil.rmtree(data, ignore_errors=True)


if __name__ == "__main__":
    main()
