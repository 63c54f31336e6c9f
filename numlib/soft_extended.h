// Extended-precision numbers computed in software, for processors without
// the x87 unit.
//
// The format is the x87 double-extended one: sign, 15-bit exponent (bias
// 16383) and a 64-bit significand whose top bit is explicit.  Every
// operation gives exactly the bits the x87 unit gives on Linux x86-64, where
// its precision control is set to 64 bits and its rounding to nearest even:
//
// - +, -, *, / and the square root are rounded once, to nearest even, to the
//   64-bit significand; results below the normal range become subnormal
//   (rounded once, at their own precision) or a signed zero; results beyond
//   the range become infinities.
// - Invalid operations (0/0, inf/inf, inf - inf, 0 * inf, the square root of
//   a negative number) give the unit's default NaN, the negative quiet NaN
//   "real indefinite" (sign set, significand 0xC000000000000000).
// - A NaN operand comes back quieted (bit 62 set), sign and payload kept.
//   Of two NaN operands the one with the larger significand wins; with equal
//   significands the positive one.
// - Conversions from float and double are exact (a signalling NaN is
//   quieted); conversions to float and double are rounded once, to nearest
//   even, overflowing to infinity and underflowing to subnormals or zero; a
//   NaN keeps its sign and the top bits of its payload and is quieted.
// - Comparisons are IEEE ones: -0 equals +0, NaN is unordered.
//
// Values are plain data (copyable, 16 bytes).  The encodings the unit never
// produces are read as the unit reads them: an explicit top bit that
// contradicts a non-zero exponent (the 8087's unnormals, pseudo-infinities
// and pseudo-NaNs) makes an invalid operand, so arithmetic gives the default
// NaN and comparisons report unordered; a set top bit with a zero exponent
// (pseudo-denormal) counts as the smallest normal exponent.
#ifndef NUMLIB_SOFT_EXTENDED_H
#define NUMLIB_SOFT_EXTENDED_H

#include <bit>
#include <compare>
#include <concepts>
#include <cstdint>

class soft_extended {
public:
    // +0.
    constexpr soft_extended() = default;

    // Exact conversions (every float, double and 64-bit integer has an
    // extended value); implicit, as for the built-in floating types.
    soft_extended(float value);   // (defined inline below)
    soft_extended(double value);
    template <std::signed_integral I>
    constexpr soft_extended(I value) : soft_extended(from_int64(static_cast<std::int64_t>(value))) {}
    template <std::unsigned_integral I>
    constexpr soft_extended(I value)
        : soft_extended(from_magnitude(0, static_cast<std::uint64_t>(value))) {}

    // Rounded to nearest even; see the conversion rules above.
    explicit operator float() const;
    explicit operator double() const;

    // The value with these fields (the x87 layout: bit 15 of sign_exponent
    // the sign, bits 0..14 the biased exponent).  Any bits are accepted; see
    // the remark on pseudo encodings above.
    static constexpr soft_extended from_bits(std::uint16_t sign_exponent,
                                             std::uint64_t significand) {
        soft_extended v;
        v.significand_ = significand;
        v.sign_exponent_ = sign_exponent;
        return v;
    }
    constexpr std::uint16_t sign_exponent() const { return sign_exponent_; }
    constexpr std::uint64_t significand() const { return significand_; }

    [[gnu::always_inline]] friend soft_extended operator+(soft_extended a, soft_extended b) {
        return add(a, b, 0);
    }
    [[gnu::always_inline]] friend soft_extended operator-(soft_extended a, soft_extended b) {
        return add(a, b, 0x8000u);
    }
    friend soft_extended operator*(soft_extended a, soft_extended b);
    friend soft_extended operator/(soft_extended a, soft_extended b);
    // Flips the sign bit (of NaNs too), as the unit's sign change does.
    friend constexpr soft_extended operator-(soft_extended a) {
        return from_bits(static_cast<std::uint16_t>(a.sign_exponent_ ^ 0x8000u), a.significand_);
    }
    soft_extended& operator+=(soft_extended b) { return *this = *this + b; }
    soft_extended& operator-=(soft_extended b) { return *this = *this - b; }
    soft_extended& operator*=(soft_extended b) { return *this = *this * b; }
    soft_extended& operator/=(soft_extended b) { return *this = *this / b; }

