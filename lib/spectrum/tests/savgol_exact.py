# The Savitzky-Golay smoothing in exact rational arithmetic, rounded once to
# float: savgol_exact.py FILE W:ORDER... prints, a line for each filter, the
# bits (hex) of the float nearest (see float_bits) to each exactly smoothed
# value of FILE's series (one float a line, as text that reads back to it),
# with the ends of savgol_filter's mode="interp" and a series shorter than W
# fitted as a whole.  The weights come from the normal equations of the
# monomials, solved exactly: no rounding anywhere but the last.
import struct
import sys
from fractions import Fraction

import numpy


def projection(m, order):
    """The m x m matrix taking samples to the least-squares polynomial's
    values at the same m equally spaced points."""
    t = [Fraction(2 * i - (m - 1)) for i in range(m)]
    a = [[ti ** k for k in range(order + 1)] for ti in t]
    n = order + 1
    # [A^T A | A^T], reduced to [I | (A^T A)^-1 A^T] by Gauss-Jordan.
    rows = [[sum(a[r][i] * a[r][j] for r in range(m)) for j in range(n)] +
            [a[r][i] for r in range(m)] for i in range(n)]
    for c in range(n):
        pivot = rows[c][c]
        rows[c] = [v / pivot for v in rows[c]]
        for r in range(n):
            if r != c and rows[r][c] != 0:
                f = rows[r][c]
                rows[r] = [v - f * w for v, w in zip(rows[r], rows[c])]
    solve = [row[n:] for row in rows]
    return [[sum(a[i][k] * solve[k][j] for k in range(n)) for j in range(m)] for i in range(m)]


def bits_of(f):
    return struct.unpack("<I", struct.pack("<f", f))[0]


def float_bits(value):
    """The bits (hex) of the float nearest to the rational value.  Where the
    value is within 2^-60 of its size from halfway between two floats (the
    weights are not dyadic, so a sum in any finite precision may land on
    either side of an exact tie), both: "lower|upper"."""
    guess = numpy.float32(float(value))
    below = numpy.nextafter(guess, numpy.float32(-numpy.inf))
    above = numpy.nextafter(guess, numpy.float32(numpy.inf))
    candidates = sorted([below, guess, above], key=lambda f: abs(Fraction(float(f)) - value))
    nearest, second = candidates[0], candidates[1]
    halfway = (Fraction(float(nearest)) + Fraction(float(second))) / 2
    if abs(value - halfway) <= abs(value) / 2 ** 60:
        low, high = sorted([nearest, second])
        return "%08x|%08x" % (bits_of(low), bits_of(high))
    return "%08x" % bits_of(nearest)


def smoothed(y, window, order):
    n = len(y)
    if n < window:
        p = projection(n, min(order, n - 1))
        return [sum(w * v for w, v in zip(p[i], y)) for i in range(n)]
    p, half = projection(window, order), window // 2
    out = []
    for i in range(n):
        if i < half:
            row, start = p[i], 0
        elif i >= n - half:
            row, start = p[i - (n - window)], n - window
        else:
            row, start = p[half], i - half
        out.append(sum(w * v for w, v in zip(row, y[start:start + window])))
    return out


values = numpy.loadtxt(sys.argv[1], dtype=numpy.float32, ndmin=1)
y = [Fraction(float(v)) for v in values]
for f in sys.argv[2:]:
    window, order = (int(n) for n in f.split(":"))
    print(" ".join(float_bits(v) for v in smoothed(y, window, order)))
