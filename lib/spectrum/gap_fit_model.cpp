// The gap models as curves over the bias: offset, scale, lock-in
// broadening and background around dynes.h and dynes_sis.h.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "spectrum/dynes.h"
#include "spectrum/gap_fit.h"
#include "spectrum/gap_fit_internal.h"
#include "spectrum/modulation.h"

namespace sts {

namespace {

bool finite_all(std::initializer_list<double> v) {
    for (double x : v)
        if (!std::isfinite(x)) return false;
    return true;
}

bool in_domain(const gap_curve& c) {
    if (!finite_all({c.gap, c.gamma, c.temperature, c.tip_gap, c.tip_gamma, c.scale, c.offset,
                     c.background, c.modulation, c.bias_to_meV}))
        return false;
    if (!(c.temperature > 0) || !(c.gap >= 0) || !(c.gamma >= 0) || !(c.modulation >= 0) ||
        !(c.bias_to_meV > 0))
        return false;
    if (c.model == gap_model::dynes_sis)
        return c.gamma > 0 && c.tip_gamma > 0 && c.tip_gap >= 0;
    return c.model == gap_model::dynes;
}

// The half-width of the strip about the real axis in which the curve is
// analytic (in meV): what the lock-in's quadrature needs to know.
double analytic_strip(const gap_curve& c) {
    const double pi_kT = std::numbers::pi * boltzmann_meV_per_K * c.temperature;
    if (c.model == gap_model::dynes) return c.gamma + pi_kT;
    // I(V) = Int A(E - eV) B(E) dE is analytic in the sum of A's and B's
    // strips; each of the two terms pairs one density with a Fermi factor.
    return std::min(c.tip_gamma, pi_kT) + std::min(c.gamma, pi_kT);
}

// G / G_N at omega[0 .. n) into out, without modulation.
void base_curve(const gap_curve& c, const double* omega, int n, double* out, fit_scratch& s) {
    if (c.model == gap_model::dynes) {
        const dynes_params p{c.gap, c.gamma, c.temperature};
        for (int i = 0; i < n; ++i) out[i] = dynes_conductance(p, omega[i]);
        return;
    }
    const sis_params p{c.gap, c.gamma, c.tip_gap, c.tip_gamma, c.temperature};
    sis_conductance(p, omega, n, out, &s.sis);
}

}  // namespace

bool model_curve(const gap_curve& c, const double* bias, int n, double* out, fit_scratch& s) {
    if (!in_domain(c)) {
        std::fill(out, out + n, std::numeric_limits<double>::quiet_NaN());
        return false;
    }
    const size_t size = static_cast<size_t>(n);
    s.omega.resize(size);
    s.shifted.resize(size);
    s.part.resize(size);
    for (int i = 0; i < n; ++i) s.omega[static_cast<size_t>(i)] = (bias[i] - c.offset) * c.bias_to_meV;
    make_modulation_rule(c.modulation * c.bias_to_meV, analytic_strip(c), &s.rule);
    if (s.rule.count == 0) {
        base_curve(c, s.omega.data(), n, out, s);
    } else {
        std::fill(out, out + n, 0.0);
        for (int k = 0; k < s.rule.count; ++k) {
            for (size_t i = 0; i < size; ++i) s.shifted[i] = s.omega[i] + s.rule.shift[k];
            base_curve(c, s.shifted.data(), n, s.part.data(), s);
            for (size_t i = 0; i < size; ++i) out[i] += s.rule.weight[k] * s.part[i];
        }
    }
    for (int i = 0; i < n; ++i) out[i] = c.scale * out[i] + c.background * bias[i];
    return true;
}

}  // namespace sts
