#!/usr/bin/env python3
"""Times pointmean on M = 254 files of P = 2000 and of P = 4000 rows.

A run that reads each file on from where it stopped grows linearly with P
(ratio about 2); re-reading every file from its start for every point would
grow with P squared (ratio about 4).  Peak memory (maximum resident set, from
GNU time: apt-get install time) is reported too: it must not grow with P.

    python3 bench/pointmean_bench.py [build-dir]    (default build/default)
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

FILES = 254


def run(pointmean, rows):
    folder = tempfile.mkdtemp(prefix="pointmean-bench-")
    try:
        rng = random.Random(rows)
        for k in range(1, FILES + 1):
            with open(os.path.join(folder, "stxt%dp.txt" % k), "w") as out:
                for j in range(rows):
                    out.write("%.6f %.6f\n" % (-1 + 2.0 * j / rows, rng.gauss(1.0, 0.1)))
        # GNU time reports the child's own peak; a fork from Python would
        # count the interpreter's pages as well.
        answer = "%d\n%d\n" % (FILES, rows)
        done = subprocess.run(["/usr/bin/time", "-f", "%e %M", pointmean], input=answer,
                              cwd=folder, check=False, capture_output=True, text=True)
        seconds, peak = done.stderr.split()[-2:]
        return float(seconds), int(peak)
    finally:
        shutil.rmtree(folder)


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/default"
    pointmean = os.path.abspath(os.path.join(build, "pointmean", "pointmean"))
    t1, m1 = run(pointmean, 2000)
    t2, m2 = run(pointmean, 4000)
    print("M = %d, P = 2000: %.2f s, peak %d KiB" % (FILES, t1, m1))
    print("M = %d, P = 4000: %.2f s, peak %d KiB" % (FILES, t2, m2))
    print("time ratio: %.2f" % (t2 / t1))


if __name__ == "__main__":
    main()
