"""stsgrid's computation on a dataset: every pixel through the grid engine's
run (the C++ run_grid over the arrays), giving the variables, units, long
names, statuses and statistics of stsgrid's netCDF file, value for value."""
import shutil
import tempfile

import numpy as np
import xarray as xr

from . import _core
from .attributes import status_attributes

_STATISTICS = (("mean_", "mean over the pixels of "),
               ("sd_", "sample standard deviation over the pixels of "),
               ("se_", "standard error of the mean over the pixels of "))


def _find_channel(ds, channel):
    for name, v in ds.data_vars.items():
        if name == channel or v.attrs.get("channel", "").lower() == channel.lower():
            return v
    raise ValueError(f"no channel '{channel}' in the dataset (open it with "
                     f"didv_channel='{channel}'); its variables: {sorted(ds.data_vars)}")


def _check_unit(ds, settings):
    """A lock-in channel in a unit no dI/dV is measured in (a phase) needs
    force=True, as the reader says when it opens one (attribute
    didv_refusal of the channel)."""
    channel = settings.get("didv_channel")
    if channel and not settings.get("force"):
        refusal = _find_channel(ds, channel).attrs.get("didv_refusal")
        if refusal:
            raise ValueError(refusal)


def _grid_arrays(ds, didv_channel):
    """current, bias, signal, codes and positions as (y, x, point) / (y, x)
    arrays, and the x, y coordinates with their unit."""
    cur = ds["current"]
    if cur.dims == ("y", "x", "bias"):
        shape = None
        x, y = ds["x"].values, ds["y"].values
        xy_unit = ds["x"].attrs.get("units", "1")
    elif cur.dims in (("bias",), ("spectrum", "bias")):
        # One spectrum, or a series: one row of pixels, as stsgrid takes a list of files.
        n = 1 if cur.ndim == 1 else cur.shape[0]
        shape = (1, n, cur.shape[-1])
        x, y, xy_unit = np.arange(n, dtype=np.float64), np.zeros(1), "1"
    else:
        raise ValueError(f"current over {cur.dims}: (y, x, bias), (spectrum, bias) or (bias) "
                         "is needed")

    def values(v):
        a = v.values if isinstance(v, xr.DataArray) else v
        return a if shape is None or a is None else a.reshape(shape)

    if "pixel_bias" in ds:
        bias = values(ds["pixel_bias"])
    else:
        bias = ds["bias"].values
    signal = values(_find_channel(ds, didv_channel)) if didv_channel else None
    codes = ds["read_status"].values if "read_status" in ds and shape is None else None
    known = shape is None and "position_x" in ds and "position_y" in ds
    px = ds["position_x"].values if known else None
    py = ds["position_y"].values if known else None
    return bias, values(cur), signal, codes, px, py, np.asarray(x, np.float64), \
        np.asarray(y, np.float64), xy_unit


def _settings(ds, direction, settings):
    """The run's settings: how ds was read (its attributes), then those given."""
    held = ds.attrs.get("direction", "fwd")
    if direction is not None and direction != held:
        raise ValueError(f"the dataset holds the direction {held}; open the file with "
                         f"direction='{direction}'")
    read = {"direction": held}
    for key in ("channel", "sweep", "bias_unit", "current_unit"):
        if key in ds.attrs:
            read[key] = ds.attrs[key]
    return {**read, **settings}


def compute(ds, direction=None, **settings):
    """stsgrid's quantities of every pixel of ds, as its netCDF file has them.

    ds: a dataset of the engine "stskit" (a grid over (y, x, bias), a spectrum
    over (bias), or a series over (spectrum, bias)).  Its arrays must be
    C-contiguous float32 (and read_status int8), as the engine gives them;
    any other dtype or layout is a TypeError, never a silent copy.  The
    settings are stsgrid's options by name, with its values: direction (that
    of ds, which must match when given), smooth ("W[:ORDER]" or W),
    didv_channel (the lock-in channel opened with ds), lockin_fit ("pixel",
    "grid"), lockin_min_r2, gap ("T[:VARIABLE]" or T), gap_window,
    exp_width, coff_offset, region ("X0:X1,Y0:Y1"), threads (default every
    core), lockin_cal ("fit", "amplitude"), force (True: a didv_channel of
    any unit), fit ("dynes", "dynes-sis", optionally ":VARIABLE"),
    fit_window, fit_temperature, fit_tip_gap, fit_tip_gamma,
    fit_modulation, fit_free; stskit._core.compute_settings lists them.  They reach the engine's plan in C++ (stskit._core); a wrong one is
    a ValueError with stsgrid's message naming the keyword (force=True where
    stsgrid says --force), an unknown name a TypeError.  The
    computation runs in C++ without the GIL.

    A Dask-backed ds (opened with chunks=) is computed chunk by chunk of
    space through xarray.apply_ufunc (stskit.dask.compute_lazy).
    """
    settings = _settings(ds, direction, settings)
    _check_unit(ds, settings)
    if ds["current"].chunks is not None:
        from .dask import compute_lazy
        return compute_lazy(ds, settings)
    return _eager(ds, settings)


