#!/usr/bin/env python3
"""Every core for a collection: wall time of `ostravex-cli` with its default number of jobs
(one per core) against `--jobs 1`, run after run in turn.

- `dat`: 200 GBA dumps of 32 MiB with a DAT of 3,000 games that lists them, a dry run in
  place (`--dry-run --quiet --dat DAT FOLDER`). Read from a warm page cache: default jobs
  against `--jobs 1` (goal <= 0.6 on 2 cores) and against `xargs -P2 sha1sum` over the same
  files (goal <= 1.1). Then with every file evicted from the page cache before each run
  (posix_fadvise POSIX_FADV_DONTNEED on each): default jobs never slower than `--jobs 1`.
- `archives`: 16 deflated zips and 4 solid 7z archives of 4 members of 32 MiB, trimmed in
  folder mode (`--mode=folder --output=OUT FOLDER`, the output emptied before each run):
  default jobs against `--jobs 1` (goal <= 0.6 on 2 cores).

`--quick` makes small fixtures (40 dumps of 8 MiB; 4 zips and 1 7z of 4 members of 4 MiB)
for a first look; the figures the goals speak of come from the full sizes.

    python3 bench/read_ahead_bench.py [--quick] [--runs 5] [dat] [archives]
"""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import zipfile
import zlib

from bench_main import HERE
from measure import (Command, alternate, fixture_check, load_average, print_commands,
                     print_comparison)

MIB = 1 << 20
GAMES = 3000
FULL = {"dumps": 200, "dump_size": 32 * MIB, "zips": 16, "sevens": 4, "member_size": 32 * MIB}
QUICK = {"dumps": 40, "dump_size": 8 * MIB, "zips": 4, "sevens": 1, "member_size": 4 * MIB}
MEMBERS = 4
LOW_NIBBLES = bytes(i & 0x0F for i in range(256))


def gba_image(size, seed):
    """A GBA cartridge image of `size` bytes: data over its first 70%, 0xFF after, its first
    byte telling images apart. The data is random bytes of a 16-letter alphabet, which
    deflate and LZMA shrink by about half, as they do real roms."""
    data_end = size * 7 // 10
    random = hashlib.shake_256(seed.to_bytes(8, "little")).digest(data_end)
    data = bytearray(random.translate(LOW_NIBBLES))
    data[0] = seed & 0xFF
    data[-1] = 0x5A  # the data ends in a byte that is no filler
    return bytes(data) + b"\xff" * (size - data_end)


def write_dat(path, dumps):
    """A Logiqx DAT of GAMES games: the `dumps` ({name: (size, crc, sha1)}) among made-up
    ones."""
    with open(path, "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0"?>\n<datafile>\n\t<header>\n\t\t<name>Bench - Game Boy '
                "Advance</name>\n\t</header>\n")
        games = list(dumps.items())
        for i in range(GAMES - len(dumps)):
            games.append((f"Other Game {i:04d} (USA)", (32 * MIB, i, "%040x" % i)))
        for name, (size, crc, sha1) in games:
            f.write(f'\t<game name="{name}">\n\t\t<rom name="{name}.gba" size="{size}" '
                    f'crc="{crc:08x}" sha1="{sha1}"/>\n\t</game>\n')
        f.write("</datafile>\n")


def evict(paths):
    """Drops the files' pages from the page cache."""
    for path in paths:
        fd = os.open(path, os.O_RDONLY)
        try:
            os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        finally:
            os.close(fd)


def resident_pages(paths):
    """How many of the files' pages are in the page cache, by fincore (None without it)."""
    if not shutil.which("fincore"):
        return None
    out = subprocess.run(["fincore", "--bytes", "--noheadings", "--output", "RES"] + paths,
                         capture_output=True, text=True, check=True).stdout
    return sum(int(line) for line in out.split())


def bench_dat(cli, scratch, runs, sizes):
    folder = os.path.join(scratch, "roms")
    dat = os.path.join(scratch, "bench.dat")
    os.makedirs(folder)
    count, size = sizes["dumps"], sizes["dump_size"]
    paths, dumps = [], {}
    for i in range(count):
        image = gba_image(size, i)
        path = os.path.join(folder, f"rom{i:04d}.gba")
        with open(path, "wb") as f:
            f.write(image)
        paths.append(path)
        dumps[f"Bench Game {i:04d} (Europe)"] = (size, zlib.crc32(image),
                                                 hashlib.sha1(image).hexdigest())
    write_dat(dat, dumps)
    os.sync()  # written back, so that eviction can drop every page
    listed = set(sha1 for _, _, sha1 in dumps.values())
    fixture_check(open(dat, encoding="utf-8").read().count("<game ") == GAMES and
                  len(paths) == count and all(os.path.getsize(p) == size for p in paths) and
                  all(hashlib.sha1(open(p, "rb").read()).hexdigest() in listed for p in paths),
                  f"{count} GBA files of {size // MIB} MiB, each a dump a DAT of {GAMES} games "
                  "lists (by hashlib)")
    one = subprocess.run([cli, "--dry-run", "--jobs=1", "--dat", dat, folder],
                         capture_output=True, text=True)
    default = subprocess.run([cli, "--dry-run", "--dat", dat, folder], capture_output=True,
                             text=True)
    strip = lambda text: [l for l in text.splitlines() if not l.startswith("Trimming took ")]
    fixture_check(one.returncode == 0 and f"\nFull dumps: {count}\n" in one.stdout and
                  strip(one.stdout) == strip(default.stdout),
                  f"ostravex-cli finds {count} full dumps, with its default jobs as with "
                  "--jobs 1, line for line")
    before = {p: os.stat(p).st_mtime_ns for p in paths}

    def unchanged(command):
        if any(os.stat(p).st_mtime_ns != before[p] for p in paths):
            sys.exit(f"{command.name} changed a file")

    listing = os.path.join(scratch, "list")
    with open(listing, "w") as f:
        f.write("\n".join(paths) + "\n")
    run = [cli, "--dry-run", "--quiet", "--dat", dat, folder]
    commands = [
        Command("ostravex-cli", run),
        Command("ostravex-cli --jobs 1", run[:1] + ["--jobs=1"] + run[1:]),
        Command("xargs -P2 sha1sum", ["xargs", "-a", listing, "-P2", "-n", "4", "sha1sum"]),
    ]
    print(f"--dat dry run over {count} dumps of {size // MIB} MiB, {GAMES} games, warm cache "
          "(wall time)")
    print_commands(commands)
    figures = alternate(commands, runs, after_each=unchanged)
    print_comparison(figures, "ostravex-cli", "ostravex-cli --jobs 1", runs, goal=0.6)
    print_comparison(figures, "ostravex-cli", "xargs -P2 sha1sum", runs, goal=1.1)

    evict(paths)
    resident = resident_pages(paths)
    if resident is not None:
        fixture_check(resident < count * size // 100,
                      f"eviction drops the files from the page cache ({resident} bytes left)")
    print(f"the same, every file evicted from the page cache before each run (wall time)")
    figures = alternate(commands[:2], runs, before_each=lambda _: evict(paths),
                        after_each=unchanged, warm_up=False)
    print_comparison(figures, "ostravex-cli", "ostravex-cli --jobs 1", runs, goal=1.0)


