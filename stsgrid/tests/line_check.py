"""The line cut of stsgrid --line, checked independently: the pixels of the
line worked out here (one step per pixel along the longer direction, the
nearest pixel, halves away from zero), their distances from the grid file's
coordinates, and every record of the line file against the same pixel of
the grid file, bit for bit.

usage: line_check.py GRID.nc LINE.nc X0 Y0 X1 Y1
Prints "ok N" (N samples) or the problems, one a line; exit status 1 then.
"""
import math
import sys

import netCDF4
import numpy as np


def half_away(v):
    return int(math.floor(v + 0.5)) if v >= 0 else -int(math.floor(-v + 0.5))


def coordinate(axis, index):
    # Linear between pixel centres, as the coordinates of the grid file are.
    if len(axis) < 2:
        return float(axis[0])
    i = min(int(index), len(axis) - 2)
    return float(axis[i]) + (index - i) * (float(axis[i + 1]) - float(axis[i]))


def same_bits(a, b):
    a, b = np.asarray(a), np.asarray(b)
    return a.dtype == b.dtype and a.shape == b.shape and a.tobytes() == b.tobytes()


def main():
    grid_path, line_path = sys.argv[1], sys.argv[2]
    x0, y0, x1, y1 = (int(v) for v in sys.argv[3:7])
    g, l = netCDF4.Dataset(grid_path), netCDF4.Dataset(line_path)
    g.set_auto_mask(False)
    l.set_auto_mask(False)
    problems = []
    dx, dy = x1 - x0, y1 - y0
    steps = max(abs(dx), abs(dy))
    xs, ys = g["x"][:], g["y"][:]
    if l.dimensions["sample"].size != steps + 1:
        problems.append("samples: %d, want %d" % (l.dimensions["sample"].size, steps + 1))
    # Every per-pixel record of the grid file, and nothing else, per sample.
    # (one value a pixel: every (y, x) float variable but the measured
    # positions in the instrument's axes and the recorded parameters;
    # the positions in the grid's axes and the topography go along.)
    records = [n for n, v in g.variables.items() if v.dimensions[:2] == ("y", "x") and
               (v.ndim == 3 or (v.dtype == np.float32 and
                                n not in ("position_x", "position_y") and
                                not n.startswith("parameter_")))]
    along = [n for n, v in l.variables.items() if v.dimensions[:1] == ("sample",) and
             (v.ndim == 2 or (v.dtype == np.float32 and n not in ("x", "y")))]
    if sorted(records) != sorted(along):
        problems.append("quantities %s, want %s" % (sorted(along), sorted(records)))
    for name in records:
        for attr in ("units", "long_name"):
            if g[name].getncattr(attr) != l[name].getncattr(attr):
                problems.append("%s.%s differs" % (name, attr))
    for axis in ("bias", "vmid"):
        if not same_bits(g[axis][:], l[axis][:]):
            problems.append(axis + " differs")
    if l["distance"].units != g["x"].units:
        problems.append("distance in %s, the grid in %s" % (l["distance"].units, g["x"].units))
    start = (coordinate(xs, x0), coordinate(ys, y0))
    for k in range(min(steps + 1, l.dimensions["sample"].size)):
        t = k / steps if steps else 0.0
        fx, fy = x0 + t * dx, y0 + t * dy
        px, py = half_away(fx), half_away(fy)
        distance = math.hypot(coordinate(xs, fx) - start[0], coordinate(ys, fy) - start[1])
        if (int(l["pixel_x"][k]), int(l["pixel_y"][k])) != (px, py):
            problems.append("sample %d: pixel (%d, %d), want (%d, %d)" %
                            (k, l["pixel_x"][k], l["pixel_y"][k], px, py))
            continue
        if abs(float(l["distance"][k]) - distance) > 1e-12 * max(1.0, distance):
            problems.append("sample %d: distance %r, want %r" % (k, float(l["distance"][k]), distance))
        if l["x"][k] != xs[px] or l["y"][k] != ys[py]:
            problems.append("sample %d: coordinates differ" % k)
        for code in ("status", "gap_status"):
            if code in g.variables and (code not in l.variables or l[code][k] != g[code][py, px]):
                problems.append("sample %d: %s differs" % (k, code))
        for name in records:
            if not same_bits(l[name][k, ...], g[name][py, px, ...]):
                problems.append("sample %d: %s differs" % (k, name))
    if l.line_start != "%d %d" % (x0, y0) or l.line_end != "%d %d" % (x1, y1):
        problems.append("line_start/line_end: %s / %s" % (l.line_start, l.line_end))
    l.close()
    try:  # a reader may add to the file: the library opens it for writing
        netCDF4.Dataset(line_path, "a").close()
    except OSError as e:
        problems.append("cannot open the line file for writing: %s" % e)
    if problems:
        print("\n".join(problems))
        return 1
    print("ok", steps + 1)
    return 0


sys.exit(main())
