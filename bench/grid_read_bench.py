#!/usr/bin/env python3
"""Reads generated Nanonis grids of 64 x 64 and 256 x 256 pixels (1000
points, forward and backward current) pixel by pixel through the readers
library, and prints the peak memory of each run and their ratio (it must
not grow with the number of pixels), and pixels/s on 1 and 2 threads.

    python3 bench/grid_read_bench.py [build-dir]     (default build/default)
"""
import array
import math
import os
import shutil
import subprocess
import sys
import tempfile

POINTS = 1000
CHANNELS = ["Current (A)", "Current [bwd] (A)"]


def write_grid(path, n):
    header = (
        'Grid dim="%d x %d"\r\nGrid settings=0;0;1E-8;1E-8;0\r\nFiletype=Linear\r\n'
        'Sweep Signal="Bias (V)"\r\nFixed parameters="Sweep Start;Sweep End"\r\n'
        'Experiment parameters="X (m);Y (m)"\r\n# Parameters (4 byte)=4\r\n'
        "Experiment size (bytes)=%d\r\nPoints=%d\r\nChannels=\"%s\"\r\n:HEADER_END:\r\n"
        % (n, n, len(CHANNELS) * POINTS * 4, POINTS, ";".join(CHANNELS)))
    curve = array.array("f", [1e-9 * math.sinh(2 * (-1 + 2 * k / (POINTS - 1)))
                              for k in range(POINTS)] * len(CHANNELS))
    if sys.byteorder == "little":
        curve.byteswap()
    body = curve.tobytes()
    with open(path, "wb") as out:
        out.write(header.encode())
        for p in range(n * n):
            params = array.array("f", [-1.0, 1.0, (p % n) * 1e-9, (p // n) * 1e-9])
            if sys.byteorder == "little":
                params.byteswap()
            out.write(params.tobytes())
            out.write(body)


def run(command):
    """The command's output and its peak resident memory in MB."""
    child = subprocess.Popen(command, stdout=subprocess.PIPE, text=True)
    out = child.stdout.read()
    _, status, usage = os.wait4(child.pid, 0)
    if status != 0:
        sys.exit("failed: %s" % " ".join(command))
    return out.strip(), usage.ru_maxrss / 1024.0


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/default"
    reader = os.path.abspath(os.path.join(build, "bench", "grid_read"))
    work = tempfile.mkdtemp(prefix="grid-read-bench-")
    try:
        peaks = {}
        for n in (64, 256):
            grid = os.path.join(work, "g%d.3ds" % n)
            write_grid(grid, n)
            for threads in (1, 2):
                out, peak = run([reader, grid, str(threads)])
                peaks.setdefault(n, peak)
                print("%3d x %3d, %.0f MB file: %s; peak %.1f MB"
                      % (n, n, os.path.getsize(grid) / 1e6, out, peak))
            os.remove(grid)
        print("peak memory 256 x 256 / 64 x 64: %.2f" % (peaks[256] / peaks[64]))
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
