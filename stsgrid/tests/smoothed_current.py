# The offset-corrected current stsgrid --smooth=W:ORDER should write, from
# SciPy: smoothed_current.py W ORDER BIAS CURRENTS prints, a pixel a line,
# the currents of CURRENTS (a pixel a line, in A as the grid stores them)
# in nA, smoothed by savgol_filter(mode="interp") in float64 and rounded to
# float, less the natural cubic spline through (BIAS, smoothed) at 0 V.
import sys

import numpy
from scipy.interpolate import CubicSpline
from scipy.signal import savgol_filter

window, order = int(sys.argv[1]), int(sys.argv[2])
bias = numpy.loadtxt(sys.argv[3], dtype=numpy.float32).astype(numpy.float64)
rows = numpy.loadtxt(sys.argv[4], dtype=numpy.float32, ndmin=2)
for row in rows:
    current = (row.astype(numpy.float64) * 1e9).astype(numpy.float32)
    smoothed = savgol_filter(current.astype(numpy.float64), window, order, mode="interp")
    smoothed = smoothed.astype(numpy.float32)
    spline = CubicSpline(bias, smoothed.astype(numpy.float64), bc_type="natural")
    offset = numpy.float32(spline(0.0))
    print(" ".join("%.9g" % v for v in smoothed - offset))
