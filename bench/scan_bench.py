#!/usr/bin/env python3
"""Discovery benchmarks for ostravex-cli, side by side with the standard tools, all started
directly (no shell), run in turn, warm page cache; medians of wall and CPU time.

  scan    a tree of 20,000 files in 2,000 folders with 200 roms: `ostravex-cli --list`
          (and the same with `--no-archives`) against
          `find DIR -iname '*.nds' -o -iname '*.gba'`.
  unzip   inflating a 128 MiB deflated zip member block by block (`--dry-run`, which reads
          the member and decides, keeping and writing nothing) against `unzip -p` on the
          same archive.
  list    listing 500 small zip archives and 100 7z archives: the cost per archive (the
          listing of a folder of archives less that of an empty folder).
  walk    a tree of 200,000 files in 1,000 folders with 2,000 roms and 20 zip archives:
          `ostravex-cli --list` against the same scan with `--no-archives` (the walk alone);
          the ratio shows what looking for archives costs; goal <= 1.1.

Usage: bench/scan_bench.py [--cli build/bin/ostravex-cli] [--runs N] [WHICH...]
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile

from bench_main import run_benchmarks
from measure import Command, alternate, fixture_check, print_commands, print_comparison
from nds_fixture import sign_nds_header

MIB = 1 << 20


def listed(cli, *arguments):
    """The entries `ostravex-cli --list` prints."""
    result = subprocess.run([cli, "--list", *arguments], capture_output=True, text=True)
    return result.stdout.splitlines()


def count_files(tree, suffixes=None):
    total = 0
    for _, _, files in os.walk(tree):
        total += sum(1 for name in files
                     if suffixes is None or name.lower().endswith(suffixes))
    return total


def bench_scan(cli, scratch, runs):
    tree = os.path.join(scratch, "tree")
    shutil.rmtree(tree, ignore_errors=True)
    rng = random.Random(7)
    folders = []
    for top in range(100):
        for sub in range(20):
            folder = os.path.join(tree, "set%03d" % top, "part%02d" % sub)
            os.makedirs(folder)
            folders.append(folder)
    roms = 0
    for i, folder in enumerate(folders):
        for j in range(10):
            name = "file%02d.%s" % (j, rng.choice(["txt", "png", "sav", "dat", "jpg"]))
            if roms < 200 and (i * 10 + j) % 100 == 0:
                name = "rom%04d.%s" % (roms, "nds" if roms % 2 == 0 else "GBA")
                roms += 1
            open(os.path.join(folder, name), "w").close()
    fixture_check(count_files(tree) == 20000 and count_files(tree, (".nds", ".gba")) == 200,
                  "20,000 files in 2,000 folders, 200 of them roms")
    fixture_check(len(listed(cli, tree)) == 200, "ostravex-cli --list lists the 200 roms")
    commands = [
        Command("ostravex-cli --list", [cli, "--list", tree]),
        Command("--no-archives", [cli, "--list", "--no-archives", tree]),
        Command("find", ["find", tree, "-iname", "*.nds", "-o", "-iname", "*.gba"]),
    ]
    print("scan: finding the roms of a tree")
    print_commands(commands)
    figures = alternate(commands, runs)
    print_comparison(figures, "ostravex-cli --list", "find", runs)
    print_comparison(figures, "--no-archives", "find", runs)
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
    fixture_check(count_files(tree) == 200000 + zips and roms == 2000 and zips == 20,
                  "200,000 files in 1,000 folders, 2,000 roms and 20 zip archives")
    commands = [
        Command("archives", [cli, "--list", tree]),
        Command("no-archives", [cli, "--list", "--no-archives", tree]),
    ]
    fixture_check(len(listed(cli, tree)) == 2020,
                  "ostravex-cli --list lists the 2,000 roms and the 20 zip members")
    print("walk: a scan with archives against the same scan without")
    print_commands(commands)
    figures = alternate(commands, runs)
    print_comparison(figures, "archives", "no-archives", runs, goal=1.1)
    shutil.rmtree(tree, ignore_errors=True)


def bench_unzip(cli, scratch, runs):
    unzip = shutil.which("unzip")
    if not unzip:
        print("unzip: unzip is not installed; skipped")
        return
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
    with zipfile.ZipFile(archive) as z:
        member = z.getinfo("big.nds")
    fixture_check(member.compress_type == zipfile.ZIP_DEFLATED and member.file_size == 128 * MIB,
                  "one deflated member of 128 MiB, %.1f MiB in the archive"
                  % (member.compress_size / MIB))
    commands = [
        Command("ostravex-cli", [cli, "--dry-run", "--quiet", "--no-recursive", archive]),
        Command("unzip -p", [unzip, "-p", archive, "big.nds"]),
    ]
    print("unzip: one member decompressed and decided, nothing written, against unzip -p")
    print_commands(commands)
    figures = alternate(commands, runs)
    print_comparison(figures, "ostravex-cli", "unzip -p", runs)
    shutil.rmtree(folder, ignore_errors=True)


def bench_list(cli, scratch, runs):
    folder = os.path.join(scratch, "archives")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "zip"))
    os.makedirs(os.path.join(folder, "7z"))
    src = os.path.join(folder, "src")
    os.makedirs(src)
    for i in range(500):
        with zipfile.ZipFile(os.path.join(folder, "zip", "a%03d.zip" % i), "w",
                             zipfile.ZIP_DEFLATED) as z:
            z.writestr("game%03d.nds" % i, os.urandom(2048))
            z.writestr("readme.txt", "hello")
    seven = shutil.which("7zz")
    for i in range(100 if seven else 0):
        with open(os.path.join(src, "g%03d.gba" % i), "wb") as f:
            f.write(os.urandom(2048))
        subprocess.run([seven, "a", "-bd", "-y", os.path.join(folder, "7z", "s%03d.7z" % i),
                        os.path.join(src, "g%03d.gba" % i)], check=True,
                       stdout=subprocess.DEVNULL)
    for name, count in (("zip", 500), ("7z", 100 if seven else 0)):
        if count == 0:
            print("list: 7zz is not installed; 7z skipped")
            continue
        archives = os.path.join(folder, name)
        fixture_check(len(listed(cli, archives)) == count,
                      "%d %s archives, one rom each, all listed" % (count, name))
        empty = os.path.join(folder, "empty-" + name)
        os.makedirs(empty)
        commands = [Command("with", [cli, "--list", archives]),
                    Command("without", [cli, "--list", empty])]
        print("list: %s archives" % name)
        print_commands(commands)
        figures = alternate(commands, runs)
        per = (figures.median_wall("with") - figures.median_wall("without")) / count
        per_cpu = (figures.median_cpu("with") - figures.median_cpu("without")) / count
        print("  %d %s archives: median wall %.4f s; per archive %.3f ms wall, %.3f ms CPU"
              % (count, name, figures.median_wall("with"), per * 1000, per_cpu * 1000))
    shutil.rmtree(folder, ignore_errors=True)


def main():
    run_benchmarks(__doc__, {"scan": bench_scan, "unzip": bench_unzip, "list": bench_list,
                             "walk": bench_walk})


if __name__ == "__main__":
    sys.exit(main())
