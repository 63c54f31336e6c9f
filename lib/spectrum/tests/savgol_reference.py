# SciPy's Savitzky-Golay filter in float64, the independent check of
# smooth_series: savgol_reference.py FILE W:ORDER... prints, a line for
# each filter, the series of FILE (one float a line, as text that reads back
# to it) smoothed by savgol_filter(values, W, ORDER, mode="interp").
import sys

import numpy
from scipy.signal import savgol_filter

# The samples are floats: read them as such, then widen them exactly.
values = numpy.loadtxt(sys.argv[1], dtype=numpy.float32, ndmin=1).astype(numpy.float64)
for f in sys.argv[2:]:
    window, order = (int(n) for n in f.split(":"))
    print(" ".join("%.17g" % v for v in savgol_filter(values, window, order, mode="interp")))
