#!/usr/bin/env python3
"""Trimming benchmarks for ostravex-cli. Makes its own images under a scratch folder on
the disk it is run on (default: bench-data/ beside this script), then measures:

  inplace   500 sparse NDS images of 512 MiB against 500 of 8 MiB, trimmed in place:
            the cost must not grow with the image size.
  copy      backup and output-folder modes against `cp` copying the same kept bytes on
            the same disk, side by side; also the peak memory of each mode.
  gba       bytes read to decide where a 32 MiB GBA image is cut (needs strace).

Every process is started directly (no shell); the load average is printed before and after.

Usage: bench/trim_bench.py [--cli build/bin/ostravex-cli] [--scratch DIR] [--runs N] [WHICH...]
"""
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys

from bench_main import run_benchmarks
from measure import Command, fixture_check, is_sparse, print_commands, run_once
from nds_fixture import sign_nds_header

MIB = 1 << 20


def nds_header(used_size):
    header = bytearray(0x200)
    header[0:12] = b"BENCHMARK\0\0\0"
    struct.pack_into("<I", header, 0x80, used_size)
    return bytes(sign_nds_header(header))


def make_sparse_nds(path, size, used_size):
    with open(path, "wb") as f:
        f.write(nds_header(used_size))
        f.truncate(size)


def make_dense_nds(path, size, used_size, block):
    with open(path, "wb") as f:
        f.write(nds_header(used_size))
        written = 0x200
        while written < size:
            chunk = block[: min(len(block), size - written)]
            f.write(chunk)
            written += len(chunk)


def drop_caches():
    """Starts every measured command from a cold page cache where this machine lets us
    (root), so that cp and ostravex-cli both read from the disk alike."""
    try:
        with open("/proc/sys/vm/drop_caches", "w") as f:
            f.write("3\n")
        return True
    except OSError:
        return False


def timed(command, cold=False):
    """Wall seconds of one run of `command` (a Command)."""
    # Earlier writes still waiting for the disk would slow down whatever runs next.
    os.sync()
    if cold:
        drop_caches()
    wall, _cpu = run_once(command)
    return wall


def peak_rss_mib(command):
    """Peak resident memory of one run of `command`, in MiB."""
    pid = os.fork()
    if pid == 0:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, 1)
        os.dup2(devnull, 2)
        os.execv(command[0], command)
    _, _, usage = os.wait4(pid, 0)
    return usage.ru_maxrss / 1024


