#!/usr/bin/env python3
"""Times normspec over a batch of spectra against a read-and-write floor.

Batch: 200 spectra of 1000 points and 20 of 10000 points (synthetic, written
to a temporary folder).  Besides normspec it times:
- the printf floor (normspec_floor): the same pairs read, the same six files
  of the same rows written with the C library's fprintf, no computation;
- bench/normspec_numpy.py, the same computation as a numpy/scipy script,
  where /usr/bin/python3 has numpy and scipy;
- with --baseline (repeatable), older builds of normspec, whose result files
  must be byte for byte the same.
Where strace is installed it also counts the write calls per result file.

    python3 bench/normspec_bench.py [build-dir] [--baseline old-build-dir]... [--runs N]
                                            (default build/default, 3 runs)

Times are the best of the runs, wall clock and processor (user + system);
on a shared machine the processor times are the steadier figure.
"""
import argparse
import filecmp
import math
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

SUFFIXES = ["didv.txt", "iv.txt", "i.txt", "exp.txt", "coff.txt", "raw.txt"]
NUMPY_PYTHON = "/usr/bin/python3"


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
    """Best wall and best processor time (user + system) of the runs."""
    wall, cpu = float("inf"), float("inf")
    for _ in range(runs):
        done = subprocess.run(["/usr/bin/time", "-f", "%e %U %S"] + command, cwd=folder,
                              check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                              text=True)
        seconds, user, system = done.stderr.split()[-3:]
        wall, cpu = min(wall, float(seconds)), min(cpu, float(user) + float(system))
    return wall, cpu


def write_calls(command, folder, files):
    """Write calls and bytes per result file (descriptors past the standard
    streams), from one run under strace; None without strace."""
    if shutil.which("strace") is None:
        return None
    trace = os.path.join(folder, "strace.out")
    subprocess.run(["strace", "-qq", "-e", "trace=write", "-o", trace] + command, cwd=folder,
                   check=True, stdout=subprocess.DEVNULL)
    calls = written = 0
    with open(trace) as lines:
        for line in lines:
            m = re.match(r"write\((\d+),.*\)\s+=\s+(-?\d+)", line)
            if m and int(m.group(1)) > 2:
                calls += 1
                written += max(0, int(m.group(2)))
    os.remove(trace)
    return calls / files, written / calls


def keep_results(folder, names, into):
    os.mkdir(into)
    for name in names:
        for suffix in SUFFIXES:
            shutil.move(os.path.join(folder, name + suffix), into)


def same_results(folder, names, reference):
    files = [name + suffix for name in names for suffix in SUFFIXES]
    _, mismatch, errors = filecmp.cmpfiles(folder, reference, files, shallow=False)
    return not mismatch and not errors


def has_numpy_scipy():
    if not os.path.exists(NUMPY_PYTHON):
        return False
    return subprocess.run([NUMPY_PYTHON, "-c", "import numpy, scipy.interpolate, scipy.signal"],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default="build/default")
    parser.add_argument("--baseline", action="append", default=[],
                        help="build folder of an older normspec (repeatable)")
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    normspec = os.path.abspath(os.path.join(args.build, "normspec", "normspec"))
    floor = os.path.abspath(os.path.join(args.build, "bench", "normspec_floor"))
    numpy_script = os.path.abspath(os.path.join(os.path.dirname(__file__), "normspec_numpy.py"))

    folder = tempfile.mkdtemp(prefix="normspec-bench-")
    try:
        names = make_batch(folder)
        spectra = len(names)
        files = spectra * len(SUFFIXES)
        rows = [("normspec", [normspec] + names)]
        rows += [("old " + b, [os.path.abspath(os.path.join(b, "normspec", "normspec"))] + names)
                 for b in args.baseline]
        rows.append(("printf floor", [floor] + names))
        if has_numpy_scipy():
            rows.append(("numpy/scipy", [NUMPY_PYTHON, numpy_script] + names))
        times = {}
        identical = {}
        for label, command in rows:
            times[label] = best_of(args.runs, command, folder)
            if label == "normspec":
                keep_results(folder, names, os.path.join(folder, "reference"))
            elif label.startswith("old "):
                identical[label] = same_results(folder, names, os.path.join(folder, "reference"))

        print("batch: %d spectra (200 x 1000 points, 20 x 10000 points), %d result files, "
              "best of %d" % (spectra, files, args.runs))
        new_wall, new_cpu = times["normspec"]
        for label, _ in rows:
            wall, cpu = times[label]
            print("  %-28s %6.3f s wall  %6.3f s cpu   %6.2fx / %6.2fx of normspec"
                  % (label, wall, cpu, wall / new_wall, cpu / new_cpu))
        for label, same in identical.items():
            print("  result files of %s byte-identical: %s" % (label, "yes" if same else "NO"))
        for label, command in rows[:1 + len(args.baseline)]:
            counted = write_calls(command, folder, files)
            if counted:
                print("  %-28s %.1f writes per result file, %.0f bytes per write"
                      % (label, counted[0], counted[1]))
        if not has_numpy_scipy():
            print("  (numpy/scipy script skipped: %s cannot import numpy and scipy)" % NUMPY_PYTHON)
    finally:
        shutil.rmtree(folder)


if __name__ == "__main__":
    main()
