// Internal: the end condition every spline of the computation uses.
#ifndef SPECTRUM_SPLINE_CONSTANTS_H
#define SPECTRUM_SPLINE_CONSTANTS_H

// An end slope above 9.9e29 asks the spline routine for a natural end
// (zero second derivative).
constexpr float NATURAL_END = 1e30f;

#endif
