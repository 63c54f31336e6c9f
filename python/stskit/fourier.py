"""Fourier maps (QPI) of a dataset, as stsgrid --fft makes them: the
library lib/fourier through stskit._core, on the maps of a per-bias
variable of stsgrid's dataset (stskit.compute, or its .nc file opened
with xarray).

    q = stskit.fft(ds, variable="didv", window="hann", symmetrise="6mm")
    q["fft_didv"].sel(bias=0.01, method="nearest").plot()

The transform of each slice: its mean removed, missing pixels filled with
that mean (counted in missing_pixels), a Hann window (numpy.hanning's
form) or none, |F| of the unnormalised 2-D DFT centred as
numpy.fft.fftshift puts it, with q = 2 pi n / L in nm^-1."""
import numpy as np
import xarray as xr

from . import _core

_Q_COMMENT = ("q = 2 pi n / L, L = N * step (angular wave number, so that a plane wave "
              "cos(q . r) shows at q); zero frequency at index N/2")


def _stack(ds, variable):
    """The variable as a C-contiguous float32 (slice, y, x) stack, with its
    bias axis: a transposed copy, made here on purpose."""
    if variable not in ds:
        raise ValueError(f"no variable '{variable}' in the dataset; its variables: "
                         f"{sorted(ds.data_vars)}")
    v = ds[variable]
    if v.ndim != 3 or v.dims[:2] != ("y", "x"):
        raise ValueError(f"{variable} over {v.dims} is not a map at every bias: "
                         "(y, x, point), (y, x, midpoint) or (y, x, bias) is needed")
    along = v.dims[2]
    axis_name = {"point": "bias", "midpoint": "vmid"}.get(along, along)
    if axis_name in ds.variables:
        bias = xr.DataArray(ds[axis_name].values, dims="bias", attrs=ds[axis_name].attrs)
    else:
        bias = xr.DataArray(np.arange(v.shape[2]), dims="bias")
    stack = np.ascontiguousarray(np.moveaxis(v.values, 2, 0), dtype=np.float32)
    return stack, bias, v.attrs


def _spacing(ds):
    x, y = ds["x"], ds["y"]
    if x.size < 2 or y.size < 2:
        raise ValueError(f"the maps are {x.size} x {y.size} pixels: at least 2 x 2 are needed")
    if x.attrs.get("units", "nm") != "nm":
        raise ValueError("x and y must be positions in nm (this dataset has pixel numbers)")
    return abs(float(x[1] - x[0])), abs(float(y[1] - y[0]))


def _topography(ds):
    if "topography" not in ds:
        return None
    return np.ascontiguousarray(ds["topography"].values, dtype=np.float32)


def _lattice(ds, topography, bragg, dx, dy, window):
    """The Bragg vectors given, or found in the topography's transform."""
    if bragg is not None and not isinstance(bragg, str):
        (q1x, q1y), (q2x, q2y) = bragg
        return (float(q1x), float(q1y)), (float(q2x), float(q2y)), False
    if topography is None:
        raise ValueError("finding the Bragg peaks needs the dataset's topography, which it does "
                         "not have: give them as bragg=((Q1X, Q1Y), (Q2X, Q2Y)) in nm^-1")
    q1, q2 = _core.find_bragg(topography, dx, dy, window)
    return q1, q2, True


