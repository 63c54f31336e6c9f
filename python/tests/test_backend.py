"""The engine "stskit" against stsimport's own output read as text."""
import os
import pathlib
import shutil
import subprocess
import sys

import numpy as np
import pytest
import xarray as xr

import stskit
from conftest import bits, realraw, stsimport, stsimport_error

# Point files of every format, with the options they need.
POINT_FILES = [
    ("nanonis2023_STS_generic_4_5.dat", {}),
    ("nanonis2015_Bias-Spectroscopy002.dat", {"channel": "Input 3"}),
    ("nanonis_sts_15mV_sweeps_avg_bwd.dat", {"direction": "mean"}),
    ("nanonis_sts_15mV_sweeps_avg_bwd.dat", {"sweep": 2, "direction": "bwd"}),
    ("nanonis2023_STS_generic_4_5.dat", {"bias_unit": "mV", "current_unit": "pA"}),
    ("createc2018_A180524.133727.VERT", {}),
    ("createc2020_A201222.074639_parvert32.VERT", {}),
    ("omicron_matrix_2014/2014Sep30-111118--1_1.I(V)_mtrx", {}),
    ("omicron_text_2024/default_2024Oct23-151508_STM-STM_Spectroscopy--3_1-I(V)_1.txt",
     {"direction": "mean"}),
    ("rhk2021_hopg_point_sweeps.sm4", {}),
    ("../createc2018_lhe_zramp_1.txt", {}),  # plain pairs
]
GRID_FILES = [
    ("nanonis2025_Grid_Spectroscopy008.3ds", {}),
    ("nanonis2016_grid_lockin_30x30.3ds", {}),
    ("nanonis_simulator_grid_bwd_5x6.3ds", {"direction": "bwd"}),
    ("rhk2020_hopg_line_300K.sm4", {}),
    ("rhk2020_abc6_didv_map.sm4", {}),
]


def cli_options(o):
    names = {"channel": "--channel", "direction": "--direction", "sweep": "--sweep",
             "bias_unit": "--bias-unit", "current_unit": "--current-unit"}
    return [f"{names[k]}={v}" for k, v in o.items()]


@pytest.mark.parametrize("name,options", POINT_FILES)
def test_point_files_match_stsimport(tmp_path, name, options):
    path = str(realraw() / name)
    ds = xr.open_dataset(path, engine="stskit", **options)
    (row, bias, current), = stsimport(path, tmp_path, *cli_options(options))
    assert ds["current"].dims == ("bias",)
    assert bits(ds["bias"].values) == bits(bias)
    assert bits(ds["current"].values) == bits(current)
    assert ds["current"].attrs["units"] == options.get("current_unit", "nA")
    assert ds["bias"].attrs["units"] == options.get("bias_unit", "V")
    assert ds.attrs["format"] == stskit._core.detect_format(stskit._core.read_head(path))


def test_point_file_headers_are_attributes(tmp_path):
    raw = realraw()
    ds = xr.open_dataset(str(raw / "nanonis2015_Bias-Spectroscopy002.dat"), engine="stskit",
                         channel="Input 3")
    assert ds.attrs["header_Experiment"] == "bias spectroscopy"
    assert ds.attrs["header_X_m"] == "-19.4904E-9"
    ds = xr.open_dataset(str(raw / "createc2018_A180524.133727.VERT"), engine="stskit")
    assert ds.attrs["header_BiasVoltage_BiasVolt_mV"] == "-1500.10"
    assert ds.attrs["header_DAC_Type"] == "20bit"
    ds.to_netcdf(tmp_path / "vert.nc")
    assert xr.open_dataset(tmp_path / "vert.nc").attrs == ds.attrs


def test_sweeps_of_a_point_file(tmp_path):
    path = str(realraw() / "rhk2021_hopg_point_sweeps.sm4")
    ds = xr.open_dataset(path, engine="stskit", each_sweep=True)
    imported = stsimport(path, tmp_path, "--each-sweep")
    assert ds["current"].dims == ("spectrum", "bias") and ds.sizes["spectrum"] == len(imported) == 6
    for k, (row, bias, current) in enumerate(imported):
        assert ds["sweep"].values[k] == row["sweep"]
        assert bits(ds["current"].values[k]) == bits(current)


