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

bool bilinear_cell(size_t nx, size_t ny, double x, double y, size_t& i, size_t& j, double& tx,
                   double& ty) {
    return nx != 0 && ny != 0 && cell(x, nx, i, tx) && cell(y, ny, j, ty);
}

bilinear_taps bilinear_at(size_t nx, size_t ny, double x, double y) {
    bilinear_taps taps;
    size_t i = 0, j = 0;
    double tx = 0, ty = 0;
    if (!bilinear_cell(nx, ny, x, y, i, j, tx, ty)) return taps;
    const size_t i1 = nx > 1 ? i + 1 : i, j1 = ny > 1 ? j + 1 : j;
    const size_t pixel[4] = {j * nx + i, j * nx + i1, j1 * nx + i, j1 * nx + i1};
    const double weight[4] = {(1 - tx) * (1 - ty), tx * (1 - ty), (1 - tx) * ty, tx * ty};
    int used = 0;
    for (int k = 0; k < 4; ++k) {
        if (weight[k] == 0) continue;
        taps.pixel[used] = static_cast<uint32_t>(pixel[k]);
        taps.weight[used] = weight[k];
        taps.total += weight[k];
        ++used;
    }
    return taps;
}

double bilinear_read(const float* map, const bilinear_taps& taps) {
    if (!(taps.total > 0)) return std::numeric_limits<double>::quiet_NaN();
    double sum = 0;
    for (int k = 0; k < 4 && taps.weight[k] != 0; ++k) sum += taps.weight[k] * map[taps.pixel[k]];
    return sum / taps.total;  // NaN when a weighed pixel is
}

}  // namespace sts
