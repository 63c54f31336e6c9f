"""stskit on a real Dask cluster (a scheduler and two worker processes on
loopback): eight generated grids through stskit.dask.process, each file
byte for byte stsgrid's; and stskit.compute on Dask-backed datasets against
the eager path, bit for bit."""
import filecmp
import pathlib

import numpy as np
import pytest
import xarray as xr

import stskit
from conftest import bits
from test_compute import synthetic
from test_run import stsgrid_message, stsgrid_run
from test_settings import keyword_form


@pytest.fixture(scope="module")
def client():
    from distributed import Client, LocalCluster
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                      dashboard_address=None) as cluster, Client(cluster) as c:
        yield c


# Eight small grids of different sizes, some with pixels missing at the end.
SIZES = [(6, 5, 60, 0), (7, 4, 80, 3), (5, 5, 50, 0), (8, 3, 64, 2),
         (4, 6, 70, 0), (9, 2, 40, 1), (3, 7, 90, 0), (6, 6, 56, 4)]


def grids(tmp_path):
    paths = []
    for k, (nx, ny, points, missing) in enumerate(SIZES):
        folder = tmp_path / f"g{k}"
        folder.mkdir()
        paths.append(synthetic(folder, nx, ny, points, missing=missing))
    return paths


def test_eight_grids_are_stsgrids_files(tmp_path, client):
    paths = grids(tmp_path)
    settings = {"smooth": "7:2", "gap": 0.4, "exp_width": 0.3}
    summaries = stskit.dask.process(paths, client, **settings)
    assert [s["path"] for s in summaries] == paths
    for path, s, (nx, ny, points, missing) in zip(paths, summaries, SIZES):
        cli = path[:-len(".3ds")] + "_cli.nc"
        stsgrid_run(path, pathlib.Path(cli), "--smooth=7:2", "--gap=0.4",
                    "--exp-width=0.3", "-j", "1")
        assert s["output"] == path[:-len(".3ds")] + ".nc"
        assert filecmp.cmp(cli, s["output"], shallow=False), path
        assert (s["nx"], s["ny"], s["points"]) == (nx, ny, points)
        assert s["unprocessed"] == missing
        assert s["status"] == ("unprocessed" if missing else "done")
        assert s["seconds"] > 0
    assert len(client.scheduler_info()["workers"]) == 2


def test_process_refusals(tmp_path, client):
    paths = grids(tmp_path)[:2]
    # A wrong setting: refused before any task, with stsgrid's message.
    with pytest.raises(ValueError) as e:
        stskit.dask.process(paths, client, smooth=4)
    assert str(e.value) == keyword_form(stsgrid_message(paths[0], tmp_path, "--smooth=4"))
    # A setting one grid cannot take: the worker's refusal, raised here.
    with pytest.raises(ValueError) as e:
        stskit.dask.process(paths, client, region="0:5,0:4")
    assert str(e.value) == keyword_form(stsgrid_message(paths[1], tmp_path, "--region=0:5,0:4"))
    with pytest.raises(ValueError, match="2 outputs for 1 grids"):
        stskit.dask.process(paths[:1], client, outputs=["a.nc", "b.nc"])


def pixel_variables(ds):
    return [n for n, v in ds.data_vars.items() if v.dims[:2] == ("y", "x")]


def assert_as_eager(lazy, eager):
    assert lazy["current"].chunks is not None
    names = pixel_variables(eager)
    assert set(lazy.data_vars) == set(names)
    done = lazy.compute()
    for name in names:
        assert done[name].dims == eager[name].dims, name
        assert bits(done[name].values) == bits(eager[name].values), name
        assert done[name].attrs.keys() == eager[name].attrs.keys(), name
    for name in ("x", "y", "bias", "vmid"):
        assert bits(done[name].values) == bits(eager[name].values), name
        assert done[name].attrs == eager[name].attrs, name
    assert done.attrs == eager.attrs


