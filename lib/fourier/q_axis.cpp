#include "fourier/q_map.h"

#include <numbers>

namespace sts {

std::vector<double> q_axis(size_t n, double step_nm) {
    std::vector<double> q(n);
    const double length = static_cast<double>(n) * step_nm;
    const long half = static_cast<long>(n / 2);
    for (size_t k = 0; k < n; ++k)
        q[k] = 2.0 * std::numbers::pi * static_cast<double>(static_cast<long>(k) - half) / length;
    return q;
}

}  // namespace sts
