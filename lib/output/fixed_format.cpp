// Exact "%f" text of a float.  A float is m * 2^e with an integer m below
// 2^24.  For e < 0 the text is round(m * 10^6 / 2^-e) split at the sixth
// digit, and m * 10^6 < 2^44 fits a 64-bit integer, so the rounding (half to
// even on the exact value, as printf rounds) is a shift and a compare.  For
// 0 <= e <= 40 the value is the integer m << e.  Only magnitudes of 2^64 and
// more (e > 40) go through std::to_chars, whose fixed form with a precision
// is defined to give what printf gives.
#include "output/fixed_format.h"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace {

constexpr char DIGIT_PAIRS[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

constexpr uint64_t MILLION = 1000000;
constexpr int WIDEST_INTEGER_EXPONENT = 40;  // (2^24 - 1) << 40 < 2^64

void put_pair(char* out, uint64_t two_digits) { std::memcpy(out, DIGIT_PAIRS + 2 * two_digits, 2); }

// The decimal digits of v >= 100, no leading zeros.
char* write_long_unsigned(char* out, uint64_t v) {
    char digits[20];
    std::size_t start = sizeof digits;
    while (v >= 100) {
        start -= 2;
        put_pair(digits + start, v % 100);
        v /= 100;
    }
    if (v >= 10) {
        start -= 2;
        put_pair(digits + start, v);
    } else {
        digits[--start] = static_cast<char>('0' + v);
    }
    const std::size_t count = sizeof digits - start;
    std::memcpy(out, digits + start, count);
    return out + count;
}

// The decimal digits of v, no leading zeros ("0" for 0); the integer parts
// of measured values are mostly below 100.
char* write_unsigned(char* out, uint64_t v) {
    if (v < 10) {
        *out = static_cast<char>('0' + v);
        return out + 1;
    }
    if (v < 100) {
        put_pair(out, v);
        return out + 2;
    }
    return write_long_unsigned(out, v);
}

// "." and exactly six digits of millionths (below 10^6).
char* write_decimals(char* out, uint64_t millionths) {
    *out = '.';
    put_pair(out + 1, millionths / 10000);
    put_pair(out + 3, millionths / 100 % 100);
    put_pair(out + 5, millionths % 100);
    return out + 7;
}

char* write_text(char* out, const char* text) {
    const std::size_t count = std::strlen(text);
    std::memcpy(out, text, count);
    return out + count;
}

// round(m * 10^6 / 2^shift), ties to even; shift >= 1, m < 2^24.
uint64_t scaled_and_rounded(uint64_t m, int shift) {
    // m * 10^6 < 2^44 is below half of 2^shift from shift 45 on: it rounds to 0.
    if (shift >= 64) return 0;
    const uint64_t scaled = m * MILLION;
    const uint64_t quotient = scaled >> shift;
    const uint64_t remainder = scaled - (quotient << shift);
    const uint64_t half = uint64_t{1} << (shift - 1);
    // Without branches: the comparisons go either way at random.
    const uint64_t up = static_cast<uint64_t>(remainder > half) |
                        (static_cast<uint64_t>(remainder == half) & quotient);
    return quotient + (up & 1);
}

}  // namespace

char* format_fixed_to_chars(char* out, float value) {
    return std::to_chars(out, out + FIXED_TEXT_MAX, value, std::chars_format::fixed, 6).ptr;
}

char* format_fixed(char* out, float value) {
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    const bool negative = (bits >> 31) != 0;
    const uint32_t biased = (bits >> 23) & 0xff;
    const uint32_t fraction = bits & 0x7fffff;
    if (biased == 0xff) {
        if (fraction != 0) return write_text(out, negative ? "-nan" : "nan");
        return write_text(out, negative ? "-inf" : "inf");
    }
    // Subnormals have no hidden bit and the exponent of the smallest normal.
    const uint64_t m = biased == 0 ? fraction : (fraction | 0x800000u);
    const int e = (biased == 0 ? 1 : static_cast<int>(biased)) - 150;
    if (e > WIDEST_INTEGER_EXPONENT) return format_fixed_to_chars(out, value);

    if (negative) *out++ = '-';
    if (e >= 0) return write_text(write_unsigned(out, m << e), ".000000");
    const uint64_t millionths = scaled_and_rounded(m, -e);
    return write_decimals(write_unsigned(out, millionths / MILLION), millionths % MILLION);
}
