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

// Two spectra on one axis in step: the splines of both are computed as
// interleaved recurrences, chains of divisions that the processor overlaps
// (numlib/spline_axis.h).  Each spectrum's values are those it gets alone.

// The three normalisations of one spectrum: dI/dV divided by the splines
// through ivar[0..2] at the midpoints, into out[0..2]; with kept set, the
// divisors are stored there too (kept[c][j]).  The workspace gives the
// splines' scratch space.
struct three_normalisations {
    const float* didv;
    float* const* out;
    const float* const* ivar;
    spectrum_workspace* w;
    float* const* kept;
    int zero_divisors;  // set by normalise_in_step
};

// The normalisations of count (1 or 2) spectra on the axis bias[0..n)
// whose tables `tables` holds, for these midpoints, every one usable
// (tables.usable_midpoints == m); each value as normalise_at_midpoints
// computes it.
void normalise_in_step(three_normalisations* jobs, int count, int m, const float* bias, int n,
                       const axis_tables& tables);

// remove_offset for count (1 or 2) currents on the one axis bias[0..n),
// n >= 2, the first workspace's tables serving both: the same status for
// each (it depends on the axis alone).
num_status remove_offsets_in_step(const float* bias, float* const* current,
                                  spectrum_workspace* const* w, int count, int n);

#endif
