"""The xarray engine "stskit": every instrument file the readers take.

A point spectrum gives dims (bias); several spectra of one file (each sweep)
dims (spectrum, bias); a grid (Nanonis .3ds, an RHK .sm4 line or map) dims
(y, x, bias), read pixel by pixel on demand through the C++ grid source, so
that ``chunks=`` gives Dask arrays.  The options are stsimport's, with its
names and values: channel, bias, direction, sweep, each_sweep, bias_unit,
current_unit, current_gain, format, and didv_channel (stsgrid's lock-in
channel, read beside the current; force=True takes one of any unit, a
phase, as stsgrid --force does); for a point spectrum, scan (a Nanonis .sxm it was
taken on: attributes scan_file, scan_column, scan_row, scan_x_nm,
scan_y_nm and scan_frame say where it sits, as stsimport --scan does).  A
file a reader refuses raises ValueError with the message the tools print.
"""
import os
import re
import warnings

import numpy as np
import xarray as xr
from xarray.backends import BackendArray, BackendEntrypoint
from xarray.core import indexing

from . import _core
from .attributes import flat_attributes, status_attributes

OPEN_PARAMETERS = ("channel", "bias", "direction", "sweep", "each_sweep", "bias_unit",
                   "current_unit", "current_gain", "format", "didv_channel", "force", "scan")


def import_args(channel=None, bias=None, direction=None, sweep=None, each_sweep=False,
                bias_unit=None, current_unit=None, current_gain=None, format=None):
    """stsimport's arguments for these options (None: its default)."""
    args = []
    for name, value in (("--channel", channel), ("--bias", bias), ("--direction", direction),
                        ("--sweep", sweep), ("--bias-unit", bias_unit),
                        ("--current-unit", current_unit), ("--current-gain", current_gain),
                        ("--format", format)):
        if value is not None:
            args.append(f"{name}={value}")
    if each_sweep:
        args.append("--each-sweep")
    return args


def file_format(path, format=None):
    """The format name the readers see in the file (or the one given)."""
    if format not in (None, "auto"):
        return format
    return _core.detect_format(_core.read_head(path))


def _unit_of(channel):
    m = re.match(r"^(.*?)\s*\(([^()]*)\)\s*$", channel)
    return (m.group(1), m.group(2)) if m else (channel, "")


def _variable_name(channel):
    return re.sub(r"[^A-Za-z0-9_]+", "_", _unit_of(channel)[0]).strip("_") or "channel"


class OpenGrid:
    """A grid file opened once with its options, and again by the same
    path and options where it is unpickled (a Dask worker process)."""

    def __init__(self, path, args, signal_channel="", force=False):
        self.path, self.args, self.signal_channel, self.force = path, list(args), signal_channel, \
            force
        self.file = _core.GridFile(path, self.args, signal_channel=signal_channel, force=force)

    def __getstate__(self):
        return self.path, self.args, self.signal_channel, self.force

    def __setstate__(self, state):
        self.__init__(*state)


class GridArray(BackendArray):
    """One part of every pixel of a grid ('current', 'signal', 'bias',
    'code', 'position_x', 'position_y'), read from the file when indexed."""

    def __init__(self, grid, what, points):
        self.grid, self.what = grid, what
        per_point = what in ("current", "signal", "bias")
        f = grid.file
        self.shape = (f.ny, f.nx, points) if per_point else (f.ny, f.nx)
        self.dtype = np.dtype(np.int8 if what == "code" else np.float32)

    def __getitem__(self, key):
        return indexing.explicit_indexing_adapter(key, self.shape,
                                                  indexing.IndexingSupport.BASIC, self._read)

    def _read(self, key):
        parts = []
        for k, n in zip(key, self.shape):
            if isinstance(k, (int, np.integer)):
                parts.append((int(k), int(k) + 1, 0))
                continue
            if isinstance(k, slice) and k.step in (None, 1):
                # A run of pixels or points: read as it is, no copy after.
                lo, hi, _ = k.indices(n)
                parts.append((lo, max(lo, hi), slice(None)))
                continue
            index = np.arange(n)[k]
            lo = int(index.min()) if index.size else 0
            parts.append((lo, int(index.max()) + 1 if index.size else lo, index - lo))
        (y0, y1, ly), (x0, x1, lx) = parts[:2]
        if len(parts) > 2:
            # Only the points asked for leave the C++ side.
            k0, k1, lk = parts[2]
            block = self.grid.file.read(y0, y1, x0, x1, self.what, k0, k1)
        else:
            block = self.grid.file.read(y0, y1, x0, x1, self.what)
        block = block[ly]
        block = block[lx] if isinstance(ly, int) else block[:, lx]
        if len(parts) > 2:
            block = block[..., lk]
        return block if block.flags.c_contiguous else np.ascontiguousarray(block)