def _eager(ds, settings):
    didv_channel = settings.get("didv_channel")
    bias, current, signal, codes, px, py, x, y, xy_unit = _grid_arrays(ds, didv_channel)
    grid_attrs = [(name, str(ds.attrs[name]))
                  for name in ds.attrs.get("grid_attributes", "").split() if name in ds.attrs]
    scratch = tempfile.mkdtemp(prefix="stskit-")
    try:
        r = _core.compute(bias, current, signal, codes, px, py, x.tolist(), y.tolist(), xy_unit,
                          ds.attrs.get("source", ""), grid_attrs, settings, scratch)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return _dataset(r)


def _dataset(r):
    bias_unit, current_unit = r["bias_unit"], r["current_unit"]
    nm = r["xy_unit"] != "1"
    of_axis = " (of the first processed pixel)" if r["per_pixel_axis"] else ""
    along = "position along the grid's " if nm else "pixel number along "
    coords = {
        "y": ("y", np.asarray(r["y"], np.float64),
              {"units": r["xy_unit"], "long_name": along + "y", "axis": "Y"}),
        "x": ("x", np.asarray(r["x"], np.float64),
              {"units": r["xy_unit"], "long_name": along + "x", "axis": "X"}),
        "bias": ("point", r["bias"], {"units": bias_unit, "long_name": "bias" + of_axis}),
        "vmid": ("midpoint", r["vmid"],
                 {"units": bias_unit,
                  "long_name": "bias midway between neighbouring points" + of_axis}),
    }
    data = {}
    values = r["variables"]
    for q in _core.quantities():
        name = q["name"]
        if name not in values:
            continue
        dims = {"point": ("y", "x", "point"), "midpoint": ("y", "x", "midpoint"),
                "pixel": ("y", "x")}[q["along"]]
        attrs = {"units": _core.unit_text(name, bias_unit, current_unit),
                 "long_name": q["long_name"]}
        if q["comment"]:
            attrs["comment"] = q["comment"]
        data[name] = (dims, values[name], attrs)
    data["status"] = (("y", "x"), values["status"],
                      status_attributes("pixel status: 0 if processed, else why not",
                                        r["lockin"]))
    if "gap_status" in values:
        data["gap_status"] = (("y", "x"), values["gap_status"],
                              {"units": "1",
                               "long_name": "gap of the pixel: 0 if found, else why not",
                               "flag_values": np.arange(_core.gap_reason_count, dtype=np.int8),
                               "flag_meanings": _core.gap_reason_names})
    if "fit_status" in values:
        data["fit_status"] = (("y", "x"), values["fit_status"],
                              {"units": "1",
                               "long_name": "gap fit of the pixel: 0 if converged, else why not",
                               "flag_values": np.arange(_core.fit_status_count, dtype=np.int8),
                               "flag_meanings": _core.fit_status_names})
    for axis in ("x", "y"):
        if "position_" + axis in values:
            data["position_" + axis] = (("y", "x"), values["position_" + axis],
                                        {"units": "nm",
                                         "long_name": f"measured position of the pixel, {axis}"})
    quantities = {q["name"]: q for q in _core.quantities()}
    for name, (mean, sd, se, pixels) in r["statistics"].items():
        q = quantities[name]
        dim = "point" if q["along"] == "point" else "midpoint"
        for (prefix, long_name), v in zip(_STATISTICS, (mean, sd, se)):
            data[prefix + name] = ((dim,), v,
                                   {"units": _core.unit_text(name, bias_unit, current_unit),
                                    "long_name": long_name + q["long_name"],
                                    "pixels": np.int64(pixels)})
    attrs = {"Conventions": "CF-1.8", "title": "Normalised tunnelling spectra of a grid",
             "source": r["source"]}
    program = dict(r["attributes"]).get("program", "stsgrid")
    attrs["software"] = program
    for name, value in r["attributes"]:
        attrs[name] = value
    return xr.Dataset(data, coords, attrs)
