// Start values of a gap fit read off the curve (gap_fit.h says how).
#ifndef SPECTRUM_GAP_FIT_START_H
#define SPECTRUM_GAP_FIT_START_H

#include <vector>

namespace sts {

struct start_guess {
    double scale;   // G_N from the outer fifth of the window
    double offset;  // midway between the coherence peaks (bias unit)
    double gap;     // half their distance (meV): Delta, or Delta_t + Delta_s
    double ratio;   // the smoothed minimum over G_N, in [1e-3, 0.9]
};

// False when the curve is not gap-like: no dip of 3 % below G_N, no rise on
// one side, fewer than 5 points.
bool start_values(const double* bias, const double* didv, int n, double to_meV, start_guess* g);

}  // namespace sts

#endif
