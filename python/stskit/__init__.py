"""stskit: instrument files of scanning tunnelling spectroscopy as xarray
datasets, and stsgrid's computation on arrays and on files, both through
the project's C++ readers and grid engine (stskit._core).

    import xarray as xr, stskit
    ds = xr.open_dataset("grid.3ds", engine="stskit", chunks={})
    out = stskit.compute(ds, exp_width=0.002)
    stskit.run("grid.3ds", exp_width=0.002)          # grid.nc, as stsgrid writes it
    stskit.dask.process(paths, client, exp_width=0.002)  # many grids on a cluster
"""
import importlib

from . import _core
from .backend import Backend, register
from .compute import compute
from .fourier import fft
from .run import run

__all__ = ["Backend", "compute", "fft", "register", "run", "_core"]

register()


def __getattr__(name):
    # stskit.dask imports dask and distributed only when it is used.
    if name == "dask":
        return importlib.import_module(".dask", __name__)
    raise AttributeError(f"module 'stskit' has no attribute '{name}'")
