#!/usr/bin/env python3
"""The gap fit against scipy.optimize.curve_fit, per pixel, one thread each.

bench/gap_fit_bench (C++) fits a generated grid of superconducting curves
(Dynes model, normal tip, 400 points over +-4 mV, Delta 1.1 .. 1.4 meV,
Gamma 0.02 .. 0.08 meV, T = 0.5 K fixed, 1 % noise) and writes the first
curves with its start values; this script fits those again with curve_fit
(Levenberg-Marquardt) over the NumPy model written from the formulas
(lib/spectrum/tests/gap_reference.py: the thermal integral on a grid of
min(Gamma, pi kT) / 20) from the same start values, in the same run, and
prints both times per pixel and their ratio.  The goal is a ratio of 20 or
more.  OPENBLAS/OMP threads are held to one for SciPy.

    python3 bench/gap_fit_bench.py [BUILD] [--pixels 16384] [--subset 20]
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

os.environ.setdefault("OMP_NUM_THREADS", "1")
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

import numpy as np  # noqa: E402
from scipy.optimize import curve_fit  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "lib", "spectrum", "tests"))
import gap_reference  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default="build/default")
    parser.add_argument("--pixels", type=int, default=16384)
    parser.add_argument("--subset", type=int, default=20)
    a = parser.parse_args()
    driver = os.path.join(os.path.abspath(a.build), "bench", "gap_fit_bench")
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "curves.json")
        line = subprocess.run([driver, str(a.pixels), str(a.subset), path], check=True,
                              capture_output=True, text=True).stdout.split()
        ours = dict(zip(line[0::2], line[1::2]))
        data = json.load(open(path))
    bias = np.asarray(data["bias"])
    base = dict(model="dynes", temperature=0.5, tip_gap=0, tip_gamma=0, offset=0, background=0,
                modulation=0, bias_to_meV=1000)

    def model(v, gap, gamma, scale):
        return gap_reference.curve(v, dict(base, gap=gap, gamma=gamma, scale=scale), 20)

    worst = 0.0
    start = time.process_time()
    for c in data["curves"]:
        p, _ = curve_fit(model, bias, np.asarray(c["didv"]), p0=c["p0"], method="lm")
        worst = max(worst, float(np.max(np.abs(p / np.asarray(c["ours"]) - 1))))
    scipy_ms = 1e3 * (time.process_time() - start) / len(data["curves"])
    ours_ms = float(ours["per_pixel_ms"])
    print(f"gap_fit: {ours['pixels']} pixels, {ours_ms:.3f} ms per pixel "
          f"({ours['evaluations_per_pixel']} model evaluations; converged {ours['converged']}, "
          f"at_bound {ours['at_bound']}, other {ours['other']})")
    print(f"curve_fit + NumPy model: {len(data['curves'])} pixels, {scipy_ms:.1f} ms per pixel")
    print(f"ratio (curve_fit / gap_fit per pixel): {scipy_ms / ours_ms:.1f}  (goal >= 20)")
    print(f"largest relative difference of the fitted parameters: {worst:.1e}")


if __name__ == "__main__":
    main()
