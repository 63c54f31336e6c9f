#!/usr/bin/env python3
"""Checks stsgrid --topography against an independent reading of the pair.

Usage: topography_check.py GRID.3ds SCAN.sxm OUT.nc [BUMPS]

The .3ds header ("Grid settings": centre x;y;width;height;angle in m and
degrees) and the .sxm (":NAME:" entries to ":SCANIT_END:", 0x1A 0x04,
big-endian float32 images per channel forward then backward, lines in scan
order: bottom first scanning up, top first scanning down, backward lines
stored right to left) are decoded here with NumPy from the documented
layout.  Each grid pixel's place (the file's x, y from the frame's corner)
is turned into the instrument's coordinates by the grid's frame (its x axis
(cos a, -sin a), y axis (sin a, cos a)), then into the scan's frame, and the
Z image sampled bilinearly between pixel centres ((i + 1/2) w / n from the
corner), edge values carried to the edge.  Prints:

  resample_max_diff_nm  largest |scan_topography - this resampling|
  image_max_diff_nm     largest |scan_image - the decoded forward Z|
  grid_xy_max_diff_nm   largest |scan_grid_x/_y - this placing of the scan pixels|
  correlation           Pearson r of scan_topography with the grid's topography
  correlation_angle_reversed  the same for the scan resampled as if its angle
                        turned the other way (how far a wrong sense shows)
  misplacement_px       with BUMPS ("x,y,sigma;..." nm, instrument axes): the
                        largest distance, in grid pixels, between a bump's
                        centroid in scan_topography and in topography
"""

import re
import sys

import netCDF4
import numpy as np


def grid_frame(path):
    head = open(path, 'rb').read().split(b':HEADER_END:')[0].decode('latin-1')
    settings = re.search(r'Grid settings=([^\r\n]+)', head).group(1)
    cx, cy, w, h, a = (float(v) for v in settings.split(';'))
    return cx * 1e9, cy * 1e9, w * 1e9, h * 1e9, a


def sxm(path):
    data = open(path, 'rb').read()
    end = data.index(b':SCANIT_END:')
    start = data.index(b'\x1a\x04', end) + 2
    entries, key = {}, None
    for line in data[:end].decode('latin-1').splitlines():
        tag = re.fullmatch(r':(.+):', line.strip())
        if tag:
            key = tag.group(1)
            entries[key] = []
        elif key and line.strip():
            entries[key].append(line.strip())
    nx, ny = (int(v) for v in entries['SCAN_PIXELS'][0].split())
    w, h = (float(v) * 1e9 for v in entries['SCAN_RANGE'][0].split())
    cx, cy = (float(v) * 1e9 for v in entries['SCAN_OFFSET'][0].split())
    a = float(entries['SCAN_ANGLE'][0])
    rows = [r.split('\t') for r in entries['DATA_INFO'][1:]]
    planes = []
    for r in rows:
        if r[3] in ('both', 'forward'):
            planes.append((r[1], 'fwd'))
        if r[3] in ('both', 'backward'):
            planes.append((r[1], 'bwd'))
    values = np.frombuffer(data, dtype='>f4', offset=start).reshape(len(planes), ny, nx)
    z = values[planes.index(('Z', 'fwd'))].astype(np.float64)
    if entries['SCAN_DIR'][0] == 'down':
        z = z[::-1, :]
    return (cx, cy, w, h, a), z * 1e9


def to_instrument(frame, u, v):
    """(u, v) nm from the frame's centre along its axes -> instrument nm."""
    cx, cy, _, _, a = frame
    t = np.radians(a)
    return cx + u * np.cos(t) + v * np.sin(t), cy - u * np.sin(t) + v * np.cos(t)


def to_frame(frame, x, y):
    cx, cy, _, _, a = frame
    t = np.radians(a)
    dx, dy = x - cx, y - cy
    return dx * np.cos(t) - dy * np.sin(t), dx * np.sin(t) + dy * np.cos(t)


