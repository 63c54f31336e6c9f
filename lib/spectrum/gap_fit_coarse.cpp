// The coarse search for a gap fit's start: see gap_fit_internal.h.
#include <algorithm>
#include <cmath>

#include "spectrum/gap_fit_internal.h"

namespace sts {

namespace {

// chi^2 of the best G_N * u (u the model at G_N = 1): G_N by linear least
// squares, so that no grid over G_N is needed.  Infinite when u is not
// usable (outside the model's domain, or G_N <= 0).
double scaled_chi2(const std::vector<double>& u, const double* didv, int n, double* scale) {
    double uy = 0, uu = 0;
    for (int i = 0; i < n; ++i) {
        uy += u[static_cast<size_t>(i)] * didv[i];
        uu += u[static_cast<size_t>(i)] * u[static_cast<size_t>(i)];
    }
    if (!(uu > 0) || !(uy > 0) || !std::isfinite(uy)) return INFINITY;
    *scale = uy / uu;
    double chi2 = 0;
    for (int i = 0; i < n; ++i) {
        const double r = *scale * u[static_cast<size_t>(i)] - didv[i];
        chi2 += r * r;
    }
    return std::isfinite(chi2) ? chi2 : INFINITY;
}

}  // namespace

void coarse_start(const coarse_grid& grid, const double* bias, const double* didv, int n,
                  gap_curve* best, fit_scratch& s) {
    std::vector<double> u(static_cast<size_t>(n));
    double lowest = INFINITY;
    gap_curve c = *best;
    c.scale = 1;
    c.background = 0;
    for (double offset : grid.offsets)
        for (double gap : grid.gaps)
            for (double fraction : grid.gamma_fractions) {
                c.offset = offset;
                c.gap = gap;
                c.gamma = std::clamp(fraction * gap, grid.gamma_lo, grid.gamma_hi);
                double scale = 0;
                if (!model_curve(c, bias, n, u.data(), s)) continue;
                const double chi2 = scaled_chi2(u, didv, n, &scale);
                // Strictly lower: ties keep the earlier candidate (the
                // peaks' reading comes first).
                if (!(chi2 < lowest)) continue;
                lowest = chi2;
                *best = c;
                best->scale = scale;
            }
}

}  // namespace sts
