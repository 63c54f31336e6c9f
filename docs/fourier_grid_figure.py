#!/usr/bin/env python3
"""The README's figure of stsgrid's Fourier maps: a synthetic QPI grid
(bench/make_qpi_grid --drift: a square lattice of 0.4 nm turned by 15
degrees, Friedel oscillations on a four-fold warped contour, noise,
scan-line offsets, and every feature displaced by a smooth drift field)
through stsgrid itself:

    stsgrid q.3ds -o a.nc --fft --bragg
    stsgrid q.3ds -o b.nc --fft --drift-correct --symmetrise=4mm

and four panels from the files it wrote: the dI/dV map (a.nc), its |FFT|
as measured (a_fft.nc), after drift correction (b_fft.nc, with
--symmetrise's input), and drift-corrected and symmetrised by 4mm.  The
Bragg vectors stsgrid found are circled.  Writes docs/fourier_qpi_grid.png.

    /usr/bin/python3 docs/fourier_grid_figure.py [build-dir]
"""
import os
import subprocess
import sys
import tempfile

import numpy as np
import netCDF4
import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt

N, POINTS, SLICE = 256, 6, 3


def read(path, *names):
    with netCDF4.Dataset(path) as ds:
        ds.set_auto_mask(False)
        values = [np.asarray(ds[n][:]) for n in names]
        attrs = {k: ds.getncattr(k) for k in ds.ncattrs()}
    return values, attrs


def q_panel(ax, fft, qx, qy, attrs, title):
    m = np.log10(fft + 1e-12)
    lo, hi = np.percentile(m, [5, 99.9])
    ax.imshow(m, origin="lower", extent=[qx[0], qx[-1], qy[0], qy[-1]], vmin=lo, vmax=hi,
              cmap="magma")
    for q in (attrs["bragg_q1"], attrs["bragg_q2"]):
        for s in (1, -1):
            ax.add_patch(plt.Circle((s * q[0], s * q[1]), 1.6, fill=False, color="c", lw=1))
    ax.set_xlim(-22, 22)
    ax.set_ylim(-22, 22)
    ax.set_xlabel("q_x (nm$^{-1}$)")
    ax.set_ylabel("q_y (nm$^{-1}$)")
    ax.set_title(title, fontsize=10)


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/dev"
    stsgrid = os.path.abspath(os.path.join(build, "stsgrid", "stsgrid"))
    make = os.path.abspath(os.path.join(build, "bench", "make_qpi_grid"))
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fourier_qpi_grid.png")
    with tempfile.TemporaryDirectory() as work:
        subprocess.run([make, "--drift", str(N), str(POINTS), "q.3ds"], cwd=work, check=True)
        for args in (["-o", "a.nc", "--fft", "--bragg"],
                     ["-o", "b.nc", "--fft", "--drift-correct", "--symmetrise=4mm"]):
            r = subprocess.run([stsgrid, "--no-progress", "q.3ds"] + args, cwd=work,
                               capture_output=True, text=True, check=True)
            print(r.stdout, end="")
        (didv, x, y, vmid), _ = read(os.path.join(work, "a.nc"), "didv", "x", "y", "vmid")
        (raw, qx, qy), a = read(os.path.join(work, "a_fft.nc"), "fft_didv", "qx", "qy")
        (corr, sym), b = read(os.path.join(work, "b_fft.nc"), "fft_didv", "fft_didv_symmetrised")
    fig, axes = plt.subplots(1, 4, figsize=(17, 4.6), constrained_layout=True)
    m = didv[:, :, SLICE]
    lo, hi = np.percentile(m, [1, 99])
    axes[0].imshow(m, origin="lower", extent=[x[0], x[-1], y[0], y[-1]], vmin=lo, vmax=hi,
                   cmap="viridis")
    axes[0].set_xlabel("x (nm)")
    axes[0].set_ylabel("y (nm)")
    axes[0].set_title(f"synthetic dI/dV at {vmid[SLICE] * 1e3:.0f} mV\n(lattice, QPI, drift, "
                      "noise, line offsets)", fontsize=10)
    q_panel(axes[1], raw[SLICE], qx, qy, a, "|FFT| as measured\n(Bragg peaks found: circles)")
    q_panel(axes[2], corr[SLICE], qx, qy, b,
            f"drift-corrected (Lambda {float(b['drift_lambda']):.2f} nm)")
    q_panel(axes[3], sym[SLICE], qx, qy, b, "drift-corrected, symmetrised by 4mm")
    fig.savefig(out, dpi=80)
    print("wrote", out)


if __name__ == "__main__":
    main()
