// What the computation of a spectrum needs of its biases alone, kept from
// one spectrum to the next: the four splines of a spectrum share its biases,
// and the pixels of a grid usually share one sweep.  Each table holds values
// in the format the computation stores them in, so a value taken from it is
// the value the computation would form again (numlib/spline_axis.h).
#ifndef SPECTRUM_AXIS_TABLES_H
#define SPECTRUM_AXIS_TABLES_H

#include <cstdint>
#include <vector>

#include "numlib/spline_axis.h"

struct axis_tables {
    // The biases the tables belong to, bit for bit (NaNs included).
    std::vector<float> bias;
    // The natural spline's recurrence terms, 1-based as numlib reads them
    // (element 0 unused).
    std::vector<float> s, p, d2x;
    // The offset's spline evaluation at 0 V.
    bool zero_usable = false;
    spline_terms at_zero;
    // The evaluations at the midpoints, for the midpoints they were made for.
    std::vector<float> vmid;
    bool vmid_direct = false;
    bool midpoints_ready = false;
    std::vector<spline_terms> at_midpoint;
    int usable_midpoints = 0;  // the first midpoint whose interval is refused, or all
    // The exponential weights kernel[0..n] for one width.
    bool weights_ready = false;
    std::uint32_t width_bits = 0;
    std::vector<float> weights;
};

// Makes t describe bias[0..n), n >= 2: kept as it is when it already does,
// rebuilt otherwise (the midpoints and weights then wait for their callers).
void use_axis(axis_tables* t, const float* bias, int n);

// The midpoint evaluations for vmid[0..m) on t's axis; `direct` as
// normalise_at_midpoints takes it.  Kept when t already holds them.
void use_midpoints(axis_tables* t, const float* vmid, int m, bool direct);

#endif
