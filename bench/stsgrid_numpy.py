#!/usr/bin/python3
"""stsgrid's computation as a careful NumPy/SciPy user would write it: the
six quantities of every pixel of a Nanonis .3ds grid, vectorised over many
pixels at once in float64, written to a netCDF file with their means and
standard deviations.  For comparison of speed only; the definitions are
stsgrid's (see lib/spectrum), so the values agree with stsgrid's to about
float32 rounding (--check prints how closely).

    /usr/bin/python3 bench/stsgrid_numpy.py GRID.3ds OUT.nc
        [--spline cubic|interp] [--pixels 4096] [--check STSGRID.nc]

It handles what bench/make_grid writes: one forward current channel in A,
a sweep shared by every pixel, every pixel measured.
"""
import argparse
import re
import sys

import netCDF4
import numpy as np
from scipy.interpolate import CubicSpline, make_interp_spline

EXP_WIDTH = 1.33    # V, decay width of the exponential weights
COFF_OFFSET = 0.05  # nA/V, added in quadrature to I/V
EXTRA = 10          # points added beyond each end before the convolution


def read_grid(path):
    """The header's sizes and sweep, and the pixels' values (big-endian
    float32, parameters then channels), mapped from the file."""
    with open(path, "rb") as f:
        head = f.read(1 << 20)
    end = head.index(b":HEADER_END:")
    offset = end + len(":HEADER_END:\r\n")
    text = head[:end].decode("latin-1")
    value = lambda key: re.search(r"^%s=(.*?)\r?$" % re.escape(key), text, re.M).group(1)
    nx, ny = (int(v) for v in value("Grid dim").strip('"').split(" x "))
    points = int(value("Points"))
    parameters = int(value("# Parameters (4 byte)"))
    channels = len(value("Channels").strip('"').split(";"))
    start = float(value("Bias Spectroscopy>Sweep Start (V)"))
    stop = float(value("Bias Spectroscopy>Sweep End (V)"))
    data = np.memmap(path, dtype=">f4", mode="r", offset=offset,
                     shape=(nx * ny, parameters + channels * points))
    bias = (start + (stop - start) * np.arange(points) / (points - 1)).astype(np.float32)
    return nx, ny, bias.astype(np.float64), data, parameters


def spline_at(x, y, at, kind):
    """Natural cubic splines through (x, y[p]) for every row p, at `at`."""
    if kind == "cubic":
        return CubicSpline(x, y, axis=1, bc_type="natural")(at)
    return make_interp_spline(x, y, k=3, axis=1, bc_type="natural")(at)


def broadening_length(n):
    length = 1
    while length <= n:
        length *= 2
    while n + 2 * EXTRA > length - 2 * EXTRA:
        length *= 2
    return length


