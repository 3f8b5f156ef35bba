"""The command line shared by the benchmark scripts: which benchmarks to run, the program
to measure, a scratch folder and the number of runs. Prints the load average before and
after, since the machine is shared."""

import argparse
import os
import shutil

from measure import load_average

HERE = os.path.dirname(os.path.abspath(__file__))


def run_benchmarks(doc, benches, runs=7):
    """Runs the named benchmarks (all when none is named). Each is called with the CLI's
    path, the scratch folder and the number of runs; the scratch folder is removed after."""
    parser = argparse.ArgumentParser(description=doc,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli", default=os.path.join(HERE, "..", "build", "bin", "ostravex-cli"))
    parser.add_argument("--scratch", default=os.path.join(HERE, "bench-data"))
    parser.add_argument("--runs", type=int, default=runs)
    parser.add_argument("which", nargs="*", default=list(benches))
    args = parser.parse_args()
    cli = os.path.abspath(args.cli)
    if not os.access(cli, os.X_OK):
        parser.error(f"no program at {cli}: build it first (scripts/build.sh) or give --cli")
    os.makedirs(args.scratch, exist_ok=True)
    print(f"measuring {cli}; before: {load_average()}")
    try:
        for name in args.which:
            benches[name](cli, args.scratch, args.runs)
    finally:
        shutil.rmtree(args.scratch, ignore_errors=True)
        print(f"after: {load_average()}")