@pytest.mark.parametrize("name,options", GRID_FILES)
def test_grids_match_stsimport(tmp_path, name, options):
    path = str(realraw() / name)
    ds = xr.open_dataset(path, engine="stskit", **options)
    assert ds["current"].dims == ("y", "x", "bias")
    current = ds["current"].values
    seen = np.zeros(current.shape[:2], bool)
    for row, bias, values in stsimport(path, tmp_path, *cli_options(options)):
        x, y = int(row["pixel_x"]), int(row["pixel_y"])
        own_bias = ds["pixel_bias"].values[y, x] if "pixel_bias" in ds else ds["bias"].values
        assert bits(own_bias) == bits(bias)
        assert bits(current[y, x]) == bits(values)
        seen[y, x] = True
    # The pixels stsimport leaves out are those read as not measured.
    codes = ds["read_status"].values
    assert ((codes == 0) == seen).all()
    assert ds["x"].attrs["units"] in ("nm", "1") and "long_name" in ds["x"].attrs


def test_grid_channels_are_variables(tmp_path):
    path = str(realraw() / "nanonis2016_grid_lockin_30x30.3ds")
    ds = xr.open_dataset(path, engine="stskit")
    assert {"LockinX", "LockinY"} <= set(ds.data_vars)
    assert ds["LockinX"].attrs["channel"] == "LockinX (V)" and ds["LockinX"].attrs["units"] == "V"
    # The header, flattened: every entry is text under a plain name.
    assert ds.attrs["header_Grid_dim"].strip('"') == "30 x 30"
    # Independent reading of one pixel's LockinX from the documented layout:
    # big-endian float32, parameters then each channel's points (grid_header.h).
    raw = pathlib.Path(path).read_bytes()
    end = raw.index(b":HEADER_END:") + len(b":HEADER_END:\r\n")
    header = stskit._core.grid_header(path)
    npar, points = len(header["parameters"]), header["points"]
    k = header["channels"].index("LockinX (V)")
    pixel = 31
    start = end + pixel * 4 * (npar + points * len(header["channels"])) + 4 * (npar + k * points)
    expected = np.frombuffer(raw[start:start + 4 * points], ">f4").astype(np.float32)
    got = ds["LockinX"].values[pixel // 30, pixel % 30]
    assert bits(got) == bits(expected)


def test_lazy_grid_gives_dask_arrays():
    path = str(realraw() / "nanonis2016_grid_lockin_30x30.3ds")
    eager = xr.open_dataset(path, engine="stskit")
    lazy = xr.open_dataset(path, engine="stskit", chunks={"y": 7, "x": 11})
    import dask.array
    assert isinstance(lazy["current"].data, dask.array.Array)
    assert lazy["current"].data.chunks[0][0] == 7
    assert bits(lazy["current"].values) == bits(eager["current"].values)
    # Any selection reads only what it needs, and gives the same values.
    part = eager["current"].values[3:9:2, ::-3, 5]
    assert bits(lazy["current"][3:9:2, ::-3, 5].values) == bits(part)
    assert bits(eager["current"][4, 7].values) == bits(eager["current"].values[4, 7])


def test_lazy_grid_pickles():
    """A lazy grid goes to another process (a Dask worker) by its path and
    options, and reads the same values there."""
    import pickle
    path = str(realraw() / "nanonis_simulator_grid_bwd_5x6.3ds")
    ds = xr.open_dataset(path, engine="stskit", direction="bwd", chunks={})
    back = pickle.loads(pickle.dumps(ds))
    assert bits(back["current"].values) == bits(ds["current"].values)


def test_to_netcdf(tmp_path):
    for name in ("nanonis2016_grid_lockin_30x30.3ds", "createc2018_A180524.133727.VERT",
                 "rhk2020_hopg_line_300K.sm4"):
        ds = xr.open_dataset(str(realraw() / name), engine="stskit")
        out = tmp_path / (pathlib.Path(name).stem + ".nc")
        ds.to_netcdf(out)
        back = xr.open_dataset(out)
        assert bits(back["current"].values) == bits(ds["current"].values)
        assert back.attrs == ds.attrs


def test_open_mfdataset_stacks_a_series(tmp_path):
    grid = str(realraw() / "nanonis2025_Grid_Spectroscopy008.3ds")
    imported = stsimport(grid, tmp_path / "series")
    files = sorted((tmp_path / "series").glob("s[0-9]*"), key=lambda p: int(p.name[1:]))
    ds = xr.open_mfdataset([str(p) for p in files], engine="stskit", combine="nested",
                           concat_dim="spectrum")
    assert ds["current"].dims == ("spectrum", "bias") and ds.sizes["spectrum"] == 32
    for k, (row, bias, current) in enumerate(imported):
        assert bits(ds["current"].values[k]) == bits(current)
    # A glob of .dat files, in the glob's order.
    for k in range(3):
        shutil.copy(realraw() / "nanonis2023_STS_generic_4_5.dat", tmp_path / f"s{k}.dat")
    ds = xr.open_mfdataset(str(tmp_path / "s*.dat"), engine="stskit", combine="nested",
                           concat_dim="spectrum")
    assert ds.sizes["spectrum"] == 3


def test_engine_by_class_and_guessed():
    path = str(realraw() / "createc2018_A180524.133727.VERT")
    by_class = xr.open_dataset(path, engine=stskit.Backend)
    guessed = xr.open_dataset(path)  # guess_can_open: the readers' detection
    assert bits(by_class["current"].values) == bits(guessed["current"].values)
    assert stskit.Backend().guess_can_open(path)
    assert not stskit.Backend().guess_can_open(str(realraw() / "nanonis_sxm_si7x7_051.sxm"))


def test_engine_found_by_name_without_import(tmp_path):
    """The entry point beside the package: a fresh interpreter finds the
    engine by name, stskit imported by xarray itself."""
    path = str(realraw() / "createc2018_A180524.133727.VERT")
    code = ("import sys, xarray as xr\n"
            f"ds = xr.open_dataset({path!r}, engine='stskit')\n"
            "print(ds.sizes['bias'], 'stskit' in sys.modules)\n")
    r = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                       env=dict(os.environ))
    assert r.returncode == 0, r.stderr
    assert r.stdout.split()[1] == "True"


