#!/usr/bin/env python3
"""The Fourier pass's files byte for byte against another build (main's):
stsgrid --fft, with and without the window, with symmetrisation, and with
drift correction (Bragg vectors found and given), on one and two threads,
over a generated QPI grid with drift (bench/make_qpi_grid --drift) and a
generated grid with a hole of missing pixels cut by --region-free pixels
(bench/make_grid).  Every file both builds write (<out>.nc, <out>_fft.nc,
<out>_corrected.nc, the pictures) must be the same bytes; the script says
which differ and exits 1 then.

    /usr/bin/python3 bench/fourier_bytes_check.py OLD_BUILD NEW_BUILD

OLD_BUILD is a build of main (cmake -S <main checkout> -B OLD_BUILD); the
grids are made with NEW_BUILD's generators.
"""
import filecmp
import os
import subprocess
import sys
import tempfile

CASES = [
    ("qpi.3ds", ["--fft"]),
    ("qpi.3ds", ["--fft", "--fft-window=none", "-j", "1"]),
    ("qpi.3ds", ["--fft", "--bragg", "--symmetrise=4mm", "--map=0.01"]),
    ("qpi.3ds", ["--fft", "--drift-correct", "--symmetrise=4mm", "--map=0.01"]),
    ("qpi.3ds", ["--fft", "--drift-correct=0.9", "-j", "1"]),
    ("grid.3ds", ["--fft"]),
    ("grid.3ds", ["--fft", "--bragg=10,0:0,10", "--drift-correct", "-j", "2"]),
    ("grid.3ds", ["--fft=iv", "--bragg=10,0:0,10", "--drift-correct", "-j", "3"]),
]


def run_all(stsgrid, work, grids):
    os.makedirs(work)
    for name, path in grids.items():
        os.symlink(path, os.path.join(work, name))
    for n, (grid, options) in enumerate(CASES):
        args = [stsgrid, "--no-progress", grid, "-o", f"c{n}.nc"] + options
        r = subprocess.run(args, cwd=work, capture_output=True, text=True)
        if r.returncode not in (0, 3):
            raise SystemExit(f"{' '.join(args)} in {work}: status {r.returncode}\n{r.stderr}")


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    old, new = (os.path.abspath(b) for b in sys.argv[1:])
    with tempfile.TemporaryDirectory(dir=os.environ.get("TMPDIR", "/tmp")) as top:
        grids = {"qpi.3ds": os.path.join(top, "qpi.3ds"), "grid.3ds": os.path.join(top, "grid.3ds")}
        subprocess.run([os.path.join(new, "bench", "make_qpi_grid"), "--drift", "96", "33",
                        grids["qpi.3ds"]], check=True)
        subprocess.run([os.path.join(new, "bench", "make_grid"), "80", "72", "61",
                        grids["grid.3ds"]], check=True)
        # The runs of both builds in folders of the same name, so that the
        # file names the files record agree.
        for side, build in (("old", old), ("new", new)):
            run_all(os.path.join(build, "stsgrid", "stsgrid"), os.path.join(top, side, "w"),
                    grids)
        a, b = os.path.join(top, "old", "w"), os.path.join(top, "new", "w")
        names = sorted(f for f in set(os.listdir(a)) | set(os.listdir(b)) if not f.endswith(".3ds"))
        bad = [f for f in names
               if not (os.path.exists(os.path.join(a, f)) and os.path.exists(os.path.join(b, f))
                       and filecmp.cmp(os.path.join(a, f), os.path.join(b, f), shallow=False))]
        fourier = [f for f in names if f.endswith(("_fft.nc", "_corrected.nc"))]
        print(f"{len(CASES)} runs, {len(names)} files ({len(fourier)} of the Fourier pass): "
              f"{len(names) - len(bad)} the same bytes")
        for f in bad:
            print(f"differs: {f}")
        return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
