#!/usr/bin/env python3
"""Kills ostravex-cli with SIGKILL at random moments of its runs and checks what each kill
left behind, per mode and file system.

Modes (each over 4 roms of 24 to 32 MiB):
  backup      --mode=backup: NAME.bak and the trimmed NAME
  folder      --mode=folder: trimmed copies in another folder
  sram-patch  --sram-patch in place: GBA images cut and patched (the patch writes twice)
  restore     --restore in place: trimmed NDS images padded back to 32 MiB

File systems: disk (the disk this script is on), tmpfs (/dev/shm), exfat (an exFAT image
mounted through exfat-fuse on a loop device, as flashcart SD cards are: no hard links;
needs root, exfatprogs and exfat-fuse, skipped with the reason otherwise).

Two kinds of kills, each counted apart:
  random    SIGKILL after a random delay within the time of a whole run (4 roms);
  targeted  with strace (when installed), SIGKILL at the 1st, 2nd, ... call of every
            system call that changes files (one rom), until the run no longer reaches
            that call: every step of the run is hit, also the short ones (between two
            renames, between link and rename) that random kills rarely meet.

After every kill, each rom must be under its own name holding either its whole original
or its whole result (a NAME.bak the whole original, a copy in the output folder the whole
result): a kill that leaves any rom otherwise counts as "wrong after the kill". The same
run is then started again: every rom must now hold its result, and no temporary file of
the killed run may be left ("wrong after the next run", "temporary left").

    python3 bench/kill_loop.py                          # 30 kills per mode and file system
    python3 bench/kill_loop.py --kills 100 --cli build/bin/ostravex-cli
    python3 bench/kill_loop.py --modes sram-patch,restore --filesystems disk,exfat
"""
import argparse
import hashlib
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

from nds_fixture import sign_nds_header

ROMS = 4
MiB = 1 << 20
# The system calls with which the program changes files; the targeted kills stop it at each.
CHANGING_CALLS = ("pwrite64", "ftruncate", "fallocate", "copy_file_range", "fchmod",
                  "fchown", "link", "linkat", "rename", "renameat2", "unlink")
# At most this many kills per system call (a restore writes its filler 1 MiB at a time).
MAX_CALLS = 40
MODES = ("backup", "folder", "sram-patch", "restore")
FILESYSTEMS = ("disk", "tmpfs", "exfat")

# The EEPROM V111 save routine's signature: the SRAM patch rewrites it and appends a routine.
V111_SIGNATURE = bytes([0x0E, 0x48, 0x39, 0x68, 0x01, 0x60, 0x0E, 0x48])


def nds_image(seed, used, size, capacity_shift=None):
    rng = random.Random(seed)
    data = bytearray(rng.randbytes(used))
    data[0:0x200] = bytes(0x200)
    data[0x80:0x84] = used.to_bytes(4, "little")
    if capacity_shift is not None:
        data[0x14] = capacity_shift  # cartridge size: 128 KiB << shift
    sign_nds_header(data)
    return bytes(data) + b"\xff" * (size - used)


def gba_image(seed):
    rng = random.Random(seed)
    data = bytearray(rng.randbytes(24 * MiB))
    data[-1] = 0x01  # the data ends with a byte that is not the filler
    data[501:501 + len(V111_SIGNATURE)] = V111_SIGNATURE
    return bytes(data) + b"\xff" * (8 * MiB)


def roms_for(mode, count):
    """Name: image of the roms a mode works on."""
    if mode == "sram-patch":
        return {f"rom {i}.gba": gba_image(i) for i in range(count)}
    if mode == "restore":
        # Trimmed to their used 20 MiB, of a 32 MiB cartridge (128 KiB << 8).
        return {f"rom {i}.nds": nds_image(i, 20 * MiB, 20 * MiB, 8) for i in range(count)}
    return {f"rom {i}.nds": nds_image(i, 20 * MiB, 24 * MiB) for i in range(count)}


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha1(f.read()).hexdigest()


def temporaries(folder):
    return [n for n in os.listdir(folder) if n.startswith(".ostravex-") and n.endswith(".tmp")]


