// Whether a converged gap fit follows the data: see gap_fit_internal.h.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "spectrum/gap_fit_internal.h"

namespace sts {

namespace {

// The noise of one point from the differences of neighbours (in bias
// order): 1.4826 * median |d - median d| / sqrt 2, which a curve's slow
// shape and a few steps at its edges hardly move.
double point_noise(const std::vector<double>& y) {
    if (y.size() < 3) return 0;
    std::vector<double> d(y.size() - 1);
    for (size_t i = 0; i + 1 < y.size(); ++i) d[i] = y[i + 1] - y[i];
    const auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    const double centre = median(d);
    for (double& v : d) v = std::fabs(v - centre);
    return 1.4826 * median(d) / std::sqrt(2.0);
}

}  // namespace

bool follows_dip(const double* bias, const double* didv, const double* model, int n,
                 const dip_core& dip) {
    std::vector<int> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return bias[a] < bias[b]; });
    std::vector<double> y(order.size());
    for (size_t i = 0; i < order.size(); ++i) y[i] = didv[order[i]];
    // The core: within half the half-width of the centre, at least the
    // three points nearest it.
    std::vector<int> near(order);
    std::sort(near.begin(), near.end(), [&](int a, int b) {
        return std::fabs(bias[a] - dip.centre) < std::fabs(bias[b] - dip.centre);
    });
    double sum = 0;
    int count = 0;
    for (int i : near) {
        if (count >= 3 && std::fabs(bias[i] - dip.centre) > 0.5 * dip.half_width) break;
        sum += model[i] - didv[i];
        ++count;
    }
    if (count == 0) return true;
    const double mean = sum / count;
    const double noise = point_noise(y) / std::sqrt(static_cast<double>(count));
    return std::fabs(mean) <= std::max(0.25 * std::fabs(dip.scale), 3 * noise);
}

}  // namespace sts