    // Ordered comparison; unordered when either side is a NaN.
    friend std::partial_ordering operator<=>(soft_extended a, soft_extended b) {
        if (!normal_or_zero(a) || !normal_or_zero(b)) return compare_general(a, b);
        // Magnitudes order as (exponent field, significand); zeros are 0.
        const wide ka = wide{a.sign_exponent_ & 0x7FFFu} << 64 | a.significand_;
        const wide kb = wide{b.sign_exponent_ & 0x7FFFu} << 64 | b.significand_;
        if (ka == 0 && kb == 0) return std::partial_ordering::equivalent;  // -0 == +0
        if (((a.sign_exponent_ ^ b.sign_exponent_) & 0x8000u) != 0)
            return a.sign_exponent_ & 0x8000u ? std::partial_ordering::less
                                              : std::partial_ordering::greater;
        const std::partial_ordering magnitude = ka < kb   ? std::partial_ordering::less
                                                : ka > kb ? std::partial_ordering::greater
                                                          : std::partial_ordering::equivalent;
        return a.sign_exponent_ & 0x8000u ? 0 <=> magnitude : magnitude;
    }
    friend bool operator==(soft_extended a, soft_extended b) { return (a <=> b) == 0; }

private:
    __extension__ typedef unsigned __int128 wide;  // GCC's and Clang's, outside ISO C++

    // Exact, and constant for a constant (xf(6) costs nothing at run time).
    static constexpr soft_extended from_magnitude(unsigned sign, std::uint64_t magnitude) {
        if (magnitude == 0) return soft_extended{};
        const int lead = std::countl_zero(magnitude);
        return from_bits(static_cast<std::uint16_t>(sign | static_cast<unsigned>(16383 + 63 - lead)),
                         magnitude << lead);
    }
    static constexpr soft_extended from_int64(std::int64_t value) {
        // The magnitude in unsigned arithmetic, so that INT64_MIN is fine too.
        return value < 0 ? from_magnitude(0x8000u, 0 - static_cast<std::uint64_t>(value))
                         : from_magnitude(0, static_cast<std::uint64_t>(value));
    }
    static bool both_normal(soft_extended a, soft_extended b);
    static bool normal_or_zero(soft_extended v);
    static soft_extended divide_normal(soft_extended a, soft_extended b);
    static soft_extended add(soft_extended a, soft_extended b, unsigned negate_b);
    static soft_extended round(unsigned sign, int exp, std::uint64_t m, std::uint64_t rest);

    // The general paths (soft_extended.cpp), for every class of operand;
    // precision is 24 (float) or 53 (double).
    static soft_extended add_general(soft_extended a, soft_extended b, unsigned negate_b);
    static soft_extended multiply_general(soft_extended a, soft_extended b);
    static soft_extended divide_general(soft_extended a, soft_extended b);
    static std::partial_ordering compare_general(soft_extended a, soft_extended b);
    static soft_extended round_general(unsigned sign, int exp, wide sig);
    static soft_extended from_ieee_general(std::uint64_t bits, int precision);
    static std::uint64_t to_ieee_general(soft_extended v, int precision);

    std::uint64_t significand_ = 0;
    std::uint16_t sign_exponent_ = 0;
};

// ---------------------------------------------------------------------------
// Inline paths for the common case, normal operands and a normal result;
// anything else goes to the general paths, which handle every case alike.

// Rounds (m + rest / 2^64) * 2^(exp - 16383 - 63), top bit of m set, to
// nearest even.
[[gnu::always_inline]] inline soft_extended soft_extended::round(unsigned sign, int exp,
                                                                  std::uint64_t m,
                                                                  std::uint64_t rest) {
    if (exp < 1) return round_general(sign, exp, wide{m} << 64 | rest);  // subnormal or zero
    constexpr std::uint64_t half = 1ull << 63;
    // Without branches: the rounding direction is as good as random.
    m += static_cast<std::uint64_t>(rest > half) | (static_cast<std::uint64_t>(rest == half) & m);
    if (m == 0) {  // carried out of the top: 2^64 is 2^63 one exponent up
        m = half;
        ++exp;
    }
    if (exp >= 0x7FFF) return from_bits(static_cast<std::uint16_t>(sign | 0x7FFFu), half);
    return from_bits(static_cast<std::uint16_t>(sign | static_cast<unsigned>(exp)), m);
}

inline bool soft_extended::both_normal(soft_extended a, soft_extended b) {
    // Normal: exponent field 1 .. 0x7FFE and the explicit top bit set.
    const unsigned fa = a.sign_exponent_ & 0x7FFFu;
    const unsigned fb = b.sign_exponent_ & 0x7FFFu;
    return fa - 1u < 0x7FFEu && fb - 1u < 0x7FFEu && (a.significand_ & b.significand_) >> 63 != 0;
}

inline bool soft_extended::normal_or_zero(soft_extended v) {
    const unsigned field = v.sign_exponent_ & 0x7FFFu;
    return field == 0 ? v.significand_ == 0 : field != 0x7FFFu && (v.significand_ >> 63) != 0;
}

