#!/usr/bin/env python3
"""What starting ostravex-cli costs: CPU time (user + system) of the process, against an
empty C++ program linked with libstdc++ only, built here with the system's compiler. The
two run in turn, many times; medians and their ratio.

  version  `ostravex-cli --version` against the empty program; goal ratio <= 1.3.
  run      a whole run over one small GBA image (`--dry-run --no-archives`) against the
           same empty program: start-up plus what one entry costs.

Also lists the shared libraries `ostravex-cli --version` loads (libarchive and the nine
libraries behind it should not be among them: they are loaded when an archive is met).

Usage: bench/startup_bench.py [--cli build/bin/ostravex-cli] [--scratch DIR] [--runs N] [WHICH...]
"""
import os
import re
import subprocess
import sys

from bench_main import run_benchmarks
from measure import Command, alternate, fixture_check, print_commands, print_comparison

BASE_LIBRARIES = {"libstdc++.so.6", "libm.so.6", "libgcc_s.so.1", "libc.so.6"}


def loaded_libraries(command):
    """The shared libraries a run of `command` loads, at start-up and later, by soname or
    file name, as the dynamic loader reports them (LD_DEBUG=files)."""
    env = dict(os.environ, LD_DEBUG="files")
    result = subprocess.run(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                            text=True, check=True)
    names = re.findall(r"file=(\S+) \[0\];\s+generating link map", result.stderr)
    return [os.path.basename(name) for name in names]


def empty_program(scratch):
    source = os.path.join(scratch, "empty.cpp")
    program = os.path.join(scratch, "empty-cxx")
    with open(source, "w") as f:
        f.write("int main() {}\n")
    # Linked with libstdc++ whether it is called or not, as every C++ program is.
    subprocess.run(["c++", "-O2", "-o", program, source, "-Wl,--no-as-needed", "-lstdc++"],
                   check=True)
    loaded = set(loaded_libraries([program]))
    fixture_check("libstdc++.so.6" in loaded and loaded <= BASE_LIBRARIES,
                  "the empty program loads libstdc++ and only what it needs ("
                  + ", ".join(sorted(loaded)) + ")")
    return program


def show_libraries(cli):
    loaded = loaded_libraries([cli, "--version"])
    print(f"  ostravex-cli --version loads {len(loaded)} libraries: {', '.join(loaded)}")
    beyond = sorted(set(loaded) - BASE_LIBRARIES)
    print(f"  beyond the empty program's: {', '.join(beyond) or 'none'}")


def compare(label, subject, reference, runs, goal=None):
    print(label)
    print_commands([subject, reference])
    figures = alternate([subject, reference], runs)
    print_comparison(figures, subject.name, reference.name, runs, goal)


def bench_version(cli, scratch, runs):
    empty = empty_program(scratch)
    show_libraries(cli)
    compare("version: start-up, CPU time of the process",
            Command("ostravex-cli --version", [cli, "--version"]),
            Command("empty C++ program", [empty]), runs, goal=1.3)


def bench_run(cli, scratch, runs):
    empty = empty_program(scratch)
    image = os.path.join(scratch, "small.gba")
    with open(image, "wb") as f:
        f.write(bytes(range(1, 256)) * 4096 + b"\xff" * (1 << 20))
    check = subprocess.run([cli, "--dry-run", "--no-archives", image], capture_output=True,
                           text=True)
    fixture_check(check.returncode == 0 and "small.gba" in check.stdout,
                  "one 2 MiB GBA image, decided without an error")
    compare("run: one small GBA image, --dry-run",
            Command("ostravex-cli one image",
                    [cli, "--quiet", "--dry-run", "--no-archives", image]),
            Command("empty C++ program", [empty]), runs)


def main():
    run_benchmarks(__doc__, {"version": bench_version, "run": bench_run}, runs=301)


if __name__ == "__main__":
    sys.exit(main())
