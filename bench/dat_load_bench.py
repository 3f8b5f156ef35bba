#!/usr/bin/env python3
"""What a DAT costs each run of the program: `ostravex-cli --list --quiet --dat DAT FOLDER`
against the same command without `--dat`, over a folder that holds one small rom, the last
game of the DAT. The difference of their CPU times (medians, user + system) is the load of
the DAT in a fresh process: reading the file, parsing it, indexing its roms, loading expat
and libcrypto, and the page faults of it all. The DAT has 10,000 games in No-Intro's layout
(a game with its description and one rom with size, CRC-32, MD5, SHA-1 and status; names
with "&" and non-ASCII letters), the one the in-process `dat_benchmark` generates; it is
timed as an XML file, as the zip DAT-o-MATIC gives, and in the clrmamepro format. Goal: at
most 50 ms of CPU per run for the XML DAT.

    python3 bench/dat_load_bench.py [--runs 15] [--cli build/bin/ostravex-cli]
"""
import hashlib
import os
import random
import subprocess
import sys
import zipfile
import zlib

from bench_main import run_benchmarks
from measure import Command, alternate, fixture_check, print_commands

GAMES = 10000
SIZES = [(8 << 20) << i for i in range(7)]


def games(rom):
    """The DAT's games: (name, size, crc, md5, sha1); the last one is `rom`."""
    rng = random.Random(GAMES)
    listed = []
    for i in range(GAMES - 1):
        listed.append((f"Pok\u00e9mon & Friends {i} (Europe) (En,Fr,De,Es,It)",
                       rng.choice(SIZES), "%08x" % rng.getrandbits(32),
                       "%032x" % rng.getrandbits(128), "%040x" % rng.getrandbits(160)))
    listed.append(("Small & Last (World)", len(rom), "%08x" % zlib.crc32(rom),
                   hashlib.md5(rom).hexdigest(), hashlib.sha1(rom).hexdigest()))
    return listed


def logiqx_text(listed):
    lines = ['<?xml version="1.0"?>\n<!DOCTYPE datafile PUBLIC "-//Logiqx//DTD ROM Management '
             'Datafile//EN" "http://www.logiqx.com/Dats/datafile.dtd">\n<datafile>\n\t<header>\n'
             "\t\t<name>Generated - Nintendo DS</name>\n\t\t<version>1</version>\n\t</header>\n"]
    for name, size, crc, md5, sha1 in listed:
        name = name.replace("&", "&amp;")
        lines.append(f'\t<game name="{name}">\n\t\t<description>{name}</description>\n'
                     f'\t\t<rom name="{name}.nds" size="{size}" crc="{crc}" md5="{md5}" '
                     f'sha1="{sha1}" status="verified"/>\n\t</game>\n')
    return "".join(lines) + "</datafile>\n"


def clrmamepro_text(listed):
    lines = ['clrmamepro (\n\tname "Generated - Nintendo DS"\n\tversion 1\n)\n\n']
    for name, size, crc, md5, sha1 in listed:
        lines.append(f'game (\n\tname "{name}"\n\tdescription "{name}"\n\trom ( name "{name}.nds"'
                     f" size {size} crc {crc} md5 {md5} sha1 {sha1} )\n)\n\n")
    return "".join(lines)


def bench_dat_load(cli, scratch, runs):
    folder = os.path.join(scratch, "roms")
    os.makedirs(folder)
    rom = os.urandom(64 << 10)
    with open(os.path.join(folder, "small.gba"), "wb") as f:
        f.write(rom)
    listed = games(rom)
    xml = os.path.join(scratch, "generated.dat")
    with open(xml, "w", encoding="utf-8") as f:
        f.write(logiqx_text(listed))
    zipped = os.path.join(scratch, "generated.zip")
    with zipfile.ZipFile(zipped, "w", zipfile.ZIP_DEFLATED) as archive:
        archive.write(xml, "Generated - Nintendo DS (1).dat")
    clrmamepro = os.path.join(scratch, "generated.cmp.dat")
    with open(clrmamepro, "w", encoding="utf-8") as f:
        f.write(clrmamepro_text(listed))
    text = open(xml, encoding="utf-8").read()
    fixture_check(text.count("<game ") == GAMES and text.count("<rom ") == GAMES,
                  f"an XML DAT of {GAMES} games, {os.path.getsize(xml) / (1 << 20):.1f} MiB")

    dats = {"XML": xml, "zip": zipped, "clrmamepro": clrmamepro}
    for kind, dat in dats.items():
        out = subprocess.run([cli, "--list", "--quiet", "--dat", dat, folder],
                             capture_output=True, text=True)
        fixture_check(out.returncode == 0 and "Full dumps: 1\n" in out.stdout,
                      f"the program reads the {kind} DAT to its last game, which lists the rom")

    commands = [Command("no DAT", [cli, "--list", "--quiet", folder])]
    for kind, dat in dats.items():
        commands.append(Command(f"--dat {kind}", [cli, "--list", "--quiet", "--dat", dat,
                                                  folder]))
    print(f"a DAT of {GAMES} games loaded by each run (CPU time)")
    print_commands(commands)
    figures = alternate(commands, runs)
    base = figures.median_cpu("no DAT")
    print(f"  no DAT                   median CPU {base * 1000:7.2f} ms  ({runs} runs)")
    for kind in dats:
        cost = figures.median_cpu(f"--dat {kind}") - base
        goal = " (goal <= 50)" if kind == "XML" else ""
        print(f"  --dat {kind:18} median CPU {figures.median_cpu(f'--dat {kind}') * 1000:7.2f} "
              f"ms: the DAT costs {cost * 1000:6.2f} ms per run{goal}")


def main():
    run_benchmarks(__doc__, {"dat_load": bench_dat_load}, runs=15)


if __name__ == "__main__":
    sys.exit(main())
