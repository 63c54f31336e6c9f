// A measured dI/dV (a lock-in amplifier's output) beside the numerical one:
// put on the same midpoint axis, calibrated to the numerical dI/dV's unit by
// a least-squares line, and normalised by the same three I/V.
//
// The lock-in channel comes in an arbitrary unit (V, A or none) and with an
// arbitrary offset; the numerical dI/dV of the same sweep fixes both:
//   didv ~ scale * lockin + offset   (least squares over the midpoints).
// One fit per spectrum, or one over many spectra (their sums merged in a
// fixed order, so that the result does not depend on who computed them).
// Like the rest of the library, nothing here prints or ends the process.
#ifndef SPECTRUM_LOCKIN_H
#define SPECTRUM_LOCKIN_H

#include <vector>

#include "numlib/extended.h"
#include "spectrum/spectrum.h"

// The lock-in's arrays of one spectrum, each sized for `capacity` values.
struct lockin_arrays {
    int capacity = 0;
    std::vector<float> bias;      // the caller puts the bias as read here (scratch)
    std::vector<float> signal;    // and the lock-in as read; sorted and merged afterwards
    std::vector<float> at_mid;    // the lock-in at the midpoints, as measured
    std::vector<float> didv;      // calibrated: scale * at_mid + offset
    std::vector<float> norm_exp;  // didv / the I/V that the numerical norm_exp divides by
    std::vector<float> norm_coff;
    std::vector<float> norm_raw;
};
bool reserve_lockin_arrays(lockin_arrays* l, int capacity);

enum class lockin_status {
    ok,
    missing_values,  // a lock-in value is NaN or infinite
    too_few_points,  // fewer than 2 midpoints to fit a line through
    flat_signal,     // the lock-in does not vary: no scale fits
    no_fit,          // the numerical dI/dV is not finite, or the line is not
};
const char* describe_lockin_status(lockin_status s);

// What a least-squares line needs: the count, the means and the centred
// sums of squares and products of x (lock-in) and y (numerical dI/dV).
struct lockin_moments {
    xf count = 0;
    xf mean_x = 0, mean_y = 0;
    xf sxx = 0, sxy = 0, syy = 0;
};

// The moments of m pairs, in two passes (means first): centred sums keep
// their digits where raw sums of squares would cancel.
lockin_moments moments_of(const float* x, const float* y, int m);
// The moments of the union of two sets of pairs (the pairwise update of
// Chan, Golub and LeVeque); merged in a fixed order, the result is fixed.
void merge_moments(lockin_moments* into, const lockin_moments& more);

struct lockin_fit {
    lockin_status status = lockin_status::no_fit;
    float scale = 0, offset = 0;
};
// scale = sxy / sxx and offset = mean_y - scale * mean_x, stored as floats.
lockin_fit fit_line(const lockin_moments& m);

// Sorts and merges the lock-in's n_read points (l->bias, l->signal as read)
// exactly as sort_and_merge did the current (the permutation depends on the
// biases alone; equal biases average the lock-in as they do the current),
// and puts it on the midpoints: at_mid[i] = (signal[i] + signal[i+1]) / 2,
// the arithmetic of the midpoint biases.  n is the computation's number of
// points after merging; no_fit when the lock-in's is another.
lockin_status place_lockin(int n_read, int n, lockin_arrays* l);

// 1 - sum (y - fitted)^2 / sum (y - mean y)^2 over m values: the share of
// the numerical dI/dV's variance that the calibrated lock-in explains; NaN
// when y does not vary.
float r_squared(const float* y, const float* fitted, int m);

struct lockin_report {
    lockin_status status = lockin_status::no_fit;
    float scale = 0, offset = 0;  // the line used
    float r2 = 0;                 // of that line on this spectrum
};

// The moments of one spectrum's pairs (the lock-in placed at the midpoints,
// the numerical dI/dV) after compute_spectrum has computed it with report
// r: what a fit over many spectra merges.  Not ok when the spectrum gives
// none (its computation failed, values missing or not finite).
lockin_status spectrum_moments(int n_read, const spectrum_report& r, const spectrum_arrays& a,
                               lockin_arrays* l, lockin_moments* moments);

// The lock-in of one spectrum after compute_spectrum has computed it (r its
// report, ok; a with divisors kept): placed, fitted (or, with `fixed`, that
// line), calibrated, normalised.  The arrays past place_lockin are defined
// only when the status is ok.
lockin_report compute_lockin(int n_read, const spectrum_report& r, const spectrum_arrays& a,
                             const lockin_fit* fixed, lockin_arrays* l);

#endif
