#!/usr/bin/env python3
"""A second, independent reading of Nanonis .sxm scan images for the tests.

Written from the documented layout (":NAME:" header lines and their values
up to ":SCANIT_END:", the bytes 0x1A 0x04, then per channel of the
DATA_INFO table its forward and, recorded both ways, its backward image of
SCAN_PIXELS values, float32 in the byte order of SCANIT_TYPE) with NumPy.
The images are turned into the orientation the reader promises: row 0 at
the bottom of the frame (the stored lines reversed when SCAN_DIR is down),
each row from the frame's left edge (backward lines reversed).  Usage:

    sxm_decode.py FILE OUT

prints the frame (nm, degrees), the channels and the images, and writes the
images to OUT one after the other as little-endian float32 rows.  A scan
whose values are all NaN prints "empty" instead of its images.  Numbers are
printed with repr, which reads back as the same double.
"""

import re
import sys

import numpy as np


def header(data):
    end = data.index(b':SCANIT_END:')
    start = data.index(b'\x1a\x04', end) + 2
    entries = {}
    key = None
    for line in data[:end].decode('latin-1').splitlines():
        tag = re.fullmatch(r':(.+):', line.strip())
        if tag:
            key = tag.group(1)
            entries[key] = []
        elif key is not None and line.strip():
            entries[key].append(line.strip())
    return entries, start


def channels(entries):
    rows = [line.split('\t') for line in entries['DATA_INFO']]
    assert rows[0][:6] == ['Channel', 'Name', 'Unit', 'Direction', 'Calibration', 'Offset']
    return [(r[1], r[2], r[3]) for r in rows[1:]]


def main():
    data = open(sys.argv[1], 'rb').read()
    entries, start = header(data)
    nx, ny = (int(v) for v in entries['SCAN_PIXELS'][0].split())
    width, height = (float(v) * 1e9 for v in entries['SCAN_RANGE'][0].split())
    cx, cy = (float(v) * 1e9 for v in entries['SCAN_OFFSET'][0].split())
    angle = float(entries['SCAN_ANGLE'][0])
    direction = entries['SCAN_DIR'][0]
    order = '>' if entries['SCANIT_TYPE'][0].split()[1] == 'MSBFIRST' else '<'
    print('frame', nx, ny, repr(cx), repr(cy), repr(width), repr(height), repr(angle),
          direction, sep='\t')
    chans = channels(entries)
    planes = []
    for name, unit, way in chans:
        print('channel', name, unit, way, sep='\t')
        planes += [(name, 'fwd')] if way in ('both', 'forward') else []
        planes += [(name, 'bwd')] if way in ('both', 'backward') else []
    values = np.frombuffer(data, dtype=order + 'f4', offset=start)
    assert values.size == len(planes) * nx * ny
    images = values.reshape(len(planes), ny, nx)
    if np.all(np.isnan(images)):
        print('empty')
        return
    out = []
    for (name, way), image in zip(planes, images):
        if way == 'bwd':
            image = image[:, ::-1]
        if direction == 'down':
            image = image[::-1, :]
        out.append(image.astype('<f4'))
        print('image', name, way, int(np.count_nonzero(~np.isnan(image))), sep='\t')
    np.concatenate([o.ravel() for o in out]).tofile(sys.argv[2])


if __name__ == '__main__':
    main()
