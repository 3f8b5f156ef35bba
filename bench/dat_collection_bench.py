#!/usr/bin/env python3
"""A collection checked against a DAT: `ostravex-cli --quiet --dat DAT FOLDER` over 200
trimmed GBA dumps (cartridges of 4 and 8 MiB cut after their data, 0xFF or 0x00 filler)
with a DAT of 3,000 games that lists all 200, alternating with the bare tools over the same
files: `sha1sum FILE...` and `dat_hash_reference FILE...` (bench/dat_hash_reference.c, built
by the script: CRC-32 and SHA-1 of each file with the zlib and libcrypto the program uses,
nothing else). `ostravex-cli --list --quiet --dat DAT FOLDER` (identifying alone, nothing
opened for writing) is timed beside them. Every command is started directly, all read a
warm page cache; figures are medians of CPU time (user + system). Goal: at most 1.1 times
either reference.

The program does more than sha1sum and the plain reference: each file is found a trimmed
dump by the CRC-32 of it padded to every size the DAT lists (computed without reading), and
then the SHA-1 of the padded image is completed by hashing its filler. The script prints how
many filler bytes that is beside the bytes of the files, and also times the reference doing
that same work ("padded reference": `dat_hash_reference -p SIZE FILLER FILE ...`, each file
hashed as its untrimmed dump).

    python3 bench/dat_collection_bench.py [--runs 7] [--cli build/bin/ostravex-cli]
"""
import hashlib
import os
import random
import re
import subprocess
import sys
import zlib

from bench_main import run_benchmarks
from dat_reference import build_dat_hash_reference
from measure import Command, alternate, fixture_check, print_commands, print_comparison

MIB = 1 << 20
DUMPS = 200
GAMES = 3000
CARTRIDGES = (4 * MIB, 8 * MIB)
ALL_SIZES = (1 * MIB, 2 * MIB, 4 * MIB, 8 * MIB, 16 * MIB, 32 * MIB)


def padded_checksums(data, filler, size):
    """CRC-32 and SHA-1 (hex) of `data` followed by `filler` up to `size` bytes."""
    sha1 = hashlib.sha1(data)
    crc = zlib.crc32(data)
    block = bytes([filler]) * MIB
    left = size - len(data)
    while left > 0:
        piece = block[: min(MIB, left)]
        sha1.update(piece)
        crc = zlib.crc32(piece, crc)
        left -= len(piece)
    return crc, sha1.hexdigest()


def make_collection(folder, dat, rng):
    """Writes the trimmed dumps into `folder` and the DAT listing their untrimmed dumps among
    made-up games. Returns the paths and, for each, its dump's size and filler."""
    os.makedirs(folder)
    games = []
    paths = []
    dumps = {}
    for i in range(DUMPS):
        cartridge = CARTRIDGES[i % 2]
        filler = 0x00 if i % 5 == 0 else 0xFF
        data_end = rng.randrange(int(cartridge * 0.55), int(cartridge * 0.95))
        data = bytearray(os.urandom(data_end))
        data[-1] = 0x5A  # the data ends in a byte that is no filler
        path = os.path.join(folder, f"rom{i:04d}.gba")
        with open(path, "wb") as f:
            f.write(data)
        paths.append(path)
        dumps[path] = (cartridge, filler)
        crc, sha1 = padded_checksums(bytes(data), filler, cartridge)
        games.append((f"Bench Game {i:04d} (Europe)", cartridge, crc, sha1))
    for i in range(GAMES - DUMPS):
        games.append((f"Other Game {i:04d} (USA)", rng.choice(ALL_SIZES),
                      rng.getrandbits(32), "%040x" % rng.getrandbits(160)))
    rng.shuffle(games)
    with open(dat, "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0"?>\n<datafile>\n\t<header>\n\t\t<name>Bench - Game Boy '
                "Advance</name>\n\t</header>\n")
        for name, size, crc, sha1 in games:
            f.write(f'\t<game name="{name}">\n\t\t<rom name="{name}.gba" size="{size}" '
                    f'crc="{crc:08x}" sha1="{sha1}"/>\n\t</game>\n')
        f.write("</datafile>\n")
    return paths, dumps


def read_dat(dat):
    """The DAT's roms as written in the file: {(size, crc): sha1}, and the number of games."""
    text = open(dat, encoding="utf-8").read()
    roms = {}
    for size, crc, sha1 in re.findall(r'size="(\d+)" crc="([0-9a-f]{8})" sha1="([0-9a-f]{40})"',
                                      text):
        roms[(int(size), int(crc, 16))] = sha1
    return roms, text.count("<game ")


def is_trimmed_dump_of(path, roms):
    """Whether the file, padded with 0xFF or 0x00 to a cartridge size, is a rom of the DAT
    (hashed here with Python's hashlib and zlib, not by the programs measured)."""
    data = open(path, "rb").read()
    for size in CARTRIDGES:
        if size <= len(data):
            continue
        for filler in (0xFF, 0x00):
            crc, sha1 = padded_checksums(data, filler, size)
            if roms.get((size, crc)) == sha1:
                return True
    return False


