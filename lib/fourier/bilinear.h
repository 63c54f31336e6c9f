// A map's value between pixel centres, by bilinear interpolation: what
// symmetrisation and drift correction sample at rotated, mirrored or
// displaced coordinates.  Bilinear rather than a higher order: it never
// overshoots the neighbouring values, and its error, at most h^2/8 times
// the largest second derivative, is stated in the tests.
#ifndef FOURIER_BILINEAR_H
#define FOURIER_BILINEAR_H

#include <cstddef>
#include <cstdint>

namespace sts {

// Where a point reads a map: up to four pixels and their weights, those of
// weight zero left out (so that a pixel centre reads its own value even
// beside a missing neighbour).  Worked out once per point, applied to
// every slice that shares the point (drift correction's stack).
struct bilinear_taps {
    uint32_t pixel[4] = {0, 0, 0, 0};
    double weight[4] = {0, 0, 0, 0};
    double total = 0;  // the weights' sum; 0: the point is outside the map
};

// The taps at fractional pixel (x, y) of an ny x nx row-major map, pixel
// (i, j) at x = i, y = j; outside [0, nx - 1] x [0, ny - 1] (beyond a
// rounding margin of 1e-9 pixel) none.  nx * ny must fit 32 bits.
bilinear_taps bilinear_at(size_t nx, size_t ny, double x, double y);

// The cell that holds fractional pixel (x, y) as bilinear_at finds it:
// its first corner (i, j) and the weights tx, ty of the next column and
// row, or false outside.  What a caller that keeps many points compactly
// (drift correction's stack) stores instead of the taps.
bool bilinear_cell(size_t nx, size_t ny, double x, double y, size_t& i, size_t& j, double& tx,
                   double& ty);

// The value the taps read: NaN outside, or where a pixel they weigh is NaN.
double bilinear_read(const float* map, const bilinear_taps& taps);

// Both at once.
inline double bilinear(const float* map, size_t nx, size_t ny, double x, double y) {
    return bilinear_read(map, bilinear_at(nx, ny, x, y));
}

}  // namespace sts

#endif
