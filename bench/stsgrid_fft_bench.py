#!/usr/bin/env python3
"""stsgrid --fft against a NumPy loop, on a generated 256 x 256 grid of 501
points (500 midpoints: 500 maps of dI/dV, bench/make_grid):

  - stsgrid without --fft, then with --fft (the Fourier pass: the maps
    gathered from the run, 500 transforms, <out>_fft.nc written), and with
    --fft --bragg=... --drift-correct (the corrected maps written too).
    The pass runs once the grid's file is complete, so its time is that
    from the grid's file's last write (its mtime) to the program's end,
    less the same span of the plain run (the exit); the whole runs'
    difference drowns in the run's own scatter on a shared machine;
  - NumPy: the same maps read from the grid's .nc, then for each slice the
    library's work (mean removed, Hann window, np.fft.fft2 in float64,
    fftshift, |F|) and the stack written with netCDF4, timed in this
    process;
  - peak resident memory of each stsgrid run (/usr/bin/time's maximum
    RSS) against the goal: --fft at most one slice (256 x 256 float32,
    256 KiB) per thread beyond the plain run, whose peak is the grid's
    file's layout (the maps' stack, 125 MiB, goes to a scratch file).
    The resident pages of FFTW's library that its planner touches count
    in that peak too (code, not data: the same for any map's size), so
    they are measured on their own in a bare process (a 256 x 256 plan
    made through ctypes) and set apart;
  - the two ratios: the NumPy road over the Fourier pass (goal: at least
    3) and the drift road over the Fourier pass (goal: at most 2).

The three stsgrid runs go in turns, ROUNDS times (default 2), and each
figure is the median of its rounds, so that a burst of load on the shared
machine does not fall on one road alone.  Every figure from one run of the
script, so that the ratios compare like with like; absolute times are not
the point.

    /usr/bin/python3 bench/stsgrid_fft_bench.py [build-dir] [ROUNDS]
"""
import statistics
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
import netCDF4

NX = NY = 256
POINTS = 501


def timed(args, cwd, grid_nc):
    """Wall time, peak RSS (KiB) and the time after the grid's file."""
    start = time.perf_counter()
    r = subprocess.run(["/usr/bin/time", "-f", "%M"] + args, cwd=cwd, capture_output=True,
                       text=True)
    end_wall, end = time.perf_counter(), time.time()
    if r.returncode not in (0, 3):
        raise SystemExit(f"{args}: {r.stderr}")
    after = end - os.stat(os.path.join(cwd, grid_nc)).st_mtime
    return end_wall - start, int(r.stderr.strip().splitlines()[-1]), after


def numpy_road(grid_nc, out_nc):
    """Read the maps, transform each slice as the library does, write them."""
    start = time.perf_counter()
    with netCDF4.Dataset(grid_nc) as ds:
        ds.set_auto_mask(False)
        stack = np.moveaxis(ds["didv"][:], 2, 0)
    read = time.perf_counter()
    w = np.outer(np.hanning(NY), np.hanning(NX))
    out = np.empty(stack.shape, dtype=np.float32)
    for k in range(stack.shape[0]):
        m = stack[k].astype(np.float64)
        finite = np.isfinite(m)
        m = np.where(finite, m - m[finite].mean(), 0.0) * w
        out[k] = np.abs(np.fft.fftshift(np.fft.fft2(m)))
    loop = time.perf_counter()
    with netCDF4.Dataset(out_nc, "w") as ds:
        for name, n in (("bias", out.shape[0]), ("qy", NY), ("qx", NX)):
            ds.createDimension(name, n)
        v = ds.createVariable("fft_didv", "f4", ("bias", "qy", "qx"), chunksizes=(1, NY, NX))
        v[:] = out
    end = time.perf_counter()
    return end - start, read - start, loop - read


def fftw_pages_kib():
    """The resident library pages (KiB) making one 256 x 256 float plan adds."""
    script = """
import ctypes
def rss_file():
    for line in open("/proc/self/status"):
        if line.startswith("RssFile:"):
            return int(line.split()[1])
lib = ctypes.CDLL("libfftw3f.so.3")
lib.fftwf_alloc_complex.restype = ctypes.c_void_p
lib.fftwf_plan_dft_r2c_2d.restype = ctypes.c_void_p
lib.fftwf_plan_dft_r2c_2d.argtypes = [ctypes.c_int, ctypes.c_int, ctypes.c_void_p,
                                      ctypes.c_void_p, ctypes.c_uint]
buffer = lib.fftwf_alloc_complex(%d * (%d // 2 + 1))
before = rss_file()
lib.fftwf_plan_dft_r2c_2d(%d, %d, buffer, buffer, 1 << 6)  # FFTW_ESTIMATE
print(rss_file() - before)
""" % (NY, NX, NY, NX)
    r = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True)
    return int(r.stdout)


