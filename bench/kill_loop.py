#!/usr/bin/env python3
"""Kills ostravex-cli with SIGKILL at random moments of its runs and checks what each kill
left behind, per mode and file system.

Modes (each over 4 roms of 24 to 32 MiB):
  backup      --mode=backup: NAME.bak and the trimmed NAME
  folder      --mode=folder: trimmed copies in another folder
  sram-patch  --sram-patch in place: GBA images cut and patched (the patch writes twice)
  restore     --restore in place: trimmed NDS images padded back to 32 MiB
Archive modes, over NDS images of 24 MiB whose used size is 20 MiB held in an archive (4
members for random kills, 2 for targeted ones; the archive is made once per run of this
script and copied into place for every trial):
  7z          a .7z made by `7zz a` with its default settings (LZMA2, solid), in the default
              file option: each member's result beside the archive, cut to 20 MiB
  7z-folder   the same with --mode=folder: each member's result in the output folder
  rar         a RAR 4.x archive of stored members, written by rar_fixture.py (the rar tool
              is not free to install) and checked with bsdtar: `bsdtar -tvf` lists every
              member and `bsdtar -xOf` extracts each one byte for byte
  rar-folder  the same with --mode=folder
Each archive mode runs twice per kind of kill: with the archive's folder as PATH, and with
the archive itself as PATH.

File systems: disk (the disk this script is on), tmpfs (/dev/shm), exfat (an exFAT image
mounted through exfat-fuse on a loop device, as flashcart SD cards are: no hard links;
needs root, exfatprogs and exfat-fuse, skipped with the reason otherwise). The modes that
write into an output folder write nowhere near the roms and run on the disk only.

Two kinds of kills, each counted apart:
  random    SIGKILL after a random delay within the time of a whole run;
  targeted  with strace (when installed), SIGKILL at a call of a system call that changes
            files: at the 1st, 2nd, ... up to the 40th call, or, for a call that a whole run
            makes more often (an extraction writes 64 KiB at a time), at 40 calls spread
            evenly from the first to the last. Every step of the run is hit, also the short
            ones (between two renames, between link and rename, between extracting a member
            and cutting it) that random kills rarely meet.

After every kill, each rom must be under its own name holding either its whole original
or its whole result (a NAME.bak the whole original, a copy in the output folder the whole
result; a restore, which appends the filler to the rom itself, may also leave the original
followed by part of its filler), an archive must be byte for byte what it was, and at a member's result name (beside
the archive or in the output folder) there must be nothing or the member's whole result,
never the untrimmed member or a part of it: a kill that leaves anything else counts as
"wrong after the kill". The same command is then run again: it must exit with status 0
("next run failed" otherwise), every rom and member must now hold its result ("wrong after
the next run"), and no temporary file of the killed run may be left ("temporary left").

    python3 bench/kill_loop.py                          # 30 kills per mode and file system
    python3 bench/kill_loop.py --kills 100 --cli build/bin/ostravex-cli
    python3 bench/kill_loop.py --modes sram-patch,restore --filesystems disk,exfat
    python3 bench/kill_loop.py --kills 20 --modes 7z,rar --filesystems disk,tmpfs
"""
import argparse
import collections
import hashlib
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

from measure import fixture_check, load_average
from nds_fixture import sign_nds_header
from rar_fixture import write_stored_rar

ROMS = 4
MiB = 1 << 20
# The system calls with which the program changes files; the targeted kills stop it at each.
CHANGING_CALLS = ("pwrite64", "ftruncate", "fallocate", "copy_file_range", "fchmod",
                  "fchown", "link", "linkat", "rename", "renameat2", "unlink")
# At most this many kills per system call (a restore writes its filler 1 MiB at a time, an
# extraction 64 KiB at a time).
MAX_CALLS = 40
ROM_MODES = ("backup", "folder", "sram-patch", "restore")
ARCHIVE_MODES = ("7z", "7z-folder", "rar", "rar-folder")
MODES = ROM_MODES + ARCHIVE_MODES
# The modes whose results go to the output folder.
OUTPUT_FOLDER_MODES = ("folder", "7z-folder", "rar-folder")
FILESYSTEMS = ("disk", "tmpfs", "exfat")
# What an archive mode gives the program as PATH: the folder that holds the archive, or the
# archive itself.
ARCHIVE_PATHS = ("folder", "archive")
# Members of the archives: their used size, where the program cuts them, and their size.
MEMBER_USED = 20 * MiB
MEMBER_SIZE = 24 * MiB

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


