// The Dynes density of states and the conductance of a normal tip over it.
//
// Sample density of states (Dynes, Narayanamurti and Garno, Phys. Rev. Lett. 41,
// 1509 (1978)), energies in meV from the Fermi level:
//   rho(E) = |Re[(E - i Gamma) / sqrt((E - i Gamma)^2 - Delta^2)]|
// Normal tip at temperature T (k_B = 0.08617333262 meV/K), f the Fermi
// function:
//   dI/dV(V) / G_N = Integral rho(E) (-df/dE)(E - eV) dE.
//
// How it is evaluated: exactly, without an energy grid or a cut-off of the
// Fermi window.  With h(w) = w / g(w), g(w) = sqrt(w^2 - Delta^2) on the
// branch that tends to w (analytic off [-Delta, Delta]), rho(E) =
// Re h(E - i Gamma): h is analytic in the lower half plane, where its real
// part is positive (so the modulus changes nothing), and tends to 1.
// -df/dx has double poles at x = -i w_n, w_n = pi kT (2n + 1), with
// coefficient -kT; closing the contour below gives the Matsubara sum
//   dI/dV / G_N = Re[1 + i b Sum_{n>=0} h'(eV - i Gamma - i b (n + 1/2))],
//   b = 2 pi kT,  h'(w) = -Delta^2 / g(w)^3.
// The singular coherence peaks never meet the sum: every term is taken
// Gamma + b/2 or more below the real axis.  The first N = 24 terms are
// summed, the rest by the Euler-Maclaurin formula, whose integral is exact
// (i b Int_N^inf h'(a - i b n) dn = h(w_N) - 1) and whose corrections
// F(N)/2 - F'(N)/12 + F'''(N)/720 use h'' = 3 Delta^2 w / g^5 and
// h'''' = 3 Delta^2 w (35 w^2 - 15 g^2) / g^9.  As kT -> 0 the sum tends to
// rho(eV) itself, so no temperature is too low; T must be > 0.
// Error: against a trapezoidal reference on an energy grid 50 times finer
// than the narrowest feature (min(Gamma, pi kT)) over +-40 kT, at Delta
// 0.2 .. 2 meV, Gamma 0.005 .. 0.5 meV, T 0.1 .. 10 K, the largest
// difference is below 5e-11 G_N (the remainder falls like N^-6: N = 12
// gave 1.2e-9, N = 32 3e-12); gap_model_test.cpp checks it against SciPy
// (largest 1.6e-11 G_N there, held below 1e-9).
// Cost: N + 1 complex square roots per bias.
#ifndef SPECTRUM_DYNES_H
#define SPECTRUM_DYNES_H

namespace sts {

constexpr double boltzmann_meV_per_K = 0.08617333262;

struct dynes_params {
    double gap = 0;          // Delta, meV (>= 0)
    double gamma = 0;        // Gamma, meV (>= 0)
    double temperature = 0;  // T, K (> 0)
};

// rho(E) = Re h(E - i Gamma), for Gamma > 0; 1 where Delta = 0.
double dynes_density(double gap, double gamma, double energy);
// rho'(E), the derivative with respect to E.
double dynes_density_slope(double gap, double gamma, double energy);

// Both at once, in real arithmetic (for grids of many energies).
void dynes_density_and_slope(double gap, double gamma, double energy, double* rho,
                             double* slope);

// rho''(E).
double dynes_density_curvature(double gap, double gamma, double energy);

// dI/dV / G_N of a normal tip at energy eV = omega (meV).
double dynes_conductance(const dynes_params& p, double omega);

}  // namespace sts

#endif
