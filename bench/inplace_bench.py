#!/usr/bin/env python3
"""In-place trimming cost per file: ostravex-cli against bench/inplace_trim_reference.c,
which makes only the system calls an in-place cut needs, over the same 200 sparse 512 MiB
NDS images, and over the first 20 of them (the difference gives the cost per file apart
from starting the process). The two run alternately; each run gets the untrimmed images back (the cut
images are extended again, which restores them byte for byte). Prints the medians and
their ratio.

    python3 bench/inplace_bench.py [--runs 21] [--cli build/bin/ostravex-cli]
"""
import os
import shutil
import subprocess
import sys

from alternating import alternate, common_arguments, fresh_folder, print_ratio
from nds_fixture import sign_nds_header

IMAGES = 200
FEW = 20  # the short runs, to tell the cost per file from the cost of starting
IMAGE_SIZE = 512 << 20
USED_SIZE = 1 << 20


def make_images(folder):
    paths = []
    header = bytearray(0x200)
    header[0x80:0x84] = USED_SIZE.to_bytes(4, "little")
    sign_nds_header(header)
    for i in range(IMAGES):
        path = os.path.join(folder, f"rom{i:03}.nds")
        with open(path, "wb") as f:
            f.write(header)
            f.write(b"\x11" * (USED_SIZE - len(header)))
        paths.append(path)
    return paths


def restore(paths):
    for path in paths:
        os.truncate(path, IMAGE_SIZE)


def main():
    args = common_arguments()
    data = fresh_folder("inplace-data")
    try:
        reference = os.path.join(data, "reference")
        source = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                              "inplace_trim_reference.c")
        subprocess.run(["cc", "-O2", "-o", reference, source], check=True)
        paths = make_images(data)
        cli = [args.cli, "--quiet", "--no-archives", "--mode=overwrite"]
        few = paths[:FEW]
        commands = {
            "ostravex-cli": cli + paths,
            "reference": [reference] + paths,
            f"ostravex-cli {FEW}": cli + few,
            f"reference {FEW}": [reference] + few,
        }
        medians = alternate(commands, args.runs, lambda name: restore(paths))
        restore(paths)
        subprocess.run(commands["ostravex-cli"], stdout=subprocess.DEVNULL, check=True)
        if any(os.path.getsize(p) != USED_SIZE for p in paths):
            sys.exit("ostravex-cli did not cut every image")
        print_ratio(medians, "ostravex-cli", "reference")
        # The cost of one more file, without the start of the process (loading libraries),
        # which the difference between the long and the short runs cancels.
        per_file = {
            name: (medians[name] - medians[f"{name} {FEW}"]) / (IMAGES - FEW)
            for name in ("ostravex-cli", "reference")
        }
        print(f"per file: ostravex-cli {per_file['ostravex-cli'] * 1e6:.1f} us, reference "
              f"{per_file['reference'] * 1e6:.1f} us, ratio "
              f"{per_file['ostravex-cli'] / per_file['reference']:.2f}")
    finally:
        shutil.rmtree(data, ignore_errors=True)


if __name__ == "__main__":
    main()
