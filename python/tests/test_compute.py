"""stskit.compute against the netCDF file of the stsgrid command on the
same input and settings: every variable bit for bit, with its attributes."""
import numpy as np
import pytest
import xarray as xr

import stskit
from conftest import MAKE_GRID, STSGRID, bits, realraw, run


def stsgrid_file(path, folder, *options):
    out = folder / "out.nc"
    r = run([STSGRID, "--no-progress", "-o", out, *options, path], cwd=folder, check=False)
    assert r.returncode in (0, 3), r.stderr
    return xr.open_dataset(out)


# The instrument's own record of each pixel (positions in the frame's
# axes, the topography, an RHK map's backward topography page, the
# recorded parameters) comes from its file, not from the arrays compute()
# takes.
FROM_THE_FILE = ("position_frame_x", "position_frame_y", "topography", "topography_backward")


def from_the_file(name):
    return name in FROM_THE_FILE or name.startswith("parameter_")


def assert_same(ours, theirs):
    assert set(ours.variables) == {n for n in theirs.variables if not from_the_file(n)}
    for name, v in theirs.variables.items():
        if from_the_file(name):
            continue
        mine = ours[name]
        assert mine.dims == v.dims, name
        assert bits(mine.values) == bits(v.values), name
        for key, value in v.attrs.items():
            assert np.array_equal(mine.attrs[key], value), (name, key)
        assert set(mine.attrs) == set(v.attrs), name
    assert ours.attrs == theirs.attrs


def synthetic(folder, nx, ny, points, lockin=False, missing=0):
    path = folder / "grid.3ds"
    run([MAKE_GRID, *(["--lockin"] if lockin else []), nx, ny, points, path, missing], cwd=folder)
    return str(path)


CASES = [
    ([], {}),
    (["--exp-width=0.2", "--coff-offset=0.5"], {"exp_width": 0.2, "coff_offset": 0.5}),
    (["--smooth=11:3", "--gap=0.5"], {"smooth": "11:3", "gap": 0.5}),
    (["--region=1:4,2:5", "-d", "mean"], {"region": "1:4,2:5", "direction": "mean"}),
    (["--bias-unit=mV", "--current-unit=pA", "--exp-width=200"],
     {"bias_unit": "mV", "current_unit": "pA", "exp_width": 200}),
]
OPEN_SETTINGS = ("direction", "bias_unit", "current_unit")


@pytest.mark.parametrize("cli,settings", CASES)
def test_generated_grid(tmp_path, cli, settings):
    path = synthetic(tmp_path, 9, 7, 120, missing=5)
    theirs = stsgrid_file(path, tmp_path, *cli)
    ds = xr.open_dataset(path, engine="stskit",
                         **{k: v for k, v in settings.items() if k in OPEN_SETTINGS})
    ours = stskit.compute(ds, **{k: v for k, v in settings.items() if k not in OPEN_SETTINGS[1:]})
    assert_same(ours, theirs)
    assert (ours["status"].values.ravel()[-5:] == 6).all()  # the pixels the file misses


@pytest.mark.parametrize("fit", ["pixel", "grid"])
def test_generated_lockin_grid(tmp_path, fit):
    path = synthetic(tmp_path, 8, 6, 100, lockin=True)
    channel = "LI Demod 1 X (A)"
    theirs = stsgrid_file(path, tmp_path, f"--didv-channel={channel}", f"--lockin-fit={fit}",
                          "--gap=0.4")
    ds = xr.open_dataset(path, engine="stskit")
    ours = stskit.compute(ds, didv_channel=channel, lockin_fit=fit, gap=0.4, threads=2)
    assert_same(ours, theirs)


def test_real_lockin_grid(tmp_path):
    path = str(realraw() / "nanonis2016_grid_lockin_30x30.3ds")
    theirs = stsgrid_file(path, tmp_path, "--didv-channel=LockinX (V)", "--smooth=11")
    ds = xr.open_dataset(path, engine="stskit", chunks={})
    ours = stskit.compute(ds, didv_channel="LockinX (V)", smooth=11)
    assert_same(ours, theirs)


