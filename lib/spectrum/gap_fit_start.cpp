// Start values of a gap fit read off the curve: see gap_fit.h.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "spectrum/gap_fit_start.h"

namespace sts {

void moving_average(const std::vector<double>& y, int r, std::vector<double>* out) {
    const int n = static_cast<int>(y.size());
    out->assign(y.size(), 0.0);
    for (int i = 0; i < n; ++i) {
        const int a = std::max(0, i - r), b = std::min(n - 1, i + r);
        double sum = 0;
        for (int j = a; j <= b; ++j) sum += y[static_cast<size_t>(j)];
        (*out)[static_cast<size_t>(i)] = sum / (b - a + 1);
    }
}

// Over 1/40 of the window: with the real Pb line's noise (a fifth of G_N a
// point) a 3-point average lets single noisy points pass for the peaks.
int smoothing_radius(int n) { return std::max(1, n / 40); }

namespace {

// Where ys first reaches level walking from i by step (+1 or -1), linearly
// interpolated in x; false when it never does.
bool crossing(const std::vector<double>& x, const std::vector<double>& ys, int i, int step,
              double level, double* at) {
    const int n = static_cast<int>(x.size());
    for (int j = i + step; j >= 0 && j < n; j += step) {
        const auto k = static_cast<size_t>(j), before = static_cast<size_t>(j - step);
        if (ys[k] < level) continue;
        const double t = (level - ys[before]) / (ys[k] - ys[before]);
        *at = x[before] + t * (x[k] - x[before]);
        return true;
    }
    return false;
}

}  // namespace

bool start_values(const double* bias, const double* didv, int n, double to_meV, start_guess* g) {
    if (n < 5) return false;
    std::vector<int> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return bias[a] < bias[b]; });
    std::vector<double> x(static_cast<size_t>(n)), y(x.size()), ys;
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = bias[order[i]];
        y[i] = didv[order[i]];
    }
    moving_average(y, smoothing_radius(n), &ys);
    double reach = 0;
    for (double v : x) reach = std::max(reach, std::fabs(v));
    if (!(reach > 0)) return false;
    // G_N: the outer fifth of the window.
    double outer = 0;
    int outer_count = 0;
    for (size_t i = 0; i < x.size(); ++i)
        if (std::fabs(x[i]) >= 0.8 * reach) {
            outer += y[i];
            ++outer_count;
        }
    if (outer_count == 0) return false;
    g->scale = outer / outer_count;
    // The minimum in the middle half, the largest values on either side.
    int lowest = -1;
    for (int i = 0; i < n; ++i)
        if (std::fabs(x[static_cast<size_t>(i)]) <= 0.5 * reach &&
            (lowest < 0 || ys[static_cast<size_t>(i)] < ys[static_cast<size_t>(lowest)]))
            lowest = i;
    if (lowest <= 0 || lowest >= n - 1) return false;
    const auto first = ys.begin(), mid = first + lowest;
    const auto left = std::max_element(first, mid), right = std::max_element(mid + 1, ys.end());
    const double bottom = ys[static_cast<size_t>(lowest)];
    // Gap-like: a dip of 3 % or more below G_N with rises on both sides.
    if (!(g->scale > 0) || !(bottom < 0.97 * g->scale) || !(*left > bottom * 1.02 + 1e-300) ||
        !(*right > bottom * 1.02 + 1e-300))
        return false;
    const double xl = x[static_cast<size_t>(left - first)], xr = x[static_cast<size_t>(right - first)];
    g->offset = (xl + xr) / 2;
    g->gap = (xr - xl) / 2 * to_meV;
    g->ratio = std::clamp(bottom / g->scale, 1e-3, 0.9);
    const double half = 0.5 * (bottom + g->scale);
    double low = 0, high = 0;
    g->dip_centre = g->offset;
    g->dip_half_width = 0;
    if (crossing(x, ys, lowest, -1, half, &low) && crossing(x, ys, lowest, +1, half, &high)) {
        g->dip_centre = 0.5 * (low + high);
        g->dip_half_width = 0.5 * (high - low);
    }
    return g->gap > 0;
}

}  // namespace sts
