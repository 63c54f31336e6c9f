#!/usr/bin/env python3
"""Imports a 128 x 128 Nanonis grid of 400-point spectra and compares the
time with a plain cp of the same grid file and of the output folder.

    python3 bench/stsimport_bench.py [build-dir]     (default build/default)
"""
import array
import math
import os
import shutil
import subprocess
import sys
import tempfile
import time

NX = NY = 128
POINTS = 400
CHANNELS = ["Current (A)", "Current [bwd] (A)"]


def write_grid(path):
    header = (
        'Grid dim="%d x %d"\r\nGrid settings=0;0;1E-8;1E-8;0\r\nFiletype=Linear\r\n'
        'Sweep Signal="Bias (V)"\r\nFixed parameters="Sweep Start;Sweep End"\r\n'
        'Experiment parameters="X (m);Y (m)"\r\n# Parameters (4 byte)=4\r\n'
        "Experiment size (bytes)=%d\r\nPoints=%d\r\nChannels=\"%s\"\r\n"
        "Bias Spectroscopy>Sweep Start (V)=-1E+0\r\nBias Spectroscopy>Sweep End (V)=1E+0\r\n"
        ":HEADER_END:\r\n" % (NX, NY, len(CHANNELS) * POINTS * 4, POINTS, ";".join(CHANNELS)))
    curve = [1e-9 * math.sinh(2 * (-1 + 2 * k / (POINTS - 1))) for k in range(POINTS)]
    with open(path, "wb") as out:
        out.write(header.encode())
        for p in range(NX * NY):
            values = array.array("f", [-1.0, 1.0, (p % NX) * 1e-9, (p // NX) * 1e-9])
            scale = 1 + 0.001 * (p % 97)
            values.extend(v * scale for v in curve)
            values.extend(v * scale * 1.01 for v in curve)
            if sys.byteorder == "little":
                values.byteswap()
            out.write(values.tobytes())


def timed(command, cwd):
    subprocess.run(["sync"], check=False)
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["sync"], check=False)
    return time.perf_counter() - start


def size_of(path):
    if os.path.isfile(path):
        return os.path.getsize(path)
    return sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(path) for f in fs)


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/default"
    stsimport = os.path.abspath(os.path.join(build, "stsimport", "stsimport"))
    work = tempfile.mkdtemp(prefix="stsimport-bench-")
    try:
        grid = os.path.join(work, "grid.3ds")
        write_grid(grid)
        grid_mb = size_of(grid) / 1e6
        t_import = timed([stsimport, "-o", "out", "grid.3ds"], work)
        out_mb = size_of(os.path.join(work, "out")) / 1e6
        t_cp_grid = timed(["cp", "grid.3ds", "grid-copy.3ds"], work)
        t_cp_out = timed(["cp", "-r", "out", "out-copy"], work)
        print("grid: %d x %d pixels, %d points, %.1f MB; output: %d files, %.1f MB"
              % (NX, NY, POINTS, grid_mb, NX * NY + 1, out_mb))
        print("stsimport:       %.2f s  (%.1f MB/s read, %.1f MB/s written)"
              % (t_import, grid_mb / t_import, out_mb / t_import))
        print("cp of the grid:  %.2f s  (%.1f MB/s)" % (t_cp_grid, grid_mb / t_cp_grid))
        print("cp of the output: %.2f s  (%.1f MB/s)" % (t_cp_out, out_mb / t_cp_out))
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
