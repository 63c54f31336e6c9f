#!/usr/bin/env python3
"""The cost of stsgrid's --smooth: -j1 with --smooth=W against -j1 without.

On a synthetic grid of 400-point spectra (bench/make_grid), runs stsgrid
-j1 without smoothing and with --smooth for each window given, in turns
(paired runs, so that the machine's load falls on all alike), and prints
the medians of their processor times and each ratio to the run without.  The goal for the measured
signal's options together (smoothing and a lock-in channel) is at most
1.3 times the time without them.

    python3 bench/stsgrid_smooth_bench.py [BUILD] [--rounds 5] [--size 128]
                                          [--windows 11,51]
"""
import argparse
import os
import resource
import statistics
import subprocess
import tempfile


def timed(command, cwd):
    """The child's processor time (user + system): less at the mercy of the
    other jobs on a shared machine than the elapsed time."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default="build/default")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--size", type=int, default=128)
    parser.add_argument("--windows", default="11,51")
    a = parser.parse_args()
    build = os.path.abspath(a.build)
    make_grid = os.path.join(build, "bench", "make_grid")
    stsgrid = os.path.join(build, "stsgrid", "stsgrid")
    runs = {"none": []}
    options = {"none": []}
    for w in a.windows.split(","):
        runs["--smooth=" + w] = []
        options["--smooth=" + w] = ["--smooth=" + w]
    with tempfile.TemporaryDirectory(prefix="smooth-bench-") as work:
        n = str(a.size)
        subprocess.run([make_grid, n, n, "400", "g.3ds"], cwd=work, check=True)
        for _ in range(a.rounds):
            for name, extra in options.items():
                command = [stsgrid, "--no-progress", "-j1", *extra, "-o", "out.nc", "g.3ds"]
                runs[name].append(timed(command, work))
    base = statistics.median(runs["none"])
    print(f"stsgrid -j1, {a.size} x {a.size} pixels of 400 points, "
          f"processor time, median of {a.rounds}:")
    for name, times in runs.items():
        median = statistics.median(times)
        print(f"  {name:16s} {median:7.3f} s  {median / base:5.3f} x")


if __name__ == "__main__":
    main()
