#!/usr/bin/env python3
"""A second, independent reading of RHK .sm4 files for the reader's tests.

Written from the layout alone (little-endian; see lib/readers/rhk_sm4.h for
the fields), with struct and nothing else, so that the tests run wherever
python3 is.  Usage:

    rhk_sm4_decode.py FILE              one line per page
    rhk_sm4_decode.py FILE LABEL        the first I(V) page of that label:
                                        its bias axis, then each spectrum's
                                        position and values in amperes

Output is tab-separated; numbers are printed with repr, which reads back
as the same double.
"""

import struct
import sys


def unpack(fmt, data, at):
    return struct.unpack_from('<' + fmt, data, at)


def objects(data, at, count):
    """The {type: (offset, size)} of an object list (the first of a type)."""
    found = {}
    for k in range(count):
        kind, offset, size = unpack('3I', data, at + 12 * k)
        found.setdefault(kind, (offset, size))
    return found


def strings(data, at, count):
    out = []
    for _ in range(count):
        (units,) = unpack('H', data, at)
        out.append(data[at + 2:at + 2 + 2 * units].decode('utf-16-le'))
        at += 2 + 2 * units
    return out


def page_index_array(data):
    (header_size,) = unpack('H', data, 0)
    file_objects = objects(data, 2 + header_size, unpack('I', data, 42)[0])
    index_header = file_objects[1][0]
    page_count, object_count = unpack('2I', data, index_header)
    at = objects(data, index_header + 16, object_count)[2][0]
    for _ in range(page_count):
        data_type, _source, count, _minor = unpack('4I', data, at + 16)
        yield data_type, objects(data, at + 32, count)
        at += 32 + 12 * count


def page(data, data_type, index_objects):
    at = index_objects[3][0]
    _size, string_count = unpack('2H', data, at)
    (page_type, _sub, line_type, _xc, _yc, xs, ys, _it, _scan, _group, _dsize, _minz,
     _maxz) = unpack('3I2i8I', data, at + 4)
    xscale, _ys, zscale, _xy, xoffset, _yo, zoffset = unpack('7f', data, at + 56)
    _colours, gx, gy, object_count = unpack('4I', data, at + 100)
    own = objects(data, at + 180, object_count)
    text = strings(data, own[10][0], string_count) if 10 in own else []
    text += [''] * (12 - len(text))
    return {
        'data_type': data_type, 'page_type': page_type, 'line_type': line_type,
        'points': xs, 'spectra': ys, 'grid': (gx, gy),
        'xscale': xscale, 'xoffset': xoffset, 'zscale': zscale, 'zoffset': zoffset,
        'label': text[0], 'xunit': text[7], 'zunit': text[9], 'xlabel': text[10],
        'data': index_objects[4][0], 'positions': own.get(8, (0, 0))[0],
    }


def shortest(value):
    """The decimal with the fewest digits that rounds to this float32."""
    for digits in range(1, 10):
        text = '%.*g' % (digits, value)
        if unpack('f', struct.pack('<f', float(text)), 0)[0] == value:
            return float(text)
    return value


def show_spectra(data, p):
    start, step = shortest(p['xoffset']), shortest(p['xscale'])
    print('axis\t' + '\t'.join(repr(start + k * step) for k in range(p['points'])))
    for s in range(p['spectra']):
        x = y = float('nan')
        if p['positions']:
            _time, x, y = unpack('3f', data, p['positions'] + 28 * s)
        raw = unpack('%di' % p['points'], data, p['data'] + 4 * p['points'] * s)
        print('spectrum\t%d\t%r\t%r' % (s, x, y))
        print('values\t' + '\t'.join(repr(r * p['zscale'] + p['zoffset']) for r in raw))


def main():
    data = open(sys.argv[1], 'rb').read()
    pages = [page(data, t, o) for t, o in page_index_array(data)]
    if len(sys.argv) == 2:
        for n, p in enumerate(pages):
            print('page\t%d\t%d\t%d\t%d\t%s\t%s\t%s\t%d\t%d\t%d\t%d' % (
                n, p['data_type'], p['page_type'], p['line_type'], p['label'], p['xunit'],
                p['zunit'], p['points'], p['spectra'], p['grid'][0], p['grid'][1]))
        return
    for p in pages:
        if p['data_type'] == 1 and p['line_type'] == 7 and p['label'] == sys.argv[2]:
            show_spectra(data, p)
            return
    sys.exit('no I(V) page ' + sys.argv[2])


if __name__ == '__main__':
    main()