def bench_archives(cli, scratch, runs, sizes):
    folder = os.path.join(scratch, "archives")
    out = os.path.join(scratch, "out")
    os.makedirs(folder)
    os.makedirs(out)
    seven = shutil.which("7zz") or shutil.which("7z")
    if not seven:
        sys.exit("archives: needs 7zz (or 7z) to make the solid 7z archives")
    member_size = sizes["member_size"]
    seed = 1000
    zips, sevens = [], []
    for z in range(sizes["zips"]):
        path = os.path.join(folder, f"set{z:02d}.zip")
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as archive:
            for m in range(MEMBERS):
                seed += 1
                archive.writestr(f"z{z:02d}m{m}.gba", gba_image(member_size, seed))
        zips.append(path)
    staging = os.path.join(scratch, "staging")
    for s in range(sizes["sevens"]):
        os.makedirs(staging)
        names = []
        for m in range(MEMBERS):
            seed += 1
            names.append(f"s{s:02d}m{m}.gba")
            with open(os.path.join(staging, names[-1]), "wb") as f:
                f.write(gba_image(member_size, seed))
        path = os.path.join(folder, f"solid{s:02d}.7z")
        subprocess.run([seven, "a", "-bd", "-ms=on", "-mx=1", path] + names, cwd=staging,
                       check=True, stdout=subprocess.DEVNULL)
        shutil.rmtree(staging)
        sevens.append(path)
    members = (len(zips) + len(sevens)) * MEMBERS
    fixture_check(all(len(zipfile.ZipFile(p).infolist()) == MEMBERS and
                      all(i.compress_type == zipfile.ZIP_DEFLATED and i.file_size == member_size
                          for i in zipfile.ZipFile(p).infolist()) for p in zips),
                  f"{len(zips)} zips of {MEMBERS} deflated members of {member_size // MIB} MiB")
    listings = [subprocess.run([seven, "l", "-slt", p], capture_output=True, text=True,
                               check=True).stdout for p in sevens]
    fixture_check(all("Solid = +" in text and text.count(f"Size = {member_size}\n") == MEMBERS
                      for text in listings),
                  f"{len(sevens)} solid 7z archives of {MEMBERS} members of "
                  f"{member_size // MIB} MiB")

    def empty_output(_command=None):
        for name in os.listdir(out):
            os.remove(os.path.join(out, name))

    def all_written(command):
        written = os.listdir(out)
        if len(written) != members:
            sys.exit(f"{command.name} wrote {len(written)} files, not {members}")

    run = [cli, "--quiet", "--mode=folder", "--output=" + out, folder]
    commands = [
        Command("ostravex-cli", run),
        Command("ostravex-cli --jobs 1", run[:1] + ["--jobs=1"] + run[1:]),
    ]
    print(f"{len(zips)} zips and {len(sevens)} solid 7z of {MEMBERS} x {member_size // MIB} MiB, "
          "folder mode (wall time)")
    print_commands(commands)
    figures = alternate(commands, runs, before_each=empty_output, after_each=all_written)
    print_comparison(figures, "ostravex-cli", "ostravex-cli --jobs 1", runs, goal=0.6)


def main():
    benches = {"dat": bench_dat, "archives": bench_archives}
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli", default=os.path.join(HERE, "..", "build", "bin", "ostravex-cli"))
    parser.add_argument("--scratch", default=os.path.join(HERE, "bench-data"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--quick", action="store_true", help="small fixtures, for a first look")
    parser.add_argument("which", nargs="*", default=list(benches), choices=list(benches))
    args = parser.parse_args()
    cli = os.path.abspath(args.cli)
    if not os.access(cli, os.X_OK):
        parser.error(f"no program at {cli}: build it first (scripts/build.sh) or give --cli")
    sizes = QUICK if args.quick else FULL
    print(f"measuring {cli}; before: {load_average()}")
    try:
        for name in args.which:
            scratch = os.path.join(args.scratch, name)
            shutil.rmtree(scratch, ignore_errors=True)
            os.makedirs(scratch)
            benches[name](cli, scratch, args.runs, sizes)
    finally:
        shutil.rmtree(args.scratch, ignore_errors=True)
        print(f"after: {load_average()}")


if __name__ == "__main__":
    sys.exit(main())
