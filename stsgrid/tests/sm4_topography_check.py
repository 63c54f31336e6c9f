#!/usr/bin/env python3
"""Checks the topography stsgrid writes for an RHK .sm4 map or line.

Usage: sm4_topography_check.py FILE.sm4 OUT.nc

Decoded here from the page layout with struct and NumPy (the page index
through rhk_sm4_decode.py; each image page's header: scan direction at
+36, x and y scale at +56 and +60, x and y offset at +72 and +76, angle at
+96, float32 little-endian; values int32 * z scale + z offset, row after
row).  An image page's value of row i, column j sits at (j + 1/2 - nx/2) *
x scale, (i + 1/2 - ny/2) * y scale along the frame's axes (cos a, sin a)
and (-sin a, cos a) from its centre (the offsets).  The pixels' places: the
first recorded position plus whole raster steps (the first row's step, and
the first column's, or a line's own).  Prints the largest difference (nm)
of topography and topography_backward from this bilinear sampling, and
the correlation of the two, and where the pixels' places fall on the
forward image in its stored columns and rows (centres at whole numbers).
"""

import os
import struct
import sys

import netCDF4
import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', '..', 'lib', 'readers', 'tests'))
import rhk_sm4_decode as r  # noqa: E402


def images(data):
    out = []
    for data_type, objs in r.page_index_array(data):
        p = r.page(data, data_type, objs)
        if data_type != 0 or p['label'] != 'Topography' or p['zunit'] != 'm':
            continue
        h = objs[3][0]
        (direction,) = struct.unpack_from('<I', data, h + 36)
        xs, ys = struct.unpack_from('<2f', data, h + 56)
        xo, yo = struct.unpack_from('<2f', data, h + 72)
        (angle,) = struct.unpack_from('<f', data, h + 96)
        nx, ny = p['points'], p['spectra']
        raw = np.frombuffer(data, '<i4', nx * ny, p['data']).reshape(ny, nx)
        z = (raw * np.float64(np.float32(p['zscale'])) + np.float32(p['zoffset'])) * 1e9
        out.append((direction, z, xs * 1e9, ys * 1e9, xo * 1e9, yo * 1e9, angle))
    return out


def sample(im, x, y):
    _, z, xs, ys, xo, yo, angle = im
    t = np.radians(np.float64(angle))
    dx, dy = x - xo, y - yo
    u = dx * np.cos(t) + dy * np.sin(t)
    v = -dx * np.sin(t) + dy * np.cos(t)
    ny, nx = z.shape
    pj = np.clip(u / xs + nx / 2 - 0.5, 0, nx - 1)
    pi = np.clip(v / ys + ny / 2 - 0.5, 0, ny - 1)
    j0, i0 = np.floor(pj).astype(int), np.floor(pi).astype(int)
    j1, i1 = np.minimum(j0 + 1, nx - 1), np.minimum(i0 + 1, ny - 1)
    tj, ti = pj - j0, pi - i0
    return ((z[i0, j0] * (1 - tj) + z[i0, j1] * tj) * (1 - ti) +
            (z[i1, j0] * (1 - tj) + z[i1, j1] * tj) * ti)


def main():
    data = open(sys.argv[1], 'rb').read()
    with netCDF4.Dataset(sys.argv[2]) as d:
        d.set_auto_mask(False)
        px = d['position_x'][:].astype(np.float64)
        py = d['position_y'][:].astype(np.float64)
        forward = d['topography'][:].astype(np.float64)
        backward = d['topography_backward'][:].astype(np.float64)
    ny, nx = px.shape
    row = np.array([px[0, -1] - px[0, 0], py[0, -1] - py[0, 0]]) / (nx - 1)
    if ny > 1:
        col = np.array([px[-1, 0] - px[0, 0], py[-1, 0] - py[0, 0]]) / (ny - 1)
    else:
        col = np.array([-row[1], row[0]]) / np.hypot(*row)
    b, a = np.mgrid[0:ny, 0:nx]
    x = px[0, 0] + a * row[0] + b * col[0]
    y = py[0, 0] + a * row[1] + b * col[1]
    found = {im[0]: im for im in images(data)}
    _, z, xs, ys, xo, yo, angle = found[0]
    t = np.radians(np.float64(angle))
    u = (x - xo) * np.cos(t) + (y - yo) * np.sin(t)
    v = -(x - xo) * np.sin(t) + (y - yo) * np.cos(t)
    cols = u / xs + z.shape[1] / 2 - 0.5
    rows = v / ys + z.shape[0] / 2 - 0.5
    print('columns', repr(float(cols.min())), repr(float(cols.max())))
    print('rows', repr(float(rows.min())), repr(float(rows.max())))
    print('first_pixel_at', repr(float(cols[0, 0])), repr(float(rows[0, 0])))
    diff_f = np.max(np.abs(sample(found[0], x, y) - forward))
    diff_b = np.max(np.abs(sample(found[1], x, y) - backward))
    print('forward_max_diff_nm', repr(float(diff_f)))
    print('backward_max_diff_nm', repr(float(diff_b)))
    print('forward_backward_correlation',
          repr(float(np.corrcoef(forward.ravel(), backward.ravel())[0, 1])))
    return 0


if __name__ == '__main__':
    sys.exit(main())
