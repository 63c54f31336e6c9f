// Savitzky–Golay smoothing of a series of equally spaced samples (a current
// or a lock-in signal in the order the instrument measured it).
//
// Every output point is the value, at that point, of the polynomial of
// degree `order` fitted by least squares to the `window` samples centred on
// it.  The ends, where no centred window fits, take their values from the
// polynomial fitted over the first (respectively the last) `window` samples,
// evaluated at each of their points: the definition of SciPy's
// savgol_filter(x, window, order, mode="interp").  A series shorter than the
// window is one window on its own: every point is the value of one
// polynomial, of degree min(order, n - 1), fitted over all n points (so a
// series of at most order + 1 points comes back unchanged).
//
// The weights depend only on the window and the order, so they are computed
// once, in a plan, and each series costs `window` products a point.  All
// sums are taken in the extended format (xf); each result is rounded to
// float once, so the values are the same to the last bit in every build.
#ifndef SPECTRUM_SMOOTHING_H
#define SPECTRUM_SMOOTHING_H

#include <vector>

#include "numlib/extended.h"

namespace sts {

// The largest window: an odd number of points below the longest spectrum.
constexpr int MAX_SMOOTHING_WINDOW = 9999;
// The highest polynomial degree; fits of higher degree follow the noise.
constexpr int MAX_SMOOTHING_ORDER = 12;

// The weights of one window and order.
struct smoothing_plan {
    int window = 0;         // odd, 1 .. MAX_SMOOTHING_WINDOW
    int order = 0;          // 0 .. min(window - 1, MAX_SMOOTHING_ORDER)
    std::vector<xf> centre; // weights of the window's samples for its middle point
    // The window's orthonormal polynomials of degree 0 .. order at its
    // points, window rows of order + 1: the fits at the ends come from them.
    std::vector<xf> basis;
};

// True when (window, order) is a filter smoothing can apply: window odd
// from 1 to MAX_SMOOTHING_WINDOW, order from 0 to MAX_SMOOTHING_ORDER and
// below window.
bool smoothing_parameters_valid(int window, int order);

// Fills *p for (window, order); false when the parameters are not valid or
// the memory is not there.
bool make_smoothing_plan(int window, int order, smoothing_plan* p);

// Scratch space for series shorter than the window (their polynomials are
// made for their own length); one per thread.
struct smoothing_workspace {
    std::vector<xf> basis;
};
// Sizes w for plan p, so that smoothing allocates nothing; false when the
// memory is not there.
bool reserve_smoothing(const smoothing_plan& p, smoothing_workspace* w);

// out[0 .. n) = in[0 .. n) smoothed by plan p (see above), n >= 0.
// Preconditions: p made by make_smoothing_plan, w reserved for p, in and out
// distinct arrays.  A NaN or infinity spreads to every output whose window
// holds it.
void smooth_series(const smoothing_plan& p, const float* in, float* out, int n,
                   smoothing_workspace* w);

}  // namespace sts

#endif
