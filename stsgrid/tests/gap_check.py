#!/usr/bin/python3
# stsgrid --gap checked: the gap of every pixel worked out again in NumPy from
# the curve the file holds, and compared with what stsgrid wrote.
#     gap_check.py FILE CURVE T WINDOW
# prints the count of pixels by gap_status and of those that disagree.
import sys
import numpy as np
import netCDF4

names = "found not_below_threshold reaches_sweep_end undefined_value no_zero_bias not_computed"
ds = netCDF4.Dataset(sys.argv[1])
ds.set_auto_mask(False)
curve_name, t, w = sys.argv[2], np.float32(sys.argv[3]), float(np.float32(sys.argv[4]))
assert ds.gap_curve == curve_name, ds.gap_curve
vmid = ds["vmid"][:].astype(np.float64)
curves = ds[curve_name][:].astype(np.float64)
status = ds["status"][:]
assert ds["gap_status"].flag_meanings == names
assert list(ds["gap_status"].flag_values) == list(range(6))
assert ds["gap_width"].units == ds["vmid"].units and ds["peak_low_height"].units == "1"


def cross(i, o, c):
    return vmid[i] + (float(t) - c[i]) / (c[o] - c[i]) * (vmid[o] - vmid[i])


def peak(c, start, step, edge, reach):
    best = start
    i = start + step
    while 0 <= i < len(c) and abs(vmid[i] - edge) <= reach:
        if np.isfinite(c[i]) and c[i] > c[best]:
            best = i
        i += step
    return vmid[best], c[best]


def gap(c, processed):
    nan = [np.nan] * 7
    if not processed:
        return 5, nan
    if not (vmid[0] <= 0 <= vmid[-1]):
        return 4, nan
    a = np.abs(vmid)
    near = np.flatnonzero(a == a.min())
    s = near[np.argmin(c[near])]
    if not np.isfinite(c[s]):
        return 3, nan
    if not c[s] < t:
        return 1, nan
    lo = s
    while lo > 0 and np.isfinite(c[lo - 1]) and c[lo - 1] < t:
        lo -= 1
    hi = s
    while hi < len(c) - 1 and np.isfinite(c[hi + 1]) and c[hi + 1] < t:
        hi += 1
    if lo == 0 or hi == len(c) - 1:
        return 2, nan
    if not (np.isfinite(c[lo - 1]) and np.isfinite(c[hi + 1])):
        return 3, nan
    low, high = cross(lo, lo - 1, c), cross(hi, hi + 1, c)
    # The window reaches from the edges and width as stored (floats).
    low32, high32 = float(np.float32(low)), float(np.float32(high))
    width = float(np.float32(high32) - np.float32(low32))
    reach = w if w > 0 else width
    pl, hl = peak(c, lo - 1, -1, low32, reach)
    ph, hh = peak(c, hi + 1, +1, high32, reach)
    return 0, [low, high, width, pl, ph, hl, hh]


written = [ds[n][:] for n in ("gap_low", "gap_high", "gap_width", "peak_low", "peak_high",
                              "peak_low_height", "peak_high_height")]
counts = [0] * 6
bad = 0
for y in range(status.shape[0]):
    for x in range(status.shape[1]):
        code, values = gap(curves[y, x], status[y, x] == 0)
        counts[code] += 1
        got = [float(v[y, x]) for v in written]
        same = ds["gap_status"][y, x] == code and all(
            (np.isnan(a) and np.isnan(b)) or abs(a - b) <= 1e-6 * max(1.0, abs(b))
            for a, b in zip(got, values))
        if not same:
            bad += 1
            print("pixel", y, x, ds["gap_status"][y, x], got, code, values)
print(" ".join("%s=%d" % (n, k) for n, k in zip(names.split(), counts)), "wrong=%d" % bad)
