#!/usr/bin/env python3
"""Runs two builds of the tools on the same inputs and compares every result
file, standard output, standard error and exit status byte for byte.

    python3 scripts/compare_runs.py REFERENCE CANDIDATE [--runner CMD]
                                    [--realdata DIR] [--name LABEL]
                                    [--tools normspec,pointmean,stsimport,stsgrid]

REFERENCE and CANDIDATE are build folders (holding normspec/normspec,
pointmean/pointmean and, for --tools, stsimport/stsimport, stsgrid/stsgrid
and bench/make_grid).  --tools defaults to normspec and pointmean, the two
that every processor's build has.  A netCDF file whose bytes differ is
compared again through ncdump's text at full precision, so that a change of
chunk layout alone is told apart from a change of values.  --runner is put before the candidate's programs, for
example qemu-aarch64 for a cross-built one (the program is then named with
qemu's -0 option, so that both see the same argv[0]).  The inputs: the
example spectra, the real measured curves (--realdata, default
$NORMSPEC_REALDATA or ../shared/realdata, skipped when absent), and
generated hostile spectra (NaN, infinities, zero and repeated biases, float
overflow and subnormals, one or two points, noise, bad text).  Exit status
0 when everything is identical, 1 otherwise.
"""
import argparse
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def sweep(n, lo=-1.0, hi=1.0, current=lambda v: math.sinh(2 * v), fmt="%.6f %.6f\n"):
    text = []
    for j in range(n):
        v = lo + (hi - lo) * j / (n - 1) if n > 1 else lo
        text.append(fmt % (v, current(v)))
    return "".join(text)