def median_run(runs):
    """The median of each figure over the rounds."""
    return tuple(statistics.median(r[i] for r in runs) for i in range(3))


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/default"
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 2
    stsgrid = os.path.abspath(os.path.join(build, "stsgrid", "stsgrid"))
    make_grid = os.path.abspath(os.path.join(build, "bench", "make_grid"))
    threads = 2
    with tempfile.TemporaryDirectory(dir=os.environ.get("TMPDIR", "/tmp")) as work:
        subprocess.run([make_grid, str(NX), str(NY), str(POINTS), "g.3ds"], cwd=work, check=True)
        common = [stsgrid, "--no-progress", "-j", str(threads), "g.3ds"]
        roads = {"plain": ["-o", "plain.nc"], "fft": ["-o", "f.nc", "--fft"],
                 "drift": ["-o", "d.nc", "--fft", "--bragg=10,0:0,10", "--drift-correct"]}
        runs = {name: [] for name in roads}
        for _ in range(rounds):
            for name, options in roads.items():
                runs[name].append(timed(common + options, work, options[1]))
        plain, fft, drift = (median_run(runs[name]) for name in roads)
        numpy_all, numpy_read, numpy_loop = numpy_road(os.path.join(work, "plain.nc"),
                                                       os.path.join(work, "np_fft.nc"))
    slice_mib = NX * NY * 4 / 2**20
    stack_mib = (POINTS - 1) * slice_mib
    fft_pass, drift_pass = fft[2] - plain[2], drift[2] - plain[2]
    print(f"grid {NX} x {NY} x {POINTS} points: {POINTS - 1} maps, a stack of {stack_mib:.0f} MiB; "
          f"medians of {rounds} rounds")
    print(f"stsgrid ({threads} threads)                 {plain[0]:8.2f} s  peak {plain[1] / 1024:7.1f} MiB")
    print(f"stsgrid --fft                       {fft[0]:8.2f} s  peak {fft[1] / 1024:7.1f} MiB")
    print(f"stsgrid --fft --drift-correct       {drift[0]:8.2f} s  peak {drift[1] / 1024:7.1f} MiB")
    print(f"after the grid's file: plain {plain[2]:.3f} s, --fft {fft[2]:.3f} s, "
          f"--drift-correct {drift[2]:.3f} s")
    print(f"the Fourier pass                    {fft_pass:8.2f} s  "
          f"peak {(fft[1] - plain[1]) / 1024:+.1f} MiB")
    print(f"the drift road                      {drift_pass:8.2f} s  "
          f"peak {(drift[1] - plain[1]) / 1024:+.1f} MiB")
    print(f"numpy: read {numpy_read:.2f} s + loop {numpy_loop:.2f} s + write "
          f"{numpy_all - numpy_read - numpy_loop:.2f} s = {numpy_all:.2f} s")
    goal = threads * slice_mib
    extra = (fft[1] - plain[1]) / 1024
    fftw = fftw_pages_kib() / 1024
    print(f"memory: --fft {extra:+.1f} MiB beyond the plain run, of which FFTW's library pages "
          f"{fftw:.1f} MiB; the rest {extra - fftw:+.1f} MiB, goal at most {goal:.1f} MiB "
          f"(one slice per thread): {'met' if extra - fftw <= goal else 'NOT met'}")
    ratio = numpy_all / fft_pass
    print(f"numpy road / Fourier pass: {ratio:.2f}x (the loop alone: {numpy_loop / fft_pass:.2f}x), "
          f"goal at least 3: {'met' if ratio >= 3 else 'NOT met'}")
    drift_ratio = drift_pass / fft_pass
    print(f"drift road / Fourier pass: {drift_ratio:.2f}, goal at most 2: "
          f"{'met' if drift_ratio <= 2 else 'NOT met'}")


if __name__ == "__main__":
    main()
