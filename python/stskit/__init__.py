"""stskit: instrument files of scanning tunnelling spectroscopy as xarray
datasets, and stsgrid's computation on arrays, both through the project's
C++ readers and grid engine (stskit._core).

    import xarray as xr, stskit
    ds = xr.open_dataset("grid.3ds", engine="stskit", chunks={})
    out = stskit.compute(ds, exp_width=0.002)
"""
from . import _core
from .backend import Backend, register
from .compute import compute
from .fourier import fft

__all__ = ["Backend", "compute", "fft", "register", "_core"]

register()
