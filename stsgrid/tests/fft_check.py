#!/usr/bin/env python3
"""Independent checks of stsgrid's Fourier maps (<out>_fft.nc), from the
grid's own file and the documented layout, in NumPy float64:

  fft_check.py numpy MAIN.nc FFT.nc
      every slice of fft_<var> against |fftshift(fft2(w * (m - mean)))| of
      the grid's map (missing pixels at the mean, w = numpy.hanning's
      outer product or 1 as the file's window says), the q axes against
      2 pi (k - N/2) / (N dx) from the grid's x and y, the bias axis, the
      missing pixels' counts.  Prints "worst_error_over_tolerance R".
  fft_check.py invariant FFT.nc
      fft_<var>_symmetrised, on a square map with the lattice along the
      axes, unchanged (to float rounding) by the rotations by 90 degrees
      and the mirrors of 4mm, which move pixels onto pixels: the
      interior pixels (those whose images all lie in the map).
  fft_check.py peak FFT.nc SLICE QX QY [SLICE QX QY ...]
      the largest value of the slice beyond three q-pixels of q = 0 lies
      within one q-pixel of +-(QX, QY).  Prints each peak.
  fft_check.py bragg FFT.nc Q1X Q1Y Q2X Q2Y
      the file's bragg_q1 and bragg_q2 are, up to sign and order, within
      one q-pixel of the two given.
"""
import sys

import numpy as np
import netCDF4

EPS32 = np.finfo(np.float32).eps


def read(path):
    ds = netCDF4.Dataset(path)
    ds.set_auto_mask(False)
    return ds


def fft_variable(ds):
    return "fft_" + ds.getncattr("fft_variable")


def check_numpy(main_path, fft_path):
    with read(main_path) as m, read(fft_path) as f:
        name = f.getncattr("fft_variable")
        values = np.asarray(m[name][:], dtype=np.float64)  # y, x, point or midpoint
        stack = np.moveaxis(values, 2, 0)
        axis_name = "bias" if m[name].dimensions[2] == "point" else "vmid"
        axis = np.asarray(m[axis_name][:])
        x, y = np.asarray(m["x"][:]), np.asarray(m["y"][:])
        got = np.asarray(f[fft_variable(f)][:], dtype=np.float64)
        qx, qy = np.asarray(f["qx"][:]), np.asarray(f["qy"][:])
        missing = np.asarray(f["missing_pixels"][:])
        window = f.getncattr("window")
        fbias = np.asarray(f["bias"][:])
    slices, ny, nx = stack.shape
    assert got.shape == stack.shape, (got.shape, stack.shape)
    for q, n, c in ((qx, nx, x), (qy, ny, y)):
        step = abs(c[1] - c[0])
        want = 2 * np.pi * (np.arange(n) - n // 2) / (n * step)
        assert np.allclose(q, want, rtol=1e-12, atol=0), (q, want)
    assert np.array_equal(np.isnan(fbias), np.isnan(axis)) and np.allclose(
        fbias[np.isfinite(fbias)], axis[np.isfinite(axis)], rtol=0, atol=0)
    w = np.outer(np.hanning(ny), np.hanning(nx)) if window == "hann" else np.ones((ny, nx))
    worst = 0.0
    for k in range(slices):
        s = stack[k]
        finite = np.isfinite(s)
        assert missing[k] == np.count_nonzero(~finite), (k, missing[k])
        if not finite.any():
            assert np.isnan(got[k]).all()
            continue
        d = np.where(finite, s - s[finite].mean(), 0.0) * w
        want = np.abs(np.fft.fftshift(np.fft.fft2(d)))
        # Float32 all the way (the stored map, its window, FFTW's float
        # passes): an error of a few eps times log2(N) times the map's
        # 2-norm per coefficient, plus the output's own rounding.
        tolerance = 4 * EPS32 * (np.log2(nx * ny) + 2) * np.sqrt(np.sum(d * d)) + EPS32 * want
        worst = max(worst, float(np.max(np.abs(got[k] - want) / tolerance)))
    print("slices %d worst_error_over_tolerance %.3g" % (slices, worst))
    return worst <= 1.0


def check_invariant(fft_path):
    with read(fft_path) as f:
        s = np.asarray(f[fft_variable(f) + "_symmetrised"][:], dtype=np.float64)
    slices, ny, nx = s.shape
    assert nx == ny and nx % 2 == 0
    inner = s[:, 1:, 1:]  # centred on index N/2 - 1: every image inside
    worst = 0.0
    for k in range(slices):
        m = inner[k]
        scale = np.nanmax(np.abs(m))
        for g in (np.rot90(m, 1), np.rot90(m, 2), np.rot90(m, 3), m[::-1, :], m[:, ::-1],
                  m.T, np.rot90(m, 2).T):
            worst = max(worst, float(np.nanmax(np.abs(g - m)) / (scale * 16 * EPS32)))
    print("slices %d worst_asymmetry_over_rounding %.3g" % (slices, worst))
    return worst <= 1.0


def check_peak(fft_path, wants):
    with read(fft_path) as f:
        got = np.asarray(f[fft_variable(f)][:], dtype=np.float64)
        qx, qy = np.asarray(f["qx"][:]), np.asarray(f["qy"][:])
    dqx, dqy = qx[1] - qx[0], qy[1] - qy[0]
    ok = True
    QX, QY = np.meshgrid(qx, qy)
    for k, wx, wy in wants:
        m = np.where(np.hypot(QX / dqx, QY / dqy) > 3, got[int(k)], -np.inf)
        iy, ix = np.unravel_index(np.argmax(m), m.shape)
        px, py = qx[ix], qy[iy]
        near = any(abs(px - s * wx) <= dqx and abs(py - s * wy) <= dqy for s in (1, -1))
        print("slice %d peak %.4f %.4f want +-%.4f %.4f %s" % (k, px, py, wx, wy,
                                                              "ok" if near else "FAR"))
        ok = ok and near
    return ok


def check_bragg(fft_path, q1, q2):
    with read(fft_path) as f:
        got = [np.asarray(f.getncattr("bragg_q1")), np.asarray(f.getncattr("bragg_q2"))]
        qx, qy = np.asarray(f["qx"][:]), np.asarray(f["qy"][:])
    step = np.array([qx[1] - qx[0], qy[1] - qy[0]])
    ok = True
    for g in got:
        near = any(np.all(np.abs(g - s * np.asarray(w)) <= step) for w in (q1, q2) for s in (1, -1))
        print("bragg %.4f %.4f %s" % (g[0], g[1], "ok" if near else "FAR"))
        ok = ok and near
    return ok


def main():
    mode = sys.argv[1]
    if mode == "numpy":
        ok = check_numpy(sys.argv[2], sys.argv[3])
    elif mode == "invariant":
        ok = check_invariant(sys.argv[2])
    elif mode == "peak":
        a = [float(v) for v in sys.argv[3:]]
        ok = check_peak(sys.argv[2], [a[i:i + 3] for i in range(0, len(a), 3)])
    else:
        a = [float(v) for v in sys.argv[3:7]]
        ok = check_bragg(sys.argv[2], a[0:2], a[2:4])
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
