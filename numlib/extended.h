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
// significand.  The functions say so, and fix which operand is first, in
// every build; elsewhere they are the processor's own float operations with
// the NaN made as on x86-64.
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

#include "numlib/soft_extended.h"

using xf = soft_extended;

// The square root, correctly rounded to the extended format.
inline xf xf_sqrt(xf value) { return soft_sqrt(value); }
// The magnitude.
inline xf xf_fabs(xf value) { return soft_fabs(value); }

#endif

#include <cstdint>
#include <cstring>

namespace extended_detail {

inline float float_of(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// The NaN an SSE float operation gives: the first NaN operand, quieted, or
// the negative default NaN when neither operand is one (an invalid operation
// such as inf - inf).
inline float operation_nan(float a, float b) {
    std::uint32_t bits = 0xFFC00000u;
    if (a != a)
        std::memcpy(&bits, &a, sizeof bits);
    else if (b != b)
        std::memcpy(&bits, &b, sizeof bits);
    return float_of(bits | 0x00400000u);
}

}  // namespace extended_detail

// a + b, a - b, a * b and a / b of two floats, rounded once to float (the
// IEEE operation: its value is every processor's); a NaN result is the
// first NaN operand, quieted, or the negative default NaN.  On x86-64 these
// are the SSE instructions GCC compiles such expressions to there; the
// sums and products in assembly, so that GCC cannot swap the operands.
inline float add_floats(float a, float b) {
#if defined(NUMLIB_HARDWARE_EXTENDED)
    asm("addss %1, %0" : "+x"(a) : "x"(b));
    return a;
#else
    const float r = a + b;
    return r == r ? r : extended_detail::operation_nan(a, b);
#endif
}

inline float subtract_floats(float a, float b) {
#if defined(NUMLIB_HARDWARE_EXTENDED)
    return a - b;
#else
    const float r = a - b;
    return r == r ? r : extended_detail::operation_nan(a, b);
#endif
}

inline float multiply_floats(float a, float b) {
#if defined(NUMLIB_HARDWARE_EXTENDED)
    asm("mulss %1, %0" : "+x"(a) : "x"(b));
    return a;
#else
    const float r = a * b;
    return r == r ? r : extended_detail::operation_nan(a, b);
#endif
}

inline float divide_floats(float a, float b) {
#if defined(NUMLIB_HARDWARE_EXTENDED)
    return a / b;
#else
    const float r = a / b;
    return r == r ? r : extended_detail::operation_nan(a, b);
#endif
}

#endif
