#!/usr/bin/env python3
"""Times normspec over a batch of spectra against a read-and-write floor.

Batch: 200 spectra of 1000 points and 20 of 10000 points (synthetic, written
to a temporary folder).  The floor (normspec_floor) reads the same pairs and
writes the same six files of the same rows, with no computation.

    python3 bench/normspec_bench.py [build-dir]     (default build/default)
"""
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time


def make_batch(folder):
    rng = random.Random(7)
    names = []
    for count, n in ((200, 1000), (20, 10000)):
        for k in range(count):
            name = "b%d_%d.dat" % (n, k)
            with open(os.path.join(folder, name), "w") as out:
                for j in range(n):
                    v = -1.0 + 2.0 * (j + 0.5) / n
                    out.write("%.6f %.6f\n" % (v, math.sinh(2 * v) + rng.gauss(0, 0.01)))
            names.append(name)
    return names


def best_of(runs, command, folder):
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, cwd=folder, check=True, stdout=subprocess.DEVNULL)
        best = min(best, time.perf_counter() - start)
    return best


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/default"
    normspec = os.path.abspath(os.path.join(build, "normspec", "normspec"))
    floor = os.path.abspath(os.path.join(build, "bench", "normspec_floor"))
    folder = tempfile.mkdtemp(prefix="normspec-bench-")
    try:
        names = make_batch(folder)
        spectra = len(names)
        t_tool = best_of(3, [normspec] + names, folder)
        t_floor = best_of(3, [floor] + names, folder)
        print("batch: %d spectra (200 x 1000 points, 20 x 10000 points)" % spectra)
        print("normspec: %.3f s  %.1f spectra/s" % (t_tool, spectra / t_tool))
        print("floor:    %.3f s  %.1f spectra/s" % (t_floor, spectra / t_floor))
        print("ratio normspec / floor: %.2f" % (t_tool / t_floor))
    finally:
        shutil.rmtree(folder)


if __name__ == "__main__":
    main()