@pytest.mark.parametrize("settings", [{}, {"smooth": 9, "gap": 0.5, "region": "1:3,0:2"}])
def test_compute_on_dask_arrays_is_the_eager_result(tmp_path, settings):
    path = synthetic(tmp_path, 7, 6, 90, missing=4)
    eager = stskit.compute(xr.open_dataset(path, engine="stskit"), **settings)
    ds = xr.open_dataset(path, engine="stskit", chunks={"y": 2, "x": 3, "bias": 30})
    lazy = stskit.compute(ds, **settings)
    # Space chunked as the input, the bias axis whole.
    assert lazy["norm_coff"].chunks == ((2, 2, 2), (3, 3, 1), (89,))
    assert_as_eager(lazy, eager)
    # With the statistics over the grid: the eager result, every variable.
    whole = stskit.dask.statistics(lazy)
    assert set(whole.variables) == set(eager.variables)
    for name, v in eager.variables.items():
        assert bits(whole[name].values) == bits(v.values), name
        assert whole[name].dims == v.dims, name
        assert set(whole[name].attrs) == set(v.attrs), name
        for key, value in v.attrs.items():
            assert np.array_equal(whole[name].attrs[key], value), (name, key)


def test_compute_on_dask_arrays_with_a_lockin(tmp_path, client):
    """On the cluster's workers; the per-pixel fit goes chunk by chunk, the
    grid's fit (every pixel first) eagerly, with the statistics."""
    path = synthetic(tmp_path, 6, 5, 70, lockin=True)
    channel = "LI Demod 1 X (A)"
    opened = xr.open_dataset(path, engine="stskit", didv_channel=channel)
    ds = xr.open_dataset(path, engine="stskit", didv_channel=channel, chunks={"y": 3})
    eager = stskit.compute(opened, didv_channel=channel, lockin_fit="pixel", gap=0.4)
    lazy = stskit.compute(ds, didv_channel=channel, lockin_fit="pixel", gap=0.4)
    assert_as_eager(lazy, eager)
    whole = stskit.dask.statistics(lazy)
    for name in eager.variables:
        assert bits(whole[name].values) == bits(eager[name].values), name
    grid_fit = stskit.compute(ds, didv_channel=channel)
    theirs = stskit.compute(opened, didv_channel=channel)
    assert grid_fit["norm_coff_lockin"].chunks is None
    for name in theirs.variables:
        assert bits(grid_fit[name].values) == bits(theirs[name].values), name


def test_lazy_compute_refuses_as_eager(tmp_path):
    path = synthetic(tmp_path, 3, 2, 20)
    ds = xr.open_dataset(path, engine="stskit", chunks={})
    with pytest.raises(ValueError) as e:
        stskit.compute(ds, smooth=4)
    assert str(e.value) == keyword_form(stsgrid_message(path, tmp_path, "--smooth=4"))
    with pytest.raises(TypeError, match="float32"):
        stskit.compute(ds.astype(np.float64))


def test_record_statistics_against_numpy():
    """The two passes' mean, sample deviation and standard error, against
    NumPy's from the formula (float64, so to float32's rounding); fewer
    than two records give NaN; wrong arrays are refused."""
    rng = np.random.default_rng(7)
    records = rng.normal(3.0, 0.5, (37, 11)).astype(np.float32)
    mean, sd, se, count = stskit._core.record_statistics(records)
    r = records.astype(np.float64)
    assert count == 37
    assert np.allclose(mean, r.mean(axis=0), rtol=1e-6)
    assert np.allclose(sd, r.std(axis=0, ddof=1), rtol=1e-5)
    assert np.allclose(se, r.std(axis=0, ddof=1) / np.sqrt(37), rtol=1e-5)
    one = stskit._core.record_statistics(records[:1].copy())
    assert one[3] == 1 and np.isnan(one[0]).all()
    with pytest.raises(TypeError, match="float32"):
        stskit._core.record_statistics(r)
    with pytest.raises(TypeError):
        stskit._core.record_statistics(records[0])
