#!/usr/bin/env python3
"""What a lock-in channel costs stsgrid: -j1 with --didv-channel against -j1
without it, on the same grid.

The grid is synthetic (made here with NumPy: a 128 x 128 grid of 400-point
spectra with a current and a lock-in channel, as a Nanonis .3ds), and the
real lock-in grid of ../shared/realdata when it is there.  The variants
run interleaved, seven times (nine on the small real grid); the figures are
the best elapsed time and the median processor time (user + system, which
a shared machine disturbs less), so that the ratios compare like with
like.  The goal: with the lock-in and --smooth=11, at most 1.3 times the
time without them.  --lockin-fit=grid (a first pass over the
grid) is timed too, for the record.

    python3 bench/stsgrid_lockin.py [build-dir]
"""
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np


def make_grid(path, nx, ny, points):
    rng = np.random.default_rng(17)
    v = np.linspace(-1.0, 1.0, points)
    header = (
        'Grid dim="%d x %d"\r\n'
        "Grid settings=0.000000E+0;0.000000E+0;1.000000E-8;1.000000E-8;0.000000E+0\r\n"
        'Sweep Signal="Bias (V)"\r\n'
        'Fixed parameters="Sweep Start;Sweep End"\r\n'
        'Experiment parameters="X (m);Y (m)"\r\n'
        "# Parameters (4 byte)=4\r\n"
        "Experiment size (bytes)=%d\r\n"
        "Points=%d\r\n"
        'Channels="Current (A);LockinX (V)"\r\n'
        ":HEADER_END:\r\n" % (nx, ny, 2 * 4 * points, points))
    with open(path, "wb") as out:
        out.write(header.encode())
        for p in range(nx * ny):
            gap = 0.1 + 0.05 * (p % 7) / 7
            didv = 1 + np.tanh((np.abs(v) - gap) / 0.03)
            current = np.cumsum(didv) * (v[1] - v[0]) - 1.0
            current = 1e-9 * (current + 0.01 * rng.standard_normal(points))
            lockin = 0.02 * didv + 1e-3 + 1e-4 * rng.standard_normal(points)
            row = np.concatenate([[-1.0, 1.0, 1e-9 * (p % nx), 1e-9 * (p // nx)], current, lockin])
            out.write(row.astype(">f4").tobytes())


def timed(command, cwd):
    """Elapsed and processor (user + system) seconds of one run."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return elapsed, cpu


def compare(stsgrid, grid, channel, work, runs=7):
    base = [stsgrid, "--no-progress", "-j", "1", "-o", "out.nc", grid]
    variants = {
        "without": base,
        "pixel": base + ["--didv-channel=" + channel],
        "smooth": base + ["--didv-channel=" + channel, "--smooth=11"],
        "grid": base + ["--didv-channel=" + channel, "--lockin-fit=grid"],
    }
    times = {k: [] for k in variants}
    for _ in range(runs):
        for name, command in variants.items():
            times[name].append(timed(command, work))
    for label, pick in (("elapsed, best", lambda t: min(e for e, _ in t)),
                        ("processor, median", lambda t: statistics.median(c for _, c in t))):
        v = {k: pick(t) for k, t in times.items()}
        print("%s (%s of %d): without %.3f s, --didv-channel %.3f s (%.2fx), "
              "with --smooth=11 too %.3f s (%.2fx), --lockin-fit=grid %.3f s (%.2fx)"
              % (os.path.basename(grid), label, runs, v["without"], v["pixel"],
                 v["pixel"] / v["without"], v["smooth"], v["smooth"] / v["without"],
                 v["grid"], v["grid"] / v["without"]))


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/default")
    stsgrid = os.path.join(build, "stsgrid", "stsgrid")
    here = os.path.dirname(os.path.abspath(__file__))
    real = os.path.join(here, "..", "..", "shared", "realdata", "raw",
                        "nanonis2016_grid_lockin_30x30.3ds")
    work = tempfile.mkdtemp(prefix="stsgrid-lockin-")
    try:
        make_grid(os.path.join(work, "g.3ds"), 128, 128, 400)
        compare(stsgrid, os.path.join(work, "g.3ds"), "LockinX (V)", work)
        if os.path.exists(real):
            compare(stsgrid, os.path.abspath(real), "LockinX (V)", work, runs=9)
    finally:
        shutil.rmtree(work)


main()
