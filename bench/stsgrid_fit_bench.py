#!/usr/bin/env python3
"""stsgrid --fit=dynes against a scipy.optimize.curve_fit loop, and -j2 against -j1.

make_grid --superconductor writes a 128 x 128 x 400 grid of Dynes curves
(+-4 mV, Delta 1.1 .. 1.4 meV, Gamma 0.02 .. 0.08 meV, 0.5 K, 1 % noise);
stsgrid fits every pixel (--fit=dynes --fit-temperature=0.5) with -j1 and
-j2, and once without --fit, so that the fit's own share is the difference.
curve_fit (Levenberg-Marquardt) then fits a subset of the same pixels' didv,
read from stsgrid's file, over the NumPy model written from the formula
(lib/spectrum/tests/gap_reference.py, the thermal integral on a grid of
min(Gamma, pi kT) / 20), each from the start a plain reading of its curve
gives (the coherence peaks, the outer conductance).  All in one run; times
are processor times for the one-thread ratio and wall times for -j2/-j1.
The machine is shared: the ratios hold for the load of the moment.

    python3 bench/stsgrid_fit_bench.py [BUILD] [--size 128] [--subset 20]
"""
import argparse
import os
import resource
import subprocess
import sys
import tempfile
import time

os.environ.setdefault("OMP_NUM_THREADS", "1")
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

import numpy as np  # noqa: E402
import netCDF4  # noqa: E402
from scipy.optimize import curve_fit  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "lib", "spectrum", "tests"))
import gap_reference  # noqa: E402


def children_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def run(cmd):
    """Wall and processor seconds of one run."""
    cpu, wall = children_cpu(), time.perf_counter()
    subprocess.run(cmd, check=True, capture_output=True)
    return time.perf_counter() - wall, children_cpu() - cpu


def reading(v, y):
    """Start values from the curve: the peaks either side of the minimum."""
    low = np.argmin(np.where(np.abs(v) < 0.5 * np.max(np.abs(v)), y, np.inf))
    left, right = np.argmax(y[:low]), low + 1 + np.argmax(y[low + 1:])
    gap = 0.5 * (v[right] - v[left]) * 1000
    gn = np.mean(y[np.abs(v) >= 0.8 * np.max(np.abs(v))])
    return [gap, 0.05 * gap, gn]


def main():
    p = argparse.ArgumentParser()
    p.add_argument("build", nargs="?", default="build/default")
    p.add_argument("--size", type=int, default=128)
    p.add_argument("--subset", type=int, default=20)
    p.add_argument("--repeat", type=int, default=1,
                   help="-j1 and -j2 runs, interleaved, this many times each")
    a = p.parse_args()
    build = os.path.abspath(a.build)
    stsgrid = os.path.join(build, "stsgrid", "stsgrid")
    with tempfile.TemporaryDirectory() as scratch:
        grid = os.path.join(scratch, "sc.3ds")
        n = a.size
        subprocess.run([os.path.join(build, "bench", "make_grid"), "--superconductor", str(n),
                        str(n), "400", grid], check=True)
        out = os.path.join(scratch, "sc.nc")
        base = [stsgrid, grid, "--no-progress", "-o", out]
        fit = ["--fit=dynes", "--fit-temperature=0.5"]
        plain1 = run(base + ["-j1"])
        # Interleaved, so that a change of the machine's load falls on both.
        pairs = []
        for _ in range(a.repeat):
            pairs.append((run(base + fit + ["-j1"]), run(base + fit + ["-j2"])))
        fit1, fit2 = pairs[0]
        ds = netCDF4.Dataset(out)
        ds.set_auto_mask(False)
        status = ds["fit_status"][:].ravel()
        gaps = ds["fit_gap"][:].ravel()
        vmid = ds["vmid"][:].astype(np.float64)
        didv = ds["didv"][:].reshape(-1, len(vmid)).astype(np.float64)
        pixels = np.linspace(0, n * n - 1, a.subset).astype(int)
        c0 = dict(model="dynes", temperature=0.5, tip_gap=0, tip_gamma=0, offset=0,
                  background=0, modulation=0, bias_to_meV=1000)

        def model(v, gap, gamma, scale):
            return gap_reference.curve(v, dict(c0, gap=gap, gamma=gamma, scale=scale), 20)

        worst = 0.0
        cpu = time.process_time()
        for k in pixels:
            q, _ = curve_fit(model, vmid, didv[k], p0=reading(vmid, didv[k]), method="lm")
            worst = max(worst, abs(q[0] / gaps[k] - 1))
        scipy_s = (time.process_time() - cpu) / len(pixels)
    pixels_all = n * n
    fit_s = (fit1[1] - plain1[1]) / pixels_all
    whole_s = fit1[1] / pixels_all
    counts = np.bincount(status, minlength=8)
    print(f"grid {n} x {n} x 400; fit_status counts {counts.tolist()}")
    print(f"stsgrid -j1 without --fit: {1e3 * plain1[1] / pixels_all:.3f} ms per pixel (processor)")
    print(f"stsgrid -j1 --fit=dynes: {1e3 * whole_s:.3f} ms per pixel, the fit's share "
          f"{1e3 * fit_s:.3f} ms")
    print(f"curve_fit + NumPy model: {a.subset} pixels, {1e3 * scipy_s:.1f} ms per pixel")
    print(f"ratio curve_fit / stsgrid fit per pixel: {scipy_s / fit_s:.1f} "
          f"(whole run: {scipy_s / whole_s:.1f}; goal >= 20)")
    ratios = [one[0] / two[0] for one, two in pairs]
    print("-j1, -j2 wall seconds: " + ", ".join(f"{one[0]:.1f} {two[0]:.1f}" for one, two in pairs))
    print(f"-j2 / -j1 wall speed-up: {' '.join(f'{r:.2f}' for r in ratios)}, median "
          f"{float(np.median(ratios)):.2f} (goal >= 1.7; load average {os.getloadavg()[0]:.1f} "
          f"on {os.cpu_count()} cores)")
    print(f"largest relative difference of Delta, curve_fit vs stsgrid: {worst:.1e}")


if __name__ == "__main__":
    main()