def fft(ds, variable=None, window="hann", symmetrise=None, bragg=None, drift_correct=None,
        threads=0):
    """The Fourier maps of ds[variable] (default didv, or didv_lockin when
    the dataset has it) as a Dataset over (bias, qy, qx): fft_<variable>,
    missing_pixels, fft_topography where ds has a topography, and the
    attributes of stsgrid's <out>_fft.nc.

    symmetrise: a point group ("2mm", "4mm", "6mm", "r90,m0", ...) about
    the Bragg vectors: fft_<variable>_symmetrised.  bragg: "auto" (found
    in the topography's transform) or ((Q1X, Q1Y), (Q2X, Q2Y)) in nm^-1;
    found when symmetrise or drift_correct need it.  drift_correct: True
    (Lambda three lattice constants) or Lambda in nm: the maps corrected
    (Lawler et al. 2010) before their transform, with <variable>_corrected,
    topography_corrected, u_x and u_y over (y, x) in the result."""
    if variable is None:
        variable = "didv_lockin" if "didv_lockin" in ds else "didv"
    stack, bias, attrs = _stack(ds, variable)
    dx, dy = _spacing(ds)
    topography = _topography(ds)
    out_attrs = {"fft_variable": variable, "window": window, "scale": "amplitude",
                 "maps": "as measured"}
    lattice = bragg is not None or symmetrise is not None or drift_correct not in (None, False)
    extra = {}
    if lattice:
        q1, q2, found = _lattice(ds, topography, bragg, dx, dy, window)
        geometry = _core.lattice(q1[0], q1[1], q2[0], q2[1])
        out_attrs.update(bragg_q1=np.array(q1), bragg_q2=np.array(q2), bragg_units="nm-1",
                         bragg_source="found in the transform of the topography" if found
                         else "given",
                         lattice_constants=np.array([geometry["a1"], geometry["a2"]]),
                         lattice_angle=geometry["lattice_angle"], q1_angle=geometry["q1_angle"])
    if drift_correct not in (None, False):
        if topography is None:
            raise ValueError("drift correction reads the lattice's phase in the topography, "
                             "which the dataset does not have")
        lam = 0.0 if drift_correct is True else float(drift_correct)
        stack, topography, ux, uy, lam = _core.drift_correct(topography, stack, dx, dy, q1, q2,
                                                             lam, threads)
        out_attrs.update(drift_lambda=lam, maps="drift-corrected")
        xy = {"units": "nm"}
        extra = {variable + "_corrected": (("bias", "y", "x"), stack, dict(attrs)),
                 "topography_corrected": (("y", "x"), topography, {"units": "nm"}),
                 "u_x": (("y", "x"), ux, dict(xy, long_name="displacement along x")),
                 "u_y": (("y", "x"), uy, dict(xy, long_name="displacement along y"))}
    maps, missing, qx, qy = _core.fft_maps(stack, dx, dy, window, threads)
    name = "fft_" + variable
    data = {name: (("bias", "qy", "qx"), maps,
                   {"units": attrs.get("units", "1"),
                    "long_name": "|Fourier transform| of " + attrs.get("long_name", variable)}),
            "missing_pixels": (("bias",), np.asarray(missing, dtype=np.int32),
                               {"units": "1", "long_name": "pixels filled with the slice's mean"})}
    if symmetrise is not None:
        dq = (qx[1] - qx[0], qy[1] - qy[0])
        data[name + "_symmetrised"] = (("bias", "qy", "qx"),
                                       _core.symmetrise(maps, dq[0], dq[1], out_attrs["q1_angle"],
                                                        symmetrise),
                                       {"units": attrs.get("units", "1"),
                                        "long_name": "the same symmetrised by " + symmetrise})
        out_attrs.update(point_group=symmetrise, interpolation="bilinear")
    if topography is not None:
        t, tm, _, _ = _core.fft_maps(topography[np.newaxis], dx, dy, window, threads)
        data["fft_topography"] = (("qy", "qx"), t[0], {"units": "nm", "missing_pixels": tm[0]})
    data.update(extra)
    coords = {"bias": bias,
              "qx": ("qx", np.asarray(qx), {"units": "nm-1", "comment": _Q_COMMENT}),
              "qy": ("qy", np.asarray(qy), {"units": "nm-1", "comment": _Q_COMMENT})}
    if extra:
        coords.update(x=ds["x"], y=ds["y"])
    return xr.Dataset(data, coords=coords, attrs=out_attrs)
