# An independent reading of a Nanonis .3ds grid with NumPy, checked against
# the lock-in variables stsgrid wrote for it.  Run by stsgrid_e2e_tests with
# Debian's /usr/bin/python3 (numpy, netCDF4).
#
#   lockin_check.py GRID.3ds OUT.nc CHANNEL DIRECTION pixel|grid|amplitude [W:ORDER]
#
# The lock-in channel is read from the raw bytes (big-endian float32), the
# direction applied (fwd, bwd, or the mean of a channel and its [bwd] twin),
# put on the midpoints (mean of neighbours), and fitted to the file's
# numerical dI/dV with np.polyfit: per pixel, or once over every processed
# pixel, or (amplitude) not fitted but the header's modulation used: a
# channel in amperes is dI/dV times the zero-to-peak amplitude
# "Lock-in>Amplitude" of the modulated "Bias (V)", so the line is
# (1e9 / amplitude nA/V per A, 0), which is compared with the grid's fit.
# With W:ORDER the channel is first smoothed in its measured order
# by SciPy's savgol_filter(mode="interp"), as --smooth=W:ORDER smooths it.
# Prints the figures; exits 1 when a check fails.
import sys

import netCDF4
import numpy as np


def read_grid(path):
    raw = open(path, "rb").read()
    end = raw.index(b":HEADER_END:")
    head = raw[:end].decode("latin-1")
    data = end + len(":HEADER_END:")
    if raw[data:data + 1] == b"\r":
        data += 1
    if raw[data:data + 1] == b"\n":
        data += 1
    entries = {}
    for line in head.splitlines():
        if "=" in line:
            key, value = line.split("=", 1)
            entries[key.strip()] = value.strip().strip('"')
    read_grid.entries = entries
    nx, ny = (int(v) for v in entries["Grid dim"].split("x"))
    points = int(entries["Points"])
    params = int(entries["# Parameters (4 byte)"])
    channels = entries["Channels"].split(";")
    per_pixel = params + len(channels) * points
    values = np.frombuffer(raw, dtype=">f4", offset=data)
    pixels = min(nx * ny, values.size // per_pixel)
    values = values[:pixels * per_pixel].reshape(pixels, per_pixel)
    return nx, ny, points, params, channels, values


def channel(grid, name, direction):
    nx, ny, points, params, channels, values = grid
    base, unit = name.rsplit(" (", 1)

    def column(n):
        k = channels.index(n)
        return values[:, params + k * points:params + (k + 1) * points].astype(np.float64)

    fwd = column(name)
    if direction == "fwd":
        return fwd
    bwd = column(base + " [bwd] (" + unit)
    return bwd if direction == "bwd" else (fwd + bwd) / 2


def main():
    grid_path, nc_path, name, direction, mode = sys.argv[1:6]
    smooth = sys.argv[6] if len(sys.argv) > 6 else ""
    grid = read_grid(grid_path)
    nx, ny, points = grid[0], grid[1], grid[2]
    ds = netCDF4.Dataset(nc_path)
    ds.set_auto_mask(False)
    status = ds["status"][:].reshape(-1)
    didv = ds["didv"][:].reshape(nx * ny, -1).astype(np.float64)
    lockin = ds["didv_lockin"][:].reshape(nx * ny, -1).astype(np.float64)
    scale = ds["lockin_scale"][:].reshape(-1).astype(np.float64)
    offset = ds["lockin_offset"][:].reshape(-1).astype(np.float64)
    r2 = ds["lockin_r2"][:].reshape(-1).astype(np.float64)
    sweep = channel(grid, name, direction)
    if smooth:
        from scipy.signal import savgol_filter
        window, order = (int(v) for v in smooth.split(":"))
        # The values stsgrid smooths are floats.
        sweep = savgol_filter(sweep.astype(np.float32).astype(np.float64), window, order,
                              axis=1, mode="interp")
    worst = {"L": 0.0, "scale": 0.0, "offset": 0.0, "r2": 0.0}
    done = np.flatnonzero(status == 0)
    mids = {}

    def placed(sweep, p):
        s = sweep[p]
        if grid[5][p, 0] > grid[5][p, 1]:  # a descending sweep, sorted ascending
            s = s[::-1]
        return (s[:-1] + s[1:]) / 2

    def apart(sweep):
        # How far the file's lock-in is from this reading of the channel,
        # put through the file's own line, relative to its size.
        worst = 0.0
        for p in done:
            want = scale[p] * placed(sweep, p) + offset[p]
            got = lockin[p, :points - 1]
            worst = max(worst, np.max(np.abs(got - want)) / np.max(np.abs(got)))
        return worst

    for p in done:
        mids[p] = placed(sweep, p)
    if mode in ("grid", "amplitude"):
        x = np.concatenate([mids[p] for p in done])
        y = np.concatenate([didv[p, :points - 1] for p in done])
        global_line = np.polyfit(x, y, 1)
    if mode == "amplitude":
        entries = read_grid.entries
        assert entries["Lock-in>Modulated signal"] == "Bias (V)" and name.endswith("(A)")
        amplitude = float(entries["Lock-in>Amplitude"])
        fitted_scale = global_line[0]
        global_line = np.array([1e9 / amplitude, 0.0])
        print("fitted %.6g amplitude %.6g ratio %.6g" %
              (fitted_scale, global_line[0], fitted_scale / global_line[0]))
    for p in done:
        m = mids[p]
        y = didv[p, :points - 1]
        line = global_line if mode != "pixel" else np.polyfit(m, y, 1)
        fitted = line[0] * m + line[1]
        r2_np = 1 - np.sum((y - fitted) ** 2) / np.sum((y - y.mean()) ** 2)
        span = np.max(np.abs(fitted)) + 1e-300
        worst["scale"] = max(worst["scale"], abs(scale[p] / line[0] - 1))
        worst["offset"] = max(worst["offset"], abs(offset[p] - line[1]) / span)
        worst["r2"] = max(worst["r2"], abs(r2[p] - r2_np))
    worst["L"] = apart(sweep)
    print("pixels %d of %d" % (done.size, nx * ny))
    for key, value in worst.items():
        print("worst %s %.3g" % (key, value))
    # Float storage: the lock-in and the line within a few float roundings.
    ok = done.size > 0 and worst["L"] < 1e-5 and worst["scale"] < 1e-5 and \
        worst["offset"] < 1e-5 and worst["r2"] < 1e-5
    if direction == "mean":
        # Either sweep alone is far from what was written: the check can tell.
        for alone in ("fwd", "bwd"):
            other = apart(channel(grid, name, alone))
            print("%s alone apart %.3g" % (alone, other))
            ok = ok and other > 100 * worst["L"]
    if mode == "pixel" and done.size > 1:
        # The figures of the lock-in against the numerical dI/dV.
        d = didv[done][:, :points - 1]
        l = lockin[done][:, :points - 1]

        def roughness(v):
            return np.mean(np.mean(np.abs(np.diff(v, 2, axis=1)), axis=1) /
                           np.mean(np.abs(v), axis=1))

        print("roughness didv %.4g didv_lockin %.4g ratio %.4g" %
              (roughness(d), roughness(l), roughness(l) / roughness(d)))
        print("correlation of grid means %.6f" % np.corrcoef(d.mean(0), l.mean(0))[0, 1])
    sys.exit(0 if ok else 1)


main()
