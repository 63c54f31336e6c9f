"""The reference transform of a map in float64, written from the definition:
mean of the finite pixels removed, missing pixels at that mean, numpy's
symmetric Hann window (or none), numpy.fft.fft2, fftshift, |F| or |F|^2.
   numpy_fft.py MAP.f32 NX NY DX DY hann|none amplitude|power OUT.f64
Writes OUT (ny x nx float64) and prints the 2-norm of the windowed map,
then the qx and qy axes (2 pi fftshift(fftfreq(n, step)))."""
import sys
import numpy as np

path, nx, ny, dx, dy, window, scale, out = sys.argv[1:]
nx, ny, dx, dy = int(nx), int(ny), float(dx), float(dy)
m = np.fromfile(path, dtype="<f4").astype(np.float64).reshape(ny, nx)
finite = np.isfinite(m)
m = np.where(finite, m - m[finite].mean(), 0.0)
if window == "hann":
    m = m * np.outer(np.hanning(ny) if ny > 1 else [1.0], np.hanning(nx) if nx > 1 else [1.0])
f = np.fft.fftshift(np.fft.fft2(m))
f = np.abs(f) ** 2 if scale == "power" else np.abs(f)
f.astype("<f8").tofile(out)
print(repr(float(np.sqrt((m * m).sum()))))
print(" ".join(repr(float(v)) for v in 2 * np.pi * np.fft.fftshift(np.fft.fftfreq(nx, dx))))
print(" ".join(repr(float(v)) for v in 2 * np.pi * np.fft.fftshift(np.fft.fftfreq(ny, dy))))