[[gnu::always_inline]] inline soft_extended soft_extended::add(soft_extended a, soft_extended b,
                                                                unsigned negate_b) {
    if (!both_normal(a, b)) {
        if (!normal_or_zero(a) || !normal_or_zero(b)) return add_general(a, b, negate_b);
        b.sign_exponent_ = static_cast<std::uint16_t>(b.sign_exponent_ ^ negate_b);
        if (a.significand_ != 0) return a;  // b is zero
        if (b.significand_ != 0) return b;
        // Two zeros: -0 only when both are.
        return from_bits(static_cast<std::uint16_t>(a.sign_exponent_ & b.sign_exponent_), 0);
    }
    b.sign_exponent_ = static_cast<std::uint16_t>(b.sign_exponent_ ^ negate_b);
    // a becomes the operand of the larger magnitude (selects, not branches:
    // which one it is is as good as random).
    const wide ka = wide{a.sign_exponent_ & 0x7FFFu} << 64 | a.significand_;
    const wide kb = wide{b.sign_exponent_ & 0x7FFFu} << 64 | b.significand_;
    const bool swap = kb > ka;
    const std::uint64_t big = swap ? b.significand_ : a.significand_;
    const std::uint64_t small = swap ? a.significand_ : b.significand_;
    const unsigned big_se = swap ? b.sign_exponent_ : a.sign_exponent_;
    const unsigned small_se = swap ? a.sign_exponent_ : b.sign_exponent_;
    const int exp = static_cast<int>(big_se & 0x7FFFu);
    const int shift = exp - static_cast<int>(small_se & 0x7FFFu);
    if (shift > 64) return add_general(a, b, 0);
    // 63 bits below each significand: room for the carry above and exact
    // rounding below (for shift 64 the last bit goes into a sticky bit).
    const wide x = wide{big} << 63;
    const wide shifted = wide{small} << 63;
    wide y = shift <= 63 ? shifted >> shift : (shifted >> 64) | (small & 1);
    const unsigned sign = big_se & 0x8000u;
    // Opposite signs subtract: y becomes -y in two's complement.
    const wide negate = ((big_se ^ small_se) & 0x8000u) != 0 ? ~wide{0} : wide{0};
    y = (y ^ negate) - negate;
    wide sum = x + y;
    if (sum == 0) return soft_extended{};  // exact cancellation: +0
    const auto high = static_cast<std::uint64_t>(sum >> 64);
    const int lead = high != 0 ? std::countl_zero(high)
                               : 64 + std::countl_zero(static_cast<std::uint64_t>(sum));
    sum <<= lead;
    return round(sign, exp + 1 - lead, static_cast<std::uint64_t>(sum >> 64),
                 static_cast<std::uint64_t>(sum));
}

[[gnu::always_inline]] inline soft_extended operator*(soft_extended a, soft_extended b) {
    const unsigned sign = (a.sign_exponent_ ^ b.sign_exponent_) & 0x8000u;
    if (!soft_extended::both_normal(a, b)) {
        if (soft_extended::normal_or_zero(a) && soft_extended::normal_or_zero(b))
            return soft_extended::from_bits(static_cast<std::uint16_t>(sign), 0);
        return soft_extended::multiply_general(a, b);
    }
    int exp = (a.sign_exponent_ & 0x7FFF) + (b.sign_exponent_ & 0x7FFF) - 16383;
    soft_extended::wide product = soft_extended::wide{a.significand_} * b.significand_;
    if ((product >> 127) != 0) {
        ++exp;
    } else {
        product <<= 1;
    }
    return soft_extended::round(sign, exp, static_cast<std::uint64_t>(product >> 64),
                                static_cast<std::uint64_t>(product));
}

inline soft_extended operator/(soft_extended a, soft_extended b) {
    if (soft_extended::both_normal(a, b)) return soft_extended::divide_normal(a, b);
    if (a.significand_ == 0 && (a.sign_exponent_ & 0x7FFFu) == 0 && soft_extended::normal_or_zero(b) &&
        b.significand_ != 0)  // 0 / normal
        return soft_extended::from_bits(
            static_cast<std::uint16_t>((a.sign_exponent_ ^ b.sign_exponent_) & 0x8000u), 0);
    return soft_extended::divide_general(a, b);
}

