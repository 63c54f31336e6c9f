"""Every option of stsgrid (its --help, which is its option table) is a
keyword of stskit.run / stskit.dask.process, and those of the computation
keywords of stskit.compute too, or the command line's alone; refusals
name the keywords, and the values reach the same file."""
import filecmp
import re

import numpy as np
import pytest
import xarray as xr

import stskit
from conftest import STSGRID, bits, run
from test_compute import synthetic
from test_run import stsgrid_message, stsgrid_run

# What a caller of run() gives otherwise, or what only the command line does.
DRIVER_ONLY = {
    "output": "run's second argument",
    "map": "pictures", "mean-plot": "pictures",
    "no-progress": "the terminal", "help": "the terminal", "version": "the terminal",
    "each-sweep": "stsimport's alone (stsgrid refuses it)",
}
# Keywords named otherwise than option.replace("-", "_").
RENAMED = {"jobs": "threads", "bias": "bias_channel"}
# Settings of a file only: how it is read, and its companions.
FILE_ONLY = {"format", "partial", "current_gain", "pointmean", "line", "line_vars",
             "mean_text", "fft", "fft_window", "symmetrise", "bragg", "drift_correct",
             "topography", "topography_channel", "topography_direction"}


def keyword(option):
    return RENAMED.get(option, option.replace("-", "_"))


def stsgrid_options():
    text = run([STSGRID, "--help"], cwd=".").stdout
    return set(re.findall(r"^\s+(?:-\w, )?--([a-z][a-z0-9-]*)", text, re.M))


def keyword_form(message):
    """stsgrid's message as the Python keywords say it (written apart from
    the module's own translation): --force -> force=True, --name[=V] ->
    name[=V], the option's bare name at the start -> the keyword."""
    flags = {"force", "fft", "bragg", "drift-correct", "mean-text", "partial"}

    def one(m):
        name, value = m.group(1), m.group(2) or ""
        if name.endswith("-"):
            return keyword(name[:-1]) + "_"
        if name in DRIVER_ONLY:
            return m.group(0)
        return keyword(name) + (value or ("=True" if name in flags else ""))

    first = message.split(" ")[0]
    if first in stsgrid_options() and ("-" in first or first == "jobs"):
        message = keyword(first) + message[len(first):]
    message = re.sub(r"--([a-z][a-z0-9-]*)(=[^\s,;)'\"]*)?", one, message)
    return re.sub(r"(^|\s)-o(?=\s|$)", r"\1output", message)


def test_every_option_is_a_keyword():
    options = stsgrid_options()
    assert {"lockin-cal", "force", "fit", "fit-free", "fft", "bragg", "topography",
            "current-gain"} <= options
    wanted = {keyword(o) for o in options if o not in DRIVER_ONLY}
    assert set(stskit._core.run_settings) == wanted
    assert set(stskit._core.compute_settings) == wanted - FILE_ONLY
    assert set(DRIVER_ONLY) <= options  # nothing listed that stsgrid does not take
    with pytest.raises(TypeError, match="unknown setting 'fft' for a dataset: it reads or "
                                        "writes a file, as stskit.run does"):
        stskit._core.check_settings({"fft": True}, False)


REFUSED = [
    (["--lockin-cal=x"], {"lockin_cal": "x"}),
    (["--lockin-cal=fit"], {"lockin_cal": "fit"}),
    (["--force"], {"force": True}),
    (["--didv-channel=LI Demod 1 X (A)", "--lockin-cal=amplitude", "--lockin-fit=pixel"],
     {"didv_channel": "LI Demod 1 X (A)", "lockin_cal": "amplitude", "lockin_fit": "pixel"}),
    (["--fit=nope"], {"fit": "nope"}),
    (["--fit-window=0.1"], {"fit_window": 0.1}),
    (["--fit=dynes", "--fit-tip-gap=1"], {"fit": "dynes", "fit_tip_gap": 1}),
    (["--fit=dynes", "--fit-temperature=-1"], {"fit": "dynes", "fit_temperature": -1}),
    (["--fit=dynes", "--fit-free=slope"], {"fit": "dynes", "fit_free": "slope"}),
    (["--fft-window=hann"], {"fft_window": "hann"}),
    (["--drift-correct"], {"drift_correct": True}),
    (["--fft", "--bragg=1,2"], {"fft": True, "bragg": "1,2"}),
    (["--fft", "--drift-correct=-1"], {"fft": True, "drift_correct": -1}),
    (["--topography-channel=Z"], {"topography_channel": "Z"}),
    (["--topography=x.sxm", "--topography-direction=up"],
     {"topography": "x.sxm", "topography_direction": "up"}),
    (["-j", "0"], {"threads": 0}),
    (["--gap-window=0.1"], {"gap_window": 0.1}),
    (["--current-gain=x"], {"current_gain": "x"}),
]


def test_refusals_name_the_keywords(tmp_path):
    path = synthetic(tmp_path, 4, 3, 30, lockin=True)
    for cli, settings in REFUSED:
        expected = keyword_form(stsgrid_message(path, tmp_path, *cli))
        assert "--" not in expected.replace("--map", ""), expected
        with pytest.raises(ValueError) as e:
            stskit.run(path, tmp_path / "ours.nc", **settings)
        assert str(e.value) == expected, cli
    assert keyword_form("give --force to take it") == "give force=True to take it"
    # The output's own name: the option stsgrid names is run's argument.
    with pytest.raises(ValueError) as e:
        stskit.run(path, path)
    assert str(e.value).endswith("; name another with output")


