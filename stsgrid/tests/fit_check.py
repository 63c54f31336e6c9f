#!/usr/bin/python3
"""stsgrid --fit=dynes checked by an independent fit of every pixel.

The Dynes conductance written again from its formula (Dynes, Narayanamurti
and Garno, PRL 41, 1509 (1978)): rho(E) = |Re[(E - i Gamma) / sqrt((E -
i Gamma)^2 - Delta^2)]| on a uniform energy grid (step min(Gamma, pi kT) /
8), convolved with -f'(E) by scipy.signal.fftconvolve and read at each bias
by linear interpolation; G = G_N * that (+ V_0 when --offset).  Each pixel of
the file is fitted by scipy.optimize.curve_fit (trust region, the same
bounds on Delta and Gamma) from a grid of its own starts (Delta 0.15 .. 0.6
of the window, Gamma / Delta 0.05, 0.3, V_0 from 0 and the dip's middle),
and from stsgrid's solution, keeping the least chi^2.

    fit_check.py FILE.nc T_KELVIN [--offset] [--pixels N] [--report]

Prints a line per pixel (ours, SciPy's) and a summary; exits 1 when
  - a pixel stsgrid calls converged or at_bound lies in a poorer minimum:
    SciPy started from stsgrid's solution ends more than 1e-3 above SciPy's
    best chi^2 (both in SciPy's model, so that the models' differences do not
    count), or its Delta differs from SciPy's by more than 3 standard errors
    and 1e-3 relative;
  - a pixel stsgrid calls poor_fit has a SciPy curve that follows the data's
    dip (mean residual over its core within a quarter of G_N or three of its
    standard errors, the noise from neighbouring points' differences), or
    one it calls converged has a SciPy curve that misses it.
"""
import argparse
import sys

import numpy as np
import netCDF4
from scipy.optimize import curve_fit
from scipy.signal import fftconvolve

KB = 0.08617333262  # meV/K
NAMES = ("converged at_bound no_gap too_few_points bad_input not_converged not_computed "
         "poor_fit")


def dynes(omega, gap, gamma, kt):
    """G/G_N at omega (meV)."""
    h = min(gamma, np.pi * kt) / 8
    reach = np.max(np.abs(omega)) + 40 * kt
    e = np.arange(-reach, reach + h / 2, h)
    w = e - 1j * gamma
    rho = np.abs((w / np.sqrt(w * w - gap * gap)).real)
    x = np.arange(-40 * kt, 40 * kt + h / 2, h)
    kernel = h / (4 * kt * np.cosh(x / (2 * kt)) ** 2)
    g = fftconvolve(rho, kernel, mode="same")
    return np.interp(omega, e, g)


def model(v, to_mev, kt, offset):
    if offset:
        return lambda x, gap, gamma, scale, v0: scale * dynes((x - v0) * to_mev, gap, gamma, kt)
    return lambda x, gap, gamma, scale: scale * dynes(x * to_mev, gap, gamma, kt)


