#!/usr/bin/env python3
"""The cost of the software extended type: normspec and pointmean built with
it (the "soft" preset) against the x87 long double build, on the same inputs.

normspec: the batch of bench/normspec_bench.py (200 spectra of 1000 points
and 20 of 10000).  pointmean: 100 files of 2000 rows.  Both builds run in
turn, best of 3; wall time and CPU time (user + system, from the kernel's
accounting of the child) are given, with their ratios.

    cmake --preset soft && cmake --build --preset soft --target normspec pointmean
    python3 bench/soft_extended_bench.py [hardware-build [software-build]]
                                          (default build/default build/soft)
"""
import os
import random
import resource
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from normspec_bench import make_batch  # noqa: E402


def timed(command, folder, stdin=None):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(command, cwd=folder, input=stdin, check=False, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu


def best_pair(runs, commands, folder, stdin=None):
    """Best wall and best CPU time of each command, running them in turn."""
    best = [[float("inf"), float("inf")] for _ in commands]
    for _ in range(runs):
        for k, command in enumerate(commands):
            wall, cpu = timed(command, folder, stdin)
            best[k][0] = min(best[k][0], wall)
            best[k][1] = min(best[k][1], cpu)
    return best


def report(name, best):
    (hw, hc), (sw, sc) = best
    print("%s: hardware %.2f s wall, %.2f s CPU; software %.2f s wall, %.2f s CPU; "
          "ratio %.2f wall, %.2f CPU" % (name, hw, hc, sw, sc, sw / hw, sc / hc))


def main():
    hardware = sys.argv[1] if len(sys.argv) > 1 else "build/default"
    software = sys.argv[2] if len(sys.argv) > 2 else "build/soft"
    tool = lambda build, name: os.path.abspath(os.path.join(build, name, name))
    folder = tempfile.mkdtemp(prefix="soft-extended-bench-")
    try:
        names = make_batch(folder)
        best = best_pair(3, [[tool(b, "normspec")] + names for b in (hardware, software)], folder)
        report("normspec, %d spectra" % len(names), best)
        rng = random.Random(5)
        files, rows = 100, 2000
        for k in range(1, files + 1):
            with open(os.path.join(folder, "stxt%dp.txt" % k), "w") as out:
                for j in range(rows):
                    out.write("%.6f %.6f\n" % (-1 + 2.0 * j / rows, rng.gauss(1.0, 0.1)))
        answer = ("%d\n%d\n" % (files, rows)).encode()
        best = best_pair(3, [[tool(b, "pointmean")] for b in (hardware, software)], folder, answer)
        report("pointmean, %d files x %d rows" % (files, rows), best)
    finally:
        shutil.rmtree(folder)


if __name__ == "__main__":
    main()
