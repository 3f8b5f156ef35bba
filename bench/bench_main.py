"""The command line shared by the benchmark scripts: which benchmarks to run, the program
to measure, a scratch folder and the number of runs."""

import argparse
import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))


def run_benchmarks(doc, benches):
    """Runs the named benchmarks (all when none is named). Each is called with the CLI's
    path, the scratch folder and the number of runs; the scratch folder is removed after."""
    parser = argparse.ArgumentParser(description=doc,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli", default=os.path.join(HERE, "..", "build", "bin", "ostravex-cli"))
    parser.add_argument("--scratch", default=os.path.join(HERE, "bench-data"))
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("which", nargs="*", default=list(benches))
    args = parser.parse_args()
    cli = os.path.abspath(args.cli)
    os.makedirs(args.scratch, exist_ok=True)
    for name in args.which:
        benches[name](cli, args.scratch, args.runs)
    shutil.rmtree(args.scratch, ignore_errors=True)