def bilinear(frame, image, u, v):
    _, _, w, h, _ = frame
    ny, nx = image.shape
    px = (u + w / 2) / w * nx - 0.5
    py = (v + h / 2) / h * ny - 0.5
    inside = (px >= -0.5) & (px <= nx - 0.5) & (py >= -0.5) & (py <= ny - 0.5)
    px = np.clip(px, 0, nx - 1)
    py = np.clip(py, 0, ny - 1)
    x0 = np.floor(px).astype(int)
    y0 = np.floor(py).astype(int)
    x1 = np.minimum(x0 + 1, nx - 1)
    y1 = np.minimum(y0 + 1, ny - 1)
    tx, ty = px - x0, py - y0
    out = ((image[y0, x0] * (1 - tx) + image[y0, x1] * tx) * (1 - ty) +
           (image[y1, x0] * (1 - tx) + image[y1, x1] * tx) * ty)
    return np.where(inside, out, np.nan)


def centroid(values, px, py, at, radius):
    near = np.hypot(px - at[0], py - at[1]) <= radius
    wgt = np.where(near & np.isfinite(values), values, 0.0)
    wgt = np.clip(wgt - np.nanmin(np.where(near, values, np.nan)), 0, None)
    return np.array([np.sum(wgt * px), np.sum(wgt * py)]) / np.sum(wgt)


def main():
    grid, scan, nc = sys.argv[1:4]
    gf = grid_frame(grid)
    sf, z = sxm(scan)
    with netCDF4.Dataset(nc) as d:
        d.set_auto_mask(False)
        x = d['x'][:]
        y = d['y'][:]
        on_grid = d['scan_topography'][:].astype(np.float64)
        image = d['scan_image'][:].astype(np.float64)
        gx = d['scan_grid_x'][:].astype(np.float64)
        gy = d['scan_grid_y'][:].astype(np.float64)
        topo = d['topography'][:].astype(np.float64) if 'topography' in d.variables else None
    gxx, gyy = np.meshgrid(x, y)
    X, Y = to_instrument(gf, gxx - gf[2] / 2, gyy - gf[3] / 2)
    u, v = to_frame(sf, X, Y)
    mine = bilinear(sf, z, u, v)
    same_nan = np.array_equal(np.isnan(mine), np.isnan(on_grid))
    print('nan_places_agree', same_nan)
    print('resample_max_diff_nm', repr(float(np.nanmax(np.abs(mine - on_grid)))))
    print('image_max_diff_nm', repr(float(np.nanmax(np.abs(image - z)))))
    ny, nx = z.shape
    su, sv = np.meshgrid((np.arange(nx) + 0.5) * sf[2] / nx - sf[2] / 2,
                         (np.arange(ny) + 0.5) * sf[3] / ny - sf[3] / 2)
    sx, sy = to_instrument(sf, su, sv)
    ex, ey = to_frame(gf, sx, sy)
    print('grid_xy_max_diff_nm', repr(float(max(np.max(np.abs(ex + gf[2] / 2 - gx)),
                                                np.max(np.abs(ey + gf[3] / 2 - gy))))))
    if topo is None:
        return 0 if same_nan else 1
    both = np.isfinite(topo) & np.isfinite(on_grid)
    print('correlation', repr(float(np.corrcoef(topo[both], on_grid[both])[0, 1])))
    # What the measure would say of a scan taken with its angle the other
    # way round: how far a wrong sense of turning shows.
    wrong = (sf[0], sf[1], sf[2], sf[3], -sf[4])
    other = bilinear(wrong, z, *to_frame(wrong, X, Y))
    ok = both & np.isfinite(other)
    print('correlation_angle_reversed', repr(float(np.corrcoef(topo[ok], other[ok])[0, 1])))
    if len(sys.argv) > 4:
        step_x, step_y = gf[2] / len(x), gf[3] / len(y)
        px, py = gxx / step_x, gyy / step_y
        worst = 0.0
        for bump in sys.argv[4].split(';'):
            bx, by, sigma = (float(t) for t in bump.split(','))
            bu, bv = to_frame(gf, bx, by)
            at = ((bu + gf[2] / 2) / step_x, (bv + gf[3] / 2) / step_y)
            radius = 2 * sigma / step_x
            a = centroid(topo, px, py, at, radius)
            b = centroid(on_grid, px, py, at, radius)
            worst = max(worst, float(np.hypot(*(a - b))))
        print('misplacement_px', repr(worst))
    return 0 if same_nan else 1


if __name__ == '__main__':
    sys.exit(main())
