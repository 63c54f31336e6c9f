"""stsgrid's run of a grid file, in this process: the engine's run_plan
through stskit._core, writing the very file stsgrid writes."""
import os

from . import _core


def run(path, output=None, **settings):
    """Runs stsgrid on the grid (or spectrum) file path and writes its
    netCDF file, byte for byte the one `stsgrid [settings] path` writes, at
    output (default: path with .nc for its extension, beside it).

    settings: stsgrid's options by name (stskit._core.run_settings):
    channel, bias_channel, direction, sweep, bias_unit, current_unit,
    format, partial, threads, region, exp_width, coff_offset, smooth,
    current_gain, didv_channel, lockin_fit, lockin_min_r2, lockin_cal,
    force, gap, gap_window, fit, fit_window, fit_temperature, fit_tip_gap,
    fit_tip_gamma, fit_modulation, fit_free, and the companions pointmean
    (a file name), mean_text (True), line ("X0,Y0:X1,Y1", with line_vars),
    fft (True or a variable), fft_window, symmetrise, bragg (True, "auto"
    or "Q1X,Q1Y:Q2X,Q2Y"), drift_correct (True or LAMBDA), topography (a
    .sxm file), topography_channel, topography_direction.  A flag of
    stsgrid (--force) is True here.  The pictures (stsgrid's --map,
    --mean-plot) are the command line's.  The run holds no GIL.

    Returns a summary dict: path, output, status ("done", or "unprocessed"
    when some pixels could not be processed: stsgrid's exit status 3),
    nx, ny, points, processed, unprocessed, causes, statistics_pixels,
    seconds.  A refused or failed run is a ValueError with stsgrid's message, each
    option in it named by its keyword.
    """
    return _core.run(os.fspath(path), None if output is None else os.fspath(output), settings)