def archive_members(count):
    """Name: image of the members of an archive."""
    return {f"rom {i}.nds": nds_image(i, MEMBER_USED, MEMBER_SIZE) for i in range(count)}


def digest(path):
    with open(path, "rb") as f:
        return hashlib.file_digest(f, "sha1").hexdigest()


def temporaries(folder):
    return [n for n in os.listdir(folder) if n.startswith(".ostravex-") and n.endswith(".tmp")]


class Archives:
    """The archives of the archive modes, each made once (a 7z of 4 members of 24 MiB takes
    7-Zip a while) in a folder of its own on the disk and copied into each trial."""

    def __init__(self, folder):
        self.folder = folder
        self.made = {}
        self.seven = shutil.which("7zz")
        self.bsdtar = shutil.which("bsdtar")

    def unavailable(self, mode):
        """Why an archive mode cannot run here, or None."""
        if mode.startswith("7z") and not self.seven:
            return "7zz is not installed (package 7zip)"
        if mode.startswith("rar") and not self.bsdtar:
            return "bsdtar, which checks the RAR fixture, is not installed (libarchive-tools)"
        return None

    def get(self, mode, count):
        """The path of the archive of `count` members for `mode`."""
        kind = "7z" if mode.startswith("7z") else "rar"
        if (kind, count) not in self.made:
            folder = os.path.join(self.folder, f"{kind}-{count}")
            os.makedirs(folder)
            members = archive_members(count)
            make = self.make_7z if kind == "7z" else self.make_rar
            self.made[(kind, count)] = make(folder, members)
        return self.made[(kind, count)]

    def make_7z(self, folder, members):
        source = os.path.join(folder, "members")
        os.makedirs(source)
        for name, image in members.items():
            with open(os.path.join(source, name), "wb") as f:
                f.write(image)
        archive = os.path.join(folder, "set.7z")
        subprocess.run([self.seven, "a", "-bd", "-y", archive] + list(members), cwd=source,
                       check=True, stdout=subprocess.DEVNULL)
        shutil.rmtree(source)
        listing = subprocess.run([self.seven, "l", "-slt", archive], capture_output=True,
                                 text=True, check=True).stdout
        fields = collections.defaultdict(list)
        for line in listing.splitlines():
            key, _, value = line.partition(" = ")
            fields[key].append(value)
        listed = fields["Path"][1:]  # the first Path is the archive's
        fixture_check(sorted(listed) == sorted(members),
                      f"set.7z by `7zz a` (defaults: {fields['Method'][0]}, solid "
                      f"{fields['Solid'][0]}, {fields['Blocks'][0]} block): {len(members)} "
                      f"members of 24 MiB, 20 MiB used, {os.path.getsize(archive) / MiB:.1f} MiB")
        return archive

    def make_rar(self, folder, members):
        archive = os.path.join(folder, "set.rar")
        write_stored_rar(archive, list(members.items()))
        listing = subprocess.run([self.bsdtar, "-tvf", archive], capture_output=True,
                                 text=True).stdout.splitlines()
        listed = all(any(line.endswith(" " + name) and f" {len(image)} " in line
                         for line in listing) for name, image in members.items())
        extracted = all(subprocess.run([self.bsdtar, "-xOf", archive, name],
                                       capture_output=True).stdout == image
                        for name, image in members.items())
        fixture_check(listed and len(listing) == len(members) and extracted,
                      f"set.rar, RAR 4.x: {len(members)} stored members of 24 MiB, 20 MiB used "
                      f"(bsdtar -tvf lists each, bsdtar -xOf extracts each byte for byte)")
        return archive


def cli_command(cli, mode, path, out):
    command = [cli, "--quiet"]
    command += {
        "backup": ["--no-archives", "--mode=backup"],
        "folder": ["--no-archives", "--mode=folder", "--output=" + out],
        "sram-patch": ["--no-archives", "--sram-patch"],
        "restore": ["--no-archives", "--restore"],
        "7z": [],
        "7z-folder": ["--mode=folder", "--output=" + out],
        "rar": [],
        "rar-folder": ["--mode=folder", "--output=" + out],
    }[mode]
    return command + [path]


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


