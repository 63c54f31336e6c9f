#!/usr/bin/env python3
"""Fourier maps of a stack: the library (bench/fourier_maps) against a NumPy
loop over the same slices, and drift correction against the transforms.

On a generated 256 x 256 x 500 float32 stack (a square lattice, a QPI wave
per slice and noise; 131 MB):
  - NumPy: for each slice, the same work as the library's (mean removed,
    Hann window, np.fft.fft2, fftshift, |F|), timed in this process,
  - fourier_maps fft on 1 and 2 threads,
  - fourier_maps drift on 2 threads (the field from slice 0, then every
    slice resampled),
and the peak resident memory of each run (VmHWM) beyond its input and
output stacks and the program's floor (a run on one slice), in slices.  Every figure comes from one run, best of three, so the
ratios compare like with like on a shared machine.

    /usr/bin/python3 bench/fourier_bench.py [build-dir] [--slices N]
"""
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

NX = NY = 256
DX = 0.05


def make_stack(path, slices):
    y, x = np.indices((NY, NX)) * DX
    q = 2 * np.pi / 0.4
    lattice = np.cos(q * x) + np.cos(q * y)
    rng = np.random.default_rng(1)
    with open(path, "wb") as f:
        for k in range(slices):
            k_qpi = 2.0 + 6.0 * k / slices
            s = lattice + 0.3 * np.cos(k_qpi * (x + y) / np.sqrt(2)) + 0.5 * rng.standard_normal((NY, NX))
            s.astype("<f4").tofile(f)
    return 2 * np.pi / 0.4


def numpy_loop(stack):
    w = np.outer(np.hanning(NY), np.hanning(NX))
    out = np.empty(stack.shape, dtype=np.float32)
    start = time.perf_counter()
    for k in range(stack.shape[0]):
        m = stack[k].astype(np.float64)
        m = (m - m.mean()) * w
        out[k] = np.abs(np.fft.fftshift(np.fft.fft2(m)))
    return time.perf_counter() - start


def run(binary, args):
    out = subprocess.run([binary] + args, check=True, capture_output=True, text=True).stdout.split()
    return float(out[0]), int(out[1])


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    build = args[0] if args else "build/default"
    slices = int(sys.argv[sys.argv.index("--slices") + 1]) if "--slices" in sys.argv else 500
    binary = os.path.join(build, "bench", "fourier_maps")
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "stack.f32")
        q = make_stack(path, slices)
        stack = np.fromfile(path, dtype="<f4").reshape(slices, NY, NX)
        numpy_s = min(numpy_loop(stack) for _ in range(3))
        del stack
        common = [path, str(NX), str(NY), str(slices)]
        # The program's own floor (code, libraries, FFTW's plan, and the one
        # slice of scratch of its first thread): a run on one slice.
        floor_kib = run(binary, [path, str(NX), str(NY), "1", "fft", "1"])[1] - 2 * NX * NY * 4 / 1024
        fft1 = min(run(binary, common + ["fft", "1"]) for _ in range(3))
        fft2 = min(run(binary, common + ["fft", "2"]) for _ in range(3))
        drift2 = min(run(binary, common + ["drift", "2", repr(q), "0", "0", repr(q)]) for _ in range(3))
    slice_kib = NX * NY * 4 / 1024
    stacks_kib = 2 * slices * slice_kib  # input and output
    print(f"stack {NX} x {NY} x {slices} float32 ({stacks_kib / 2 / 1024:.0f} MiB)")
    print(f"the program's floor (code, libraries, plan, one thread's scratch): {floor_kib / 1024:.1f} MiB")
    print(f"numpy loop (np.fft.fft2, float64):   {numpy_s:8.3f} s")
    for name, (s, kib) in (("fourier fft, 1 thread", fft1), ("fourier fft, 2 threads", fft2),
                           ("fourier drift, 2 threads", drift2)):
        extra = (kib - stacks_kib - floor_kib) / slice_kib
        print(f"{name:26s}: {s:8.3f} s   peak {kib / 1024:7.1f} MiB, {extra:5.1f} slices beyond the two stacks and the floor")
    print(f"numpy / fourier fft: {numpy_s / fft1[0]:.2f}x on 1 thread, {numpy_s / fft2[0]:.2f}x on 2")
    print(f"drift correction / fft road (2 threads): {drift2[0] / fft2[0]:.2f}")


if __name__ == "__main__":
    main()
