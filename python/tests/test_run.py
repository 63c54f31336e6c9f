"""stskit.run against the stsgrid command on the same file and settings:
the netCDF file byte for byte (cmp), its companions, the summary against
the file's own status variable, and refusals with stsgrid's messages."""
import filecmp

import numpy as np
import pytest
import xarray as xr

import stskit
from conftest import STSGRID, realraw, run
from test_compute import synthetic


def stsgrid_run(path, out, *options, status=(0, 3)):
    r = run([STSGRID, "--no-progress", "-o", out, *options, path], cwd=out.parent, check=False)
    assert r.returncode in status, r.stderr
    return r


def stsgrid_message(path, folder, *options):
    """stsgrid's message for a run it refuses, without "stsgrid: " in front."""
    r = run([STSGRID, "--no-progress", "-o", folder / "refused.nc", *options, path], cwd=folder,
            check=False)
    assert r.returncode in (1, 2), r.stderr
    return r.stderr.splitlines()[0][len("stsgrid: "):]


CASES = [
    ([], {}),
    (["--smooth=11:3", "--gap=0.5", "-j", "2"], {"smooth": "11:3", "gap": 0.5, "threads": 2}),
    (["--region=1:4,2:5", "-d", "mean", "--exp-width=0.2"],
     {"region": "1:4,2:5", "direction": "mean", "exp_width": 0.2}),
    (["--bias-unit=mV", "--current-unit=pA", "--coff-offset=0.5"],
     {"bias_unit": "mV", "current_unit": "pA", "coff_offset": 0.5}),
]


@pytest.mark.parametrize("cli,settings", CASES)
def test_the_file_is_stsgrids(tmp_path, cli, settings):
    path = synthetic(tmp_path, 9, 7, 120, missing=5)
    stsgrid_run(path, tmp_path / "cli.nc", *cli)
    s = stskit.run(path, tmp_path / "ours.nc", **settings)
    assert filecmp.cmp(tmp_path / "cli.nc", tmp_path / "ours.nc", shallow=False)
    # The summary against the file's own statuses.
    status = xr.open_dataset(tmp_path / "ours.nc")["status"].values
    assert s["output"] == str(tmp_path / "ours.nc") and s["path"] == path
    assert (s["nx"], s["ny"], s["points"]) == (9, 7, 120)
    assert s["processed"] == int((status == 0).sum()) == 58
    assert s["unprocessed"] == 5 and s["status"] == "unprocessed"
    assert sum(s["causes"].values()) == 5 and s["seconds"] > 0


def test_default_output_and_companions(tmp_path):
    path = synthetic(tmp_path, 6, 5, 80, lockin=True)
    cli = tmp_path / "cli"
    cli.mkdir()
    options = ["--didv-channel=LI Demod 1 X (A)", "--lockin-fit=pixel", "--mean-text",
               "--line=0,0:5,4", f"--pointmean={cli / 'pm.txt'}"]
    stsgrid_run(path, cli / "grid.nc", *options)
    s = stskit.run(path, didv_channel="LI Demod 1 X (A)", lockin_fit="pixel", mean_text=True,
                   line="0,0:5,4", pointmean=str(tmp_path / "pm.txt"))
    assert s["output"] == str(tmp_path / "grid.nc") and s["status"] == "done"
    names = ["grid.nc", "grid_line.nc", "pm.txt"] + \
        [p.name for p in cli.glob("grid_mean_*.txt")]
    assert len(names) > 3
    for name in names:
        assert filecmp.cmp(cli / name, tmp_path / name, shallow=False), name


def test_real_grid_file_is_stsgrids(tmp_path):
    path = str(realraw() / "nanonis2016_grid_lockin_30x30.3ds")
    stsgrid_run(path, tmp_path / "cli.nc", "--didv-channel=LockinX (V)", "--smooth=11")
    stskit.run(path, tmp_path / "ours.nc", didv_channel="LockinX (V)", smooth=11)
    assert filecmp.cmp(tmp_path / "cli.nc", tmp_path / "ours.nc", shallow=False)


def test_refusals_are_stsgrids_messages(tmp_path):
    from test_settings import keyword_form
    path = synthetic(tmp_path, 4, 3, 30)
    for cli, settings in (
            (["--smooth=4"], {"smooth": 4}),
            (["--smooth=11:12"], {"smooth": "11:12"}),
            (["-j", "0"], {"threads": 0}),
            (["--exp-width=-1"], {"exp_width": -1}),
            (["--coff-offset=x"], {"coff_offset": "x"}),
            (["--lockin-fit=grid"], {"lockin_fit": "grid"}),
            (["--didv-channel=LockinX (V)", "--lockin-min-r2=0.3"],
             {"didv_channel": "LockinX (V)", "lockin_min_r2": 0.3}),
            (["--gap=0.5:nothing"], {"gap": "0.5:nothing"}),
            (["--gap-window=0.1"], {"gap_window": 0.1}),
            (["--region=0:9,0:1"], {"region": "0:9,0:1"}),  # beyond the grid
            (["--region=3:1,0:1"], {"region": "3:1,0:1"}),
            (["--line-vars=didv"], {"line_vars": "didv"}),
            (["--line=0,0:7,0"], {"line": "0,0:7,0"}),
            (["--direction=sideways"], {"direction": "sideways"}),
            (["--current-unit=kA"], {"current_unit": "kA"}),
            (["--channel=Nothing"], {"channel": "Nothing"}),
    ):
        message = stsgrid_message(path, tmp_path, *cli)
        with pytest.raises(ValueError) as e:
            stskit.run(path, tmp_path / "ours.nc", **settings)
        assert str(e.value) == keyword_form(message), cli
        assert not (tmp_path / "ours.nc").exists()
    missing = str(tmp_path / "missing.3ds")
    with pytest.raises(ValueError) as e:
        stskit.run(missing)
    assert str(e.value) == keyword_form(stsgrid_message(missing, tmp_path))
    with pytest.raises(TypeError, match="unknown setting 'smoothing'"):
        stskit.run(path, smoothing=11)
    with pytest.raises(ValueError, match="True or False"):
        stskit.run(path, mean_text="yes")


def test_compute_takes_the_same_settings(tmp_path):
    """compute's settings reach the plan as run's do: the file's values."""
    path = synthetic(tmp_path, 5, 4, 60)
    settings = {"smooth": 7, "gap": 0.4, "gap_window": 0.3, "exp_width": 0.25}
    stskit.run(path, tmp_path / "ours.nc", **settings)
    ours = stskit.compute(xr.open_dataset(path, engine="stskit"), **settings)
    theirs = xr.open_dataset(tmp_path / "ours.nc")
    for name in ("norm_coff", "gap_width", "mean_norm_exp"):
        assert np.array_equal(ours[name].values, theirs[name].values, equal_nan=True)
    with pytest.raises(TypeError, match="unknown setting 'pointmean'"):
        stskit.compute(xr.open_dataset(path, engine="stskit"), pointmean="x.txt")
