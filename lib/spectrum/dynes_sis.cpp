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
constexpr long work_cap = 1L << 23;  // node-bias pairs in one call

double fermi(double x, double kT) { return 1 / (1 + std::exp(x / kT)); }
// f and f' = -e / (kT (1 + e)^2) from one e = exp(-|x| / kT), which cannot
// overflow.
void fermi_and_slope(double x, double kT, double* f, double* slope) {
    const double e = std::exp(-std::fabs(x) / kT), d = 1 + e;
    *f = x > 0 ? e / d : 1 / d;
    *slope = -e / (kT * d * d);
}

// f'' = -f' (1 - 2 f) / kT.
double fermi_curvature(double f, double slope, double kT) { return -slope * (1 - 2 * f) / kT; }

double strip(const sis_params& p) {
    const double kT = boltzmann_meV_per_K * p.temperature;
    return std::min({p.gamma, p.tip_gamma, std::numbers::pi * kT});
}

// The step for an energy range `span` met by `biases` biases: d / 5,
// coarser only past the caps on the grid and on the whole work.
double grid_step(const sis_params& p, double span, int biases) {
    const double h = strip(p) / steps_per_strip;
    return std::max({h, span / static_cast<double>(grid_cap),
                     span * biases / static_cast<double>(work_cap)});
}

// One bias alone: every node's densities computed here.
double at_one(const sis_params& p, double omega, double h) {
    const double kT = boltzmann_meV_per_K * p.temperature, L = window_kT * kT;
    const double lo = std::min(0.0, omega) - L, hi = std::max(0.0, omega) + L;
    const long count = static_cast<long>(std::floor((hi - lo) / h)) + 1;
    double acc = 0;
    for (long j = 0; j < count; ++j) {
        const double e = lo + static_cast<double>(j) * h, x = e - omega;
        double rt, st, fx, fs;
        dynes_density_and_slope(p.tip_gap, p.tip_gamma, x, &rt, &st);
        fermi_and_slope(x, kT, &fx, &fs);
        acc += dynes_density(p.gap, p.gamma, e) * (st * (fx - fermi(e, kT)) + rt * fs);
    }
    return -h * acc;
}

// Sum of r[j] a[j] - b[j] s[j] over j < count, in four running sums so that
// the additions need not wait on each other (the order is fixed: the same
// result on every run).
double pair_sum(const double* r, const double* b, const double* a, const double* s, long count) {
    double acc[4] = {0, 0, 0, 0};
    long j = 0;
    for (; j + 4 <= count; j += 4)
        for (int u = 0; u < 4; ++u) acc[u] += r[j + u] * a[j + u] - b[j + u] * s[j + u];
    for (; j < count; ++j) acc[0] += r[j] * a[j] - b[j] * s[j];
    return (acc[0] + acc[1]) + (acc[2] + acc[3]);
}

// Both sums of pair_sum at once, r and b shared: each in the order
// pair_sum takes (the same bits), the nodes read once for the two.
void pair_sums(const double* r, const double* b, const double* a, const double* s,
               const double* c, const double* d, long count, double* first, double* second) {
    double acc[4] = {0, 0, 0, 0}, more[4] = {0, 0, 0, 0};
    long j = 0;
    for (; j + 4 <= count; j += 4)
        for (int u = 0; u < 4; ++u) {
            acc[u] += r[j + u] * a[j + u] - b[j + u] * s[j + u];
            more[u] += r[j + u] * c[j + u] - b[j + u] * d[j + u];
        }
    for (; j < count; ++j) {
        acc[0] += r[j] * a[j] - b[j] * s[j];
        more[0] += r[j] * c[j] - b[j] * d[j];
    }
    *first = (acc[0] + acc[1]) + (acc[2] + acc[3]);
    *second = (more[0] + more[1]) + (more[2] + more[3]);
}