def _lazy(grid, what, points):
    return indexing.LazilyIndexedArray(GridArray(grid, what, points))


def _first_bias(grid):
    """The bias of the first pixel that holds a spectrum, as read."""
    for row in range(grid.ny):
        codes = grid.read(row, row + 1, 0, grid.nx, "code")[0]
        for col in np.flatnonzero(codes == 0):
            return grid.read(row, row + 1, int(col), int(col) + 1, "bias")[0, 0]
    return np.full(grid.points, np.nan, np.float32)


def _units(args_bias_unit, args_current_unit):
    return args_bias_unit or "V", args_current_unit or "nA"


def _common_attrs(path, fmt, o):
    attrs = {"source": path, "format": fmt, "channel": o.get("channel") or "Current",
             "direction": o.get("direction") or "fwd"}
    for name in ("bias", "sweep", "didv_channel"):
        if o.get(name) is not None:
            attrs[name if name != "bias" else "bias_channel"] = str(o[name])
    attrs["bias_unit"], attrs["current_unit"] = _units(o.get("bias_unit"), o.get("current_unit"))
    return attrs


def open_grid(path, fmt, o, args):
    grid = OpenGrid(path, args)
    d = grid.file.describe()
    points = grid.file.points
    attrs = _common_attrs(path, fmt, o)
    # The grid source's own attributes (scan_angle), named so that compute
    # hands them back to the run as stsgrid's file has them.
    attrs.update(dict(d["attributes"]))
    attrs["grid_attributes"] = " ".join(name for name, _ in d["attributes"])
    bias_unit, current_unit = attrs["bias_unit"], attrs["current_unit"]
    nm = d["xy_unit"] != "1"
    coords = {
        "x": ("x", np.asarray(d["x"], np.float64),
              {"units": d["xy_unit"],
               "long_name": "position along the grid's x" if nm else "pixel number along x"}),
        "y": ("y", np.asarray(d["y"], np.float64),
              {"units": d["xy_unit"],
               "long_name": "position along the grid's y" if nm else "pixel number along y"}),
        "bias": ("bias", _first_bias(grid.file),
                 {"units": bias_unit, "long_name": "bias as read (of the first measured pixel)"}),
    }
    dims = ("y", "x", "bias")
    data = {
        "current": xr.Variable(dims, _lazy(grid, "current", points),
                               {"units": current_unit,
                                "long_name": f"tunnel current ({attrs['channel']}, "
                                             f"{attrs['direction']}) as read",
                                "channel": attrs["channel"]}),
        "read_status": xr.Variable(("y", "x"), _lazy(grid, "code", points),
                                   status_attributes("pixel as read: 0 if it holds a spectrum, "
                                                     "else why not")),
    }
    if not grid.file.same_bias_everywhere():
        data["pixel_bias"] = xr.Variable(dims, _lazy(grid, "bias", points),
                                         {"units": bias_unit,
                                          "long_name": "bias of the pixel's own points"})
    if d["has_positions"]:
        for axis in ("x", "y"):
            data["position_" + axis] = xr.Variable(
                ("y", "x"), _lazy(grid, "position_" + axis, points),
                {"units": "nm", "long_name": f"measured position of the pixel, {axis}"})
    if fmt == "3ds":
        header = _core.grid_header(path)
        attrs.update(flat_attributes(header["entries"], "header_"))
        for name, variable in _channel_variables(path, header, o, args, points).items():
            data.setdefault(name, variable)
    return xr.Dataset(data, coords, attrs)


