#!/usr/bin/python3
"""The normspec computation as a plain numpy/scipy script, for comparison:
what a user might write in an afternoon.  Same inputs, same six result files
per spectrum and the same row format; the numbers agree only roughly (double
precision, scipy's spline and FFT convolution).

    /usr/bin/python3 bench/normspec_numpy.py spectrum-file ...
"""
import sys

import numpy as np
from scipy.interpolate import CubicSpline
from scipy.signal import fftconvolve

EXP_WIDTH = 1.33    # V, decay width of the exponential weights
COFF_OFFSET = 0.05  # nA/V, added in quadrature to I/V
EXTRA = 10          # points added beyond each end before the convolution


def broaden_exp(v, iv):
    """I/V convolved with exp(-|lag| dV / width), its ends extended by the
    parabola through the first, middle and last point."""
    n = len(v)
    dv = v[1] - v[0]
    parabola = np.polyfit([v[0], v[n // 2], v[-1]], [iv[0], iv[n // 2], iv[-1]], 2)
    k = np.arange(1, EXTRA + 1)
    padded = np.concatenate([np.polyval(parabola, v[0] - k[::-1] * dv), iv,
                             np.polyval(parabola, v[-1] + k * dv)])
    lags = np.arange(-((n + 1) // 2 - 1), (n + 1) // 2)
    weights = np.exp(-np.abs(lags) * dv / EXP_WIDTH)
    return fftconvolve(padded, weights, mode="same")[EXTRA:EXTRA + n]


def write(name, x, y):
    np.savetxt(name, np.column_stack([x, y]), fmt="%f   %f")


def process(name):
    pairs = np.loadtxt(name, ndmin=2)
    order = np.argsort(pairs[:, 0], kind="stable")
    v, i = pairs[order, 0], pairs[order, 1]
    i = i - CubicSpline(v, i, bc_type="natural")(0.0)
    iv = i / v
    didv = np.diff(i) / np.diff(v)
    vmid = (v[:-1] + v[1:]) * 0.5
    write(name + "didv.txt", vmid, didv)
    iv_exp = broaden_exp(v, iv)
    iv_coff = np.sqrt(iv * iv + COFF_OFFSET * COFF_OFFSET)
    write(name + "iv.txt", v, iv)
    write(name + "i.txt", v, i)
    for suffix, divisor in (("exp.txt", iv_exp), ("coff.txt", iv_coff), ("raw.txt", iv)):
        write(name + suffix, vmid, didv / CubicSpline(v, divisor, bc_type="natural")(vmid))
    print("%s: %d data points read ..done" % (name, len(v)))


if __name__ == "__main__":
    for argument in sys.argv[1:]:
        process(argument)
