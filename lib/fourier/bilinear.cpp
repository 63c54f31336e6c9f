#include "fourier/bilinear.h"

#include <cmath>
#include <limits>

namespace sts {

namespace {

// The cell's first index and the weight of the next, or false outside.
bool cell(double v, size_t n, size_t& i, double& t) {
    const double margin = 1e-9, last = static_cast<double>(n - 1);
    if (!(v >= -margin && v <= last + margin)) return false;  // NaN too
    v = std::fmin(std::fmax(v, 0.0), last);
    i = static_cast<size_t>(v);
    if (i + 1 >= n) i = n > 1 ? n - 2 : 0;
    t = v - static_cast<double>(i);
    return true;
}

}  // namespace

double bilinear(const float* map, size_t nx, size_t ny, double x, double y) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    size_t i = 0, j = 0;
    double tx = 0, ty = 0;
    if (nx == 0 || ny == 0 || !cell(x, nx, i, tx) || !cell(y, ny, j, ty)) return nan;
    const size_t i1 = nx > 1 ? i + 1 : i, j1 = ny > 1 ? j + 1 : j;
    const double v00 = map[j * nx + i], v10 = map[j * nx + i1];
    const double v01 = map[j1 * nx + i], v11 = map[j1 * nx + i1];
    // A corner of weight zero does not count, so that a pixel centre reads
    // its own value even beside a missing neighbour.
    double sum = 0, weight = 0;
    const double w[4] = {(1 - tx) * (1 - ty), tx * (1 - ty), (1 - tx) * ty, tx * ty};
    const double v[4] = {v00, v10, v01, v11};
    for (int k = 0; k < 4; ++k) {
        if (w[k] == 0) continue;
        if (std::isnan(v[k])) return nan;
        sum += w[k] * v[k];
        weight += w[k];
    }
    return sum / weight;
}

}  // namespace sts