def _channel_variables(path, header, o, args, points):
    """Every other channel of a grid (the direction as asked), as stored."""
    current = (o.get("channel") or "Current").lower()
    out = {}
    for channel in header["channels"]:
        base, unit = _unit_of(channel)
        if "[bwd]" in base.lower() or base.lower() == current:
            continue
        attrs = {"units": unit or "1", "long_name": f"{base} as stored", "channel": channel}
        try:
            grid = OpenGrid(path, args, signal_channel=channel)
        except ValueError as e:
            # A channel no lock-in dI/dV is measured in (a phase): as stored
            # all the same, with the refusal compute gives it without force.
            try:
                grid = OpenGrid(path, args, signal_channel=channel, force=True)
            except ValueError:
                continue  # a channel the reader does not take as a signal
            attrs["didv_refusal"] = str(e)
        out[_variable_name(channel)] = xr.Variable(("y", "x", "bias"),
                                                   _lazy(grid, "signal", points), attrs)
    return out


def open_point(path, fmt, o, args):
    signal = o.get("didv_channel") or ""
    spectra, warning = _core.read_spectra(path, args, signal_channel=signal,
                                          force=bool(o.get("force")))
    if warning:
        warnings.warn(f"{path}: {warning}", stacklevel=3)
    attrs = _common_attrs(path, fmt, o)
    attrs.update(flat_attributes(_core.header_entries(path, fmt), "header_"))
    bias_unit, current_unit = attrs["bias_unit"], attrs["current_unit"]
    first = spectra[0]["bias"]
    if any(not np.array_equal(s["bias"], first, equal_nan=True) for s in spectra):
        raise ValueError(f"{path}: its {len(spectra)} spectra have different bias points; "
                         "open one with sweep=K")
    several = len(spectra) > 1
    dims = ("spectrum", "bias") if several else ("bias",)

    def values(key):
        v = np.stack([s[key] for s in spectra]) if several else spectra[0][key]
        return v

    data = {"current": (dims, values("current"),
                        {"units": current_unit,
                         "long_name": f"tunnel current ({attrs['channel']}, "
                                      f"{attrs['direction']}) as read",
                         "channel": attrs["channel"]})}
    if signal:
        base, unit = _unit_of(signal)
        data[_variable_name(signal)] = (dims, values("signal"),
                                        {"units": unit or "1", "long_name": f"{base} as stored",
                                         "channel": signal})
    coords = {"bias": ("bias", first, {"units": bias_unit, "long_name": "bias as read"})}
    if several:
        coords["sweep"] = ("spectrum", np.array([s["sweep"] for s in spectra], dtype=object),
                           {"units": "1", "long_name": "numbered sweep ('' for a mean of sweeps)"})
        coords["spectrum_direction"] = ("spectrum",
                                        np.array([s["direction"] for s in spectra], dtype=object),
                                        {"units": "1", "long_name": "direction: fwd, bwd or mean"})
    return xr.Dataset(data, coords, attrs)


