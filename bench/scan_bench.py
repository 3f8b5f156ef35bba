#!/usr/bin/env python3
"""Discovery benchmarks for ostravex-cli, side by side with the standard tools.

  scan    a tree of 20,000 files in 2,000 folders with 200 roms: `ostravex-cli --list`
          against `find DIR -iname '*.nds' -o -iname '*.gba'` (warm cache, best and median).
  unzip   decompressing a 128 MiB deflated zip member into memory (`--dry-run`, which reads
          the member and decides, writing nothing) against `unzip -p` on the same archive.
  list    listing 500 small zip archives and 100 7z archives: the cost per archive.
  walk    a tree of 200,000 files in 1,000 folders with 2,000 roms and 20 zip archives:
          `ostravex-cli --list` against the same scan with `--no-archives` (the walk alone),
          alternating, medians; the ratio shows what looking for archives costs.

Usage: bench/scan_bench.py [--cli build/bin/ostravex-cli] [--runs N] [WHICH...]
"""
import argparse
import os
import random
import shutil
import statistics
import struct
import subprocess
import sys
import time
import zipfile

from nds_fixture import sign_nds_header

HERE = os.path.dirname(os.path.abspath(__file__))
MIB = 1 << 20


def timed(command):
    start = time.perf_counter()
    subprocess.run(command, check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def side_by_side(commands, runs):
    times = {name: [] for name in commands}
    for _ in range(runs):
        for name, command in commands.items():
            times[name].append(timed(command))
    return times


def report(times, base):
    for name, values in times.items():
        print("  %-10s best %.4f s, median %.4f s  (%.2f x %s by best)"
              % (name, min(values), statistics.median(values), min(values) / min(times[base]), base))


def bench_scan(cli, scratch, runs):
    tree = os.path.join(scratch, "tree")
    shutil.rmtree(tree, ignore_errors=True)
    random.seed(7)
    folders = []
    for top in range(100):
        for sub in range(20):
            folder = os.path.join(tree, "set%03d" % top, "part%02d" % sub)
            os.makedirs(folder)
            folders.append(folder)
    files = 0
    for i, folder in enumerate(folders):
        for j in range(10):
            name = "file%02d.%s" % (j, random.choice(["txt", "png", "sav", "dat", "jpg"]))
            if files < 200 and (i * 10 + j) % 100 == 0:
                name = "rom%04d.%s" % (files, "nds" if files % 2 == 0 else "GBA")
                files += 1
            open(os.path.join(folder, name), "w").close()
    print("scan: 20,000 files in %d folders (+100 parent folders), 200 roms" % len(folders))
    times = side_by_side({
        "find": ["find", tree, "-iname", "*.nds", "-o", "-iname", "*.gba"],
        "ostravex": [cli, "--list", tree],
        "no-archives": [cli, "--list", "--no-archives", tree],
    }, runs)
    report(times, "find")
    shutil.rmtree(tree, ignore_errors=True)


def bench_walk(cli, scratch, runs):
    tree = os.path.join(scratch, "walk")
    shutil.rmtree(tree, ignore_errors=True)
    kinds = ["txt", "png", "sav", "dat", "jpg", "nds", "gba"]
    roms = zips = 0
    for top in range(50):
        for sub in range(20):
            folder = os.path.join(tree, "set%02d" % top, "part%02d" % sub)
            os.makedirs(folder)
            for j in range(200):
                kind = kinds[j % 5]
                if j % 100 == 7:
                    kind = kinds[5 + roms % 2]
                    roms += 1
                open(os.path.join(folder, "file%03d.%s" % (j, kind)), "w").close()
            if sub == 0 and top < 20:
                with zipfile.ZipFile(os.path.join(folder, "pack.zip"), "w") as z:
                    z.writestr("game.nds", b"x")
                zips += 1
    print("walk: 200,000 files in 1,000 folders, %d roms, %d zip archives" % (roms, zips))
    times = side_by_side({
        "no-archives": [cli, "--list", "--no-archives", tree],
        "archives": [cli, "--list", tree],
    }, runs)
    report(times, "no-archives")
    print("  ratio of medians archives / no-archives: %.2f"
          % (statistics.median(times["archives"]) / statistics.median(times["no-archives"])))
    shutil.rmtree(tree, ignore_errors=True)


def bench_unzip(cli, scratch, runs):
    folder = os.path.join(scratch, "unzip")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    archive = os.path.join(folder, "big.zip")
    # A 128 MiB image that compresses like a real one: data that takes Huffman decoding
    # (random bytes of a small alphabet), incompressible data, then filler.
    rng = random.Random(3)
    alphabet = bytes(range(0, 256, 17))
    coded = bytes(alphabet[b & 15] for b in rng.randbytes(8 * MIB)) * 8
    image = bytearray(coded) + bytearray(rng.randbytes(32 * MIB)) + b"\xff" * (32 * MIB)
    image[0:0x200] = bytes(0x200)
    struct.pack_into("<I", image, 0x80, 96 * MIB)
    sign_nds_header(image)
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        z.writestr("big.nds", bytes(image))
    print("unzip: one member of 128 MiB, %.1f MiB deflated" % (os.path.getsize(archive) / MIB))
    times = side_by_side({
        "unzip -p": ["sh", "-c", "unzip -p '%s' > /dev/null" % archive],
        "ostravex": [cli, "--dry-run", "--quiet", "--no-recursive", archive],
    }, runs)
    report(times, "unzip -p")
    shutil.rmtree(folder, ignore_errors=True)


def bench_list(cli, scratch, runs):
    folder = os.path.join(scratch, "archives")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "zip"))
    os.makedirs(os.path.join(folder, "7z"))
    src = os.path.join(folder, "src")
    os.makedirs(src)
    for i in range(500):
        with zipfile.ZipFile(os.path.join(folder, "zip", "a%03d.zip" % i), "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("game%03d.nds" % i, os.urandom(2048))
            z.writestr("readme.txt", "hello")
    seven = shutil.which("7zz")
    for i in range(100 if seven else 0):
        with open(os.path.join(src, "g%03d.gba" % i), "wb") as f:
            f.write(os.urandom(2048))
        subprocess.run([seven, "a", "-bd", "-y", os.path.join(folder, "7z", "s%03d.7z" % i),
                        os.path.join(src, "g%03d.gba" % i)], check=True, stdout=subprocess.DEVNULL)
    for name, count in (("zip", 500), ("7z", 100 if seven else 0)):
        if count == 0:
            print("list: 7zz is not installed; 7z skipped")
            continue
        empty = os.path.join(folder, "empty-" + name)
        os.makedirs(empty)
        times = side_by_side({"with": [cli, "--list", os.path.join(folder, name)],
                              "without": [cli, "--list", empty]}, runs)
        per = (statistics.median(times["with"]) - statistics.median(times["without"])) / count
        listed = subprocess.run([cli, "--list", os.path.join(folder, name)], capture_output=True, text=True).stdout
        print("list: %d %s archives (%d entries listed): median %.4f s, %.3f ms per archive"
              % (count, name, len(listed.splitlines()), statistics.median(times["with"]), per * 1000))
    shutil.rmtree(folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli", default=os.path.join(HERE, "..", "build", "bin", "ostravex-cli"))
    parser.add_argument("--scratch", default=os.path.join(HERE, "bench-data"))
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("which", nargs="*", default=["scan", "unzip", "list", "walk"])
    args = parser.parse_args()
    cli = os.path.abspath(args.cli)
    os.makedirs(args.scratch, exist_ok=True)
    benches = {"scan": bench_scan, "unzip": bench_unzip, "list": bench_list, "walk": bench_walk}
    for name in args.which:
        benches[name](cli, args.scratch, args.runs)
    shutil.rmtree(args.scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
