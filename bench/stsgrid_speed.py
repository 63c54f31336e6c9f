#!/usr/bin/env python3
"""stsgrid's speed per core and its file size, against an earlier build and a NumPy peer.

On synthetic grids of 400-point spectra (bench/make_grid), runs this
build's and the baseline's stsgrid with -j1 and -j2 and the NumPy/SciPy
program of bench/stsgrid_numpy.py in turns (paired runs, so that the
machine's load falls on all alike) and prints the medians of the elapsed
and processor (user + system) times and the peak memory, and their ratios:
this build -j1 against the baseline's -j1, this build's -j2 against its own
-j1, the peer against this build's -j1.  The peer's values are compared
with stsgrid's once per grid.  Then the file stsgrid writes for grids 100
to 512 pixels wide against the bytes of the data it holds (every
variable's length times its type's size).

    python3 bench/stsgrid_speed.py BUILD --baseline OLD_BUILD [--rounds 5]
                                   [--sizes 128,256] [--no-peer] [--no-files]
"""
import argparse
import os
import statistics
import subprocess
import tempfile
import time


def timed(command, cwd):
    """Elapsed seconds, processor seconds (user + system) and peak resident
    memory (MiB) of one run."""
    start = time.perf_counter()
    child = subprocess.Popen(command, cwd=cwd, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        raise subprocess.CalledProcessError(child.returncode, command)
    return elapsed, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024.0


PEER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "stsgrid_numpy.py")
NUMPY_PYTHON = "/usr/bin/python3"  # Debian's, with numpy, scipy and netCDF4


def data_bytes(path):
    """The bytes of every variable's values, read by Debian's python3-netcdf4
    (in /usr/bin/python3, whichever python runs this script)."""
    code = ("import sys, netCDF4\n"
            "with netCDF4.Dataset(sys.argv[1]) as d:\n"
            "    print(sum(v.size * v.dtype.itemsize for v in d.variables.values()))\n")
    return int(subprocess.run(["/usr/bin/python3", "-c", code, path], check=True,
                              stdout=subprocess.PIPE, text=True).stdout)


def speed(a, work, old, new, make_grid, size):
    grid = os.path.join(work, "g%d.3ds" % size)
    subprocess.run([make_grid, str(size), str(size), "400", grid], check=True,
                   stdout=subprocess.DEVNULL)
    runs = [("old -j1", [old, "-j1", grid, "-o", "out.nc"]),
            ("new -j1", [new, "-j1", grid, "-o", "out.nc"]),
            ("old -j2", [old, "-j2", grid, "-o", "out.nc"]),
            ("new -j2", [new, "-j2", grid, "-o", "out.nc"])]
    if a.peer:
        runs.append(("numpy", [NUMPY_PYTHON, PEER, grid, "peer.nc"]))
    times = {}
    for _ in range(a.rounds):
        for label, command in runs:
            # Each run writes a new file: freeing the last run's (0.2 s for
            # 630 MB here) is the file system's work, not the program's.
            for name in ("out.nc", "peer.nc"):
                if os.path.exists(os.path.join(work, name)):
                    os.remove(os.path.join(work, name))
            times.setdefault(label, []).append(timed(command, work))
    median = {k: [statistics.median(r[i] for r in v) for i in range(3)] for k, v in times.items()}
    print("%d x %d x 400, medians of %d paired rounds (elapsed s / processor s / peak MiB):"
          % (size, size, a.rounds))
    for label, (elapsed, cpu, memory) in median.items():
        print("  %-8s %6.2f s  %6.2f s  %6.0f MiB" % (label, elapsed, cpu, memory))
    ratio = lambda x, y, i: median[x][i] / median[y][i]
    print("  new -j1 is %.2f x as fast as old -j1 (processor time %.2f x); new -j2 %.2f x new -j1 "
          "(old -j2 %.2f x old -j1)"
          % (ratio("old -j1", "new -j1", 0), ratio("old -j1", "new -j1", 1),
             ratio("new -j1", "new -j2", 0), ratio("old -j1", "old -j2", 0)))
    if a.peer:
        print("  numpy takes %.2f x the time of new -j1 (processor time %.2f x)"
              % (ratio("numpy", "new -j1", 0), ratio("numpy", "new -j1", 1)))
        subprocess.run([new, grid, "-o", "out.nc"], cwd=work, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([NUMPY_PYTHON, PEER, grid, "peer.nc", "--check", "out.nc"], cwd=work,
                       check=True)
    os.remove(grid)


def file_sizes(work, old, new, make_grid):
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


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build")
    parser.add_argument("--baseline", required=True)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--sizes", default="128,256")
    parser.add_argument("--no-peer", dest="peer", action="store_false",
                        help="leave out the NumPy/SciPy program")
    parser.add_argument("--no-files", dest="files", action="store_false",
                        help="leave out the file sizes")
    a = parser.parse_args()
    new = os.path.abspath(os.path.join(a.build, "stsgrid", "stsgrid"))
    old = os.path.abspath(os.path.join(a.baseline, "stsgrid", "stsgrid"))
    make_grid = os.path.abspath(os.path.join(a.build, "bench", "make_grid"))
    with tempfile.TemporaryDirectory(prefix="stsgrid-speed-") as work:
        for size in (int(s) for s in a.sizes.split(",")):
            speed(a, work, old, new, make_grid, size)
        if a.files:
            file_sizes(work, old, new, make_grid)


if __name__ == "__main__":
    main()