def open_stskit(path, **o):
    """The dataset of one instrument file (see the module's text)."""
    path = os.fspath(path)
    unknown = set(o) - set(OPEN_PARAMETERS)
    if unknown:
        raise TypeError(f"unknown options {sorted(unknown)}; the options are {OPEN_PARAMETERS}")
    args = import_args(**{k: v for k, v in o.items()
                          if k not in ("didv_channel", "scan", "force")})
    fmt = file_format(path, o.get("format"))
    if fmt == "unknown":
        kind = _core.unreadable_kind(_core.read_head(path))
        if kind:
            raise ValueError(f"{path}: {kind}")
    if fmt == "3ds" and o.get("each_sweep"):
        raise ValueError(f"{path}: a grid gives one spectrum a pixel: choose a sweep with "
                         "sweep=K (each_sweep is for point files)")
    # An RHK file's sweeps one by one are stsimport's alone: spectra then.
    if fmt == "3ds" or fmt == "sm4" and not o.get("each_sweep") and _is_grid(path, args):
        if o.get("didv_channel") and fmt == "sm4":
            raise ValueError(f"{path}: an RHK .sm4 file's lock-in page is read as the current "
                             "(channel='LIA Current')")
        if o.get("scan"):
            raise ValueError(f"{path}: scan= places a point spectrum; a grid's scan image goes "
                             "beside it with stsgrid --topography")
        ds = open_grid(path, fmt, o, args)
        if o.get("didv_channel"):
            _check_signal(ds, o["didv_channel"], path, bool(o.get("force")))
        return ds
    ds = open_point(path, fmt, o, args)
    if o.get("scan"):
        spot = _core.place_on_scan(path, os.fspath(o["scan"]))
        ds.attrs.update({"scan_file": os.fspath(o["scan"]), "scan_column": spot["column"],
                         "scan_row": spot["row"], "scan_x_nm": spot["x_nm"],
                         "scan_y_nm": spot["y_nm"], "scan_frame": spot["frame"]})
    return ds


def _is_grid(path, args):
    grid = _core.GridFile(path, args)
    return grid.nx * grid.ny > 1


def _check_signal(ds, channel, path, force):
    wanted = channel.lower()
    held = [v for v in ds.data_vars.values() if v.attrs.get("channel", "").lower() == wanted]
    if not held:
        # The reader's own refusal, naming the channels there are.
        _core.GridFile(path, [], signal_channel=channel, force=force)
        raise ValueError(f"{path}: no channel '{channel}'")
    if "didv_refusal" in held[0].attrs and not force:
        raise ValueError(held[0].attrs["didv_refusal"])


class Backend(BackendEntrypoint):
    """xarray's engine for the instrument files: xr.open_dataset(path,
    engine="stskit", direction="mean", ...)."""

    description = "STS instrument files (Nanonis, RHK, Createc, Omicron, text) through stskit"
    open_dataset_parameters = ("filename_or_obj", "drop_variables") + OPEN_PARAMETERS

    def open_dataset(self, filename_or_obj, *, drop_variables=None, channel=None, bias=None,
                     direction=None, sweep=None, each_sweep=False, bias_unit=None,
                     current_unit=None, current_gain=None, format=None, didv_channel=None,
                     force=False, scan=None):
        ds = open_stskit(filename_or_obj, channel=channel, bias=bias, direction=direction,
                         sweep=sweep, each_sweep=each_sweep, bias_unit=bias_unit,
                         current_unit=current_unit, current_gain=current_gain, format=format,
                         didv_channel=didv_channel, force=force, scan=scan)
        if drop_variables:
            ds = ds.drop_vars(drop_variables, errors="ignore")
        return ds

    def guess_can_open(self, filename_or_obj):
        """Whether the readers see a format they read in the first bytes."""
        try:
            path = os.fspath(filename_or_obj)
        except TypeError:
            return False
        if not isinstance(path, str) or not os.path.isfile(path):
            return False
        try:
            # A scan image (.sxm) is known to the readers but holds no spectra.
            return _core.detect_format(_core.read_head(path)) not in ("unknown", "sxm")
        except ValueError:
            return False


def register():
    """Makes engine="stskit" known to xarray in this process (beside the
    entry point an installed stskit declares)."""
    from xarray.backends import common, plugins
    # Classes in xarray up to 2023.03, (module, class) pairs since.
    sample = next(iter(common.BACKEND_ENTRYPOINTS.values()), None)
    common.BACKEND_ENTRYPOINTS["stskit"] = ("stskit", Backend) if isinstance(sample, tuple) \
        else Backend
    plugins.list_engines.cache_clear()