def phase_grid(folder):
    """A lock-in grid whose second channel is a phase in degrees: the header's
    names changed, the values as they were."""
    path = synthetic(folder, 5, 4, 40, lockin=True)
    data = open(path, "rb").read()
    head, rest = data.split(b":HEADER_END:", 1)
    head = head.replace(b"LI Demod 1 X [bwd] (A)", b"Phase [bwd] (deg)")
    head = head.replace(b"LI Demod 1 X (A)", b"Phase (deg)")
    out = folder / "phase.3ds"
    out.write_bytes(head + b":HEADER_END:" + rest)
    return str(out)


def test_a_phase_channel_needs_force(tmp_path):
    path = phase_grid(tmp_path)
    channel = "Phase (deg)"
    message = keyword_form(stsgrid_message(path, tmp_path, f"--didv-channel={channel}"))
    assert "force=True" in message
    ds = xr.open_dataset(path, engine="stskit")
    with pytest.raises(ValueError) as e:
        stskit.compute(ds, didv_channel=channel)
    assert str(e.value).endswith(message.split(": ", 1)[-1])
    with pytest.raises(ValueError) as e:
        xr.open_dataset(path, engine="stskit", didv_channel=channel)
    assert "force=True" in str(e.value)
    # With force: the very values of stsgrid --force.
    stsgrid_run(path, tmp_path / "cli.nc", f"--didv-channel={channel}", "--force",
                "--lockin-fit=pixel")
    stskit.run(path, tmp_path / "ours.nc", didv_channel=channel, force=True, lockin_fit="pixel")
    assert filecmp.cmp(tmp_path / "cli.nc", tmp_path / "ours.nc", shallow=False)
    ours = stskit.compute(xr.open_dataset(path, engine="stskit", didv_channel=channel,
                                          force=True),
                          didv_channel=channel, force=True, lockin_fit="pixel")
    theirs = xr.open_dataset(tmp_path / "cli.nc")
    for name in ("didv_lockin", "norm_coff_lockin", "status"):
        assert np.array_equal(ours[name].values, theirs[name].values, equal_nan=True), name


def test_new_settings_give_stsgrids_file(tmp_path):
    """The fit, the lock-in's calibration and the Fourier maps through run()
    and compute(): stsgrid's files, byte for byte, and its values."""
    path = synthetic(tmp_path, 6, 5, 80, lockin=True)
    ch = "LI Demod 1 X (A)"
    cli = ["--didv-channel=" + ch, "--lockin-cal=fit", "--fit=dynes", "--fit-window=0.5",
           "--fit-temperature=2:free", "--fit-free=offset", "--fft", "--fft-window=none"]
    settings = {"didv_channel": ch, "lockin_cal": "fit", "fit": "dynes", "fit_window": 0.5,
                "fit_temperature": "2:free", "fit_free": "offset", "fft": True,
                "fft_window": "none"}
    folder = tmp_path / "cli"
    folder.mkdir()
    stsgrid_run(path, folder / "g.nc", *cli)
    stskit.run(path, tmp_path / "g.nc", **settings)
    assert filecmp.cmp(folder / "g.nc", tmp_path / "g.nc", shallow=False)
    # The maps' file names the grid's file beside it: the rest is the same.
    cli_fft, our_fft = xr.open_dataset(folder / "g_fft.nc"), xr.open_dataset(tmp_path / "g_fft.nc")
    assert cli_fft.attrs.pop("grid_file") == str(folder / "g.nc")
    assert our_fft.attrs.pop("grid_file") == str(tmp_path / "g.nc")
    assert cli_fft.attrs == our_fft.attrs and set(cli_fft.variables) == set(our_fft.variables)
    for name, v in cli_fft.variables.items():
        assert bits(v.values) == bits(our_fft[name].values), name
    arrays = {k: v for k, v in settings.items() if k not in FILE_ONLY}
    ours = stskit.compute(xr.open_dataset(path, engine="stskit", didv_channel=ch), **arrays)
    theirs = xr.open_dataset(folder / "g.nc")
    names = [n for n in theirs.data_vars if n.startswith("fit_")] + ["didv_lockin"]
    assert "fit_status" in names and "fit_gap" in names
    for name in names:
        assert ours[name].dims == theirs[name].dims, name
        assert np.array_equal(ours[name].values, theirs[name].values, equal_nan=True), name
    for key, value in theirs["fit_status"].attrs.items():
        assert np.array_equal(ours["fit_status"].attrs[key], value), key


def test_the_fit_chunk_by_chunk_is_the_eager_one(tmp_path):
    """A pixel's fit depends on that pixel alone: on a Dask-backed dataset,
    chunk by chunk, the eager result bit for bit."""
    path = synthetic(tmp_path, 6, 5, 80, lockin=True)
    ch = "LI Demod 1 X (A)"
    settings = {"didv_channel": ch, "lockin_fit": "pixel", "fit": "dynes", "fit_window": 0.5}
    eager = stskit.compute(xr.open_dataset(path, engine="stskit", didv_channel=ch), **settings)
    lazy = stskit.compute(xr.open_dataset(path, engine="stskit", didv_channel=ch,
                                          chunks={"y": 2}), **settings)
    assert lazy["fit_gap"].chunks is not None
    lazy = lazy.compute()
    for name in ("fit_gap", "fit_chi2", "fit_status", "didv_lockin"):
        assert bits(lazy[name].values) == bits(eager[name].values), name