def test_refusals_are_the_tools_messages(tmp_path):
    raw = realraw()
    session = raw / "omicron_matrix_2014" / "2014Sep30-111118"
    for path in (raw / "nanonis_sxm_si7x7_051.sxm", raw / "createc2019_A190824.135614_4ch.VERT",
                 pathlib.Path(f"{session}--1_1.I(t)_mtrx"),
                 pathlib.Path(f"{session}--3_1.I(V)_mtrx"), pathlib.Path(f"{session}_0001.mtrx")):
        message = stsimport_error(str(path), tmp_path / path.name)
        with pytest.raises(ValueError) as e:
            xr.open_dataset(str(path), engine="stskit")
        assert str(e.value) == message
    # A curve cut short: read, with the tool's message as a warning.
    path = f"{session}--2_1.I(V)_mtrx"
    message = stsimport_error(path, tmp_path / "cut")
    with pytest.warns(UserWarning) as w:
        xr.open_dataset(path, engine="stskit")
    assert str(w[0].message) == message
    # A channel that is not there names the channels there are.
    path = str(raw / "nanonis2023_STS_generic_4_5.dat")
    message = stsimport_error(path, tmp_path / "c", "--channel=Nothing")
    with pytest.raises(ValueError) as e:
        xr.open_dataset(path, engine="stskit", channel="Nothing")
    assert str(e.value) == message


def test_bad_option_values():
    with pytest.raises(ValueError, match="sweep=K"):
        xr.open_dataset(str(realraw() / "nanonis2016_grid_lockin_30x30.3ds"), engine="stskit",
                        each_sweep=True)
    path = str(realraw() / "nanonis2023_STS_generic_4_5.dat")
    with pytest.raises(ValueError, match="direction"):
        xr.open_dataset(path, engine="stskit", direction="sideways")
    with pytest.raises(ValueError, match="unit"):
        xr.open_dataset(path, engine="stskit", bias_unit="kV")


def test_synthetic_text_formats(tmp_path):
    """Delimited text with units in its header and plain pairs, against the
    values written (converted by hand: mV -> V, pA -> nA)."""
    bias_mv = np.array([-20, -10, 0, 10, 20], np.float64)
    current_pa = np.array([-3.5, -1.25, 0.0, 1.5, 3.75])
    csv = tmp_path / "curve.csv"
    csv.write_text("Bias (mV),Current (pA)\n" +
                   "".join(f"{b:g},{c:g}\n" for b, c in zip(bias_mv, current_pa)))
    ds = xr.open_dataset(str(csv), engine="stskit")
    assert ds.attrs["format"] == "csv"
    assert bits(ds["bias"].values) == bits((bias_mv / 1e3).astype(np.float32))
    assert bits(ds["current"].values) == bits((current_pa / 1e3).astype(np.float32))
    pairs = tmp_path / "pairs.txt"
    pairs.write_text("".join(f"{b / 1e3:g} {c:g}\n" for b, c in zip(bias_mv, current_pa)))
    ds = xr.open_dataset(str(pairs), engine="stskit")
    assert ds.attrs["format"] == "pairs"
    assert bits(ds["current"].values) == bits(current_pa.astype(np.float32))


