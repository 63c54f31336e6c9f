#!/usr/bin/env python3
"""Process-level fuzzing of the whole binaries (use the sanitizer build).

Random spectrum files (numbers, words, odd spellings, NUL and other bytes,
long lines), random argument lists and random prompt answers go through
normspec and pointmean.  Every run must end with one of the tools' own exit
statuses, never a signal; standard error must be empty or exactly the
three-line numerical error with one of the library's messages; a sanitizer
report anywhere is a failure.  A failing case is kept in a folder and named.

    python3 fuzz/process_fuzz.py --seconds 20 --build build/sanitize
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

MESSAGES = {
    "Bad XA input to routine SPLINT",
    "Error in routine POLINT",
    "allocation failure in vector()",
    "Deconvolving at response zero in CONVLV",
    "No meaning for ISIGN in CONVLV",
}
TOKENS = ["0.1", "-0.25", "1e-3", "2E+1", "0x1p-2", "inf", "-inf", "nan", "nan(1)", "1e39",
          "-1e39", "1e-50", "0", "-0", "1e", "1e+", "+-1", ".", "-", "x", "abc", "1.5abc",
          "\n", "\r\n", "\t", "  ", "\0", "\xff\xfe", "3", "-7.5", "0.000001", "99999999"]


def random_spectrum(rng):
    kind = rng.random()
    if kind < 0.5:  # a plausible curve, maybe with awkward points
        n = rng.choice([0, 1, 2, 3, 4, 5, 10, 50, 200, 1000])
        points = []
        for k in range(n):
            v = rng.choice([-1.0 + 2.0 * k / max(n, 1), rng.uniform(-3, 3), 0.0, 0.5])
            points.append("%.6g %.6g" % (v, rng.gauss(v, 0.1)))
        text = rng.choice([" ", "\n", "\t"]).join(points)
        if rng.random() < 0.3:
            text += " " + rng.choice(TOKENS)
        return text.encode("latin-1")
    if kind < 0.85:  # token soup
        return " ".join(rng.choice(TOKENS) for _ in range(rng.randint(0, 60))).encode("latin-1")
    if kind < 0.95:  # raw bytes
        return bytes(rng.randrange(256) for _ in range(rng.randint(0, 400)))
    # one long line
    return ("1" * rng.randint(1000, 200000) + " 2 3 4").encode()


def check_error_stream(err, out_dir, case):
    text = err.decode("latin-1")
    if "Sanitizer" in text or "runtime error" in text:
        return "sanitizer report"
    if text == "":
        return None
    lines = text.split("\n")
    if (len(lines) == 4 and lines[0] == "Vantrel run-time error..." and lines[1] in MESSAGES
            and lines[2] == "...now exiting to system..." and lines[3] == ""):
        return None
    return "unexpected standard error"


def run(cmd, cwd, stdin):
    return subprocess.run(cmd, cwd=cwd, input=stdin, capture_output=True, timeout=120)


def normspec_case(rng, bin_dir, folder):
    names = []
    for k in range(rng.randint(0, 4)):
        name = rng.choice(["f%d" % k, "s%d" % (k + 1), "sp ace %d" % k, "q'\"%d" % k,
                           "\xe9t\xe9%d" % k, "-x%d" % k])
        with open(os.path.join(folder, name), "wb") as out:
            out.write(random_spectrum(rng))
        names.append(name)
    if rng.random() < 0.1:
        os.makedirs(os.path.join(folder, "dir"), exist_ok=True)
        names.append("dir")
    args = []
    for _ in range(rng.randint(0, 3)):
        args.append(rng.choice(["-a", "-c", "-e", "-n", "-s", "-l", "-h", "-x", "-", "-ne",
                                "-help", "--", "-S"]))
    args += rng.sample(names, len(names)) + (["missing"] if rng.random() < 0.2 else [])
    stdin = rng.choice([b"", b"0\n", b"2\n", b"3 apples", b"-1", b"abc", b"2147483648",
                        b"99999999999", b"  \n 1"])
    r = run([os.path.join(bin_dir, "normspec", "normspec")] + args, folder, stdin)
    if r.returncode not in (0, 1):
        return "exit status %d" % r.returncode, args, stdin
    problem = check_error_stream(r.stderr, folder, args)
    return problem, args, stdin


def pointmean_case(rng, bin_dir, folder):
    files = rng.randint(1, 6)
    for k in range(1, files + 1):
        if rng.random() < 0.9:
            with open(os.path.join(folder, "stxt%dp.txt" % k), "wb") as out:
                out.write(random_spectrum(rng))
    answers = rng.choice(["%d %d" % (rng.randint(-1, files + 1), rng.randint(-1, 30)),
                          "%d\n%d\n" % (files, rng.randint(1, 50)), "", "x", "3", "2 y",
                          "2147483648 1", "2 99999999999"])
    r = run([os.path.join(bin_dir, "pointmean", "pointmean")], folder, answers.encode())
    if r.returncode not in (1, 99):
        return "exit status %d" % r.returncode, [], answers
    if r.stderr:
        return "standard error not empty: %r" % r.stderr[:200], [], answers
    return None, [], answers


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--build", default="build/sanitize")
    parser.add_argument("--seed", type=int, default=None)
    options = parser.parse_args()
    seed = options.seed if options.seed is not None else int(time.time())
    rng = random.Random(seed)
    bin_dir = os.path.abspath(options.build)
    deadline = time.time() + options.seconds
    runs = {"normspec": 0, "pointmean": 0}
    while time.time() < deadline:
        folder = tempfile.mkdtemp(prefix="process-fuzz-")
        tool = rng.choice(["normspec", "pointmean"])
        case = normspec_case if tool == "normspec" else pointmean_case
        problem, args, stdin = case(rng, bin_dir, folder)
        runs[tool] += 1
        if problem:
            print("process fuzz: %s: %s (seed %d, args %r, input %r); files kept in %s"
                  % (tool, problem, seed, args, stdin, folder))
            return 1
        shutil.rmtree(folder)
    print("process fuzz: %d normspec runs, %d pointmean runs, no failure (seed %d)"
          % (runs["normspec"], runs["pointmean"], seed))
    return 0


if __name__ == "__main__":
    sys.exit(main())
