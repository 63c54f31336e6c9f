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

// g and z = w^2 - Delta^2 for w = x + i y, y < 0, in real arithmetic: GCC's
// complex multiply and divide go through library calls that check for
// infinities (ISO C Annex G) and would take most of the time here.
struct root_of {
    double gr, gi, zr, zi;
    root_of(double x, double y, double d2) {
        zr = x * x - y * y - d2;
        zi = 2 * x * y;
        // The principal root of z, then the one on w's side.
        const double m = std::sqrt(zr * zr + zi * zi);
        const double t = std::sqrt((m + std::fabs(zr)) / 2);
        gr = zr >= 0 ? t : std::fabs(zi) / (2 * t);
        gi = zr >= 0 ? zi / (2 * t) : std::copysign(t, zi);
        if (gr * x + gi * y < 0) {
            gr = -gr;
            gi = -gi;
        }
    }
    // -Delta^2 / g^3 = -Delta^2 conj(g z) / |g z|^2.
    void slope(double d2, double* re, double* im) const {
        const double cr = gr * zr - gi * zi, ci = gr * zi + gi * zr;
        const double q = -d2 / (cr * cr + ci * ci);
        *re = q * cr;
        *im = -q * ci;
    }
};

// The N summed terms -Delta^2 / g^3.  Every w has Im w <= -b/2 < 0, so no
// term meets a branch point.
cplx summed(double omega, double depth, double b, double gap) {
    const double d2 = gap * gap;
    double sr = 0, si = 0;
    for (int n = 0; n < summed_terms; ++n) {
        double re, im;
        root_of(omega, -(depth + b * (n + 0.5)), d2).slope(d2, &re, &im);
        sr += re;
        si += im;
    }
    return {sr, si};
}

}  // namespace

double dynes_density(double gap, double gamma, double energy) {
    const cplx w(energy, -gamma);
    return std::fabs((w / root(w, gap)).real());
}

void dynes_density_and_slope(double gap, double gamma, double energy, double* rho,
                             double* slope) {
    const double d2 = gap * gap;
    const root_of r(energy, -gamma, d2);
    // Re(w / g) = Re(w conj(g)) / |g|^2.
    *rho = std::fabs((energy * r.gr - gamma * r.gi) / (r.gr * r.gr + r.gi * r.gi));
    double im;
    r.slope(d2, slope, &im);
}

double dynes_density_curvature(double gap, double gamma, double energy) {
    // Re h''(w), h'' = 3 Delta^2 w / g^5 = 3 Delta^2 w conj(g z^2) / |g z^2|^2.
    const double d2 = gap * gap;
    const root_of r(energy, -gamma, d2);
    const double qr = r.zr * r.zr - r.zi * r.zi, qi = 2 * r.zr * r.zi;
    const double cr = r.gr * qr - r.gi * qi, ci = r.gr * qi + r.gi * qr;
    return 3 * d2 * (energy * cr - gamma * ci) / (cr * cr + ci * ci);
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
    const cplx sum = summed(omega, p.gamma, b, p.gap);
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