def cli_command(cli, mode, roms, out):
    command = [cli, "--quiet", "--no-archives"]
    command += {
        "backup": ["--mode=backup"],
        "folder": ["--mode=folder", "--output=" + out],
        "sram-patch": ["--sram-patch"],
        "restore": ["--restore"],
    }[mode]
    return command + [roms]


class Scratch:
    """The folders of one trial on one file system."""

    def __init__(self, root):
        self.roms = os.path.join(root, "roms")
        self.out = os.path.join(root, "out")
        self.root = root

    def fill(self, master):
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.root)
        shutil.copytree(master, self.roms)
        os.makedirs(self.out)

    def snapshot(self):
        """Digest of every file the run may have written, by folder and name."""
        files = {}
        for folder in (self.roms, self.out):
            for name in os.listdir(folder):
                if name not in temporaries(folder):
                    files[(os.path.basename(folder), name)] = digest(os.path.join(folder, name))
        return files


def run_until(cli, mode, scratch, delay, wrapper=()):
    """Starts a run and kills it after `delay` seconds (None: lets it end). True when the
    kill came while the run was still going, or the run was killed by `wrapper`."""
    process = subprocess.Popen(list(wrapper) + cli_command(cli, mode, scratch.roms, scratch.out),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if delay is None:
        process.wait()
    else:
        time.sleep(delay)
    running = process.poll() is None
    process.kill()
    process.wait()
    return running or process.returncode == -9


def wrong_after_kill(files, originals, results):
    """True when a kill left a file that is neither the whole original nor the whole result,
    or a rom without its name."""
    for name, original in originals.items():
        rom = files.get(("roms", name))
        if rom not in (original, results.get(("roms", name))):
            return True
    for key, value in files.items():
        folder, name = key
        if folder == "roms" and name.endswith(".bak") and value != originals.get(name[:-4]):
            return True
        if folder == "out" and value != results.get(key):
            return True
        if key not in results and not (folder == "roms" and name in originals):
            return True
    return False


class Trials:
    """The roms of one mode on one file system, their results, and what kills left."""

    def __init__(self, cli, mode, root, roms):
        self.cli = cli
        self.mode = mode
        self.master = os.path.join(root, "master")
        self.scratch = Scratch(os.path.join(root, "scratch"))
        shutil.rmtree(self.master, ignore_errors=True)
        os.makedirs(self.master)
        self.originals = {}
        for name, image in roms_for(mode, roms).items():
            with open(os.path.join(self.master, name), "wb") as f:
                f.write(image)
            self.originals[name] = hashlib.sha1(image).hexdigest()
        self.whole = float("inf")  # the shortest time of a whole run
        for _ in range(3):
            self.scratch.fill(self.master)
            start = time.monotonic()
            run_until(cli, mode, self.scratch, None)
            self.whole = min(self.whole, time.monotonic() - start)
            self.results = self.scratch.snapshot()
        self.tried = 0
        self.counts = {"wrong after the kill": 0, "wrong after the next run": 0,
                       "temporary left": 0}

    def kill(self, delay, wrapper=()):
        """One run killed after `delay` (or by `wrapper`), then the next run; False when the
        run ended before it was killed."""
        self.scratch.fill(self.master)
        if not run_until(self.cli, self.mode, self.scratch, delay, wrapper):
            return False
        self.tried += 1
        self.counts["wrong after the kill"] += wrong_after_kill(self.scratch.snapshot(),
                                                                self.originals, self.results)
        run_until(self.cli, self.mode, self.scratch, None)
        self.counts["wrong after the next run"] += self.scratch.snapshot() != self.results
        self.counts["temporary left"] += bool(temporaries(self.scratch.roms) or
                                              temporaries(self.scratch.out))
        return True

    def close(self):
        shutil.rmtree(self.master, ignore_errors=True)
        shutil.rmtree(self.scratch.root, ignore_errors=True)

    def report(self, kind, filesystem):
        return (f"{self.mode:10} on {filesystem:5} {kind:8}: {self.tried:3} kills during the "
                f"run; wrong after the kill {self.counts['wrong after the kill']}, wrong after "
                f"the next run {self.counts['wrong after the next run']}, temporary left after "
                f"the next run {self.counts['temporary left']}")


def random_kills(cli, mode, root, kills, rng):
    trials = Trials(cli, mode, root, ROMS)
    whole = trials.whole
    while trials.tried < kills:
        if not trials.kill(rng.uniform(0, whole)):
            whole *= 0.8  # the run ended before the kill: try again, sooner
    trials.close()
    return trials


def targeted_kills(cli, mode, root, strace):
    trials = Trials(cli, mode, root, 1)
    for call in CHANGING_CALLS:
        for when in range(1, MAX_CALLS + 1):
            wrapper = [strace, "-qq", "-o", "/dev/null", "-e",
                       f"inject={call}:signal=KILL:when={when}"]
            if not trials.kill(None, wrapper):
                break  # the run makes fewer such calls
    trials.close()
    return trials


class ExfatCard:
    """An exFAT image file mounted through exfat-fuse on a loop device."""

    def __init__(self, folder, size=1 << 30):
        self.mount_point = os.path.join(folder, "card")
        self.mounted = False
        self.unavailable = None
        tools = {t: shutil.which(t, path="/usr/sbin:/sbin:/usr/bin:/bin")
                 for t in ("mkfs.exfat", "mount.exfat-fuse", "losetup", "fusermount")}
        if not all(tools.values()):
            self.unavailable = "exfatprogs, exfat-fuse or losetup missing"
            return
        if os.geteuid() != 0:
            self.unavailable = "mounting an exFAT image needs root"
            return
        image = os.path.join(folder, "card.img")
        with open(image, "wb") as f:
            f.truncate(size)
        os.makedirs(self.mount_point)
        quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
        if subprocess.run([tools["mkfs.exfat"], image], **quiet).returncode != 0:
            self.unavailable = "mkfs.exfat failed"
            return
        attach = subprocess.run([tools["losetup"], "-f", "--show", image], capture_output=True,
                                text=True)
        device = attach.stdout.strip()
        if attach.returncode != 0 or not device:
            self.unavailable = "no loop device"
            return
        subprocess.run([tools["mount.exfat-fuse"], device, self.mount_point], **quiet)
        subprocess.run([tools["losetup"], "-d", device], **quiet)  # goes with the mount
        self.mounted = os.path.ismount(self.mount_point)
        if not self.mounted:
            self.unavailable = "exfat-fuse could not mount the image"
        self.fusermount = tools["fusermount"]

    def close(self):
        if self.mounted:
            subprocess.run([self.fusermount, "-u", self.mount_point])


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--kills", type=int, default=30)
    parser.add_argument("--cli", default="build/bin/ostravex-cli")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--modes", default=",".join(MODES))
    parser.add_argument("--filesystems", default=",".join(FILESYSTEMS))
    args = parser.parse_args()
    cli = os.path.abspath(args.cli)
    strace = shutil.which("strace")
    modes = args.modes.split(",")
    filesystems = args.filesystems.split(",")
    here = os.path.dirname(os.path.abspath(__file__))
    print(f"load average: {os.getloadavg()[0]:.2f} {os.getloadavg()[1]:.2f} "
          f"{os.getloadavg()[2]:.2f}; {cli}")
    rng = random.Random(args.seed)
    if not strace:
        print("targeted kills skipped: strace is not installed")
    for filesystem in filesystems:
        card = None
        if filesystem == "disk":
            root = tempfile.mkdtemp(prefix="kill-", suffix="-data", dir=here)
        elif filesystem == "tmpfs":
            root = tempfile.mkdtemp(prefix="ostravex-kill-", dir="/dev/shm")
        else:
            holder = tempfile.mkdtemp(prefix="kill-exfat-", suffix="-data", dir=here)
            card = ExfatCard(holder)
            if not card.mounted:
                print(f"{filesystem}: skipped ({card.unavailable})")
                shutil.rmtree(holder, ignore_errors=True)
                continue
            root = card.mount_point
        try:
            for mode in modes:
                # Folder mode writes nowhere near the rom: one file system shows it.
                if mode == "folder" and filesystem != "disk":
                    continue
                data = os.path.join(root, "data")
                print(random_kills(cli, mode, data, args.kills, rng).report("random", filesystem),
                      flush=True)
                if strace:
                    print(targeted_kills(cli, mode, data, strace).report("targeted", filesystem),
                          flush=True)
        finally:
            if card:
                card.close()
                shutil.rmtree(os.path.dirname(root), ignore_errors=True)
            else:
                shutil.rmtree(root, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