def bench_inplace(cli, scratch, runs, count=500):
    sizes = (("8 MiB", 8 * MIB), ("512 MiB", 512 * MIB))
    times = {label: [] for label, _ in sizes}
    print("inplace: %d sparse NDS images of 8 MiB against %d of 512 MiB, cut in place" % (count, count))
    # The two sizes alternate, so that drift of the machine touches both alike.
    for round_number in range(runs):
        for label, size in sizes:
            folder = os.path.join(scratch, "inplace-" + label.replace(" ", ""))
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
            paths = [os.path.join(folder, "r%03d.nds" % i) for i in range(count)]
            for path in paths:
                make_sparse_nds(path, size, size // 2 + 12345)
            command = Command(label, [cli, "--quiet", folder])
            if round_number == 0:
                fixture_check(all(is_sparse(p) and os.path.getsize(p) == size for p in paths),
                              "%d sparse images of %s" % (count, label))
                print_commands([command])
            times[label].append(timed(command))
            if any(os.path.getsize(p) != size // 2 + 12345 for p in paths):
                sys.exit("not every image of %s was cut" % label)
            shutil.rmtree(folder, ignore_errors=True)
    for label, _ in sizes:
        print("in place, %d images of %-7s: median %.4f s, best %.4f s over %d runs"
              % (count, label, statistics.median(times[label]), min(times[label]), runs))
    print("ratio 512 MiB / 8 MiB: median %.2f, best %.2f (target <= 1.2)"
          % (statistics.median(times["512 MiB"]) / statistics.median(times["8 MiB"]),
             min(times["512 MiB"]) / min(times["8 MiB"])))


def bench_copy(cli, scratch, runs, count=8, size=128 * MIB, used=96 * MIB):
    block = bytes((i * 131 + 7) % 251 + 1 for i in range(MIB))
    roms = os.path.join(scratch, "copy-roms")
    kept = os.path.join(scratch, "copy-kept")
    out = os.path.join(scratch, "copy-out")
    for folder in (roms, kept):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
    originals = []
    for i in range(count):
        path = os.path.join(roms, "r%02d.nds" % i)
        make_dense_nds(path, size, used, block)
        originals.append(path)
        # The bytes a trim keeps, as one file, for cp to copy.
        with open(path, "rb") as src, open(os.path.join(kept, "r%02d.nds" % i), "wb") as dst:
            dst.write(src.read(used))

    with open(originals[0], "rb") as src, open(os.path.join(kept, "r00.nds"), "rb") as copy:
        fixture_check(src.read(used) == copy.read() and os.path.getsize(originals[0]) == size,
                      "%d images of %d MiB; cp copies files holding exactly their first %d MiB"
                      % (count, size // MIB, used // MIB))

    def reset_out():
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)

    def restore_backups():
        for path in originals:
            if os.path.exists(path + ".bak"):
                os.replace(path + ".bak", path)

    commands = {
        "cp": Command("cp", ["cp"] + [os.path.join(kept, n) for n in sorted(os.listdir(kept))] + [out],
                      summary="cp %s/r00.nds ... r%02d.nds %s" % (kept, count - 1, out)),
        "folder": Command("folder", [cli, "--quiet", "--mode=folder", "--output=" + out, roms]),
        "backup": Command("backup", [cli, "--quiet", "--mode=backup", roms]),
    }
    print("copy: backup and output-folder modes against cp of the kept bytes")
    print_commands(commands.values())
    measures = {"cp": [], "folder": [], "backup": []}
    for _ in range(runs):
        reset_out()
        measures["cp"].append(timed(commands["cp"], cold=True))
        reset_out()
        measures["folder"].append(timed(commands["folder"], cold=True))
        if sorted(os.listdir(out)) != sorted(os.listdir(kept)):
            sys.exit("the folder mode did not write every image")
        measures["backup"].append(timed(commands["backup"], cold=True))
        restore_backups()
    reset_out()
    rss_folder = peak_rss_mib([cli, "--quiet", "--mode=folder", "--output=" + out, roms])
    rss_backup = peak_rss_mib([cli, "--quiet", "--mode=backup", roms])
    restore_backups()
    base = statistics.median(measures["cp"])
    print("%d images of %d MiB, %d MiB kept each (%d MiB written per run), %s page cache"
          % (count, size // MIB, used // MIB, count * used // MIB, "cold" if drop_caches() else "warm"))
    for name in ("cp", "folder", "backup"):
        median = statistics.median(measures[name])
        print("  %-7s median %.3f s  (%.2f x cp)" % (name, median, median / base))
    print("  peak memory: folder %.1f MiB, backup %.1f MiB (image %d MiB; limit image + 64 MiB)" % (rss_folder, rss_backup, size // MIB))
    for folder in (roms, kept, out):
        shutil.rmtree(folder, ignore_errors=True)


def bench_gba(cli, scratch, _runs):
    if not shutil.which("strace"):
        print("gba: strace is not installed; skipped")
        return
    folder = os.path.join(scratch, "gba")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    path = os.path.join(folder, "game.gba")
    data_end = 9_999_999
    with open(path, "wb") as f:
        f.write(bytes((i % 200) + 1 for i in range(data_end)))
        f.write(b"\xff" * (32 * MIB - data_end))
    with open(path, "rb") as f:
        f.seek(data_end - 1)
        last_data = bytes([(data_end - 1) % 200 + 1])
        fixture_check(f.read(2) == last_data + b"\xff" and os.path.getsize(path) == 32 * MIB,
                      "a 32 MiB GBA image whose data ends at %d, 0xFF after it" % data_end)
    trace = os.path.join(folder, "trace")
    print("  strace -f -e trace=pread64,read -o TRACE %s --quiet --dry-run %s" % (cli, path))
    subprocess.run(["strace", "-f", "-e", "trace=pread64,read", "-o", trace, cli, "--quiet", "--dry-run", path],
                   check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    total = 0
    with open(trace) as f:
        for line in f:
            if "game.gba" in line or "pread64(" in line:
                match = re.search(r"= (\d+)$", line.strip())
                if match and "pread64(" in line:
                    total += int(match.group(1))
    tail = 32 * MIB - data_end
    print("gba: 32 MiB image, filler tail %d bytes; bytes read by the decision: %d (tail + %d)" % (tail, total, total - tail))
    shutil.rmtree(folder, ignore_errors=True)


def main():
    run_benchmarks(__doc__, {"inplace": bench_inplace, "copy": bench_copy, "gba": bench_gba},
                   runs=5)


if __name__ == "__main__":
    sys.exit(main())