def dip(x, y):
    """Centre, half-width and G_N of the data's dip (half-depth crossings of
    a moving average over 1/40 of the window)."""
    r = max(1, len(x) // 40)
    ys = np.convolve(y, np.ones(2 * r + 1) / (2 * r + 1), mode="same")
    reach = np.max(np.abs(x))
    outer = np.abs(x) >= 0.8 * reach
    gn = y[outer].mean()
    mid = np.flatnonzero(np.abs(x) <= 0.5 * reach)
    low = mid[np.argmin(ys[mid])]
    half = 0.5 * (ys[low] + gn)
    left = low
    while left > 0 and ys[left] < half:
        left -= 1
    right = low
    while right < len(x) - 1 and ys[right] < half:
        right += 1
    return 0.5 * (x[left] + x[right]), 0.5 * (x[right] - x[left]), gn


def misses(x, y, f, centre, half_width, gn):
    near = np.argsort(np.abs(x - centre), kind="stable")
    core = [i for k, i in enumerate(near) if k < 3 or abs(x[i] - centre) <= 0.5 * half_width]
    d = np.diff(y)
    noise = 1.4826 * np.median(np.abs(d - np.median(d))) / np.sqrt(2)
    return abs(np.mean(f[core] - y[core])) > max(0.25 * gn, 3 * noise / np.sqrt(len(core)))


def scipy_fit(x, y, to_mev, kt, offset, ours):
    """The least chi^2 from SciPy's own starts, and (to tell a poorer minimum
    from the two models' small differences) the chi^2 SciPy reaches from
    stsgrid's solution, both in SciPy's model."""
    centre, half_width, gn = dip(x, y)
    reach_mev = np.max(np.abs(x)) * to_mev
    f = model(x, to_mev, kt, offset)
    lo = [1e-3, 1e-4, -np.inf] + ([-np.max(np.abs(x)) / 2] if offset else [])
    hi = [reach_mev, reach_mev, np.inf] + ([np.max(np.abs(x)) / 2] if offset else [])

    def one(p0):
        p0 = np.clip(p0, np.array(lo) + 1e-12, np.array(hi) - 1e-12)
        try:
            p, cov = curve_fit(f, x, y, p0=p0, bounds=(lo, hi), method="trf",
                               xtol=1e-10, ftol=1e-10, max_nfev=2000)
        except (RuntimeError, ValueError):
            return None
        return np.sum((f(x, *p) - y) ** 2) / (len(x) - len(p)), p, np.sqrt(np.abs(np.diag(cov)))

    best = None
    for gap in reach_mev * np.array([0.15, 0.3, 0.6]):
        for frac in (0.05, 0.3):
            for v0 in ((0.0, centre) if offset else (None,)):
                r = one([gap, frac * gap, gn] + ([v0] if offset else []))
                if r is not None and (best is None or r[0] < best[0]):
                    best = r
    from_ours = one(ours)
    chi2_ours = from_ours[0] if from_ours else np.inf
    # SciPy's answer: the least chi^2 it reaches, from its starts or ours.
    if from_ours is not None and from_ours[0] < best[0]:
        best = from_ours
    fitted = f(x, *best[1])
    return best, chi2_ours, misses(x, y, fitted, centre, half_width, gn)


def main():
    a = argparse.ArgumentParser()
    a.add_argument("file")
    a.add_argument("kelvin", type=float)
    a.add_argument("--offset", action="store_true")
    a.add_argument("--pixels", type=int, default=0)
    args = a.parse_args()
    ds = netCDF4.Dataset(args.file)
    ds.set_auto_mask(False)
    assert ds["fit_status"].flag_meanings == NAMES, ds["fit_status"].flag_meanings
    assert list(ds["fit_status"].flag_values) == list(range(8))
    assert ds["fit_gap"].units == "meV" and ds["fit_gamma"].units == "meV"
    assert ds["fit_temperature"].units == "K"
    bias_unit = ds["vmid"].units
    to_mev = {"V": 1000.0, "mV": 1.0}[bias_unit]
    window = float(ds.fit_window.split("<=")[1].split()[0]) if "<=" in ds.fit_window else 0
    vmid = ds["vmid"][:].astype(np.float64)
    inside = np.abs(vmid.astype(np.float32)) <= np.float32(window) if window else np.ones(len(vmid), bool)
    curve = ds[ds.fit_curve_of][:].reshape(-1, len(vmid)).astype(np.float64)
    status = ds["fit_status"][:].ravel()
    ours = {k: ds["fit_" + k][:].ravel().astype(np.float64)
            for k in ("gap", "gamma", "chi2", "se_gap", "offset", "scale")}
    kt = KB * args.kelvin
    bad = 0
    rows = []
    count = len(status) if args.pixels == 0 else min(args.pixels, len(status))
    for p in range(count):
        if status[p] not in (0, 1, 7):
            print("pixel %d: status %s, not fitted" % (p, NAMES.split()[status[p]]))
            continue
        x, y = vmid[inside], curve[p][inside]
        start = [ours["gap"][p], max(ours["gamma"][p], 1.1e-4), ours["scale"][p]]
        if args.offset:
            start.append(ours["offset"][p])
        (chi2, q, se), chi2_ours, scipy_misses = scipy_fit(x, y, to_mev, kt, args.offset, start)
        line = ("pixel %2d %-9s Delta %.4f +- %.4f Gamma %.4f chi2 %.4g | SciPy Delta %.4f +- "
                "%.4f Gamma %.4f chi2 %.4g%s") % (
            p, NAMES.split()[status[p]], ours["gap"][p], ours["se_gap"][p], ours["gamma"][p],
            ours["chi2"][p], q[0], se[0], q[1], chi2, " misses the dip" if scipy_misses else "")
        wrong = []
        if status[p] in (0, 1):
            if chi2_ours > chi2 * (1 + 1e-3):
                wrong.append("poorer minimum")
            if (abs(ours["gap"][p] - q[0]) > 3 * max(ours["se_gap"][p], se[0])
                    and abs(ours["gap"][p] - q[0]) > 1e-3 * q[0]):
                wrong.append("Delta differs")
            if status[p] == 0 and scipy_misses:
                wrong.append("converged, but the best curve misses the dip")
        if status[p] == 7 and not scipy_misses:
            wrong.append("poor_fit, but the best curve follows the dip")
        if wrong:
            bad += 1
            line += "  WRONG: " + ", ".join(wrong)
        print(line)
        rows.append((ours["gap"][p], ours["gamma"][p], ours["chi2"][p], q[0], q[1], chi2))
    if rows:
        r = np.array(rows)
        for name, k in (("Delta", 0), ("Gamma", 1), ("chi2", 2)):
            print("%s: ours mean %.4g sd %.3g (min %.4g max %.4g); SciPy mean %.4g sd %.3g" % (
                name, r[:, k].mean(), r[:, k].std(ddof=1) if len(r) > 1 else 0, r[:, k].min(),
                r[:, k].max(), r[:, k + 3].mean(), r[:, k + 3].std(ddof=1) if len(r) > 1 else 0))
    print("pixels that disagree: %d" % bad)
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    main()
