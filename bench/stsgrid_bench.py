#!/usr/bin/env python3
"""stsgrid against the computation alone and against the text path.

On a synthetic 128 x 128 grid of 400-point spectra (bench/make_grid):
  - the per-pixel computation alone over the grid held in memory
    (bench/grid_compute: the floor of any grid tool),
  - stsgrid -j1 and -j2 (the same netCDF bytes either way),
  - the text path that produces the same results: stsimport, then
    normspec -l over the 16384 files.
Then the peak memory of stsgrid -j2 on 64 x 64 and 256 x 256 grids of
1000-point spectra (the larger writes ~0.5 GB in and ~1.8 GB out; skip it
with --no-large).  Every figure comes from one run, so the ratios compare
like with like on a shared machine.

    python3 bench/stsgrid_bench.py [build-dir] [--no-large]
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time


def timed(command, cwd, stdin=None):
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, check=False, input=stdin, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def best_of(runs, command, cwd):
    return min(timed(command, cwd) for _ in range(runs))


def peak_kib(command, cwd):
    out = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, cwd=cwd, check=True,
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True).stderr
    return int(out.strip().splitlines()[-1])


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    build = os.path.abspath(args[0] if args else "build/default")
    large = "--no-large" not in sys.argv
    tool = lambda name, sub: os.path.join(build, sub, name)
    make_grid, compute = tool("make_grid", "bench"), tool("grid_compute", "bench")
    stsgrid, stsimport = tool("stsgrid", "stsgrid"), tool("stsimport", "stsimport")
    normspec = tool("normspec", "normspec")
    work = tempfile.mkdtemp(prefix="stsgrid-bench-")
    try:
        subprocess.run([make_grid, "128", "128", "400", "g.3ds"], cwd=work, check=True)
        floor = subprocess.run([compute, "g.3ds"], cwd=work, check=True, capture_output=True,
                               text=True).stdout
        seconds = float(re.search(r": ([0-9.]+) s,", floor).group(1))
        j1 = best_of(3, [stsgrid, "--no-progress", "-j", "1", "-o", "j1.nc", "g.3ds"], work)
        j2 = best_of(3, [stsgrid, "--no-progress", "-j", "2", "-o", "j2.nc", "g.3ds"], work)
        same = open(os.path.join(work, "j1.nc"), "rb").read() == open(os.path.join(work, "j2.nc"), "rb").read()
        os.mkdir(os.path.join(work, "text"))
        start = time.perf_counter()
        subprocess.run([stsimport, "-o", "text", "g.3ds"], cwd=work, check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run([normspec, "-l"], cwd=os.path.join(work, "text"), input=b"16384\n",
                       check=True, stdout=subprocess.DEVNULL)
        text = time.perf_counter() - start
        pixels = 128 * 128
        print("128 x 128 grid of 400-point spectra (%d pixels)" % pixels)
        print("  computation alone      %6.2f s  %6.0f pixels/s" % (seconds, pixels / seconds))
        print("  stsgrid -j1            %6.2f s  %6.0f pixels/s  %.2f x the computation" % (j1, pixels / j1, j1 / seconds))
        print("  stsgrid -j2            %6.2f s  %6.0f pixels/s  %.2f x faster than -j1" % (j2, pixels / j2, j1 / j2))
        print("  text path              %6.2f s  (stsimport + normspec -l): stsgrid -j1 is %.1f x faster" % (text, text / j1))
        print("  -j1 and -j2 files identical: %s" % same)
        shutil.rmtree(os.path.join(work, "text"))
        for name in ("j1.nc", "j2.nc", "g.3ds"):
            os.remove(os.path.join(work, name))
        if large:
            peaks = {}
            for side in (64, 256):
                grid = "m%d.3ds" % side
                subprocess.run([make_grid, str(side), str(side), "1000", grid], cwd=work, check=True)
                peaks[side] = peak_kib([stsgrid, "--no-progress", "-j", "2", "-o", "m.nc", grid], work)
                os.remove(os.path.join(work, grid))
                os.remove(os.path.join(work, "m.nc"))
            print("peak memory, 1000-point spectra, -j2: 64 x 64 %d KiB, 256 x 256 %d KiB (ratio %.2f)"
                  % (peaks[64], peaks[256], peaks[256] / peaks[64]))
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