// Biases omega0 + i step (step > 0), i < n, on one grid of step step / k.
// With slope_out, also dG/domega = Int rho_s [rho_t'' (f(x) - f(E)) +
// 2 rho_t' f'(x) + rho_t f''(x)] dE on the same grid.
void on_sweep(const sis_params& p, double omega0, double step, int n, double* out,
              double* slope_out, sis_workspace* w) {
    const double kT = boltzmann_meV_per_K * p.temperature, L = window_kT * kT;
    const double last = omega0 + (n - 1) * step;
    const double lo = std::min(0.0, omega0) - L, hi = std::max(0.0, last) + L;
    const double target = grid_step(p, hi - lo, n);
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
        double slope;
        dynes_density_and_slope(p.gap, p.gamma, e, &w->sample_rho[static_cast<size_t>(j)], &slope);
        w->sample_f[static_cast<size_t>(j)] = fermi(e, kT);
    }
    // Per tip node A_m = rho_t' f(x) + rho_t f'(x), per sample node
    // B_j = rho_s f(E): the summand is rho_s(E_j) A_m - B_j rho_t'(x_m).
    w->tip_rho.resize(static_cast<size_t>(m_count));
    w->tip_slope.resize(static_cast<size_t>(m_count));
    if (slope_out) {
        w->tip_c.resize(static_cast<size_t>(m_count));
        w->tip_d.resize(static_cast<size_t>(m_count));
    }
    for (long m = 0; m < m_count; ++m) {
        const double x = lo - omega0 + static_cast<double>(m + m_lo) * h;
        const size_t q = static_cast<size_t>(m);
        double rho, slope, f, f_slope;
        dynes_density_and_slope(p.tip_gap, p.tip_gamma, x, &rho, &slope);
        fermi_and_slope(x, kT, &f, &f_slope);
        w->tip_rho[q] = slope * f + rho * f_slope;
        w->tip_slope[q] = slope;
        if (slope_out) {
            const double curvature = dynes_density_curvature(p.tip_gap, p.tip_gamma, x);
            w->tip_c[q] = curvature * f + 2 * slope * f_slope +
                          rho * fermi_curvature(f, f_slope, kT);
            w->tip_d[q] = curvature;
        }
    }
    for (long j = 0; j < count; ++j) w->sample_f[static_cast<size_t>(j)] *= w->sample_rho[static_cast<size_t>(j)];
    for (int i = 0; i < n; ++i) {
        const double omega = omega0 + i * step;
        const long j_lo = std::max(0L, static_cast<long>(std::ceil((std::min(0.0, omega) - L - lo) / h)));
        const long j_hi =
            std::min(count - 1, static_cast<long>(std::floor((std::max(0.0, omega) + L - lo) / h)));
        const long q = j_lo - i * k - m_lo, count_i = j_hi - j_lo + 1;
        const double *r = w->sample_rho.data() + j_lo, *b = w->sample_f.data() + j_lo;
        if (!slope_out) {
            out[i] = -h * pair_sum(r, b, w->tip_rho.data() + q, w->tip_slope.data() + q, count_i);
            continue;
        }
        double value = 0, slope = 0;
        pair_sums(r, b, w->tip_rho.data() + q, w->tip_slope.data() + q, w->tip_c.data() + q,
                  w->tip_d.data() + q, count_i, &value, &slope);
        out[i] = -h * value;
        slope_out[i] = h * slope;
    }
}

// The step of omega when it is a sweep to within 1e-4 of a step, else 0.
double sweep_step(const double* omega, int n) {
    if (n < 3) return 0;
    const double step = (omega[n - 1] - omega[0]) / (n - 1);
    if (!(step != 0) || !std::isfinite(step)) return 0;
    for (int i = 0; i < n; ++i)
        if (!(std::fabs(omega[i] - (omega[0] + i * step)) <= 1e-4 * std::fabs(step))) return 0;
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
        const double target = grid_step(p, span, n), a = std::fabs(step);
        const double h = a / std::ceil(a / target);
        sweep = a >= target / 64 && span / h < static_cast<double>(grid_cap);
    }
    if (!sweep) {
        for (int i = 0; i < n; ++i) {
            const double span = std::fabs(omega[i]) + 2 * L;
            // Each node here costs three densities and two Fermi factors,
            // some 32 of the sweep's pair sums.
            out[i] = at_one(p, omega[i], grid_step(p, span, 32 * n));
        }
        return;
    }
    // On the ideal sweep (ascending), then moved to the actual biases by
    // the slope computed on the same grid.
    w->ideal.resize(static_cast<size_t>(n));
    w->ideal_slope.resize(static_cast<size_t>(n));
    double *g = w->ideal.data(), *gs = w->ideal_slope.data();
    bool off = false;
    for (int i = 0; i < n; ++i) off = off || omega[i] != omega[0] + i * step;
    if (step > 0) {
        on_sweep(p, omega[0], step, n, g, off ? gs : nullptr, w);
    } else {
        on_sweep(p, omega[n - 1], -step, n, g, off ? gs : nullptr, w);
        std::reverse(g, g + n);
        std::reverse(gs, gs + n);
    }
    for (int i = 0; i < n; ++i)
        out[i] = off ? g[i] + (omega[i] - (omega[0] + i * step)) * gs[i] : g[i];
}

}  // namespace sts