def run_until(command, delay, wrapper=()):
    """Runs `command` and kills it after `delay` seconds (None: lets it end). Returns whether
    the kill came while the run was still going (or the run was killed by `wrapper`), and
    the exit status."""
    process = subprocess.Popen(list(wrapper) + command, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    if delay is None:
        process.wait()
    else:
        time.sleep(delay)
    running = process.poll() is None
    process.kill()
    process.wait()
    return running or process.returncode == -9, process.returncode


def is_partly_restored(path, original):
    """Whether the file at `path` is the image `original` followed by some 0xFF filler: what
    a restore in place, which appends the filler to the rom, leaves when it is killed."""
    with open(path, "rb") as f:
        data = f.read()
    return (len(data) >= len(original) and data[:len(original)] == original
            and data[len(original):].count(0xFF) == len(data) - len(original))


def wrong_after_kill(files, originals, results, partly_done=None):
    """True when a kill left a file that is neither the whole original nor the whole result
    (nor, when `partly_done` is given, a rom it accepts as a part-way result: name -> bool),
    or a rom or archive without its name."""
    for name, original in originals.items():
        if files.get(("roms", name)) not in (original, results.get(("roms", name))):
            if partly_done is None or ("roms", name) not in files or not partly_done(name):
                return True
    for key, value in files.items():
        folder, name = key
        if folder == "roms" and name in originals:
            continue
        if folder == "roms" and name.endswith(".bak") and name[:-4] in originals:
            expected = originals[name[:-4]]
        else:
            expected = results.get(key)  # None: a file that no whole run leaves
        if value != expected:
            return True
    return False


def path_label(mode, path_kind):
    return mode if path_kind is None else f"{mode} ({path_kind} as PATH)"


class Trials:
    """The roms of one mode on one file system, their results, and what kills left.
    `path_kind` ("folder" or "archive") says what an archive mode gives as PATH."""

    def __init__(self, cli, mode, root, roms, archives=None, path_kind=None):
        self.mode = mode
        self.label = path_label(mode, path_kind)
        self.master = os.path.join(root, "master")
        self.scratch = Scratch(os.path.join(root, "scratch"))
        shutil.rmtree(self.master, ignore_errors=True)
        os.makedirs(self.master)
        self.originals = {}
        self.images = {}
        path = self.scratch.roms
        if mode in ARCHIVE_MODES:
            archive = archives.get(mode, roms)
            name = os.path.basename(archive)
            shutil.copyfile(archive, os.path.join(self.master, name))
            self.originals[name] = digest(archive)
            if path_kind == "archive":
                path = os.path.join(self.scratch.roms, name)
        else:
            self.images = roms_for(mode, roms)
            for name, image in self.images.items():
                with open(os.path.join(self.master, name), "wb") as f:
                    f.write(image)
                self.originals[name] = hashlib.sha1(image).hexdigest()
        self.command = cli_command(cli, mode, path, self.scratch.out)
        self.whole = float("inf")  # the shortest time of a whole run
        for _ in range(3):
            self.scratch.fill(self.master)
            start = time.monotonic()
            _, status = run_until(self.command, None)
            self.whole = min(self.whole, time.monotonic() - start)
            self.results = self.scratch.snapshot()
        if mode in ARCHIVE_MODES:
            self.check_archive_results(status, roms)
        self.tried = 0
        self.counts = {"wrong after the kill": 0, "next run failed": 0,
                       "wrong after the next run": 0, "temporary left": 0}

    def check_archive_results(self, status, count):
        """Stops the script unless a whole run leaves the archive as it was and each
        member's result cut to its used size: the kills are judged against that."""
        folder = "out" if self.mode in OUTPUT_FOLDER_MODES else "roms"
        expected = {("roms", name): value for name, value in self.originals.items()}
        for name, image in archive_members(count).items():
            expected[(folder, name)] = hashlib.sha1(image[:MEMBER_USED]).hexdigest()
        if status != 0 or self.results != expected:
            sys.exit(f"{self.label}: a whole run without a kill (exit status {status}) did not "
                     f"leave the archive as it was and each member cut to 20 MiB: "
                     f"{' '.join(self.command)}")

    def kill(self, delay, wrapper=()):
        """One run killed after `delay` (or by `wrapper`), then the next run; False when the
        run ended before it was killed."""
        self.scratch.fill(self.master)
        if not run_until(self.command, delay, wrapper)[0]:
            return False
        self.tried += 1
        # A restore appends the filler to each rom: a kill may leave the original followed
        # by part of its filler, which the next run completes.
        partly_done = None
        if self.mode == "restore":
            partly_done = lambda name: is_partly_restored(  # noqa: E731
                os.path.join(self.scratch.roms, name), self.images[name])
        self.counts["wrong after the kill"] += wrong_after_kill(
            self.scratch.snapshot(), self.originals, self.results, partly_done)
        _, status = run_until(self.command, None)
        self.counts["next run failed"] += status != 0
        self.counts["wrong after the next run"] += self.scratch.snapshot() != self.results
        self.counts["temporary left"] += bool(temporaries(self.scratch.roms) or
                                              temporaries(self.scratch.out))
        return True

    def call_counts(self, strace):
        """How often a whole run makes each of the file-changing system calls."""
        trace = os.path.join(os.path.dirname(self.master), "calls.trace")
        self.scratch.fill(self.master)
        subprocess.run([strace, "-qq", "-o", trace, "-e", "trace=" + ",".join(CHANGING_CALLS)]
                       + self.command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(trace) as f:
            counts = collections.Counter(line.split("(", 1)[0] for line in f)
        os.remove(trace)
        return counts

    def close(self):
        shutil.rmtree(self.master, ignore_errors=True)
        shutil.rmtree(self.scratch.root, ignore_errors=True)

    def report(self, kind, filesystem):
        c = self.counts
        return (f"{self.label:29} on {filesystem:5} {kind:8}: {self.tried:3} kills during the "
                f"run; wrong after the kill {c['wrong after the kill']}, next run failed "
                f"{c['next run failed']}, wrong after the next run "
                f"{c['wrong after the next run']}, temporary left after the next run "
                f"{c['temporary left']}")


def random_kills(cli, mode, root, kills, rng, archives=None, path_kind=None):
    trials = Trials(cli, mode, root, ROMS, archives, path_kind)
    whole = trials.whole
    while trials.tried < kills:
        if not trials.kill(rng.uniform(0, whole)):
            whole *= 0.8  # the run ended before the kill: try again, sooner
    trials.close()
    return trials


def spread_moments(count):
    """The calls to kill at, of `count` calls: each one, or MAX_CALLS spread evenly from the
    first to the last."""
    if count <= MAX_CALLS:
        return range(1, count + 1)
    return sorted({1 + round(i * (count - 1) / (MAX_CALLS - 1)) for i in range(MAX_CALLS)})


def targeted_kills(cli, mode, root, strace, archives=None, path_kind=None):
    # One rom; an archive of two members, so that a kill also meets the second member of a
    # solid block, decompressed in the same pass as the first.
    trials = Trials(cli, mode, root, 2 if mode in ARCHIVE_MODES else 1, archives, path_kind)
    counts = trials.call_counts(strace)
    for call in CHANGING_CALLS:
        for when in spread_moments(counts[call]):
            wrapper = [strace, "-qq", "-o", "/dev/null", "-e",
                       f"inject={call}:signal=KILL:when={when}"]
            if not trials.kill(None, wrapper):
                break  # this run made fewer such calls than the counted one
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
    for name, given, known in (("mode", modes, MODES), ("file system", filesystems, FILESYSTEMS)):
        unknown = [g for g in given if g not in known]
        if unknown:
            parser.error(f"unknown {name} {', '.join(unknown)} (known: {', '.join(known)})")
    here = os.path.dirname(os.path.abspath(__file__))
    print(f"before: {load_average()}; {cli}", flush=True)
    rng = random.Random(args.seed)
    if not strace:
        print("targeted kills skipped: strace is not installed")
    archives = Archives(tempfile.mkdtemp(prefix="kill-archives-", suffix="-data", dir=here))
    for mode in [m for m in modes if m in ARCHIVE_MODES]:
        if archives.unavailable(mode):
            print(f"{mode}: skipped ({archives.unavailable(mode)})")
            modes.remove(mode)
    try:
        for filesystem in filesystems:
            run_on(filesystem, modes, args.kills, rng, cli, strace, archives, here)
    finally:
        shutil.rmtree(archives.folder, ignore_errors=True)
    print(f"after: {load_average()}")
    return 0


def run_on(filesystem, modes, kills, rng, cli, strace, archives, here):
    """Every mode's kills on one file system."""
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
            return
        root = card.mount_point
    try:
        for mode in modes:
            # An output folder is written nowhere near the roms: one file system shows it.
            if mode in OUTPUT_FOLDER_MODES and filesystem != "disk":
                continue
            data = os.path.join(root, "data")
            for path_kind in ARCHIVE_PATHS if mode in ARCHIVE_MODES else (None,):
                trials = random_kills(cli, mode, data, kills, rng, archives, path_kind)
                print(trials.report("random", filesystem), flush=True)
                if strace:
                    trials = targeted_kills(cli, mode, data, strace, archives, path_kind)
                    print(trials.report("targeted", filesystem), flush=True)
    finally:
        if card:
            card.close()
            shutil.rmtree(os.path.dirname(root), ignore_errors=True)
        else:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
