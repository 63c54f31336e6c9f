"""stskit.fft: the Fourier maps of a dataset against NumPy in float64,
against stsgrid --fft's own file, the symmetrisation's invariance and the
refusals."""
import numpy as np
import pytest
import xarray as xr

import stskit
from conftest import MAKE_GRID, STSGRID, run

EPS32 = np.finfo(np.float32).eps


def dataset(nx, ny, slices, seed=3, missing=(), dy=0.3):
    """A stsgrid-like dataset: didv over (y, x, midpoint), x and y in nm."""
    rng = np.random.default_rng(seed)
    didv = rng.standard_normal((ny, nx, slices)).astype(np.float32)
    for (y, x) in missing:
        didv[y, x, :] = np.nan
    return xr.Dataset(
        {"didv": (("y", "x", "midpoint"), didv, {"units": "nA/V", "long_name": "dI/dV"}),
         "vmid": (("midpoint",), np.linspace(-0.1, 0.1, slices, dtype=np.float32),
                  {"units": "V"})},
        coords={"x": ("x", 0.25 * np.arange(nx), {"units": "nm"}),
                "y": ("y", dy * np.arange(ny), {"units": "nm"})})


def numpy_fft(m, window):
    """|fftshift(fft2(w (m - mean)))|, missing pixels at the mean, in float64."""
    m = m.astype(np.float64)
    finite = np.isfinite(m)
    ny, nx = m.shape
    w = np.outer(np.hanning(ny), np.hanning(nx)) if window == "hann" else 1.0
    d = np.where(finite, m - m[finite].mean(), 0.0) * w
    return np.abs(np.fft.fftshift(np.fft.fft2(d))), d


@pytest.mark.parametrize("window", ["hann", "none"])
def test_against_numpy(window):
    ds = dataset(32, 24, 5, missing=[(3, 4), (10, 30)])
    q = stskit.fft(ds, window=window)
    assert q["fft_didv"].dims == ("bias", "qy", "qx")
    assert list(q["missing_pixels"].values) == [2] * 5
    np.testing.assert_allclose(q["qx"], 2 * np.pi * (np.arange(32) - 16) / (32 * 0.25), rtol=1e-12)
    np.testing.assert_allclose(q["qy"], 2 * np.pi * (np.arange(24) - 12) / (24 * 0.3), rtol=1e-12)
    np.testing.assert_array_equal(q["bias"], ds["vmid"])
    for k in range(5):
        want, d = numpy_fft(ds["didv"].values[:, :, k], window)
        # float32 throughout: a few eps times log2(N) times the map's 2-norm.
        tolerance = 4 * EPS32 * (np.log2(32 * 24) + 2) * np.sqrt(np.sum(d * d)) + EPS32 * want
        assert np.all(np.abs(q["fft_didv"].values[k] - want) <= tolerance)


def test_the_same_as_stsgrid(tmp_path):
    run([MAKE_GRID, "20", "16", "30", "g.3ds"], tmp_path)
    run([STSGRID, "--no-progress", "-o", "g.nc", "g.3ds", "--fft=norm_raw"], tmp_path)
    with xr.open_dataset(tmp_path / "g.nc") as ds, xr.open_dataset(tmp_path / "g_fft.nc") as f:
        q = stskit.fft(ds, variable="norm_raw")
        np.testing.assert_array_equal(q["fft_norm_raw"].values, f["fft_norm_raw"].values)
        np.testing.assert_array_equal(q["fft_topography"].values, f["fft_topography"].values)
        np.testing.assert_array_equal(q["missing_pixels"].values, f["missing_pixels"].values)
        np.testing.assert_array_equal(q["qx"].values, f["qx"].values)


def test_symmetrised_is_invariant():
    ds = dataset(32, 32, 3, dy=0.25)
    q = stskit.fft(ds, symmetrise="4mm", bragg=((2.0, 0.0), (0.0, 2.0)))
    assert q.attrs["point_group"] == "4mm" and q.attrs["lattice_constants"][0] == np.pi
    for m in q["fft_didv_symmetrised"].values[:, 1:, 1:]:
        scale = np.abs(m).max()
        for g in (np.rot90(m), np.rot90(m, 2), m[::-1], m[:, ::-1], m.T):
            assert np.abs(g - m).max() <= 16 * EPS32 * scale


def test_refusals():
    ds = dataset(8, 8, 2)
    with pytest.raises(ValueError, match="not a map at every bias"):
        stskit.fft(ds.assign(vmid2=ds["vmid"]), variable="vmid2")
    with pytest.raises(ValueError, match="needs the dataset's topography"):
        stskit.fft(ds, symmetrise="4mm")
    with pytest.raises(ValueError, match="unknown point group"):
        stskit.fft(ds, symmetrise="5mm", bragg=((1, 0), (0, 1)))
    with pytest.raises(ValueError, match="at least 2 x 2"):
        stskit.fft(ds.isel(y=[0]))
