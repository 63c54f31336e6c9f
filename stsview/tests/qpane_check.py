#!/usr/bin/env python3
"""Independent checks of stsview's reciprocal-space routes, from the grid's
own file read with netCDF4, in NumPy float64:

  qpane_check.py qmap GRID.nc VARIABLE K WINDOW QMAP.f32 QX.f64 QY.f64
      the route's |F| of slice K (little-endian floats, qy rows) against
      |fftshift(fft2(w * (m - mean)))| of the file's map (missing pixels at
      the mean, w numpy.hanning's outer product or 1), within the
      tolerance of stsgrid/tests/fft_check.py; its q axes (doubles)
      against 2 pi (k - N/2) / (N dx) from the file's x and y.
  qpane_check.py qcut GRID.nc VARIABLE WINDOW CUT.f32 DIST.f64 QX.f64 QY.f64
      the route's cut (bias x sample floats) against NumPy's |F| of every
      slice read bilinearly at the samples' (qx, qy), the tolerance as
      above (bilinear weights sum to one); distance from the first sample.
  qpane_check.py cutfile CUT.nc CUT.f32 Q0X Q0Y Q1X Q1Y
      the exported netCDF read with netCDF4 and xarray: dims (bias,
      sample), CF-style units and long_name, distance in nm-1, q0 and q1,
      and the values equal to the route's floats bit for bit.
Prints "worst_error_over_tolerance R" for the first two.
"""
import sys

import numpy as np
import netCDF4

EPS32 = np.finfo(np.float32).eps


def slices(grid, variable):
    with netCDF4.Dataset(grid) as m:
        m.set_auto_mask(False)
        values = np.asarray(m[variable][:], dtype=np.float64)  # y, x, point
        x, y = np.asarray(m["x"][:]), np.asarray(m["y"][:])
    return np.moveaxis(values, 2, 0), x, y


def transform(s, window):
    ny, nx = s.shape
    w = np.outer(np.hanning(ny), np.hanning(nx)) if window == "hann" else np.ones((ny, nx))
    finite = np.isfinite(s)
    d = np.where(finite, s - s[finite].mean(), 0.0) * w
    want = np.abs(np.fft.fftshift(np.fft.fft2(d)))
    tolerance = 4 * EPS32 * (np.log2(nx * ny) + 2) * np.sqrt(np.sum(d * d)) + EPS32 * want
    return want, tolerance


def axes_ok(qx, qy, x, y):
    for q, c in ((qx, x), (qy, y)):
        n, step = len(c), abs(c[1] - c[0])
        want = 2 * np.pi * (np.arange(n) - n // 2) / (n * step)
        assert np.allclose(q, want, rtol=1e-12, atol=0), (q, want)


def check_qmap(grid, variable, k, window, values, qx_path, qy_path):
    stack, x, y = slices(grid, variable)
    got = np.fromfile(values, dtype="<f4").astype(np.float64).reshape(stack.shape[1:])
    axes_ok(np.fromfile(qx_path, "<f8"), np.fromfile(qy_path, "<f8"), x, y)
    want, tolerance = transform(stack[int(k)], window)
    worst = float(np.max(np.abs(got - want) / tolerance))
    print("worst_error_over_tolerance %.3g" % worst)
    return worst <= 1.0


def bilinear(m, qx, qy, px, py):
    """m read at (px, py) nm^-1 between the pixels of axes qx, qy."""
    fx = (px - qx[0]) / (qx[1] - qx[0])
    fy = (py - qy[0]) / (qy[1] - qy[0])
    i = np.clip(np.floor(fx).astype(int), 0, len(qx) - 2)
    j = np.clip(np.floor(fy).astype(int), 0, len(qy) - 2)
    tx, ty = fx - i, fy - j
    return ((1 - tx) * (1 - ty) * m[j, i] + tx * (1 - ty) * m[j, i + 1] +
            (1 - tx) * ty * m[j + 1, i] + tx * ty * m[j + 1, i + 1])


def check_qcut(grid, variable, window, values, dist_path, qx_path, qy_path):
    stack, x, y = slices(grid, variable)
    n, ny, nx = stack.shape
    qx = 2 * np.pi * (np.arange(nx) - nx // 2) / (nx * abs(x[1] - x[0]))
    qy = 2 * np.pi * (np.arange(ny) - ny // 2) / (ny * abs(y[1] - y[0]))
    px, py = np.fromfile(qx_path, "<f8"), np.fromfile(qy_path, "<f8")
    dist = np.fromfile(dist_path, "<f8")
    assert np.allclose(dist, np.hypot(px - px[0], py - py[0]), rtol=1e-12, atol=1e-12), dist
    got = np.fromfile(values, dtype="<f4").astype(np.float64).reshape(n, len(px))
    worst = 0.0
    for k in range(n):
        want, tolerance = transform(stack[k], window)
        w = bilinear(want, qx, qy, px, py)
        t = bilinear(tolerance, qx, qy, px, py)
        worst = max(worst, float(np.max(np.abs(got[k] - w) / t)))
    print("worst_error_over_tolerance %.3g" % worst)
    return worst <= 1.0


def check_cutfile(path, values, q0x, q0y, q1x, q1y):
    import xarray
    got = np.fromfile(values, dtype="<f4")
    with netCDF4.Dataset(path) as f:
        f.set_auto_mask(False)
        names = [v for v in f.variables if v.endswith("_cut")]
        assert len(names) == 1, names
        v = f[names[0]]
        assert v.dimensions == ("bias", "sample"), v.dimensions
        assert f["distance"].dimensions == ("sample",)
        assert f["distance"].units == "nm-1", f["distance"].units
        for name in ("bias", "distance", "qx", "qy", names[0]):
            assert f[name].long_name, name
            assert f[name].units, name
        assert list(f.getncattr("q0")) == [float(q0x), float(q0y)], f.getncattr("q0")
        assert list(f.getncattr("q1")) == [float(q1x), float(q1y)], f.getncattr("q1")
        assert f.getncattr("Conventions").startswith("CF"), f.getncattr("Conventions")
        stored = np.asarray(v[:], dtype=np.float32).ravel()
    assert stored.tobytes() == got.tobytes(), "the file's values differ from the route's"
    ds = xarray.open_dataset(path)
    cut = ds[names[0]]
    assert cut.dims == ("bias", "sample"), cut.dims
    assert ds["distance"].attrs["units"] == "nm-1"
    d = ds["distance"].values
    assert d[0] == 0 and np.all(np.diff(d) > 0), d
    ds.close()
    print("cut file ok", names[0], cut.shape)
    return True


def main():
    what, args = sys.argv[1], sys.argv[2:]
    checks = {"qmap": check_qmap, "qcut": check_qcut, "cutfile": check_cutfile}
    return 0 if checks[what](*args) else 1


if __name__ == "__main__":
    sys.exit(main())
