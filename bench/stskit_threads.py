#!/usr/bin/env python3
"""Whether stskit's C++ work runs without the GIL: two generated grids
(64 x 64 pixels of 400 points, bench/make_grid) computed by stskit.compute
with one computing thread each, first one after the other and then on two
Python threads at once; likewise the lazy reading of both grids.  Prints
the elapsed times and the ratio two-at-once / one (1.0 when the two run
wholly in parallel, 2.0 when the GIL serialises them), best of 5 each.

    PYTHONPATH=build/dev/python /usr/bin/python3 bench/stskit_threads.py [build-dir]
"""
import os
import subprocess
import sys
import tempfile
import threading
import time

import xarray as xr

build = sys.argv[1] if len(sys.argv) > 1 else "build/dev"
sys.path.insert(0, os.path.join(build, "python"))
import stskit  # noqa: E402


def best(f, repeats=5):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        f()
        times.append(time.perf_counter() - start)
    return min(times)


def both(f, a, b):
    threads = [threading.Thread(target=f, args=(x,)) for x in (a, b)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


with tempfile.TemporaryDirectory() as folder:
    paths = [os.path.join(folder, f"g{k}.3ds") for k in range(2)]
    for p in paths:
        subprocess.run([os.path.join(build, "bench", "make_grid"), "64", "64", "400", p],
                       check=True)
    sets = [xr.open_dataset(p, engine="stskit").load() for p in paths]
    one = best(lambda: stskit.compute(sets[0], threads=1))
    two = best(lambda: both(lambda ds: stskit.compute(ds, threads=1), *sets))
    print(f"compute: one grid {one:.3f} s, two on two threads {two:.3f} s, ratio {two / one:.2f}")

    # Opened once: each .values reads every pixel from the file again.
    lazy = [xr.open_dataset(p, engine="stskit", cache=False) for p in paths]

    def read(ds):
        ds["current"].values
    one = best(lambda: read(lazy[0]))
    two = best(lambda: both(read, *lazy))
    print(f"read:    one grid {one:.3f} s, two on two threads {two:.3f} s, ratio {two / one:.2f}")
