"""Runs commands in turn, run after run, and compares their median wall times."""
import argparse
import os
import shutil
import statistics
import subprocess
import time


def alternate(commands, runs, before_each=None):
    """`commands` maps a name to an argument list or a shell text. Returns name: median
    seconds. `before_each(name)` runs untimed before every run."""
    times = {name: [] for name in commands}
    for _ in range(runs):
        for name, command in commands.items():
            if before_each:
                before_each(name)
            start = time.perf_counter()
            subprocess.run(command, shell=isinstance(command, str), stdout=subprocess.DEVNULL,
                           check=True)
            times[name].append(time.perf_counter() - start)
    return {name: statistics.median(t) for name, t in times.items()}


def print_ratio(medians, subject, reference, unit_note=""):
    for name, median in medians.items():
        print(f"{name:16} median {median * 1000:8.2f} ms{unit_note}")
    print(f"ratio {subject} / {reference}: {medians[subject] / medians[reference]:.2f}")


def common_arguments():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=21)
    parser.add_argument("--cli", default="build/bin/ostravex-cli")
    return parser.parse_args()


def fresh_folder(name):
    """An empty scratch folder beside this file (on the disk the benchmark measures)."""
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder
