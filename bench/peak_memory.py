#!/usr/bin/env python3
"""Peak memory of ostravex-cli runs, read from `/usr/bin/time -v` ("Maximum resident set
size"), against a bound: 64 MiB for files, and 32 MiB for zip members whatever their size
(they are inflated block by block into their output, or only scanned in a dry run). Each
line prints the command that gives it again.

    python3 bench/peak_memory.py [--cli build/bin/ostravex-cli] [--zip-only]
"""
import argparse
import os
import random
import shlex
import shutil
import subprocess
import sys
import zipfile

from measure import fixture_check, is_sparse, load_average
from nds_fixture import sign_nds_header

MiB = 1 << 20


def nds(path, size, used):
    rng = random.Random(size)
    header = bytearray(0x200)
    header[0x80:0x84] = used.to_bytes(4, "little")
    sign_nds_header(header)
    with open(path, "wb") as f:
        f.write(header)
        left = used - len(header)
        while left > 0:  # randbytes takes at most 256 MiB at a time
            chunk = min(left, 64 * MiB)
            f.write(rng.randbytes(chunk))
            left -= chunk
        f.write(b"\xff" * (size - used))


def gba(path, size):
    with open(path, "wb") as f:
        f.write(random.Random(7).randbytes(size))


def sparse(path, size, head):
    with open(path, "wb") as f:
        f.write(head)
    os.truncate(path, size)


def peak_kib(command):
    result = subprocess.run(["/usr/bin/time", "-v"] + command, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    for line in result.stderr.splitlines():
        if "Maximum resident set size" in line:
            return int(line.split(":")[1]), result.returncode
    sys.exit("no figure from /usr/bin/time: " + result.stderr[-300:])


def report(cases):
    for name, command, bound_mib in cases:
        print(f"  {name}: /usr/bin/time -v {shlex.join(command)} > /dev/null")
        kib, status = peak_kib(command)
        bound = bound_mib * 1024
        verdict = "ok" if kib < bound else "OVER"
        print(f"{name:40} peak {kib / 1024:7.1f} MiB  bound {bound / 1024:6.1f} MiB  "
              f"{verdict}  (exit {status})")


def file_cases(data, out, cli):
    many = os.path.join(data, "many")
    os.makedirs(many)
    header = bytearray(0x200)
    header[0x80:0x84] = MiB.to_bytes(4, "little")
    sign_nds_header(header)
    for i in range(200):
        sparse(os.path.join(many, f"r{i}.nds"), 512 * MiB, bytes(header))
    nds(os.path.join(data, "big.nds"), 320 * MiB, 256 * MiB)
    gba(os.path.join(data, "full.gba"), 32 * MiB)
    sparse(os.path.join(data, "huge.gba"), 64 << 30, b"\x11" * 1000)
    images = [os.path.join(many, f"r{i}.nds") for i in range(200)]
    fixture_check(all(is_sparse(p) and os.path.getsize(p) == 512 * MiB for p in images),
                  "200 sparse NDS images of 512 MiB")
    fixture_check(os.path.getsize(os.path.join(data, "big.nds")) == 320 * MiB,
                  "an NDS image of 320 MiB, 256 MiB used")
    huge = os.path.join(data, "huge.gba")
    fixture_check(is_sparse(huge) and os.path.getsize(huge) == 64 << 30,
                  "a sparse GBA image of 64 GiB")
    return [
        ("200 x 512 MiB in place", cli + ["--mode=overwrite", many], 64),
        ("256 MiB kept, backup", cli + ["--mode=backup", os.path.join(data, "big.nds")], 64),
        ("256 MiB kept, folder",
         cli + ["--mode=folder", "--output=" + out, os.path.join(data, "big.nds")], 64),
        ("32 MiB GBA, SRAM patch only",
         cli + ["--sram-patch", "--only-patch", os.path.join(data, "full.gba")], 64),
        ("64 GiB sparse GBA, SRAM patch only",
         cli + ["--sram-patch", "--only-patch", os.path.join(data, "huge.gba")], 64),
    ]


def zip_cases(data, out, program):
    """Deflated members of 80, 200 and 400 MiB (3/4 used), each written into an output
    folder and decided in a dry run."""
    cases = []
    for size in (80, 200, 400):
        image = os.path.join(data, f"member{size}.nds")
        archive = os.path.join(data, f"m{size}.zip")
        nds(image, size * MiB, size * MiB * 3 // 4)
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            z.write(image, f"member{size}.nds")
        os.remove(image)
        with zipfile.ZipFile(archive) as z:
            member = z.getinfo(f"member{size}.nds")
        fixture_check(member.compress_type == zipfile.ZIP_DEFLATED and
                      member.file_size == size * MiB, f"a deflated zip member of {size} MiB")
        cases += [
            (f"{size} MiB zip member, folder",
             [program, "--quiet", "--mode=folder", "--output=" + out, archive], 32),
            (f"{size} MiB zip member, dry run", [program, "--quiet", "--dry-run", archive], 32),
        ]
    return cases


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default="build/bin/ostravex-cli")
    parser.add_argument("--zip-only", action="store_true", help="only the zip member cases")
    args = parser.parse_args()
    here = os.path.dirname(os.path.abspath(__file__))
    data = os.path.join(here, "memory-data")
    shutil.rmtree(data, ignore_errors=True)
    out = os.path.join(data, "out")
    os.makedirs(out)
    cli = [args.cli, "--quiet", "--no-archives"]
    print(f"measuring {args.cli}; before: {load_average()}")
    try:
        cases = []
        if not args.zip_only:
            cases += file_cases(data, out, cli)
        cases += zip_cases(data, out, args.cli)
        report(cases)
    finally:
        shutil.rmtree(data, ignore_errors=True)
        print(f"after: {load_average()}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
