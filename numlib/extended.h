// Internal: the extended-precision evaluation type of the library.
//
// Every expression is written with its operands widened to `xf` explicitly,
// since GCC does not honour -fexcess-precision=standard in C++; a cast back
// to float (or double) marks each point where a value is stored.
#ifndef NUMLIB_EXTENDED_H
#define NUMLIB_EXTENDED_H

#include <limits>

using xf = long double;

#if !defined(NUMLIB_ALLOW_INEXACT)
static_assert(std::numeric_limits<long double>::digits == 64,
              "long double is not the 64-bit-significand extended type; results would "
              "differ in the last bits (define NUMLIB_ALLOW_INEXACT to build anyway)");
#endif

#endif
