// What the gap fit's files share: the scratch of one thread and the model
// as a curve over the bias.
#ifndef SPECTRUM_GAP_FIT_INTERNAL_H
#define SPECTRUM_GAP_FIT_INTERNAL_H

#include <vector>

#include "spectrum/dynes_sis.h"
#include "spectrum/gap_fit.h"
#include "spectrum/modulation.h"

namespace sts {

struct fit_scratch {
    sis_workspace sis;
    modulation_rule rule;
    std::vector<double> omega, shifted, part;
};

// The model at bias[0 .. n) into out; false (NaN) outside its domain.
bool model_curve(const gap_curve& c, const double* bias, int n, double* out, fit_scratch& s);

// A coarse grid of starts: every offset x gap x (Gamma = fraction * gap,
// clamped to [gamma_lo, gamma_hi]), each with its best G_N.
struct coarse_grid {
    std::vector<double> offsets, gaps, gamma_fractions;
    double gamma_lo = 0, gamma_hi = 0;
};

// The grid's candidate of least chi^2 into *best (its gap, gamma, offset
// and scale; the rest of *best is the model, held values and modulation);
// *best unchanged when no candidate is in the model's domain.  Against
// the local minima the curve's own reading alone can start in.
void coarse_start(const coarse_grid& grid, const double* bias, const double* didv, int n,
                  gap_curve* best, fit_scratch& s);

// The data's dip: its centre and half-width (bias unit) and G_N.
struct dip_core {
    double centre = 0, half_width = 0, scale = 0;
};

// Whether the model follows the data over the dip's core (the points within
// half its half-width of its centre, at least the three nearest): false
// when their mean residual exceeds both a quarter of G_N and three of its
// standard errors (the noise read from neighbouring points' differences).
// A fit can converge to the best curve the model allows and still miss the
// dip, for a bias offset held at 0 or a temperature held too high.
bool follows_dip(const double* bias, const double* didv, const double* model, int n,
                 const dip_core& dip);

}  // namespace sts

#endif
