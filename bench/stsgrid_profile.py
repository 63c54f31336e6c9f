#!/usr/bin/env python3
"""Where stsgrid -j1's processor time goes, for one or more builds side by side.

perf record at 4 kHz over all threads of one run; each sample goes to a
category by its shared object and source file (inlined code counts where
its source is, which the debug information of the optimised build says);
the shares are scaled to the best user + system time of three runs without
perf.  Prints the rows of a Markdown table, one column per build.

    python3 bench/stsgrid_profile.py GRID.3ds BUILD/stsgrid/stsgrid [OTHER/stsgrid/stsgrid ...]
"""
import collections
import os
import subprocess
import sys
import tempfile

# Categories by the source file a sample's code comes from.
BY_SOURCE = [
    ("splines (coefficients, evaluation, normalisation)",
     {"spline.cpp", "spline_axis.h", "normalise.cpp", "offset.cpp", "axis_tables.cpp"}),
    ("FFT and convolution", {"fft.cpp", "fft_plan.h", "convlv.cpp", "broaden.cpp"}),
    ("rest of the spectrum (offset, I/V, dI/dV, merge, checks)",
     {"compute.cpp", "derivative.cpp", "merge.cpp", "finite_values.cpp", "polint.cpp",
      "extended.h", "numlib.h", "sort.cpp", "workspace.cpp"}),
    ("statistics (both passes)",
     {"grid_statistics.cpp", "grid_collector.cpp", "record_spill.cpp", "point_stats.cpp",
      "statistics_pass.cpp"}),
    ("reading the grid",
     {"nanonis_grid.cpp", "grid_source.cpp", "byte_source.cpp", "channel_selection.cpp"}),
]
KERNEL = "kernel: file writes and reads, page cache"
NETCDF = "netCDF and HDF5"
OTHER = "copies, threads, C library, loading"
ROWS = [name for name, _ in BY_SOURCE] + [KERNEL, OTHER, NETCDF]


def category(dso, source):
    if dso.startswith("[kernel"):
        return KERNEL
    if "hdf5" in dso or "netcdf" in dso:
        return NETCDF
    for name, files in BY_SOURCE:
        if source in files:
            return name
    return OTHER


def processor_seconds(stsgrid, grid, out):
    """The best user + system time of three runs."""
    best = None
    for _ in range(3):
        if os.path.exists(out):
            os.remove(out)
        child = subprocess.Popen([stsgrid, "-j1", grid, "-o", out],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, _, usage = os.wait4(child.pid, 0)
        seconds = usage.ru_utime + usage.ru_stime
        best = seconds if best is None else min(best, seconds)
    return best


def samples(stsgrid, grid, work):
    """Samples per category of one run under perf, and their total."""
    data, out = os.path.join(work, "perf.data"), os.path.join(work, "p.nc")
    subprocess.run(["perf", "record", "-F", "4000", "-o", data, stsgrid, "-j1", grid, "-o", out],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    report = subprocess.run(["perf", "report", "-i", data, "--no-children", "--stdio",
                             "--sort", "dso,srcfile", "-F", "sample,dso,srcfile"],
                            capture_output=True, text=True, check=True).stdout
    counts = collections.Counter()
    for line in report.splitlines():
        parts = line.split()
        if len(parts) >= 2 and parts[0].isdigit():
            counts[category(parts[1], parts[2] if len(parts) > 2 else "")] += int(parts[0])
    return counts, sum(counts.values())


def main():
    grid, builds = sys.argv[1], sys.argv[2:]
    columns = []
    with tempfile.TemporaryDirectory(prefix="stsgrid-profile-") as work:
        for stsgrid in builds:
            seconds = processor_seconds(stsgrid, grid, os.path.join(work, "t.nc"))
            counts, total = samples(stsgrid, grid, work)
            columns.append({name: 1000 * seconds * counts[name] / total for name in ROWS})
            columns[-1]["total"] = 1000 * seconds
    for name in ROWS:
        print("| %s | %s |" % (name, " | ".join("%.0f" % c[name] for c in columns)))
    print("| **total** | %s |" % " | ".join("**%.0f**" % c["total"] for c in columns))


if __name__ == "__main__":
    main()
