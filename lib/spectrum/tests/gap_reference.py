"""Independent NumPy/SciPy computation of the gap models and fits.

Written from the formulas (dynes.h, dynes_sis.h, modulation.h state them),
not from the C++ code: the Dynes density with NumPy's principal square root
and the modulus, the conductance as the thermal integral on a fine energy
grid (trapezoidal rule, step min(Gamma, pi kT) / 40 over +-40 kT), the
superconducting tip's current I(V) on such a grid and dI/dV as I's
five-point central difference (step 1e-3 of the narrowest feature), the lock-in semicircle by the substitution
v = V_m sin(theta) over a full period, and the fits by
scipy.optimize.curve_fit (Levenberg-Marquardt).

    python3 gap_reference.py IN.json OUT.json

IN: {"mode": "model", "curve": {...}, "bias": [...]}  ->  one value a line
    {"mode": "fit", "curve": {...}, "free": [names], "curves": [{"bias",
     "didv", "p0": {name: value}}], "sigma": s}  ->  a line per curve: the
     free parameters' values in order
A curve: model ("dynes" | "dynes_sis"), gap, gamma, temperature, tip_gap,
tip_gamma, scale, offset, background, modulation, bias_to_meV.
"""
import json
import sys

import numpy as np
from scipy.optimize import curve_fit

KB = 0.08617333262  # meV/K


def density(e, gap, gamma):
    w = e - 1j * gamma
    return np.abs((w / np.sqrt(w * w - gap * gap)).real)


def fermi(x, kt):
    return 0.5 * (1 - np.tanh(x / (2 * kt)))


def step_of(c, fineness):
    kt = KB * c["temperature"]
    widths = [c["gamma"], np.pi * kt]
    if c["model"] == "dynes_sis":
        widths.append(c["tip_gamma"])
    return min(widths) / fineness


def dynes(omega, c, fineness):
    kt = KB * c["temperature"]
    h = step_of(c, fineness)
    x = np.arange(-40 * kt, 40 * kt + h / 2, h)
    kernel = 1 / (4 * kt * np.cosh(x / (2 * kt)) ** 2)
    out = np.empty(len(omega))
    for i, o in enumerate(omega):
        out[i] = np.trapz(density(o + x, c["gap"], c["gamma"]) * kernel, dx=h)
    return out


def sis_current(o, c, h):
    kt = KB * c["temperature"]
    e = np.arange(min(0, o) - 40 * kt, max(0, o) + 40 * kt + h / 2, h)
    y = (density(e - o, c["tip_gap"], c["tip_gamma"]) * density(e, c["gap"], c["gamma"])
         * (fermi(e - o, kt) - fermi(e, kt)))
    return np.trapz(y, dx=h)


def sis(omega, c, fineness):
    h = step_of(c, fineness)
    # The stencil's step: 1e-3 of the narrowest feature, where its error
    # (eps^4 I^(5) / 30) and the rounding (1e-16 I / eps) both stay near 1e-11.
    eps = step_of(c, 1) * 1e-3
    out = np.empty(len(omega))
    for i, o in enumerate(omega):
        f = [sis_current(o + k * eps, c, h) for k in (-2, -1, 1, 2)]
        out[i] = (f[0] - 8 * f[1] + 8 * f[2] - f[3]) / (12 * eps)
    return out


def curve(bias, c, fineness=40):
    bias = np.asarray(bias, dtype=float)
    omega = (bias - c["offset"]) * c["bias_to_meV"]
    base = dynes if c["model"] == "dynes" else sis
    vm = c["modulation"] * c["bias_to_meV"]
    if vm > 0:
        k = 256
        theta = 2 * np.pi * np.arange(k) / k
        g = np.zeros(len(omega))
        for t in theta:
            g += 2 / k * np.cos(t) ** 2 * base(omega + vm * np.sin(t), c, fineness)
    else:
        g = base(omega, c, fineness)
    return c["scale"] * g + c["background"] * bias


def fit(job):
    base = job["curve"]
    names = job["free"]
    results = []
    for item in job["curves"]:
        def model(v, *p):
            c = dict(base)
            c.update(zip(names, p))
            return curve(v, c, 20)
        p0 = [item["p0"][n] for n in names]
        sigma = None
        if job.get("sigma", 0) > 0:
            sigma = np.full(len(item["bias"]), job["sigma"])
        p, cov = curve_fit(model, np.asarray(item["bias"]), np.asarray(item["didv"]), p0=p0,
                           sigma=sigma, method="lm", xtol=1e-12, ftol=1e-12)
        results.append({n: float(v) for n, v in zip(names, p)} |
                       {"se_" + n: float(s) for n, s in zip(names, np.sqrt(np.diag(cov)))})
    return {"fits": results}


def main():
    job = json.load(open(sys.argv[1]))
    if job["mode"] == "model":
        lines = ["%.17g" % v for v in curve(job["bias"], job["curve"])]
    else:
        lines = [" ".join("%.17g" % f[n] for n in job["free"]) for f in fit(job)["fits"]]
    with open(sys.argv[2], "w") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
