#!/usr/bin/env python3
"""`ostravex-cli --sram-patch --only-patch` on a 32 MiB GBA image that matches no
signature (every search runs to the end) against `cat FILE > /dev/null`, alternately, warm
cache, process start included in both. Prints the medians and their ratio.

    python3 bench/sram_patch_bench.py [--runs 21] [--cli build/bin/ostravex-cli]
"""
import os
import random
import shutil

from alternating import alternate, common_arguments, fresh_folder, print_ratio


def main():
    args = common_arguments()
    data = fresh_folder("sram-data")
    try:
        image = os.path.join(data, "image.gba")
        with open(image, "wb") as f:
            f.write(random.Random(1234).randbytes(32 << 20))
        commands = {
            "ostravex-cli": [args.cli, "--quiet", "--no-archives", "--sram-patch",
                             "--only-patch", image],
            "cat": f"cat '{image}' > /dev/null",
        }
        print_ratio(alternate(commands, args.runs), "ostravex-cli", "cat")
    finally:
        shutil.rmtree(data, ignore_errors=True)


if __name__ == "__main__":
    main()