def broaden_exp(v, iv):
    """I/V extended at both ends by the parabola through its first, middle
    and last point, then convolved cyclically (over the padded length) with
    exp(-|lag| dV / width), lags up to (n + 1) / 2 - 1, weights not
    normalised."""
    pixels, n = iv.shape
    length = broadening_length(n)
    xs = np.array([v[0], v[n // 2], v[n - 1]])
    ys = iv[:, [0, n // 2, n - 1]]
    dv = v[1] - v[0]
    k = np.arange(1, EXTRA + 1)
    left, right = v[0] - k * dv, v[n - 1] + k * dv

    def parabola(t):  # Lagrange's form through the three anchors
        out = np.zeros((pixels, t.size))
        for a in range(3):
            basis = np.ones_like(t)
            for b in range(3):
                if b != a:
                    basis = basis * (t - xs[b]) / (xs[a] - xs[b])
            out += ys[:, a:a + 1] * basis
        return out

    padded = np.zeros((pixels, length))
    padded[:, EXTRA:EXTRA + n] = iv
    padded[:, EXTRA - k] = parabola(left)
    padded[:, n + EXTRA - 1 + k] = parabola(right)
    lags = np.arange((n + 1) // 2)
    weights = np.exp(-lags * dv / EXP_WIDTH)
    kernel = np.zeros(length)
    kernel[lags] = weights
    kernel[length - lags[1:]] = weights[1:]
    spectrum = np.fft.rfft(padded, axis=1) * np.fft.rfft(kernel)
    return np.fft.irfft(spectrum, n=length, axis=1)[:, EXTRA:EXTRA + n]


def compute(v, current, kind):
    """The six quantities of a block of pixels (rows)."""
    current = current - spline_at(v, current, np.array([0.0]), kind)
    iv = current / v
    didv = np.diff(current, axis=1) / np.diff(v)
    vmid = (v[:-1] + v[1:]) * 0.5
    iv_exp = broaden_exp(v, iv)
    iv_coff = np.sqrt(iv * iv + COFF_OFFSET * COFF_OFFSET)
    norms = [didv / spline_at(v, d, vmid, kind) for d in (iv, iv_exp, iv_coff)]
    return {"current": current, "iv": iv, "didv": didv, "norm_raw": norms[0],
            "norm_exp": norms[1], "norm_coff": norms[2]}


def run(grid, out, kind, per_block):
    nx, ny, v, data, parameters = read_grid(grid)
    n = v.size
    per_block = max(1, per_block // nx) * nx  # whole rows of the grid at a time
    with netCDF4.Dataset(out, "w") as d:
        d.createDimension("y", ny)
        d.createDimension("x", nx)
        d.createDimension("point", n)
        d.createDimension("midpoint", n - 1)
        names = ("current", "iv", "didv", "norm_raw", "norm_exp", "norm_coff")
        variables = {name: d.createVariable(name, "f4", ("y", "x", "point" if i < 2 else "midpoint"))
                     for i, name in enumerate(names)}
        sums = {name: 0.0 for name in names}
        squares = {name: 0.0 for name in names}
        for first in range(0, nx * ny, per_block):
            rows = np.asarray(data[first:first + per_block, parameters:parameters + n])
            current = (rows.astype(np.float64) * 1e9).astype(np.float32).astype(np.float64)
            results = compute(v, current, kind)
            for name, values in results.items():
                values = values.astype(np.float32)
                rows_of_grid = values.shape[0] // nx
                variables[name][first // nx:first // nx + rows_of_grid] = \
                    values.reshape(rows_of_grid, nx, -1)
                sums[name] = sums[name] + values.astype(np.float64).sum(axis=0)
                squares[name] = squares[name] + (values.astype(np.float64) ** 2).sum(axis=0)
        count = nx * ny
        for name in names:
            mean = sums[name] / count
            sd = np.sqrt(np.maximum(squares[name] / count - mean * mean, 0) * count / (count - 1))
            dimension = "point" if name in ("current", "iv") else "midpoint"
            d.createVariable("mean_" + name, "f4", (dimension,))[:] = mean
            d.createVariable("sd_" + name, "f4", (dimension,))[:] = sd


def check(ours, theirs):
    """How far our float32 values are from stsgrid's, in float32 steps."""
    with netCDF4.Dataset(ours) as a, netCDF4.Dataset(theirs) as b:
        for name in ("current", "iv", "didv", "norm_raw", "norm_exp", "norm_coff"):
            x = np.asarray(a[name][:], dtype=np.float32).ravel()
            y = np.asarray(b[name][:], dtype=np.float32).ravel()
            steps = np.abs(x.astype(np.float64) - y) / np.spacing(np.abs(y))
            # Near a zero the steps are small and a difference counts many:
            # against the quantity's own scale it is a rounding all the same.
            scaled = np.abs(x.astype(np.float64) - y).max() / np.abs(y).max()
            print("%-9s identical %5.1f %%; float32 steps apart: median %.0f, 99th percentile "
                  "%.0f; largest difference %.1e of the largest value"
                  % (name, 100.0 * np.mean(x == y), np.median(steps), np.percentile(steps, 99),
                     scaled))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("grid")
    parser.add_argument("out")
    parser.add_argument("--spline", choices=("cubic", "interp"), default="interp",
                        help="scipy's CubicSpline or make_interp_spline")
    parser.add_argument("--pixels", type=int, default=4096, help="pixels computed at once")
    parser.add_argument("--check", help="stsgrid's file of the same grid, to compare with")
    a = parser.parse_args()
    run(a.grid, a.out, a.spline, a.pixels)
    if a.check:
        check(a.out, a.check)


if __name__ == "__main__":
    sys.exit(main())
