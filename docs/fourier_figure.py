#!/usr/bin/env python3
"""The Fourier maps' figure for the README: a synthetic topography (a
hexagonal lattice turned by 12 degrees, noise) and conductance map taken
with it (the lattice, Friedel oscillations with a six-fold warped Fermi
contour around random defects, noise and scan-line offsets that break the
symmetry); the map's transform by lib/fourier, and the same symmetrised by
6mm about the Bragg vectors the library finds in the topography.  Writes
docs/fourier_symmetrise.png.

    /usr/bin/python3 docs/fourier_figure.py [build-dir]   (needs bench/fourier_maps)
"""
import os
import subprocess
import sys
import tempfile

import numpy as np
import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt

N, DX = 256, 0.08          # pixels, nm per pixel
A, TURN = 0.9, 12.0        # nm, degrees: the lattice


def synthetic_maps():
    y, x = np.indices((N, N)) * DX
    q = 4 * np.pi / (np.sqrt(3) * A)
    lattice = sum(np.cos(q * (x * np.cos(t) + y * np.sin(t)))
                  for t in np.radians(TURN + np.array([0, 60, 120])))
    rng = np.random.default_rng(3)
    qpi = np.zeros_like(x)
    for cx, cy in rng.uniform(0, N * DX, size=(30, 2)):
        r = np.hypot(x - cx, y - cy) + 0.2
        theta = np.arctan2(y - cy, x - cx)
        k = 2.2 * (1 + 0.2 * np.cos(6 * (theta - np.radians(TURN))))  # warped contour
        qpi += np.cos(2 * k * r) * np.exp(-r / 6.0) / np.sqrt(r)
    rows = 0.6 * rng.standard_normal((N, 1))  # scan-line offsets: no symmetry
    topography = lattice + 0.5 * rng.standard_normal((N, N)) + 0.3 * rows
    conductance = 0.25 * lattice + qpi + 0.4 * rng.standard_normal((N, N)) + rows
    return np.stack([topography, conductance]).astype("<f4")


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/default"
    binary = os.path.join(build, "bench", "fourier_maps")
    maps = synthetic_maps()
    z = maps[1]
    with tempfile.TemporaryDirectory() as tmp:
        maps.tofile(os.path.join(tmp, "maps.f32"))
        out = subprocess.run([binary, os.path.join(tmp, "maps.f32"), str(N), str(N), "2", "qmap", "1",
                              "6mm", os.path.join(tmp, "q"), repr(DX)],
                             check=True, capture_output=True, text=True).stdout.split()
        fft = np.fromfile(os.path.join(tmp, "q.fft.f32"), dtype="<f4").reshape(N, N)
        sym = np.fromfile(os.path.join(tmp, "q.sym.f32"), dtype="<f4").reshape(N, N)
    q1x, q1y, q2x, q2y, a1, angle = (float(v) for v in out)
    qmax = np.pi / DX
    extent = [-qmax, qmax * (N - 2) / N, -qmax, qmax * (N - 2) / N]  # pixel k at 2 pi (k - N/2) / (N dx)
    fig, axes = plt.subplots(1, 3, figsize=(15, 5.2))
    axes[0].imshow(z, origin="lower", cmap="gray", extent=[0, N * DX, 0, N * DX])
    axes[0].set(title="synthetic conductance map (QPI)", xlabel="x (nm)", ylabel="y (nm)")
    for ax, m, title in ((axes[1], fft, "|FFT| (Hann window, mean removed)"),
                         (axes[2], sym, "symmetrised, 6mm about Q1, Q2 (bilinear)")):
        v = np.log10(np.where(np.isfinite(m), m, np.nan) + 1)
        image = ax.imshow(v, origin="lower", cmap="magma", extent=extent,
                          vmin=np.nanpercentile(v, 5), vmax=np.nanpercentile(v, 99.9))
        ax.set(title=title, xlabel="qx (nm$^{-1}$)", ylabel="qy (nm$^{-1}$)", xlim=(-12, 12), ylim=(-12, 12))
        for qx, qy in ((q1x, q1y), (q2x, q2y)):
            ax.annotate("", xy=(qx, qy), xytext=(0, 0), arrowprops=dict(arrowstyle="->", color="cyan"))
        fig.colorbar(image, ax=ax, fraction=0.046, label="log10(1 + |F|)")
    fig.suptitle(f"Bragg vectors Q1, Q2 (arrows) found in the topography: a = {a1:.3f} nm (made with {A} nm), Q1 at {angle:.1f} deg "
                 f"(made at {TURN} deg)")
    fig.tight_layout()
    fig.savefig(os.path.join(os.path.dirname(os.path.abspath(__file__)), "fourier_symmetrise.png"), dpi=80)


if __name__ == "__main__":
    main()