def hostile_spectra():
    """Name -> text of spectra meant to reach every awkward path."""
    rng = random.Random(13)
    s = {}
    lines = sweep(100).splitlines(True)
    lines[60] = lines[60].split()[0] + " nan\n"
    s["nan_current.dat"] = "".join(lines)
    s["nan_all.dat"] = "".join("%f nan\n" % (0.01 * j) for j in range(-50, 50))
    s["inf_bias.dat"] = sweep(60) + "inf 1.0\n"
    s["minus_inf.dat"] = "-inf -inf\n" + sweep(60)
    s["zero_bias.dat"] = sweep(101)
    s["zero_current.dat"] = sweep(80, current=lambda v: 0.0)
    s["repeated.dat"] = "".join("%f %f\n" % (0.1 * (j // 3), j) for j in range(-30, 30))
    s["constant_bias.dat"] = "".join("0.5 %f\n" % j for j in range(20))
    s["huge.dat"] = sweep(64, current=lambda v: 3e38 * v, fmt="%.6g %.9g\n")
    s["huge_bias.dat"] = sweep(64, lo=-3e38, hi=3e38, current=lambda v: v / 1e38, fmt="%.9g %.6f\n")
    s["tiny.dat"] = sweep(64, current=lambda v: 1e-42 * v, fmt="%.6f %.9g\n")
    s["tiny_bias.dat"] = sweep(64, lo=-1e-40, hi=1e-40, fmt="%.9g %.6f\n")
    s["amperes.dat"] = sweep(200, current=lambda v: 1e-9 * math.sinh(3 * v), fmt="%.6f %.9g\n")
    s["one_point.dat"] = "0.5 1.0\n"
    s["two_points.dat"] = "-0.5 -1.0\n0.5 1.0\n"
    s["three_points.dat"] = "-0.5 -1.0\n0.1 0.3\n0.5 1.0\n"
    s["descending.dat"] = "".join(reversed(sweep(300).splitlines(True)))
    lines = sweep(500).splitlines(True)
    rng.shuffle(lines)
    s["unsorted.dat"] = "".join(lines)
    s["noise.dat"] = "".join("%.7g %.7g\n" % (rng.uniform(-2, 2), rng.gauss(0, 1)) for _ in range(10000))
    s["negative_zero.dat"] = "-0.0 -0.0\n0.0 0.0\n" + sweep(30, lo=0.1, hi=1.0)
    s["steps.dat"] = "".join("%.9g %.9g\n" % (1e-7 * j, (-1) ** j * 1e30) for j in range(-40, 40))
    # NaNs of both signs (and payloads) meeting infinities and each other.
    specials = ["nan", "-nan", "nan(0x1234)", "-nan(0x7)", "inf", "-inf", "3e38", "-3e38"]
    for k in range(6):
        rows = []
        for j in range(rng.choice((8, 64, 300))):
            v = "%.6f" % (-1 + 2.0 * j / 300)
            c = "%.6f" % math.sinh(2 * (-1 + 2.0 * j / 300))
            if rng.random() < 0.2:
                c = rng.choice(specials)
            if rng.random() < 0.05:
                v = rng.choice(specials)
            rows.append("%s %s\n" % (v, c))
        s["nan_mix_%d.dat" % k] = "".join(rows)
    s["garbage.dat"] = "bias current\n1.0 2.0\n"
    s["text_tail.dat"] = sweep(50) + "end of data\n"
    s["empty.dat"] = ""
    return s


def normspec_cases(realdata):
    ex = os.path.join(ROOT, "examples")
    examples = {n: os.path.join(ex, n) for n in ("metal.dat", "semiconductor.dat", "s1", "s2", "s3")}
    cases = [("normspec examples", ["metal.dat", "semiconductor.dat"], "", examples),
             ("normspec series", ["-l"], "3\n", examples),
             ("normspec help", ["-h"], "", {})]
    for switches in (["-n"], ["-e"], ["-c"], ["-s", "-n"], ["-a", "-s"]):
        cases.append(("normspec %s" % " ".join(switches), switches + ["metal.dat"], "", examples))
    # One run each: a numerical error ends a run at its file.
    for name, text in sorted(hostile_spectra().items()):
        cases.append(("normspec hostile %s" % name, [name], "", {name: text}))
    if realdata:
        curves = {n: os.path.join(realdata, n) for n in sorted(os.listdir(realdata)) if n.endswith(".txt")}
        cases.append(("normspec real curves", sorted(curves), "", curves))
    return cases


def series(values_per_file):
    """pointmean input files stxt<k>p.txt from lists of (bias, value) rows;
    a value given as text is written as it is (signed NaNs)."""
    def row(bias, value):
        return "%.6f %s\n" % (bias, value if isinstance(value, str) else "%.9g" % value)
    return {"stxt%dp.txt" % (k + 1): "".join(row(*r) for r in rows)
            for k, rows in enumerate(values_per_file)}


def pointmean_cases(realdata):
    ex = os.path.join(ROOT, "examples")
    examples = {"stxt%dp.txt" % k: os.path.join(ex, "stxt%dp.txt" % k) for k in (1, 2, 3)}
    rng = random.Random(17)
    biases = [0.01 * j for j in range(-20, 20)]
    cases = [("pointmean examples", [], "3\n250\n", examples),
             ("pointmean fewer rows than points", [], "3\n260\n", examples)]
    hostile = [
        ("nan and inf", [[(v, rng.gauss(1, 0.1)) for v in biases] for _ in range(4)]
         + [[(v, float("nan") if j % 3 == 0 else float("inf")) for j, v in enumerate(biases)]]),
        ("equal values", [[(v, 0.25) for v in biases] for _ in range(5)]),
        ("zero mean", [[(v, (-1) ** k * 0.5) for v in biases] for k in range(6)]),
        ("overflowing squares", [[(v, (-1) ** k * 3e38) for v in biases] for k in range(3)]),
        ("subnormal values", [[(v, rng.uniform(-1, 1) * 1e-41) for v in biases] for _ in range(4)]),
        ("noise", [[(v, rng.gauss(0, 1) * 10 ** rng.randint(-8, 8)) for v in biases] for _ in range(30)]),
        ("nan mixture", [[(v, rng.choice(["nan", "-nan", "nan(0x99)", "inf", "-inf", "1.5", "-2"]))
                          for v in biases] for _ in range(7)]),
    ]
    for name, files in hostile:
        cases.append(("pointmean %s" % name, [], "%d\n%d\n" % (len(files), len(biases)), series(files)))
    if realdata:
        for prefix, count in (("gxsm2022_au111_77K_", 5), ("nanonis2025_pbline_", 10)):
            paths = [os.path.join(realdata, "%s%d.txt" % (prefix, k)) for k in range(1, count + 1)]
            if all(os.path.exists(p) for p in paths):
                with open(paths[0]) as f:
                    rows = sum(1 for _ in f)
                files = {"stxt%dp.txt" % (k + 1): p for k, p in enumerate(paths)}
                cases.append(("pointmean real %s*" % prefix, [], "%d\n%d\n" % (count, rows), files))
    return cases


def raw_folder(realdata):
    raw = os.path.join(realdata, "raw") if realdata else None
    return raw if raw and os.path.isdir(raw) else None


def stsimport_cases(realdata):
    ex = os.path.join(ROOT, "examples")
    cases = [("stsimport example pairs", ["metal.dat"], "", {"metal.dat": os.path.join(ex, "metal.dat")})]
    raw = raw_folder(realdata)
    if not raw:
        return cases
    for name in sorted(os.listdir(raw)):
        path = os.path.join(raw, name)
        if os.path.isdir(path):
            for inner in sorted(os.listdir(path)):
                files = {n: os.path.join(path, n) for n in os.listdir(path)}
                cases.append(("stsimport raw %s/%s" % (name, inner), [inner, "-o", "out"], "", files))
            continue
        if name.endswith(".md"):
            continue
        for direction in ("fwd", "bwd", "mean"):
            cases.append(("stsimport raw %s -d %s" % (name, direction),
                          [name, "-d", direction, "-o", "out"], "", {name: path}))
        cases.append(("stsimport raw %s --each-sweep" % name, [name, "--each-sweep", "-o", "out"], "",
                      {name: path}))
    return cases


def stsgrid_cases(realdata, generated):
    options = ["--map=-0.3,0.3", "--mean-plot", "--mean-text", "--pointmean", "pm.txt"]
    cases = [("stsgrid generated", ["grid.3ds"] + options, "", {"grid.3ds": generated}),
             ("stsgrid generated -j3", ["-j3", "--region=2,3:10,12", "grid.3ds", "-o", "r.nc"], "",
              {"grid.3ds": generated})]
    ex = os.path.join(ROOT, "examples")
    series_files = {n: os.path.join(ex, n) for n in ("s1", "s2", "s3")}
    cases.append(("stsgrid pairs", ["s1", "s2", "s3"], "", series_files))
    raw = raw_folder(realdata)
    if raw:
        for name in sorted(os.listdir(raw)):
            if os.path.isdir(os.path.join(raw, name)) or name.endswith(".md"):
                continue
            for direction in ("fwd", "mean"):
                cases.append(("stsgrid raw %s -d %s" % (name, direction),
                              [name, "-d", direction, "--map=0.1", "--mean-text"], "",
                              {name: os.path.join(raw, name)}))
    if realdata:
        curves = {n: os.path.join(realdata, n) for n in sorted(os.listdir(realdata))
                  if n.startswith("nanonis2025_pbline_")}
        cases.append(("stsgrid real curves", sorted(curves), "", curves))
    return cases


def prepare(folder, files):
    os.makedirs(folder)
    for name, content in files.items():
        target = os.path.join(folder, name)
        if os.path.isabs(content) and os.path.exists(content):
            shutil.copyfile(content, target)
        else:
            with open(target, "w") as out:
                out.write(content)


def run(program, tool, args, stdin, folder, runner):
    if runner:
        command = runner + ["-0", tool, program] + args
        executable = None
    else:
        command = [tool] + args
        executable = program
    done = subprocess.run(command, executable=executable, input=stdin.encode(), cwd=folder,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600, check=False)
    return done.returncode, done.stdout, done.stderr


def contents(folder):
    """Relative path -> bytes of every file below folder; a netCDF file's
    ncdump text is kept beside its bytes."""
    result = {}
    for base, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(base, name)
            key = os.path.relpath(path, folder)
            with open(path, "rb") as f:
                result[key] = f.read()
            if name.endswith(".nc") and shutil.which("ncdump"):
                dump = subprocess.run(["ncdump", "-p", "9,17", path], stdout=subprocess.PIPE,
                                      stderr=subprocess.DEVNULL, check=False).stdout
                result[key + " (ncdump)"] = dump.replace(path.encode(), b"FILE")
    return result


def first_difference(a, b):
    la, lb = a.splitlines(), b.splitlines()
    for i, (x, y) in enumerate(zip(la, lb)):
        if x != y:
            return "line %d: %r / %r" % (i + 1, x, y)
    return "lengths %d / %d lines" % (len(la), len(lb))


def compare_case(case, builds, runner, work):
    name, args, stdin, files = case
    tool = name.split()[0]
    outcomes = []
    for side, build in enumerate(builds):
        folder = os.path.join(work, "%s-%d" % (name.replace(" ", "_").replace("*", "").replace("/", "_"), side))
        prepare(folder, files)
        program = os.path.abspath(os.path.join(build, tool, tool))
        status, out, err = run(program, tool, args, stdin, folder, runner if side == 1 else None)
        outcomes.append((status, out, err, contents(folder)))
        shutil.rmtree(folder)
    (s0, o0, e0, f0), (s1, o1, e1, f1) = outcomes
    problems = []
    if s0 != s1:
        problems.append("exit status %d / %d" % (s0, s1))
    for label, a, b in (("stdout", o0, o1), ("stderr", e0, e1)):
        if a != b:
            problems.append("%s differs, %s" % (label, first_difference(a, b)))
    if sorted(f0) != sorted(f1):
        problems.append("files differ: %s / %s" % (sorted(f0), sorted(f1)))
    for file_name in sorted(set(f0) & set(f1)):
        dump = file_name + " (ncdump)"
        if file_name.endswith(".nc") and f0[file_name] != f1[file_name] and \
                dump in f0 and f0[dump] == f1.get(dump):
            problems.append("%s: the same values in another layout (bytes differ)" % file_name)
            continue
        if f0[file_name] != f1[file_name]:
            problems.append("%s differs, %s" % (file_name, first_difference(f0[file_name], f1[file_name])))
    compared = len(f0) + 2
    return problems, compared


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("reference")
    parser.add_argument("candidate")
    parser.add_argument("--runner", default="", help="command put before the candidate's programs")
    parser.add_argument("--realdata", default=None)
    parser.add_argument("--name", default=None, help="label for the report")
    parser.add_argument("--tools", default="normspec,pointmean",
                        help="comma-separated tools to compare (normspec,pointmean,stsimport,stsgrid)")
    a = parser.parse_args()
    realdata = a.realdata or os.environ.get("NORMSPEC_REALDATA") or os.path.join(ROOT, "..", "shared", "realdata")
    if not os.path.isdir(realdata):
        print("(no real curves at %s: skipped)" % realdata)
        realdata = None
    label = a.name or a.candidate
    runner = a.runner.split() if a.runner else None
    work = tempfile.mkdtemp(prefix="compare-runs-")
    failures = 0
    streams = 0
    tools = a.tools.split(",")
    try:
        cases = []
        if "normspec" in tools:
            cases += normspec_cases(realdata)
        if "pointmean" in tools:
            cases += pointmean_cases(realdata)
        if "stsimport" in tools:
            cases += stsimport_cases(realdata)
        if "stsgrid" in tools:
            # One generated grid for both builds, made by the reference's writer.
            generated = os.path.join(work, "generated.3ds")
            subprocess.run([os.path.join(a.reference, "bench", "make_grid"), "24", "24", "300",
                            generated], check=True, stdout=subprocess.DEVNULL)
            cases += stsgrid_cases(realdata, generated)
        for case in cases:
            problems, compared = compare_case(case, (a.reference, a.candidate), runner, work)
            streams += compared
            if problems:
                failures += 1
                print("%s: %s DIFFERS" % (label, case[0]))
                for p in problems[:10]:
                    print("    " + p)
    finally:
        shutil.rmtree(work)
    total = len(cases)
    if failures:
        print("%s: %d of %d runs differ from %s" % (label, failures, total, a.reference))
        return 1
    print("%s: %d runs, %d files and streams, all identical to %s" % (label, total, streams, a.reference))
    return 0


if __name__ == "__main__":
    sys.exit(main())
