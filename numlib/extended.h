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
//
// One operation on two floats whose result is stored as float is written
// with the four functions at the end (add_floats etc.), not as
// static_cast<float>(xf(a) + b): GCC compiles that form into an SSE float
// instruction (the value is the same, since 64 >= 2 * 24 + 2 significand
// bits make the double rounding harmless), and of two NaN operands SSE
// returns the first, where the x87 unit returns the one with the larger
// significand.  The functions fix which operand is first, in every build.
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

#include <cstdint>
#include <cstring>

namespace extended_detail {

// Both NaN: the first, quieted (the SSE rule); otherwise no answer yet.
inline bool both_nan(float a, float b, float* result) {
    if (!(a != a && b != b)) return false;
    std::uint32_t bits;
    std::memcpy(&bits, &a, sizeof bits);
    bits |= 0x00400000u;
    std::memcpy(result, &bits, sizeof bits);
    return true;
}

}  // namespace extended_detail

// a + b, a - b, a * b and a / b of two floats, rounded once to float; of two
// NaN operands the result is a's, quieted.  Anything else as in xf.
inline float add_floats(float a, float b) {
#if defined(NUMLIB_HARDWARE_EXTENDED)
    asm("addss %1, %0" : "+x"(a) : "x"(b));  // a stays first (GCC would commute a + b)
    return a;
#else
    float r;
    return extended_detail::both_nan(a, b, &r) ? r : static_cast<float>(xf(a) + b);
#endif
}

inline float subtract_floats(float a, float b) {
#if defined(NUMLIB_HARDWARE_EXTENDED)
    return a - b;
#else
    float r;
    return extended_detail::both_nan(a, b, &r) ? r : static_cast<float>(xf(a) - b);
#endif
}

inline float multiply_floats(float a, float b) {
#if defined(NUMLIB_HARDWARE_EXTENDED)
    asm("mulss %1, %0" : "+x"(a) : "x"(b));
    return a;
#else
    float r;
    return extended_detail::both_nan(a, b, &r) ? r : static_cast<float>(xf(a) * b);
#endif
}

inline float divide_floats(float a, float b) {
#if defined(NUMLIB_HARDWARE_EXTENDED)
    return a / b;
#else
    float r;
    return extended_detail::both_nan(a, b, &r) ? r : static_cast<float>(xf(a) / b);
#endif
}

#endif
