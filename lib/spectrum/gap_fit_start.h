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
    // The dip itself, for curves whose peaks drown in noise: the midpoint
    // and half the distance of the half-depth crossings either side of the
    // smoothed minimum (bias unit); half_width 0 when a side never rises
    // to half depth.
    double dip_centre;
    double dip_half_width;
};

// False when the curve is not gap-like: no dip of 3 % below G_N, no rise on
// one side, fewer than 5 points.
bool start_values(const double* bias, const double* didv, int n, double to_meV, start_guess* g);

// A moving average over 2 r + 1 points (fewer at the ends) of y, sorted by
// bias: against noise when looking for extremes or comparing shapes.
void moving_average(const std::vector<double>& y, int r, std::vector<double>* out);

// The smoothing half-width for n points: 1/40 of the window, at least 1.
int smoothing_radius(int n);

}  // namespace sts

#endif
