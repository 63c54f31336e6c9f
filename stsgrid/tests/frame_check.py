# The lateral frame stsgrid wrote for a real grid against the positions the
# instrument recorded, read independently.  Run by stsgrid_e2e_tests with
# Debian's /usr/bin/python3 (numpy, netCDF4).
#
#   frame_check.py GRID.3ds|GRID.sm4 OUT.nc
#
# A .3ds file is decoded from its documented layout: the text header up to
# ":HEADER_END:\r\n", then per pixel the parameters ("Sweep Start;Sweep
# End", then the "Experiment parameters", of which "X (m)" and "Y (m)" are
# the tip's position) and the channels, all big-endian float32.  "Grid
# settings" holds centre x, centre y, width, height (m) and the angle
# (degrees, clockwise).  Each position is turned about the centre into the
# frame and measured from its corner.  For an .sm4 file the recorded
# positions written to position_x and position_y are fitted by an affine
# lattice (least squares over every pixel) instead, the raster's own frame.
# Prints the largest deviation of the written x, y (and position_frame_x,
# position_frame_y) from the recorded positions as a fraction of a step;
# exits 1 when position_frame_* differ from this reading by more than
# 1e-4 nm.
import math
import sys

import netCDF4
import numpy as np


def nanonis_positions(path):
    raw = open(path, "rb").read()
    end = raw.index(b":HEADER_END:\r\n")
    entries = {}
    for line in raw[:end].decode("latin-1").split("\r\n"):
        if "=" in line:
            key, value = line.split("=", 1)
            entries[key] = value.strip('"')
    nx, ny = (int(v) for v in entries["Grid dim"].split("x"))
    params = int(entries["# Parameters (4 byte)"])
    names = (["Sweep Start", "Sweep End"] + entries["Experiment parameters"].split(";"))[:params]
    points = int(entries["Points"])
    channels = len(entries["Channels"].split(";"))
    per = params + channels * points
    values = np.frombuffer(raw, dtype=">f4", offset=end + len(":HEADER_END:\r\n"))
    n = min(nx * ny, values.size // per)
    table = values[: n * per].reshape(n, per).astype(np.float64)
    x, y = table[:, names.index("X (m)")] * 1e9, table[:, names.index("Y (m)")] * 1e9
    cx, cy, w, h, angle = (float(v) for v in entries["Grid settings"].split(";"))
    cx, cy, w, h = cx * 1e9, cy * 1e9, w * 1e9, h * 1e9
    t = math.radians(angle)
    # The frame's x axis turned clockwise: undo it about the centre.
    u = (x - cx) * math.cos(t) - (y - cy) * math.sin(t) + w / 2
    v = (x - cx) * math.sin(t) + (y - cy) * math.cos(t) + h / 2
    return nx, ny, u, v


def lattice_positions(nc, nx, ny):
    x = nc["position_x"][:].filled(np.nan).astype(np.float64).reshape(-1)
    y = nc["position_y"][:].filled(np.nan).astype(np.float64).reshape(-1)
    ix, iy = np.meshgrid(np.arange(nx), np.arange(ny))
    ix, iy = ix.reshape(-1).astype(float), iy.reshape(-1).astype(float)
    # x = x0 + ix * r + iy * c, fitted; then the pixel's coordinates in steps.
    design = np.column_stack([np.ones_like(ix), ix] + ([iy] if ny > 1 else []))
    coef, *_ = np.linalg.lstsq(design, np.column_stack([x, y]), rcond=None)
    row = coef[1]
    column = coef[2] if ny > 1 else np.array([-row[1], row[0]]) / np.hypot(*row)
    basis = np.column_stack([row, column])
    a, b = np.linalg.solve(basis, np.vstack([x - x[0], y - y[0]]))
    step_x, step_y = np.hypot(*row), (np.hypot(*column) if ny > 1 else 1.0)
    return a * step_x, b * step_y


def main():
    grid, out = sys.argv[1], sys.argv[2]
    nc = netCDF4.Dataset(out)
    xs = nc["x"][:].astype(np.float64)
    ys = nc["y"][:].astype(np.float64)
    nx, ny = xs.size, ys.size
    if grid.endswith(".3ds"):
        gx, gy, u, v = nanonis_positions(grid)
        assert (gx, gy) == (nx, ny), (gx, gy, nx, ny)
    else:
        u, v = lattice_positions(nc, nx, ny)
    n = u.size
    ix, iy = np.arange(n) % nx, np.arange(n) // nx
    step_x = (xs[-1] - xs[0]) / (nx - 1) if nx > 1 else 1.0
    step_y = (ys[-1] - ys[0]) / (ny - 1) if ny > 1 else step_x
    dev_x = np.abs(u - xs[ix]) / abs(step_x)
    dev_y = np.abs(v - ys[iy]) / abs(step_y)
    worst = max(np.nanmax(dev_x), np.nanmax(dev_y))
    fx = nc["position_frame_x"][:].filled(np.nan).astype(np.float64).reshape(-1)[:n]
    fy = nc["position_frame_y"][:].filled(np.nan).astype(np.float64).reshape(-1)[:n]
    frame = max(np.nanmax(np.abs(fx - u)), np.nanmax(np.abs(fy - v)))
    print("pixels", n)
    print("step_x %.6g step_y %.6g" % (step_x, step_y))
    print("axes_deviation_steps %.6g" % worst)
    print("frame_variable_nm %.6g" % frame)
    print("layout", getattr(nc, "pixel_layout", "none"))
    return 0 if frame <= 1e-4 else 1


sys.exit(main())
