// The "%f" conversion of a float (six decimals, no exponent), byte for byte
// as the C library's printf writes it, without the cost of printf.
#ifndef OUTPUT_FIXED_FORMAT_H
#define OUTPUT_FIXED_FORMAT_H

#include <cstddef>

// The longest text format_fixed writes: a sign, the 39 integer digits of
// the largest float, the point and six decimals.
inline constexpr std::size_t FIXED_TEXT_MAX = 47;

// Writes value as printf("%f", value) writes it to the FIXED_TEXT_MAX
// characters from out on (no terminating NUL) and returns the end of the
// text.  Every float is covered: the decimals are the exact binary value
// rounded half to even, a negative value that rounds to zero (and -0) keeps
// its "-", and the non-numbers are "inf", "-inf", "nan" and "-nan" (the
// sign bit of a NaN decides).  Cannot fail.
char* format_fixed(char* out, float value);

// The same through the standard library's std::to_chars alone; kept as the
// path for magnitudes beyond 2^64 and as the reference the faster path is
// measured against.
char* format_fixed_to_chars(char* out, float value);

#endif