def test_lazy_grid_on_dask_worker_processes():
    from dask.distributed import Client, LocalCluster
    path = str(realraw() / "nanonis2016_grid_lockin_30x30.3ds")
    eager = xr.open_dataset(path, engine="stskit")["current"].values
    with LocalCluster(n_workers=1, processes=True, threads_per_worker=1,
                      dashboard_address=None) as cluster, Client(cluster):
        lazy = xr.open_dataset(path, engine="stskit", chunks={"y": 10})
        assert bits(lazy["current"].compute().values) == bits(eager)


def test_rhk_line_against_the_independent_decoder():
    """The RHK line's current and bias from the readers' tests' own decoder
    (written from the layout with struct): the same floats."""
    path = str(realraw() / "rhk2020_hopg_line_300K.sm4")
    decoder = pathlib.Path(__file__).resolve().parents[2] / "lib/readers/tests/rhk_sm4_decode.py"
    out = subprocess.run([sys.executable, str(decoder), path, "Current"], capture_output=True,
                         text=True, check=True).stdout.splitlines()
    axis = np.array(out[0].split("\t")[1:], np.float64).astype(np.float32)
    values = [np.array(line.split("\t")[1:], np.float64)
              for line in out if line.startswith("values")]
    ds = xr.open_dataset(path, engine="stskit")
    assert bits(ds["bias"].values) == bits(axis)
    assert ds.sizes["x"] * ds.sizes["y"] == len(values) == 32
    current = ds["current"].values.reshape(32, -1)
    for k, v in enumerate(values):
        assert bits(current[k]) == bits((v * 1e9).astype(np.float32))


def test_point_spectrum_on_its_scan(tmp_path):
    """scan= says where a point spectrum sits on the scan it was taken on,
    as stsimport --scan writes it in its index; outside the frame it is
    refused with the tool's message."""
    raw = realraw()
    dat, sxm = raw / "nanonis2023_STS_generic_4_5.dat", raw / "nanonis2023_STM_generic_4_5.sxm"
    ds = xr.open_dataset(dat, engine="stskit", scan=sxm)
    row = stsimport(dat, tmp_path / "o", f"--scan={sxm}")[0][0]
    assert (ds.attrs["scan_column"], ds.attrs["scan_row"]) == (111, 2)
    assert (str(ds.attrs["scan_column"]), str(ds.attrs["scan_row"])) == (row["scan_column"],
                                                                          row["scan_row"])
    assert f"{ds.attrs['scan_x_nm']:.4f}" == row["scan_x_nm"]
    assert f"{ds.attrs['scan_y_nm']:.4f}" == row["scan_y_nm"]
    # By hand from the header: X (m) -528.284 nm against the frame's left
    # edge at -528.025 - 2 nm; Y (m) 9.34745 nm against its bottom 11.3042 - 2.
    assert abs(ds.attrs["scan_x_nm"] - (-528.284 + 528.025 + 2)) < 1e-3
    assert abs(ds.attrs["scan_y_nm"] - (9.34745 - 11.3042 + 2)) < 1e-3
    with pytest.raises(ValueError, match="lies outside the scan's frame"):
        xr.open_dataset(dat, engine="stskit", scan=raw / "nanonis_sxm_si7x7_051.sxm")
    with pytest.raises(ValueError, match="stsgrid --topography"):
        xr.open_dataset(raw / "nanonis_simulator_grid_bwd_5x6.3ds", engine="stskit", scan=sxm)


def test_lazy_point_slices_are_the_full_read(tmp_path):
    """A slice of points (isel(bias=...)) reads only those points: the same
    values as the whole grid sliced, pixels missing from the file NaN."""
    from test_compute import synthetic
    path = synthetic(tmp_path, 7, 5, 90, missing=4)
    for direction in ("fwd", "bwd", "mean"):
        lazy = xr.open_dataset(path, engine="stskit", direction=direction)["current"]
        full = lazy.values
        for key in ((slice(None), slice(None), 45), (slice(1, 4), slice(2, 7), slice(10, 80, 7)),
                    (2, slice(None), slice(89, 90)), (4, 6, slice(None)), (0, 0, slice(5, 5)),
                    (slice(None), slice(None), 0), (slice(None), slice(None), 89)):
            assert bits(lazy[key].values) == bits(full[key]), (direction, key)
        assert np.isnan(full[4, 3:, :]).all()


@pytest.mark.parametrize("name,options", GRID_FILES)
def test_lazy_point_slices_of_real_grids(name, options):
    """The same on the real grids (pixels not measured among them)."""
    lazy = xr.open_dataset(str(realraw() / name), engine="stskit", **options)["current"]
    full = lazy.values
    n = full.shape[-1]
    for key in ((slice(None), slice(None), n // 2), (slice(None), slice(None), slice(1, n, 5))):
        assert bits(lazy[key].values) == bits(full[key]), key
