#!/usr/bin/env python3
"""Writes the synthetic example spectra in examples/ (bias in V, current in nA).

metal.dat         a nearly ohmic tunnel junction with a slight upturn
semiconductor.dat a curve with a band gap of about 1 V and exponential band edges
s1, s2, s3        three noisy repeats of a small-gap curve, for normspec -l
stxt1p.txt ...    the same three repeats under the names pointmean reads

The biases are placed half a step off zero, so that no point lies at exactly
0 V (where I/V has no value).  A fixed seed keeps the files reproducible.
"""
import math
import os
import random

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples")


def write(name, points):
    with open(os.path.join(HERE, name), "w") as out:
        for v, i in points:
            out.write("%.6f %.6f\n" % (v, i))


def sweep(lo, hi, count):
    step = (hi - lo) / count
    return [lo + step * (k + 0.5) for k in range(count)]


def metal(rng):
    # I = G V (1 + (V / 1.2)^2): a barrier of a few eV seen over +-1 V.
    return [(v, 2.5 * v * (1 + (v / 1.2) ** 2) + rng.gauss(0, 0.004)) for v in sweep(-1, 1, 400)]


def gapped(rng, gap, scale, noise, lo=-2.0, hi=2.0, count=400):
    points = []
    for v in sweep(lo, hi, count):
        edge = abs(v) - gap / 2
        current = scale * (math.exp(edge / 0.3) - 1) if edge > 0 else 0.0
        points.append((v, math.copysign(current, v) * (1.4 if v > 0 else 1.0) + rng.gauss(0, noise)))
    return points


def main():
    rng = random.Random(20261208)
    write("metal.dat", metal(rng))
    write("semiconductor.dat", gapped(rng, 1.0, 0.02, 0.003))
    for k in (1, 2, 3):
        series = gapped(rng, 0.4, 0.05, 0.004, -1.0, 1.0, 250)
        write("s%d" % k, series)
        write("stxt%dp.txt" % k, series)


if __name__ == "__main__":
    main()