inline soft_extended soft_extended::divide_normal(soft_extended a, soft_extended b) {
    const unsigned sign = (a.sign_exponent_ ^ b.sign_exponent_) & 0x8000u;
    const int exp = (a.sign_exponent_ & 0x7FFF) - (b.sign_exponent_ & 0x7FFF) + 16383;
    // a / b of the significands lies in (1/2, 2): the quotient of a * 2^64
    // has 65 bits (the last one is the rounding bit, the remainder sticky)
    // or 64 (the remainder against b/2 tells above, at or below half).
    const wide dividend = wide{a.significand_} << 64;
    const wide q = dividend / b.significand_;
    const auto r = static_cast<std::uint64_t>(dividend - q * b.significand_);
    if ((q >> 64) != 0)
        return round(sign, exp, static_cast<std::uint64_t>(q >> 1),
                     (static_cast<std::uint64_t>(q) << 63) | (r != 0 ? 1 : 0));
    const wide twice = wide{r} << 1;
    const std::uint64_t rest = twice > b.significand_    ? (1ull << 63) | 1
                               : twice == b.significand_ ? 1ull << 63
                               : r != 0                  ? 1
                                                         : 0;
    return round(sign, exp - 1, static_cast<std::uint64_t>(q), rest);
}

inline soft_extended::soft_extended(float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    const unsigned field = bits >> 23 & 0xFFu;
    if (field - 1u >= 0xFEu) {  // zero, subnormal, infinite or NaN
        *this = (bits << 1) == 0 ? from_bits(static_cast<std::uint16_t>(bits >> 16), 0)
                                 : from_ieee_general(bits, 24);
        return;
    }
    significand_ = (std::uint64_t{bits & 0x7FFFFFu} | 0x800000u) << 40;
    sign_exponent_ = static_cast<std::uint16_t>((bits >> 16 & 0x8000u) | (field - 127 + 16383));
}

inline soft_extended::soft_extended(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const auto field = static_cast<unsigned>(bits >> 52 & 0x7FFu);
    if (field - 1u >= 0x7FEu) {  // zero, subnormal, infinite or NaN
        *this = (bits << 1) == 0 ? from_bits(static_cast<std::uint16_t>(bits >> 48), 0)
                                 : from_ieee_general(bits, 53);
        return;
    }
    significand_ = ((bits & 0xFFFFFFFFFFFFFull) | 1ull << 52) << 11;
    sign_exponent_ =
        static_cast<std::uint16_t>((bits >> 48 & 0x8000u) | (field - 1023 + 16383));
}

// Rounds to a normal float in one step (a carry out of the significand
// moves into the exponent field, and out of the largest into infinity).
inline soft_extended::operator float() const {
    const unsigned field = sign_exponent_ & 0x7FFFu;
    if (field - (16383u - 126u) >= 254u || (significand_ >> 63) == 0) {
        if (field == 0 && significand_ == 0)
            return std::bit_cast<float>(std::uint32_t{sign_exponent_ & 0x8000u} << 16);
        return std::bit_cast<float>(static_cast<std::uint32_t>(to_ieee_general(*this, 24)));
    }
    std::uint64_t m = significand_ >> 40;
    const std::uint64_t rest = significand_ & ((1ull << 40) - 1);
    m += static_cast<std::uint64_t>(rest > 1ull << 39) |
         (static_cast<std::uint64_t>(rest == 1ull << 39) & m);
    const std::uint64_t bits = (std::uint64_t{field - 16383u + 126u} << 23) + m;
    return std::bit_cast<float>(static_cast<std::uint32_t>(bits | (sign_exponent_ & 0x8000u) << 16));
}

inline soft_extended::operator double() const {
    const unsigned field = sign_exponent_ & 0x7FFFu;
    if (field - (16383u - 1022u) >= 2046u || (significand_ >> 63) == 0) {
        if (field == 0 && significand_ == 0)
            return std::bit_cast<double>(std::uint64_t{sign_exponent_ & 0x8000u} << 48);
        return std::bit_cast<double>(to_ieee_general(*this, 53));
    }
    std::uint64_t m = significand_ >> 11;
    const std::uint64_t rest = significand_ & ((1ull << 11) - 1);
    m += static_cast<std::uint64_t>(rest > 1ull << 10) |
         (static_cast<std::uint64_t>(rest == 1ull << 10) & m);
    const std::uint64_t bits = (std::uint64_t{field - 16383u + 1022u} << 52) + m;
    return std::bit_cast<double>(bits | std::uint64_t{sign_exponent_ & 0x8000u} << 48);
}

// The square root, rounded once to the 64-bit significand; sqrt(-0) is -0,
// and any other negative operand gives the default NaN.
soft_extended soft_sqrt(soft_extended value);

// The magnitude: clears the sign bit (of NaNs too, without quieting them).
constexpr soft_extended soft_fabs(soft_extended value) {
    return soft_extended::from_bits(static_cast<std::uint16_t>(value.sign_exponent() & 0x7FFFu),
                                    value.significand());
}

#endif
