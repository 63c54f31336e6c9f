// A map's value between pixel centres, by bilinear interpolation: what
// symmetrisation and drift correction sample at rotated, mirrored or
// displaced coordinates.  Bilinear rather than a higher order: it never
// overshoots the neighbouring values, and its error, at most h^2/8 times
// the largest second derivative, is stated in the tests.
#ifndef FOURIER_BILINEAR_H
#define FOURIER_BILINEAR_H

#include <cstddef>

namespace sts {

// The value at fractional pixel (x, y) of an ny x nx row-major map, pixel
// (i, j) at x = i, y = j.  NaN outside [0, nx - 1] x [0, ny - 1] (beyond
// a rounding margin of 1e-9 pixel) or where a corner it weighs is NaN.
double bilinear(const float* map, size_t nx, size_t ny, double x, double y);

}  // namespace sts

#endif
