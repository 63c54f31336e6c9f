# The per-pixel record stsgrid wrote for a real Nanonis grid (topography and
# every other parameter) against an independent NumPy decoding of the .3ds
# bytes: the header up to ":HEADER_END:\r\n", then per pixel the parameters
# ("Fixed parameters", then "Experiment parameters") and the channels, all
# big-endian float32.  Run by stsgrid_e2e_tests with /usr/bin/python3.
#
#   record_check.py GRID.3ds OUT.nc
#
# Prints the variables checked; exits 1 when one differs.
import re
import sys

import netCDF4
import numpy as np


def main():
    grid, out = sys.argv[1], sys.argv[2]
    raw = open(grid, "rb").read()
    end = raw.index(b":HEADER_END:\r\n")
    entries = {}
    for line in raw[:end].decode("latin-1").split("\r\n"):
        if "=" in line:
            key, value = line.split("=", 1)
            entries[key] = value.strip('"')
    nx, ny = (int(v) for v in entries["Grid dim"].split("x"))
    params = int(entries["# Parameters (4 byte)"])
    names = (entries["Fixed parameters"].split(";") +
             entries["Experiment parameters"].split(";"))[:params]
    per = params + len(entries["Channels"].split(";")) * int(entries["Points"])
    values = np.frombuffer(raw, dtype=">f4", offset=end + len(":HEADER_END:\r\n"))
    n = min(nx * ny, values.size // per)
    table = values[: n * per].reshape(n, per)[:, :params]
    nc = netCDF4.Dataset(out)
    problems, checked = [], []
    for i, name in enumerate(names):
        if name in ("X (m)", "Y (m)"):
            continue
        if name == "Z (m)":
            var, want = "topography", (table[:, i].astype(np.float64) * 1e9).astype(np.float32)
            unit = "nm"
        else:
            m = re.match(r"(.*) \((.*)\)$", name)
            base, unit = (m.group(1), m.group(2)) if m else (name, "1")
            if i < 2:
                unit = re.match(r".*\((.*)\)$", entries["Sweep Signal"]).group(1)
            var = "parameter_" + re.sub(r"[^a-z0-9]+", "_", base.lower()).strip("_")
            want = table[:, i].astype(np.float32)
        got = nc[var][:].filled(np.nan).reshape(-1)[:n].astype(np.float32)
        # Bit for bit, NaN (a parameter not recorded) as any NaN.
        if not np.array_equal(got, want, equal_nan=True):
            problems.append(var + " differs")
        if nc[var].units != unit:
            problems.append("%s: units %s, want %s" % (var, nc[var].units, unit))
        checked.append(var)
    print("checked", " ".join(checked))
    print("topography_nm %.6g .. %.6g" % (np.nanmin(nc["topography"][:]), np.nanmax(nc["topography"][:])))
    for p in problems:
        print(p)
    return 1 if problems else 0


sys.exit(main())
