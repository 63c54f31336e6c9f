"""Helpers of stskit's tests: the tools of the build (stsimport, stsgrid,
make_grid) run in temporary folders, and the real instrument files."""
import os
import pathlib
import subprocess

import numpy as np
import pytest

SOURCE = pathlib.Path(__file__).resolve().parents[2]
BUILD_BIN = SOURCE / "build" / "dev"


def tool(name, sub):
    """A tool of the build: from ctest's environment, else build/dev."""
    return os.environ.get(name.upper().replace("-", "_") + "_BIN", str(BUILD_BIN / sub / name))


STSIMPORT = tool("stsimport", "stsimport")
STSGRID = tool("stsgrid", "stsgrid")
MAKE_GRID = tool("make_grid", "bench")


def realraw():
    """The folder of the real instrument files; tests skip only when it is absent."""
    base = pathlib.Path(os.environ.get("NORMSPEC_REALDATA", SOURCE.parent / "shared" / "realdata"))
    raw = base / "raw"
    if not raw.is_dir():
        pytest.skip(f"no real data at {raw}")
    return raw


def run(args, cwd, check=True):
    r = subprocess.run([str(a) for a in args], cwd=cwd, capture_output=True, text=True)
    if check and r.returncode != 0:
        raise AssertionError(f"{args}: status {r.returncode}: {r.stderr}")
    return r


def stsimport(path, folder, *options):
    """What stsimport makes of a file, read back as text: a list of (row of
    the index, bias, current) with the values as the floats it wrote."""
    folder = pathlib.Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    run([STSIMPORT, "--out", folder, *options, path], cwd=folder)
    lines = (folder / "stsimport-index.tsv").read_text().splitlines()
    names = lines[0].split("\t")
    out = []
    for line in lines[1:]:
        row = dict(zip(names, line.split("\t")))
        values = np.loadtxt(folder / row["output"], dtype=np.float64, ndmin=2)
        # Shortest decimals that read back as the very float: exact as float32.
        out.append((row, values[:, 0].astype(np.float32), values[:, 1].astype(np.float32)))
    return out


def stsimport_error(path, folder, *options):
    """stsimport's message for a file it refuses, without its name in front."""
    pathlib.Path(folder).mkdir(parents=True, exist_ok=True)
    r = run([STSIMPORT, "--out", folder, *options, path], cwd=folder, check=False)
    assert r.returncode != 0
    first = r.stderr.splitlines()[0]
    assert first.startswith("stsimport: ")
    return first[len("stsimport: "):]


def bits(a):
    """The bytes of an array, for comparisons of bit patterns (NaN included)."""
    a = np.ascontiguousarray(a)
    return a.dtype.str, a.shape, a.tobytes()
