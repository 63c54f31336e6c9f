// Superconducting tip over a superconducting sample, by the trapezoidal rule
// on a uniform energy grid: see dynes_sis.h.
#include "spectrum/dynes_sis.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "spectrum/dynes.h"

namespace sts {

namespace {

constexpr double window_kT = 37;       // Fermi factors below exp(-37) outside
constexpr double steps_per_strip = 5;  // h = d / 5
constexpr long grid_cap = 1L << 21;

double fermi(double x, double kT) { return 1 / (1 + std::exp(x / kT)); }
// f'(x) = -f (1 - f) / kT, through the hyperbolic form to keep the tails.
double fermi_slope(double x, double kT) {
    const double c = std::cosh(x / (2 * kT));
    return -1 / (4 * kT * c * c);
}

double strip(const sis_params& p) {
    const double kT = boltzmann_meV_per_K * p.temperature;
    return std::min({p.gamma, p.tip_gamma, std::numbers::pi * kT});
}

// The step for an energy range `span`: d / 5, coarser only past the cap.
double grid_step(const sis_params& p, double span) {
    const double h = strip(p) / steps_per_strip;
    return span / h > static_cast<double>(grid_cap) ? span / static_cast<double>(grid_cap) : h;
}

// One bias alone: every node's densities computed here.
double at_one(const sis_params& p, double omega, double h) {
    const double kT = boltzmann_meV_per_K * p.temperature, L = window_kT * kT;
    const double lo = std::min(0.0, omega) - L, hi = std::max(0.0, omega) + L;
    const long count = static_cast<long>(std::floor((hi - lo) / h)) + 1;
    double acc = 0;
    for (long j = 0; j < count; ++j) {
        const double e = lo + static_cast<double>(j) * h, x = e - omega;
        const double rt = dynes_density(p.tip_gap, p.tip_gamma, x);
        const double st = dynes_density_slope(p.tip_gap, p.tip_gamma, x);
        acc += dynes_density(p.gap, p.gamma, e) *
               (st * (fermi(x, kT) - fermi(e, kT)) + rt * fermi_slope(x, kT));
    }
    return -h * acc;
}

// Biases omega0 + i step (step > 0), i < n, on one grid of step step / k.
void on_sweep(const sis_params& p, double omega0, double step, int n, double* out,
              sis_workspace* w) {
    const double kT = boltzmann_meV_per_K * p.temperature, L = window_kT * kT;
    const double last = omega0 + (n - 1) * step;
    const double lo = std::min(0.0, omega0) - L, hi = std::max(0.0, last) + L;
    const double target = grid_step(p, hi - lo);
    const long k = std::max(1L, static_cast<long>(std::ceil(step / target)));
    const double h = step / static_cast<double>(k);
    const long count = static_cast<long>(std::floor((hi - lo) / h)) + 1;
    // Node j of the sample is lo + j h; bias i meets the tip at x = lo -
    // omega0 + (j - i k) h, so the tip's nodes are m = j - i k.
    const long m_lo = -static_cast<long>(n - 1) * k, m_count = count - m_lo;
    w->sample_rho.resize(static_cast<size_t>(count));
    w->sample_f.resize(static_cast<size_t>(count));
    for (long j = 0; j < count; ++j) {
        const double e = lo + static_cast<double>(j) * h;
        w->sample_rho[static_cast<size_t>(j)] = dynes_density(p.gap, p.gamma, e);
        w->sample_f[static_cast<size_t>(j)] = fermi(e, kT);
    }
    for (auto* v : {&w->tip_rho, &w->tip_slope, &w->tip_f, &w->tip_fslope})
        v->resize(static_cast<size_t>(m_count));
    for (long m = 0; m < m_count; ++m) {
        const double x = lo - omega0 + static_cast<double>(m + m_lo) * h;
        const size_t q = static_cast<size_t>(m);
        w->tip_rho[q] = dynes_density(p.tip_gap, p.tip_gamma, x);
        w->tip_slope[q] = dynes_density_slope(p.tip_gap, p.tip_gamma, x);
        w->tip_f[q] = fermi(x, kT);
        w->tip_fslope[q] = fermi_slope(x, kT);
    }
    for (int i = 0; i < n; ++i) {
        const double omega = omega0 + i * step;
        const long j_lo = std::max(0L, static_cast<long>(std::ceil((std::min(0.0, omega) - L - lo) / h)));
        const long j_hi =
            std::min(count - 1, static_cast<long>(std::floor((std::max(0.0, omega) + L - lo) / h)));
        double acc = 0;
        for (long j = j_lo; j <= j_hi; ++j) {
            const size_t s = static_cast<size_t>(j);
            const size_t q = static_cast<size_t>(j - i * k - m_lo);
            acc += w->sample_rho[s] * (w->tip_slope[q] * (w->tip_f[q] - w->sample_f[s]) +
                                       w->tip_rho[q] * w->tip_fslope[q]);
        }
        out[i] = -h * acc;
    }
}

// The step of omega when it is a sweep to within 1e-3 of a step, else 0.
double sweep_step(const double* omega, int n) {
    if (n < 3) return 0;
    const double step = (omega[n - 1] - omega[0]) / (n - 1);
    if (!(step != 0) || !std::isfinite(step)) return 0;
    for (int i = 0; i < n; ++i)
        if (!(std::fabs(omega[i] - (omega[0] + i * step)) <= 1e-3 * std::fabs(step))) return 0;
    return step;
}

}  // namespace

void sis_conductance(const sis_params& p, const double* omega, int n, double* out,
                     sis_workspace* w) {
    if (n <= 0) return;
    // Parameters outside the model's domain, or biases that are not finite,
    // give no value (the fit never asks for them).
    const bool valid = p.temperature > 0 && p.gamma > 0 && p.tip_gamma > 0 && p.gap >= 0 &&
                       p.tip_gap >= 0 && std::isfinite(p.temperature + p.gamma + p.tip_gamma +
                                                       p.gap + p.tip_gap);
    bool finite = true;
    for (int i = 0; i < n; ++i) finite = finite && std::isfinite(omega[i]);
    if (!valid || !finite) {
        std::fill(out, out + n, std::numeric_limits<double>::quiet_NaN());
        return;
    }
    const double step = sweep_step(omega, n);
    const double kT = boltzmann_meV_per_K * p.temperature, L = window_kT * kT;
    // A sweep whose grid would be much finer than the strip needs (a bias
    // step far below it), or past the cap, is computed point by point.
    bool sweep = false;
    if (step != 0) {
        const double first = std::min(omega[0], omega[n - 1]), last = std::max(omega[0], omega[n - 1]);
        const double span = std::max(0.0, last) - std::min(0.0, first) + 2 * L;
        const double target = grid_step(p, span), a = std::fabs(step);
        const double h = a / std::ceil(a / target);
        sweep = a >= target / 64 && span / h < static_cast<double>(grid_cap);
    }
    if (!sweep) {
        for (int i = 0; i < n; ++i) {
            const double span = std::fabs(omega[i]) + 2 * L;
            out[i] = at_one(p, omega[i], grid_step(p, span));
        }
        return;
    }
    // On the ideal sweep (ascending), then moved to the actual biases.
    w->ideal.resize(static_cast<size_t>(n));
    double* g = w->ideal.data();
    if (step > 0) {
        on_sweep(p, omega[0], step, n, g, w);
    } else {
        on_sweep(p, omega[n - 1], -step, n, g, w);
        std::reverse(g, g + n);
    }
    for (int i = 0; i < n; ++i) {
        const double off = omega[i] - (omega[0] + i * step);
        const int a = i == 0 ? 0 : i - 1, b = i == n - 1 ? n - 1 : i + 1;
        const double slope = (g[b] - g[a]) / ((b - a) * step);
        out[i] = g[i] + off * slope;
    }
}

}  // namespace sts
