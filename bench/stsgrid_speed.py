#!/usr/bin/env python3
"""stsgrid's speed per core and its file size, against an earlier build.

On synthetic grids of 400-point spectra (bench/make_grid), runs this
build's and the baseline's stsgrid with -j1 and -j2 in turns (paired runs,
so that the machine's load falls on both alike) and prints the medians and
their ratios: this build -j1 against the baseline's -j1, and this build's
-j2 against its own -j1.  Then the file stsgrid writes for grids 100 to 512
pixels wide against the bytes of the data it holds (every variable's
length times its type's size).

    python3 bench/stsgrid_speed.py BUILD --baseline OLD_BUILD [--rounds 5]
                                   [--sizes 128,256]
"""
import argparse
import os
import statistics
import subprocess
import tempfile
import time


def timed(command, cwd):
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def data_bytes(path):
    """The bytes of every variable's values, read by Debian's python3-netcdf4
    (in /usr/bin/python3, whichever python runs this script)."""
    code = ("import sys, netCDF4\n"
            "with netCDF4.Dataset(sys.argv[1]) as d:\n"
            "    print(sum(v.size * v.dtype.itemsize for v in d.variables.values()))\n")
    return int(subprocess.run(["/usr/bin/python3", "-c", code, path], check=True,
                              stdout=subprocess.PIPE, text=True).stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build")
    parser.add_argument("--baseline", required=True)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--sizes", default="128,256")
    a = parser.parse_args()
    new = os.path.abspath(os.path.join(a.build, "stsgrid", "stsgrid"))
    old = os.path.abspath(os.path.join(a.baseline, "stsgrid", "stsgrid"))
    make_grid = os.path.abspath(os.path.join(a.build, "bench", "make_grid"))
    with tempfile.TemporaryDirectory(prefix="stsgrid-speed-") as work:
        for size in (int(s) for s in a.sizes.split(",")):
            grid = os.path.join(work, "g%d.3ds" % size)
            subprocess.run([make_grid, str(size), str(size), "400", grid], check=True,
                           stdout=subprocess.DEVNULL)
            times = {}
            for _ in range(a.rounds):
                for label, program, jobs in (("old -j1", old, 1), ("new -j1", new, 1),
                                             ("old -j2", old, 2), ("new -j2", new, 2)):
                    times.setdefault(label, []).append(
                        timed([program, "-j%d" % jobs, grid, "-o", "out.nc"], work))
            median = {k: statistics.median(v) for k, v in times.items()}
            print("%d x %d x 400: " % (size, size) +
                  ", ".join("%s %.2f s" % (k, v) for k, v in median.items()))
            print("  new -j1 is %.2f x as fast as old -j1; new -j2 %.2f x new -j1 "
                  "(old -j2 %.2f x old -j1)"
                  % (median["old -j1"] / median["new -j1"], median["new -j1"] / median["new -j2"],
                     median["old -j1"] / median["old -j2"]))
            os.remove(grid)
        for width in (100, 163, 200, 257, 333, 400, 512):
            grid = os.path.join(work, "w.3ds")
            subprocess.run([make_grid, str(width), "8", "1000", grid], check=True,
                           stdout=subprocess.DEVNULL)
            for label, program in (("old", old), ("new", new)):
                out = os.path.join(work, "w_%s.nc" % label)
                subprocess.run([program, grid, "-o", out], check=True, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
            held = data_bytes(os.path.join(work, "w_new.nc"))
            print("%3d x 8 x 1000: data %.1f MB, file %.3f x (old %.3f x)"
                  % (width, held / 1e6, os.path.getsize(os.path.join(work, "w_new.nc")) / held,
                     os.path.getsize(os.path.join(work, "w_old.nc")) / held))


if __name__ == "__main__":
    main()
