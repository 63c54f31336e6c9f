// Internal: normalisation with a choice of how the bracket is found.
#ifndef SPECTRUM_NORMALISE_INTERNAL_H
#define SPECTRUM_NORMALISE_INTERNAL_H

#include "spectrum/spectrum.h"

// normalise_by; with vmid_of_bias set, the caller guarantees that bias is
// finite and strictly ascending and that vmid are its midpoints as
// differentiate computes them, and each bracket is found in constant time
// (the bisection's own answer, without the search).
num_status normalise_at_midpoints(const float* vmid, const float* didv, float* out, int m,
                                  const float* bias, const float* ivar, int n, bool vmid_of_bias,
                                  spectrum_workspace* w, int* zero_divisors);

// The three normalisations of compute_spectrum at once: dI/dV divided by
// the splines through ivar[0..2] at the midpoints, into out[0..2].  Needs
// the workspace's tables for this axis and these midpoints, every midpoint
// usable (t.usable_midpoints == m); returns the number of zero divisors.
// The three splines are computed in step (spline_coeffs_on_axis_batch), each
// value as normalise_at_midpoints computes it.  With kept set, the three
// divisors are stored there too (kept[c][j]).
int normalise_three(const float* didv, float* const* out, int m, const float* bias,
                    const float* const* ivar, int n, spectrum_workspace* w,
                    float* const* kept = nullptr);

#endif
