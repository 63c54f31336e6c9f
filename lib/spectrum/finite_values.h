// Whether an array of floats holds an infinity or a NaN, checked on the
// bits four at a time (all exponent bits set), so that a check over every
// value of every pixel runs at memory speed; the compiler leaves the plain
// loop over std::isfinite scalar.
#ifndef SPECTRUM_FINITE_VALUES_H
#define SPECTRUM_FINITE_VALUES_H

#include <cstddef>

namespace sts {

// true when any of v[0 .. count) is infinite or NaN.
bool any_nonfinite(const float* v, size_t count);

}  // namespace sts

#endif
