// The cubic spline split into what depends on the abscissas alone and what
// depends on the values, for callers that meet one axis many times: the
// four splines of one spectrum share their biases, and so do the spectra of
// a grid.  The x-only part, computed once and stored in the format each
// step stores it in, is the value every later use would compute again, so
// results are bit for bit those of spline_coeffs_using and spline_value_on.
#ifndef NUMLIB_SPLINE_AXIS_H
#define NUMLIB_SPLINE_AXIS_H

#include "numlib/extended.h"
#include "numlib/numlib.h"

// The recurrence terms of the second-derivative system over x[1..n], n >= 2,
// for the first end's condition (a slope above 9.9e29: natural): the
// division ratio s[i], pivot p[i] and the x-only part d2x[i] of the second
// derivative, i = 2 .. n - 1, and d2x[1].
void spline_axis_terms(cfvec x, int n, float slope_first, fvec s, fvec p, fvec d2x);

// spline_coeffs_using over an axis whose terms spline_axis_terms gave (with
// the same slope_first); work[1..n-1] is scratch.  n >= 2.  Only
// d2[lowest..n] are formed (1 <= lowest <= n): the back substitution runs
// from the top down, so a caller that evaluates the spline above x[lowest]
// alone can stop there; d2[1..lowest-1] then hold nothing of use.
void spline_coeffs_on_axis(cfvec x, cfvec y, int n, float slope_first, float slope_last,
                           cfvec s, cfvec p, cfvec d2x, fvec d2, fvec work, int lowest = 1);

// spline_coeffs_on_axis for `count` (at most spline_batch) value tables on
// one axis at once, y[c] giving d2[c] with scratch work[c].  The recurrences
// are independent chains of divisions; taken in step, the processor
// overlaps them.  Each table's steps are its own, in its own order.
constexpr int spline_batch = 6;
void spline_coeffs_on_axis_batch(cfvec x, const cfvec* y, int count, int n, float slope_first,
                                 float slope_last, cfvec s, cfvec p, cfvec d2x, const fvec* d2,
                                 const fvec* work, int lowest = 1);

// The factors of the spline's value at t on the interval x[left] ..
// x[left + 1], all of which depend on x and t alone.
struct spline_terms {
    int left = 1;
    float a = 0.0f, b = 0.0f;
    xf cubic_a = xf(0), cubic_b = xf(0), width_squared = xf(0);
};

// The terms at t on interval `left`; false when the interval has zero or NaN
// width (spline_value_on's refusal).
bool spline_terms_at(cfvec x, int left, float t, spline_terms* terms);

// The spline's value from its terms, the values y and second derivatives d2.
float spline_value_with(const spline_terms& terms, cfvec y, cfvec d2);

#endif
