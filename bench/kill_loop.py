#!/usr/bin/env python3
"""Kills ostravex-cli with SIGKILL at random moments of backup-mode and folder-mode runs
and checks what each kill left behind.

After every kill, each rom must still be found under its own name holding either the
whole original or the whole trimmed image. A temporary file left by the killed process is
counted, then a second run over the same folder must remove it.

    python3 bench/kill_loop.py                 # 30 kills per mode
    python3 bench/kill_loop.py --kills 100 --cli build/bin/ostravex-cli
"""
import argparse
import hashlib
import os
import random
import shutil
import subprocess
import sys
import time

from nds_fixture import sign_nds_header

ROMS = 4
IMAGE_SIZE = 24 << 20
USED_SIZE = 20 << 20


def nds_image(seed):
    rng = random.Random(seed)
    data = bytearray(rng.randbytes(USED_SIZE))
    data[0:0x200] = bytes(0x200)
    data[0x80:0x84] = USED_SIZE.to_bytes(4, "little")
    sign_nds_header(data)
    return bytes(data) + b"\xff" * (IMAGE_SIZE - USED_SIZE)


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha1(f.read()).hexdigest()


def temporaries(folder):
    return [n for n in os.listdir(folder) if n.startswith(".ostravex-") and n.endswith(".tmp")]


def run_cli(cli, mode, roms, out):
    command = [cli, "--quiet", "--no-archives", "--mode=" + mode]
    if mode == "folder":
        command.append("--output=" + out)
    return command + [roms]


def trial(cli, mode, master, scratch, delay):
    roms = os.path.join(scratch, "roms")
    out = os.path.join(scratch, "out")
    shutil.rmtree(scratch, ignore_errors=True)
    shutil.copytree(master, roms)
    os.makedirs(out)
    process = subprocess.Popen(run_cli(cli, mode, roms, out), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    if delay is None:
        process.wait()
    else:
        time.sleep(delay)
    running = process.poll() is None
    process.kill()
    process.wait()
    written = roms if mode == "backup" else out
    return running, roms, out, written


def check_names(mode, roms, out, originals, trimmed):
    """Roms that lost their name or hold a partial image."""
    lost = 0
    for name, original in originals.items():
        path = os.path.join(roms, name)
        if not os.path.exists(path) or digest(path) not in (original, trimmed[name]):
            lost += 1
        if mode == "folder":
            result = os.path.join(out, name)
            if os.path.exists(result) and digest(result) != trimmed[name]:
                lost += 1
    return lost


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kills", type=int, default=30)
    parser.add_argument("--cli", default="build/bin/ostravex-cli")
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    here = os.path.dirname(os.path.abspath(__file__))
    data = os.path.join(here, "kill-data")
    master = os.path.join(data, "master")
    scratch = os.path.join(data, "scratch")
    shutil.rmtree(data, ignore_errors=True)
    os.makedirs(master)
    originals, trimmed = {}, {}
    for i in range(ROMS):
        name = f"rom {i}.nds"
        image = nds_image(i)
        with open(os.path.join(master, name), "wb") as f:
            f.write(image)
        originals[name] = hashlib.sha1(image).hexdigest()
        trimmed[name] = hashlib.sha1(image[:USED_SIZE]).hexdigest()
    rng = random.Random(args.seed)
    try:
        for mode in ("backup", "folder"):
            whole = float("inf")
            for _ in range(3):
                start = time.monotonic()
                trial(args.cli, mode, master, scratch, None)
                whole = min(whole, time.monotonic() - start)
            counts = {"lost": 0, "temporary left": 0, "left after next run": 0}
            kills = 0
            while kills < args.kills:
                running, roms, out, written = trial(args.cli, mode, master, scratch,
                                                    rng.uniform(0, whole))
                if not running:
                    # The run ended before the kill: try again, sooner.
                    whole *= 0.8
                    continue
                kills += 1
                counts["lost"] += check_names(mode, roms, out, originals, trimmed) > 0
                counts["temporary left"] += bool(temporaries(written))
                subprocess.run(run_cli(args.cli, mode, roms, out), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
                counts["left after next run"] += bool(temporaries(written))
            print(f"{mode}: {kills} kills during the run: a rom without its name or with a "
                  f"partial image after {counts['lost']}, a temporary file left by "
                  f"{counts['temporary left']}, still there after the next run in "
                  f"{counts['left after next run']}")
    finally:
        shutil.rmtree(data, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
