#!/usr/bin/env python3
"""Times korv.mine from Python lists against the korvplus program on the same databases.

    python3 bench/python_bench.py [--korvplus build/korvplus] [--data DIR] [--repeats 3]

For each row (database, relative support) it alternates runs of the program (reading the .bin,
writing ClosedPatterns.txt in a scratch directory) and of a fresh Python process that reads the
database into lists of tuples first (not timed), then times korv.mine on them: the conversion to
the library's form, the search and the list of result tuples. It prints per row the median wall
seconds of each, their ratio (Python over program, which should stay within 1.25), and the peak
resident memory of each process; the Python figure includes the interpreter and the input lists,
whose share (the peak before korv.mine) is given beside it. The pattern counts must agree, or the row says FAIL and the
script exits 1. KORV_THREADS is passed to the program; the Python side uses the same count.
Uses the korv module that `import korv` finds (python/install.sh installs it).
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROWS = [("sign", 0.1), ("bible", 0.005), ("foodmart", 0.0007)]

CHILD = r"""
import json, os, resource, sys, time
import korv
path, support, threads = sys.argv[1], float(sys.argv[2]), sys.argv[3]
sequences = korv.read_database(path)
before_kb = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
start = time.perf_counter()
patterns = korv.mine(sequences, support, threads=int(threads) if threads else None)
seconds = time.perf_counter() - start
peak_kb = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print(json.dumps({"seconds": seconds, "patterns": len(patterns), "peak_kb": peak_kb,
                  "input_kb": before_kb, "module": korv.__file__}))
"""


def run_program(korvplus, database, support, scratch):
    """(wall seconds, peak KB, closed count) of one korvplus run."""
    start = time.perf_counter()
    process = subprocess.Popen([korvplus, str(support), database], cwd=scratch, stdout=subprocess.PIPE, text=True)
    output = process.stdout.read()
    _, status, usage = os.wait4(process.pid, 0)
    seconds = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        sys.exit(f"korvplus {support} {database} failed with status {process.returncode}")
    closed = next(int(line.split(":")[1]) for line in output.splitlines() if line.startswith("Total Closed Pattens:"))
    os.remove(os.path.join(scratch, "ClosedPatterns.txt"))
    return seconds, usage.ru_maxrss, closed


def run_python(database, support, threads):
    """The child's figures: seconds, patterns, peak_kb, input_kb, module."""
    import json

    output = subprocess.run([sys.executable, "-c", CHILD, database, str(support), threads],
                            check=True, stdout=subprocess.PIPE, text=True).stdout
    return json.loads(output)


def warn_about_build(korvplus):
    cache = os.path.join(os.path.dirname(os.path.abspath(korvplus)), "CMakeCache.txt")
    if not os.path.exists(cache):
        return
    with open(cache) as file:
        text = file.read()
    if "CMAKE_BUILD_TYPE:STRING=Release" not in text and "CMAKE_BUILD_TYPE:STRING=RelWithDebInfo" not in text:
        print(f"warning: {korvplus} is not an optimized build: figures are not representative", file=sys.stderr)
    if "KORV_SANITIZE:BOOL=ON" in text or "KORV_TSAN:BOOL=ON" in text:
        print(f"warning: {korvplus} is built with sanitizers: figures are not representative", file=sys.stderr)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--korvplus", default=os.path.join(here, "..", "build", "korvplus"))
    parser.add_argument("--data", default=os.environ.get("KORV_DATA", os.path.join(here, "..", "..", "shared", "data")))
    parser.add_argument("--repeats", type=int, default=3)
    args = parser.parse_args()
    args.korvplus = os.path.abspath(args.korvplus)
    warn_about_build(args.korvplus)
    threads = os.environ.get("KORV_THREADS", "")

    failed = False
    print("| database | support | korvplus s | korv.mine s | ratio | korvplus peak MB | Python peak MB (before mine) | patterns |")
    print("|---|---|---|---|---|---|---|---|")
    module = None
    with tempfile.TemporaryDirectory() as scratch:
        for name, support in ROWS:
            database = os.path.join(args.data, name, name + ".bin")
            if not os.path.exists(database):
                print(f"missing database {database}", file=sys.stderr)
                continue
            program_runs, python_runs = [], []
            for _ in range(args.repeats):
                program_runs.append(run_program(args.korvplus, database, support, scratch))
                python_runs.append(run_python(database, support, threads))
            module = python_runs[0]["module"]
            program_s = statistics.median(run[0] for run in program_runs)
            python_s = statistics.median(run["seconds"] for run in python_runs)
            closed = {run[2] for run in program_runs}
            patterns = {run["patterns"] for run in python_runs}
            verdict = ""
            if len(closed | patterns) != 1:
                verdict = " FAIL: pattern counts differ"
                failed = True
            elif python_s > 1.25 * program_s:
                verdict = " (over 1.25)"
            print(f"| {name} | {support} | {program_s:.2f} | {python_s:.2f} | {python_s / program_s:.2f}{verdict} | "
                  f"{max(run[1] for run in program_runs) / 1024:.1f} | "
                  f"{max(run['peak_kb'] for run in python_runs) / 1024:.1f} "
                  f"({max(run['input_kb'] for run in python_runs) / 1024:.1f}) | "
                  f"{', '.join(str(count) for count in sorted(closed | patterns))} |")
    print(f"\nmedians of {args.repeats} alternating runs; korv module: {module}; "
          f"threads: {threads or 'default'}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
