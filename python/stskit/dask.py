"""stskit on Dask: many grid files over the workers of a cluster, one grid
per task (process), and stsgrid's computation on Dask-backed datasets
chunk by chunk of space (compute_lazy, through stskit.compute)."""
import os
import re
import shutil
import tempfile

import numpy as np
import xarray as xr

from . import _core
from .run import run


def _one(path, output, settings):
    return run(path, output, **settings)


def process(paths, client, outputs=None, **settings):
    """Runs stsgrid on every grid of paths on the workers of client (a
    distributed.Client), one grid per task; each task writes its grid's
    netCDF file as stsgrid does (outputs: a name per path, default beside
    each input) and returns run()'s summary dict (path, output, status,
    processed, unprocessed, seconds, ...), in the order of paths.

    The settings are run()'s, checked here before any task starts: a wrong
    one is a ValueError with stsgrid's message.  A grid that a worker
    refuses raises its ValueError here, when the results are gathered.
    Each task uses settings["threads"] computing threads (default 1, so
    that a worker with one thread computes one grid on one core).
    """
    paths = [os.fspath(p) for p in paths]
    outputs = [None] * len(paths) if outputs is None else [os.fspath(o) for o in outputs]
    if len(outputs) != len(paths):
        raise ValueError(f"{len(outputs)} outputs for {len(paths)} grids")
    settings = {"threads": 1, **settings}
    _core.check_settings(settings, True)
    futures = client.map(_one, paths, outputs, settings=settings, pure=False)
    return client.gather(futures)


def _pixel_outputs(probe):
    """The per-pixel variables of a run, as the probe's result has them: a
    list of (name, core dims, dtype)."""
    out = []
    for name, v in probe.data_vars.items():
        if v.dims[:2] != ("y", "x"):
            continue  # the statistics over the grid
        out.append((name, v.dims[2:], v.dtype))
    return out


def _chunk(settings, names, bias, current, *rest):
    """One chunk of space through the engine: its per-pixel variables."""
    signal, codes, px, py = rest
    ny, nx = current.shape[:2]
    scratch = tempfile.mkdtemp(prefix="stskit-")
    try:
        r = _core.compute(bias, current, signal, codes, px, py, [float(i) for i in range(nx)],
                          [float(j) for j in range(ny)], "1", "", [], settings, scratch)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return tuple(r["variables"][name] for name in names)


def _needs_every_pixel(ds, settings):
    """Why this run cannot go chunk by chunk ("" when it can)."""
    if settings.get("didv_channel") and settings.get("lockin_fit", "grid") == "grid":
        return "the lock-in's line is fitted over every pixel before any is computed"
    if "pixel_bias" in ds:
        return "its pixels have bias axes of their own"
    if ds["current"].dims != ("y", "x", "bias"):
        return "it is not a grid over (y, x, bias)"
    return ""


def _probe(ds, settings):
    """The eager result on the first row that holds a processed pixel: the
    run's variables, their attributes and the common bias axis."""
    from .compute import _eager
    for row in range(ds.sizes["y"]):
        probe = _eager(ds.isel(y=slice(row, row + 1)).load(), settings)
        if (probe["status"].values == 0).any():
            return probe
    return None


def compute_lazy(ds, settings):
    """stskit.compute on a Dask-backed grid: the per-pixel variables as Dask
    arrays, each chunk of (y, x) computed by the engine as the eager path
    computes it (bit for bit: a pixel's values depend on that pixel alone);
    the bias axis is rechunked to one chunk, so a task holds whole spectra.
    Each task computes on settings["threads"] threads (default 1: Dask gives
    the parallelism).  The statistics over the grid (mean_, sd_, se_) need
    every pixel and are not in the result: statistics(out) computes it and
    adds them (the eager result, bit for bit).  A run that needs every pixel
    first (the lock-in's line fitted over the grid) or whose pixels have
    bias axes of their own is computed eagerly, whole."""
    from .compute import _eager, _find_channel
    settings = {"threads": 1, **settings}
    _core.check_settings(settings, False)
    probe = None if _needs_every_pixel(ds, settings) else _probe(ds, settings)
    if probe is None:
        return _eager(ds.load(), settings)
    outputs = _pixel_outputs(probe)
    names = [name for name, _, _ in outputs]
    whole = {"bias": -1}
    didv = settings.get("didv_channel")
    optional = [_find_channel(ds, didv).chunk(whole) if didv else None]
    optional += [ds[n] if n in ds else None for n in ("read_status", "position_x", "position_y")]
    given = [i for i, v in enumerate(optional) if v is not None]

    def func(bias, current, *arrays):
        full = [None] * len(optional)
        for i, a in zip(given, arrays):
            full[i] = a
        return _chunk(settings, names, bias, current, *full)

    results = xr.apply_ufunc(
        func, ds["bias"], ds["current"].chunk(whole), *[optional[i] for i in given],
        input_core_dims=[["bias"], ["bias"]] + [["bias"] if i == 0 else [] for i in given],
        output_core_dims=[list(dims) for _, dims, _ in outputs], dask="parallelized",
        output_dtypes=[dtype for _, _, dtype in outputs],
        dask_gufunc_kwargs={"output_sizes": {"point": probe.sizes["point"],
                                             "midpoint": probe.sizes["midpoint"]}})
    results = results if isinstance(results, tuple) else (results,)
    data = {name: v.variable.copy(deep=False) for (name, _, _), v in zip(outputs, results)}
    for name in names:
        data[name].attrs = dict(probe[name].attrs)
    coords = {"y": ("y", np.asarray(ds["y"].values, np.float64), probe["y"].attrs),
              "x": ("x", np.asarray(ds["x"].values, np.float64), probe["x"].attrs),
              "bias": probe["bias"].variable, "vmid": probe["vmid"].variable}
    return xr.Dataset(data, coords, dict(probe.attrs))


def _region_mask(attrs, ny, nx):
    """The pixels the statistics are over by the run's own record of its
    region ("x 1:4, y 2:5", or "all pixels")."""
    inside = np.ones((ny, nx), bool)
    m = re.fullmatch(r"x (\d+):(\d+), y (\d+):(\d+)", attrs.get("statistics_region", ""))
    if m:
        x0, x1, y0, y1 = (int(v) for v in m.groups())
        inside[:] = False
        inside[y0:y1 + 1, x0:x1 + 1] = True
    return inside


def statistics(out):
    """A chunked result of stskit.compute, computed, with the statistics
    over the grid (mean_, sd_, se_) added: the eager result, bit for bit.
    The engine's own two passes (stskit._core.record_statistics) go over the
    processed pixels of the run's region, in pixel order, as the run's do."""
    from .compute import _STATISTICS
    done = out.compute()
    ny, nx = done["status"].shape
    take = ((done["status"].values == 0) & _region_mask(done.attrs, ny, nx)).ravel()
    stats = {}
    for q in _core.quantities():
        name = q["name"]
        if not q["statistics"] or name not in done or "mean_" + name in done:
            continue
        v = done[name]
        records = np.ascontiguousarray(v.values.reshape(ny * nx, -1)[take])
        values = _core.record_statistics(records)
        for (prefix, long_name), a in zip(_STATISTICS, values[:3]):
            stats[prefix + name] = (v.dims[2:], a, {"units": v.attrs["units"],
                                                    "long_name": long_name + v.attrs["long_name"],
                                                    "pixels": np.int64(values[3])})
    return done.assign(stats)
