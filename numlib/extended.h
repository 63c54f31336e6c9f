// The extended-precision evaluation type of the library and the tools: `xf`.
//
// Results are defined to the last bit by arithmetic in the 64-bit-significand
// extended format of the x87 unit, rounding to nearest.  On x86-64 that is
// the hardware long double; everywhere else (and on x86-64 when the build
// defines NUMLIB_SOFT_EXTENDED, so that the two can be compared) it is
// soft_extended, which computes the same bits in software.
//
// Every expression is written with its operands widened to `xf` explicitly,
// since GCC does not honour -fexcess-precision=standard in C++; a cast back
// to float (or double) marks each point where a value is stored.  Constants
// are formed in xf from exactly representable values (xf(1) / xf(6), not
// 1.0L / 6.0L, which elsewhere is a constant of another format), and the
// mathematical functions on xf are the two below.
#ifndef NUMLIB_EXTENDED_H
#define NUMLIB_EXTENDED_H

#if defined(__x86_64__) && defined(__LDBL_MANT_DIG__) && __LDBL_MANT_DIG__ == 64 && \
    !defined(NUMLIB_SOFT_EXTENDED)
#define NUMLIB_HARDWARE_EXTENDED 1
#endif

#if defined(NUMLIB_HARDWARE_EXTENDED)

#include <cmath>

using xf = long double;

// The square root, correctly rounded to the extended format.
inline xf xf_sqrt(xf value) { return std::sqrt(value); }
// The magnitude.
inline xf xf_fabs(xf value) { return std::fabs(value); }

#else

#include "soft_extended.h"

using xf = soft_extended;

// The square root, correctly rounded to the extended format.
inline xf xf_sqrt(xf value) { return soft_sqrt(value); }
// The magnitude.
inline xf xf_fabs(xf value) { return soft_fabs(value); }

#endif

#endif
