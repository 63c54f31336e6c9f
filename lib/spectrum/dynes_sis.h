// The conductance between a superconducting tip and a superconducting
// sample, each with a Dynes density of states (see dynes.h).
//
// Energies in meV, omega = eV, f the Fermi function at temperature T:
//   I(V) = (G_N / e) Integral rho_t(E - eV) rho_s(E) [f(E - eV) - f(E)] dE,
//   dI/dV / G_N = -Integral rho_s(E) [rho_t'(x) (f(x) - f(E)) + rho_t(x) f'(x)] dE,
//   x = E - eV,
// the derivative taken under the integral (rho_t' in closed form,
// Re[-Delta_t^2 / g^3]).  The coherence peaks sit at eV = +-(Delta_t + Delta_s).
//
// How it is evaluated: the trapezoidal rule on a uniform energy grid.  The
// integrand is analytic in the strip |Im E| < d, d = min(Gamma_s, Gamma_t,
// pi kT) (the densities' branch points lie Gamma off the real axis, the
// Fermi function's poles pi kT), and negligible at the ends of the window,
// so the rule converges like exp(-2 pi d / h): with h = d / 5 the error is
// of the order exp(-10 pi) ~ 2e-14 of the integrand's size.  That step
// resolves the singular coherence peaks (Lorentzian-like of width Gamma) by
// construction; it is what makes the rule accurate far below any noise with
// no special nodes.  The window is [min(0, eV) - 37 kT, max(0, eV) + 37 kT]:
// outside it f(x) - f(E) and f'(x) are below exp(-37) ~ 1e-16.  Against an
// independent SciPy computation (a grid 8 times finer, d / 40, and the derivative
// of I by a five-point stencil, lib/spectrum/tests/gap_reference.py) the
// largest difference at Delta 0.5 .. 1.4 meV, Gamma 0.01 .. 0.1 meV,
// T 0.3 .. 2 K, with and without the lock-in's broadening, is 8.5e-11 G_N
// (gap_model_test.cpp holds it below 1e-9).
//
// Speed: biases on a uniform grid (a sweep) share one energy grid whose step
// divides the bias step, so rho_t, rho_s and the Fermi factors are computed
// once per grid node and each bias costs only multiply-adds.  Biases off a
// uniform grid by at most 1e-4 of a step (floats written from a sweep are
// off by about 1e-7 of the bias) are computed on the ideal grid and moved by
// the first-order term, dG/domega computed on the same grid from rho_t'' and
// f'' (error offset^2 |G''| / 2, below 1e-9 G_N for float biases); other
// biases are computed one by one.
// The grid is capped at 2^21 nodes and one call at 2^23 node-bias pairs
// (some 10 ms): past that (Gamma, Gamma_t or T tiny against the bias range,
// e.g. Gamma below 0.003 meV at 1 K over +-4 mV and 400 biases) the step
// grows and the accuracy falls.
#ifndef SPECTRUM_DYNES_SIS_H
#define SPECTRUM_DYNES_SIS_H

#include <vector>

namespace sts {

struct sis_params {
    double gap = 0, gamma = 0;          // sample: Delta_s, Gamma_s (meV)
    double tip_gap = 0, tip_gamma = 0;  // tip: Delta_t, Gamma_t (meV)
    double temperature = 0;             // K, > 0
};

// Scratch for the grid; one per thread, reused across calls.
struct sis_workspace {
    std::vector<double> sample_rho, sample_f, tip_rho, tip_slope, tip_c, tip_d, ideal, ideal_slope;
};

// dI/dV / G_N at omega[0 .. n) (meV) into out.
void sis_conductance(const sis_params& p, const double* omega, int n, double* out,
                     sis_workspace* w);

}  // namespace sts

#endif
