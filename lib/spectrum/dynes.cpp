// The Dynes conductance of a normal tip by its Matsubara sum: see dynes.h.
#include "spectrum/dynes.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace sts {

namespace {

using cplx = std::complex<double>;

// Terms summed before the Euler-Maclaurin tail takes over.
constexpr int summed_terms = 24;

// g(w) = sqrt(w^2 - Delta^2) on the branch that tends to w, for Im w < 0:
// that branch is w sqrt(1 - Delta^2/w^2) (principal root, real part >= 0),
// so of the two roots of w^2 - Delta^2 it is the one on w's side.
cplx root(cplx w, double gap) {
    const cplx g = std::sqrt(w * w - gap * gap);
    return (g * std::conj(w)).real() < 0 ? -g : g;
}

}  // namespace

double dynes_density(double gap, double gamma, double energy) {
    const cplx w(energy, -gamma);
    return std::fabs((w / root(w, gap)).real());
}

double dynes_density_slope(double gap, double gamma, double energy) {
    // The modulus is inactive (Re h > 0 below the real axis), so the slope
    // is Re h'(w), h' = -Delta^2 / g^3.
    const cplx w(energy, -gamma);
    const cplx g = root(w, gap);
    return (-gap * gap / (g * g * g)).real();
}

double dynes_conductance(const dynes_params& p, double omega) {
    const double b = 2 * std::numbers::pi * boltzmann_meV_per_K * p.temperature;
    const double d2 = p.gap * p.gap;
    cplx sum = 0;
    for (int n = 0; n < summed_terms; ++n) {
        const cplx w(omega, -p.gamma - b * (n + 0.5));
        const cplx g = root(w, p.gap);
        sum += -d2 / (g * g * g);
    }
    // The tail from n = N: F(n) = h'(w_n), F' = -i b h'', F''' = i b^3 h''''.
    const cplx w(omega, -p.gamma - b * (summed_terms + 0.5));
    const cplx g = root(w, p.gap);
    const cplx g2 = g * g, g3 = g2 * g, g5 = g3 * g2, g9 = g5 * g2 * g2;
    const cplx h = w / g;
    const cplx h1 = -d2 / g3;
    const cplx h2 = 3 * d2 * w / g5;
    const cplx h4 = 3 * d2 * w * (35.0 * w * w - 15.0 * g2) / g9;
    const cplx i(0, 1);
    const cplx tail = h1 / 2.0 - (-i * b * h2) / 12.0 + (i * b * b * b * h4) / 720.0;
    return (h + i * b * (sum + tail)).real();
}

}  // namespace sts
