// The lock-in's broadening of a conductance curve.
//
// A sinusoidal bias modulation of amplitude V_m (zero to peak) read on the
// first harmonic turns dI/dV into its convolution with
//   k(v) = (2 / (pi V_m^2)) sqrt(V_m^2 - v^2),  |v| < V_m
// (the semicircle: the first Fourier coefficient (2 / (pi V_m)) Int_0^pi
// I(V + V_m cos s) cos s ds, integrated by parts and with v = V_m cos s).  With
// v = V_m t the convolution is (2/pi) Int_-1^1 sqrt(1 - t^2) G(V + V_m t) dt,
// which Gauss-Chebyshev quadrature of the second kind takes exactly for the
// weight: nodes t_k = cos(k pi/(M+1)), weights (2/(M+1)) sin^2(k pi/(M+1)),
// k = 1 .. M (they sum to 1).  The curve G is analytic in a strip |Im V| < d
// (d = Gamma + pi kT for a normal tip, min(Gamma_t, pi kT) + min(Gamma_s, pi kT)
// for a superconducting one), so the rule converges like
// rho^(-2M), rho = a + sqrt(1 + a^2), a = d / V_m: M is chosen for 1e-12
// (about 10 nodes when V_m ~ d, 150 when V_m = 20 d), at most 400.
#ifndef SPECTRUM_MODULATION_H
#define SPECTRUM_MODULATION_H

namespace sts {

constexpr int max_modulation_nodes = 400;

struct modulation_rule {
    int count = 0;                        // 0: no modulation
    double shift[max_modulation_nodes];   // V_m t_k, in V_m's unit
    double weight[max_modulation_nodes];  // summing to 1
};

// The rule for amplitude vm over a curve analytic in the strip |Im| < strip
// (both in one unit); count 0 when vm is 0 or not positive and finite.
void make_modulation_rule(double vm, double strip, modulation_rule* r);

}  // namespace sts

#endif
