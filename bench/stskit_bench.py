#!/usr/bin/env python3
"""stskit's speed against its references, each pair measured in one run
(best of a few, in turns, so that the machine's load falls on both):

1. stskit.compute on a 128 x 128 x 400 grid held in memory against the
   stsgrid command on the same grid (its whole run: reading, computing,
   writing), both on the same number of threads;
2. xr.open_dataset(...)["current"].isel(bias=k) on a 256 x 256 x 1000 .3ds
   (lazy) against NumPy reading those bytes from the file (a memory map
   of the pixels' records, the column k of the current);
3. the same file opened with chunks= (Dask) against without (xarray's
   own lazy indexing), .isel of a pixel, of a bias and of a row: the
   Dask graph's cost on top of the read;
4. stskit.dask.process over 8 generated grids (96 x 96 x 400) on a
   LocalCluster of 2 single-threaded worker processes against 1.

Grids from bench/make_grid, in /dev/shm where there is one (so that the
disk's sync of each written file is not what is measured: on the shared
machine's disk, 8 files of 90 MB took as long on 2 workers as on 1).
Prints the times and ratios.

    /usr/bin/python3 bench/stskit_bench.py [build-dir] [--threads 2] [--repeats 3]
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

import numpy as np

parser = argparse.ArgumentParser()
parser.add_argument("build", nargs="?", default="build/dev")
parser.add_argument("--threads", type=int, default=2)
parser.add_argument("--repeats", type=int, default=5)
args = parser.parse_args()
build = os.path.abspath(args.build)
os.environ["PYTHONPATH"] = os.path.join(build, "python") + os.pathsep + \
    os.environ.get("PYTHONPATH", "")  # for the Dask workers
sys.path.insert(0, os.path.join(build, "python"))
import xarray as xr  # noqa: E402

import stskit  # noqa: E402

MAKE_GRID = os.path.join(build, "bench", "make_grid")
STSGRID = os.path.join(build, "stsgrid", "stsgrid")


def seconds(f):
    start = time.perf_counter()
    f()
    return time.perf_counter() - start


def paired(a, b, repeats):
    """Best times of a and b, run in turns."""
    ta, tb = [], []
    for _ in range(repeats):
        ta.append(seconds(a))
        tb.append(seconds(b))
    return min(ta), min(tb)


def make(path, nx, ny, points):
    subprocess.run([MAKE_GRID, str(nx), str(ny), str(points), path], check=True)


def compute_against_stsgrid(folder):
    path = os.path.join(folder, "c.3ds")
    make(path, 128, 128, 400)
    ds = xr.open_dataset(path, engine="stskit").load()
    out = os.path.join(folder, "c.nc")
    cli = [STSGRID, "--no-progress", "-j", str(args.threads), "-o", out, path]
    ours, theirs = paired(lambda: stskit.compute(ds, threads=args.threads),
                          lambda: subprocess.run(cli, check=True, stdout=subprocess.DEVNULL),
                          args.repeats)
    print(f"compute 128x128x400 in memory, {args.threads} threads: stskit.compute {ours:.3f} s, "
          f"stsgrid {theirs:.3f} s, ratio {ours / theirs:.2f}")


def numpy_column(path, k):
    """Bias point k of the forward current of every pixel, from the bytes."""
    with open(path, "rb") as f:
        head = f.read(1 << 20)
    end = head.index(b":HEADER_END:")
    text = head[:end].decode("latin-1")
    value = lambda key: re.search(r"^%s=(.*?)\r?$" % re.escape(key), text, re.M).group(1)
    nx, ny = (int(v) for v in value("Grid dim").strip('"').split(" x "))
    points = int(value("Points"))
    parameters = int(value("# Parameters (4 byte)"))
    channels = len(value("Channels").strip('"').split(";"))
    data = np.memmap(path, dtype=">f4", mode="r", offset=end + len(":HEADER_END:\r\n"),
                     shape=(ny, nx, parameters + channels * points))
    return data[:, :, parameters + k].astype(np.float32)


def lazy_slice_against_numpy(folder):
    path = os.path.join(folder, "big.3ds")
    make(path, 256, 256, 1000)
    k = 500
    lazy = lambda: xr.open_dataset(path, engine="stskit")["current"].isel(bias=k).values
    # The same values (the engine's in nA, the tools' unit).
    assert np.allclose(lazy(), numpy_column(path, k) * 1e9, rtol=1e-6)
    ours, theirs = paired(lazy, lambda: numpy_column(path, k), args.repeats)
    print(f"isel(bias=k) on 256x256x1000 .3ds: stskit {ours:.3f} s, NumPy {theirs:.3f} s, "
          f"ratio {ours / theirs:.2f}")
    os.remove(path)


def chunks_against_eager(folder):
    path = os.path.join(folder, "big.3ds")
    make(path, 256, 256, 1000)
    picks = {"pixel": dict(x=100, y=50), "bias": dict(bias=500), "row": dict(y=50)}
    for name, pick in picks.items():
        eager = lambda: xr.open_dataset(path, engine="stskit")["current"].isel(**pick).values
        lazy = lambda: xr.open_dataset(path, engine="stskit",
                                       chunks={"y": 64, "x": 64})["current"].isel(**pick).values
        assert np.array_equal(lazy(), eager(), equal_nan=True)
        ours, theirs = paired(lazy, eager, args.repeats)
        print(f"isel {name} of 256x256x1000 .3ds: chunks 64x64 {ours:.3f} s, without "
              f"{theirs:.3f} s, ratio {ours / theirs:.2f}")
    os.remove(path)


def dask_workers(folder):
    from distributed import Client, LocalCluster
    paths = [os.path.join(folder, f"d{i}.3ds") for i in range(8)]
    for p in paths:
        make(p, 96, 96, 400)
    times, busy = {}, {}
    for workers in (1, 2):
        with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                          host="127.0.0.1", dashboard_address=None) as cluster, \
                Client(cluster) as client:
            stskit.dask.process(paths[:workers], client)  # the workers' imports
            for _ in range(max(1, args.repeats - 1)):
                start = time.perf_counter()
                runs = stskit.dask.process(paths, client)
                wall = time.perf_counter() - start
                if wall < times.get(workers, 1e9):
                    # The share of the workers' time spent in the runs themselves:
                    # what Dask's scheduling leaves of the speed-up.
                    times[workers] = wall
                    busy[workers] = sum(r["seconds"] for r in runs) / (wall * workers)
    print(f"dask.process 8 grids 96x96x400: 1 worker {times[1]:.3f} s, 2 workers "
          f"{times[2]:.3f} s, speed-up {times[1] / times[2]:.2f}; workers busy in the runs "
          f"{busy[1]:.2f} and {busy[2]:.2f} of the time")


if __name__ == "__main__":
    print(f"load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores")
    memory = "/dev/shm" if os.path.isdir("/dev/shm") else None
    with tempfile.TemporaryDirectory(dir=memory) as folder:
        compute_against_stsgrid(folder)
        lazy_slice_against_numpy(folder)
        chunks_against_eager(folder)
        dask_workers(folder)
    print(f"load average {os.getloadavg()[0]:.1f}")