def sha1_lines(output):
    """{path: sha1} from sha1sum's output, or from the reference's ("crc sha1  path")."""
    found = {}
    for line in output.splitlines():
        digest, path = line.rsplit("  ", 1)
        found[path] = digest.split()[-1]
    return found


def bench_dat_collection(cli, scratch, runs):
    folder = os.path.join(scratch, "roms")
    dat = os.path.join(scratch, "bench.dat")
    reference = build_dat_hash_reference(scratch)
    paths, dumps = make_collection(folder, dat, random.Random(28))
    sizes = {path: os.path.getsize(path) for path in paths}
    missing = sum(dumps[path][0] - sizes[path] for path in paths)
    padded_arguments = []
    for path in paths:
        padded_arguments += ["-p", str(dumps[path][0]), str(dumps[path][1]), path]

    roms, games = read_dat(dat)
    fixture_check(games == GAMES and len(roms) == GAMES, f"a DAT of {GAMES} games")
    fixture_check(sorted(os.listdir(folder)) == sorted(os.path.basename(p) for p in paths) and
                  all(is_trimmed_dump_of(path, roms) for path in paths),
                  f"{DUMPS} GBA files in the folder, each a trimmed dump of a DAT entry "
                  "(by hashlib: padded with its filler it has the DAT's CRC-32 and SHA-1)")
    from_sha1sum = sha1_lines(subprocess.run(["sha1sum"] + paths, capture_output=True,
                                             text=True, check=True).stdout)
    from_reference = sha1_lines(subprocess.run([reference] + paths, capture_output=True,
                                               text=True, check=True).stdout)
    fixture_check(from_sha1sum == from_reference and
                  all(from_sha1sum[p] == hashlib.sha1(open(p, "rb").read()).hexdigest()
                      for p in paths),
                  "sha1sum and the reference give every file's SHA-1")
    padded = subprocess.run([reference] + padded_arguments, capture_output=True, text=True,
                            check=True).stdout.splitlines()
    dat_sha1s = set(roms.values())
    fixture_check(len(padded) == DUMPS and all(line.split()[1] in dat_sha1s for line in padded),
                  "the padded reference gives the SHA-1 the DAT lists for every file")
    log = subprocess.run([cli, "--dry-run", "--dat", dat, folder], capture_output=True,
                         text=True)
    fixture_check(log.returncode == 0 and log.stdout.endswith(
        f"Full dumps: 0\nTrimmed dumps: {DUMPS}\nBad dumps: 0\nIn no DAT: 0\n"),
        f"ostravex-cli finds {DUMPS} trimmed dumps, and nothing else")
    file_bytes = sum(sizes.values())
    print(f"  the files hold {file_bytes / MIB:.1f} MiB; ostravex-cli also hashes "
          f"{missing / MIB:.1f} MiB of filler to complete the padded images' SHA-1")

    commands = [
        Command("ostravex-cli --dat", [cli, "--quiet", "--dat", dat, folder]),
        Command("ostravex-cli --list --dat", [cli, "--list", "--quiet", "--dat", dat, folder]),
        Command("sha1sum", ["sha1sum"] + paths,
                summary=f"sha1sum {folder}/rom0000.gba ... ({DUMPS} files) > /dev/null"),
        Command("reference", [reference] + paths,
                summary=f"{reference} {folder}/rom0000.gba ... ({DUMPS} files) > /dev/null"),
        Command("padded reference", [reference] + padded_arguments,
                summary=f"{reference} -p {dumps[paths[0]][0]} {dumps[paths[0]][1]} "
                        f"{folder}/rom0000.gba ... ({DUMPS} files) > /dev/null"),
    ]

    def unchanged(command):
        if command.name.startswith("ostravex-cli") and any(
                os.path.getsize(path) != size for path, size in sizes.items()):
            sys.exit(f"{command.name} changed a file")

    print(f"--dat over {DUMPS} trimmed GBA dumps with a DAT of {GAMES} games (CPU time)")
    print_commands(commands)
    figures = alternate(commands, runs, after_each=unchanged)
    print_comparison(figures, "ostravex-cli --dat", "sha1sum", runs, goal=1.1)
    print_comparison(figures, "ostravex-cli --dat", "reference", runs, goal=1.1)
    print_comparison(figures, "ostravex-cli --list --dat", "sha1sum", runs, goal=1.1)
    print_comparison(figures, "ostravex-cli --list --dat", "reference", runs, goal=1.1)
    print_comparison(figures, "ostravex-cli --dat", "padded reference", runs)
    print_comparison(figures, "ostravex-cli --list --dat", "padded reference", runs)
    print_comparison(figures, "reference", "sha1sum", runs)


def main():
    run_benchmarks(__doc__, {"dat_collection": bench_dat_collection}, runs=7)


if __name__ == "__main__":
    sys.exit(main())
