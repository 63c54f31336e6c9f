#!/usr/bin/env python3
"""Times pointmean on M = 254 files of P = 2000 and of P = 4000 rows.

Besides pointmean itself it times the read-once-write-once floor
(pointmean_floor: every file read once in full, the same files written, each
in one write; also with fprintf rows) and, given --baseline, an older build
of pointmean on the same files, whose outputs must be byte for byte the same.

A run that reads each file on from where it stopped grows linearly with P
(ratio about 2); re-reading every file from its start for every point would
grow with P squared (ratio about 4).  Peak memory (maximum resident set, from
GNU time: apt-get install time) is reported too: it must not grow with P.

    python3 bench/pointmean_bench.py [build-dir] [--baseline old-build-dir] [--runs N]
                                                 (default build/default, 3 runs)

Wall times and processor times (user + system) are both the best of the
runs; on a shared machine the processor times are the steadier figure.
"""
import argparse
import filecmp
import os
import random
import shutil
import subprocess
import tempfile

FILES = 254


def make_series(folder, rows):
    rng = random.Random(rows)
    for k in range(1, FILES + 1):
        with open(os.path.join(folder, "stxt%dp.txt" % k), "w") as out:
            for j in range(rows):
                out.write("%.6f %.6f\n" % (-1 + 2.0 * j / rows, rng.gauss(1.0, 0.1)))


def timed(command, folder, answer, runs):
    """Best wall time of runs, best processor time (user + system) and the
    peak resident set (KiB) of the child."""
    best, best_cpu, peak = float("inf"), float("inf"), 0
    for _ in range(runs):
        # GNU time reports the child's own peak; a fork from Python would
        # count the interpreter's pages as well.
        done = subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M"] + command, input=answer,
                              cwd=folder, check=False, capture_output=True, text=True)
        seconds, user, system, kib = done.stderr.split()[-4:]
        best = min(best, float(seconds))
        best_cpu = min(best_cpu, float(user) + float(system))
        peak = max(peak, int(kib))
    return best, peak, best_cpu


def same_outputs(folder_a, folder_b, rows):
    names = ["pointmean.txt"] + ["statp%d.txt" % i for i in range(1, rows + 1)]
    match, mismatch, errors = filecmp.cmpfiles(folder_a, folder_b, names, shallow=False)
    return not mismatch and not errors


def measure(tools, rows, runs):
    folder = tempfile.mkdtemp(prefix="pointmean-bench-")
    try:
        make_series(folder, rows)
        answer = "%d\n%d\n" % (FILES, rows)
        results = {}
        for name, command, stdin in tools(rows):
            results[name] = timed(command, folder, answer if stdin else "", runs)
            if name == "new":
                reference = os.path.join(folder, "reference")
                os.mkdir(reference)
                for f in ["pointmean.txt"] + ["statp%d.txt" % i for i in range(1, rows + 1)]:
                    shutil.move(os.path.join(folder, f), reference)
            elif name == "old":
                results["identical"] = same_outputs(folder, os.path.join(folder, "reference"), rows)
        return results
    finally:
        shutil.rmtree(folder)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default="build/default")
    parser.add_argument("--baseline", help="build folder of the pointmean to compare with")
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    pointmean = os.path.abspath(os.path.join(args.build, "pointmean", "pointmean"))
    floor = os.path.abspath(os.path.join(args.build, "bench", "pointmean_floor"))

    def tools(rows):
        listed = [("new", [pointmean], True)]
        if args.baseline:
            listed.append(("old", [os.path.abspath(os.path.join(args.baseline, "pointmean",
                                                                "pointmean"))], True))
        listed.append(("floor", [floor, str(FILES), str(rows)], False))
        listed.append(("printf floor", [floor, "--printf", str(FILES), str(rows)], False))
        return listed

    figures = {rows: measure(tools, rows, args.runs) for rows in (2000, 4000)}
    for rows, r in figures.items():
        print("M = %d, P = %d (best of %d):" % (FILES, rows, args.runs))
        for name in ("new", "old", "floor", "printf floor"):
            if name in r:
                print("  %-13s %6.2f s wall  %6.2f s cpu  peak %6d KiB"
                      % (name, r[name][0], r[name][2], r[name][1]))
        print("  new / floor: %.2f (cpu %.2f)   new / printf floor: %.2f (cpu %.2f)"
              % (r["new"][0] / r["floor"][0], r["new"][2] / r["floor"][2],
                 r["new"][0] / r["printf floor"][0], r["new"][2] / r["printf floor"][2]))
        if "old" in r:
            print("  old / new (speed-up): %.1f (cpu %.1f)   outputs byte-identical: %s"
                  % (r["old"][0] / r["new"][0], r["old"][2] / r["new"][2],
                     "yes" if r["identical"] else "NO"))
    for name in ("new", "old"):
        if name in figures[2000]:
            print("time ratio P 4000 / 2000, %s: %.2f (cpu %.2f)   peak %d -> %d KiB"
                  % (name, figures[4000][name][0] / figures[2000][name][0],
                     figures[4000][name][2] / figures[2000][name][2],
                     figures[2000][name][1], figures[4000][name][1]))


if __name__ == "__main__":
    main()