def test_real_line_grid(tmp_path):
    path = str(realraw() / "nanonis2025_Grid_Spectroscopy008.3ds")
    theirs = stsgrid_file(path, tmp_path, "--exp-width=0.002")
    ours = stskit.compute(xr.open_dataset(path, engine="stskit"), exp_width=0.002)
    assert_same(ours, theirs)
    # The result is a file as stsgrid's is, written by xarray.
    ours.to_netcdf(tmp_path / "ours.nc")
    assert_same(xr.open_dataset(tmp_path / "ours.nc"), theirs)


def test_real_rhk_map(tmp_path):
    path = str(realraw() / "rhk2020_abc6_didv_map.sm4")
    theirs = stsgrid_file(path, tmp_path)
    ours = stskit.compute(xr.open_dataset(path, engine="stskit"))
    assert_same(ours, theirs)


def test_one_spectrum_and_a_series(tmp_path):
    path = str(realraw() / "createc2018_A180524.133727.VERT")
    theirs = stsgrid_file(path, tmp_path)
    assert_same(stskit.compute(xr.open_dataset(path, engine="stskit")), theirs)


def test_wrong_arrays_are_refused(tmp_path):
    path = synthetic(tmp_path, 3, 2, 20)
    ds = xr.open_dataset(path, engine="stskit").load()
    c = ds["current"].values
    args = dict(signal=None, codes=None, position_x=None, position_y=None, x=[0.0, 1, 2],
                y=[0.0, 1], xy_unit="nm", source="s", attributes=[], settings={},
                scratch=str(tmp_path))
    bias = ds["bias"].values
    with pytest.raises(TypeError, match="float32"):
        stskit._core.compute(bias, c.astype(np.float64), **args)
    with pytest.raises(TypeError, match="C-contiguous"):
        stskit._core.compute(bias, np.asfortranarray(c), **args)
    with pytest.raises(ValueError, match="shape"):
        stskit._core.compute(bias[:-1].copy(), c, **args)
    with pytest.raises(TypeError):
        stskit._core.compute(list(bias), c, **args)
    with pytest.raises(ValueError, match="shape"):
        stskit._core.compute(bias, c, **{**args, "signal": c[:, :, :-1].copy()})
    with pytest.raises(TypeError, match="int8"):
        stskit._core.compute(bias, c, **{**args, "codes": np.zeros((2, 3), np.int16)})
    with pytest.raises(ValueError, match="codes"):
        stskit._core.compute(bias, c, **{**args, "codes": np.zeros((3, 2), np.int8)})
    with pytest.raises(ValueError, match="x and y"):
        stskit._core.compute(bias, c, **{**args, "x": [0.0, 1.0]})
    with pytest.raises(TypeError, match="float32"):
        stskit.compute(ds.astype(np.float64))


def test_wrong_settings_are_stsgrids_messages(tmp_path):
    from test_settings import keyword_form
    path = synthetic(tmp_path, 3, 2, 20)
    ds = xr.open_dataset(path, engine="stskit")
    for cli, settings in ((["--smooth=4"], {"smooth": 4}),
                          (["--exp-width=-1"], {"exp_width": -1}),
                          (["--lockin-fit=grid"], {"lockin_fit": "grid"}),
                          (["--gap=0.5:nothing"], {"gap": "0.5:nothing"})):
        r = run([STSGRID, "--no-progress", "-o", tmp_path / "x.nc", *cli, path], cwd=tmp_path,
                check=False)
        assert r.returncode == 2
        message = r.stderr.splitlines()[0][len("stsgrid: "):]
        with pytest.raises(ValueError) as e:
            stskit.compute(ds, **settings)
        assert str(e.value) == keyword_form(message)
    with pytest.raises(ValueError, match="direction"):
        stskit.compute(ds, direction="bwd")
