// Arithmetic of the software extended type: operands are taken apart into
// sign, exponent and a normalised 64-bit significand, the exact result (or
// enough of it, with a sticky bit) is formed in 128-bit integers and rounded
// once by round_pack().  The NaN and invalid-operation rules are the x87
// unit's (Intel 64 and IA-32 Architectures Software Developer's Manual,
// vol. 1, 4.8.3.5 and 8.5.1, checked against the unit itself by the
// differential tests).
#include "numlib/soft_extended.h"

#include <bit>
#include <climits>
#include <cstring>
#include <utility>

namespace {

// (__extension__: the 128-bit integers of GCC and Clang are outside ISO C++.)
__extension__ typedef unsigned __int128 u128;

constexpr int BIAS = 16383;
constexpr int MAX_FIELD = 0x7FFF;
constexpr std::uint64_t TOP = 1ull << 63;
constexpr std::uint64_t QUIET = 1ull << 62;
// Exponent given to zeros, below that of any non-zero value, so that
// magnitudes order by (exp, sig).
constexpr int ZERO_EXP = INT_MIN / 4;

enum class kind { zero, finite, infinite, nan, invalid };

// An operand taken apart.  Finite values are normalised (top bit of sig
// set), subnormals with an exponent below 1:
// value = sig * 2^(exp - BIAS - 63).
struct parts {
    bool sign;
    int exp;
    std::uint64_t sig;
    kind k;
};

parts unpack(soft_extended v) {
    const bool sign = (v.sign_exponent() & 0x8000u) != 0;
    const int field = v.sign_exponent() & MAX_FIELD;
    const std::uint64_t sig = v.significand();
    if (field == MAX_FIELD) {
        if ((sig & TOP) == 0) return {sign, field, sig, kind::invalid};
        return {sign, field, sig, (sig << 1) == 0 ? kind::infinite : kind::nan};
    }
    if (field == 0) {
        if (sig == 0) return {sign, ZERO_EXP, 0, kind::zero};
        // Subnormal (or the 8087's pseudo-denormal, top bit set): the
        // exponent of both is that of the smallest normal.
        const int lead = std::countl_zero(sig);
        return {sign, 1 - lead, sig << lead, kind::finite};
    }
    return {sign, field, sig, (sig & TOP) != 0 ? kind::finite : kind::invalid};
}

soft_extended make(bool sign, int field, std::uint64_t sig) {
    return soft_extended::from_bits(static_cast<std::uint16_t>((sign ? 0x8000u : 0u) | field), sig);
}

soft_extended zero(bool sign) { return make(sign, 0, 0); }
soft_extended infinity(bool sign) { return make(sign, MAX_FIELD, TOP); }
// "Real indefinite", the unit's answer to an invalid operation.
soft_extended indefinite() { return make(true, MAX_FIELD, TOP | QUIET); }

bool is_nan(const parts& p) { return p.k == kind::nan; }

// The result of an operation with at least one NaN operand: the NaN (of two,
// the one with the larger significand, the positive one on a tie), quieted.
soft_extended propagate(const parts& a, const parts& b) {
    const parts* pick = &a;
    if (is_nan(a) && is_nan(b)) {
        if (b.sig > a.sig || (b.sig == a.sig && a.sign)) pick = &b;
    } else if (is_nan(b)) {
        pick = &b;
    }
    return make(pick->sign, MAX_FIELD, pick->sig | QUIET);
}

int leading_zeros(u128 v) {
    const auto hi = static_cast<std::uint64_t>(v >> 64);
    return hi != 0 ? std::countl_zero(hi) : 64 + std::countl_zero(static_cast<std::uint64_t>(v));
}

// v / 2^s rounded to nearest, ties to even, for s >= 2.
u128 shift_round(u128 v, int s) {
    if (s > 128) return 0;  // v < 2^128 <= half of 2^s
    const u128 half = u128{1} << (s - 1);
    const u128 q = s == 128 ? 0 : v >> s;
    const u128 rest = s == 128 ? v : v & ((half << 1) - 1);
    return rest > half || (rest == half && (q & 1) != 0) ? q + 1 : q;
}

// v / 2^s with the bits shifted out folded into bit 0 ("sticky").
u128 shift_jam(u128 v, int s) {
    if (s == 0) return v;
    if (s >= 128) return v != 0 ? 1 : 0;
    return (v >> s) | ((v << (128 - s)) != 0 ? 1 : 0);
}

// Rounds sig * 2^(exp - BIAS - 127), sig != 0, to the extended format.  Bit
// 0 of sig may be a sticky bit standing for non-zero bits below it.
soft_extended round_pack(bool sign, int exp, u128 sig) {
    const int lead = leading_zeros(sig);
    sig <<= lead;
    exp -= lead;
    int shift = 64;
    if (exp < 1) {  // below the normal range: round at the subnormal precision
        shift += 1 - exp;
        exp = 1;
    }
    u128 q = shift_round(sig, shift);
    if ((q >> 64) != 0) {  // rounded up to 2^64
        q >>= 1;
        ++exp;
    }
    if (exp >= MAX_FIELD) return infinity(sign);
    const auto m = static_cast<std::uint64_t>(q);
    return make(sign, (m & TOP) != 0 ? exp : 0, m);
}

// The exact value of a finite operand, re-encoded (as the unit stores it).
soft_extended repack(const parts& p) {
    return p.k == kind::zero ? zero(p.sign) : round_pack(p.sign, p.exp, u128{p.sig} << 64);
}

soft_extended add_finite(parts a, parts b) {
    if (b.exp > a.exp || (b.exp == a.exp && b.sig > a.sig)) std::swap(a, b);
    // 62 bits below each significand leave room for the carry above and
    // for exact rounding below (b's shifted-out bits kept as sticky).
    const u128 x = u128{a.sig} << 62;
    const u128 y = shift_jam(u128{b.sig} << 62, a.exp - b.exp);
    if (a.sign == b.sign) return round_pack(a.sign, a.exp + 2, x + y);
    if (x == y) return zero(false);  // exact cancellation is +0 when rounding to nearest
    return round_pack(a.sign, a.exp + 2, x - y);
}

// a + b with b's sign flipped first when subtract is set.
soft_extended add_any(soft_extended av, soft_extended bv, bool subtract) {
    const parts a = unpack(av);
    parts b = unpack(bv);
    if (a.k == kind::invalid || b.k == kind::invalid) return indefinite();
    if (is_nan(a) || is_nan(b)) return propagate(a, b);
    b.sign = b.sign != subtract;
    if (a.k == kind::infinite || b.k == kind::infinite) {
        if (a.k == kind::infinite && b.k == kind::infinite && a.sign != b.sign) return indefinite();
        return infinity(a.k == kind::infinite ? a.sign : b.sign);
    }
    if (a.k == kind::zero && b.k == kind::zero) return zero(a.sign && b.sign);
    if (a.k == kind::zero) return repack(b);
    if (b.k == kind::zero) return repack(a);
    return add_finite(a, b);
}

// Rounding information of a remainder r of a division by d, placed below a
// quotient's last bit: above half, half, below half, or nothing.
std::uint64_t remainder_bits(std::uint64_t r, std::uint64_t d) {
    const u128 twice = u128{r} << 1;
    if (twice > d) return TOP | 1;
    if (twice == d) return TOP;
    return r != 0 ? 1 : 0;
}

// IEEE binary format of `precision` significand bits (hidden bit counted)
// and the given exponent bias; max_field is its all-ones exponent.
struct ieee_format {
    int precision;
    int bias;
    int max_field;
};
constexpr ieee_format FLOAT_FORMAT{24, 127, 255};
constexpr ieee_format DOUBLE_FORMAT{53, 1023, 2047};

ieee_format format_of(int precision) { return precision == 24 ? FLOAT_FORMAT : DOUBLE_FORMAT; }

// The extended value of an IEEE encoding (exact).
soft_extended from_ieee(std::uint64_t bits, ieee_format f) {
    const int frac_bits = f.precision - 1;
    const int width = frac_bits + (f.max_field == 255 ? 8 : 11) + 1;
    const bool sign = ((bits >> (width - 1)) & 1) != 0;
    const int field = static_cast<int>((bits >> frac_bits) & static_cast<std::uint64_t>(f.max_field));
    const std::uint64_t frac = bits & ((1ull << frac_bits) - 1);
    const int align = 64 - f.precision;  // moves the hidden bit to bit 63
    if (field == f.max_field) {
        if (frac == 0) return infinity(sign);
        return make(sign, MAX_FIELD, TOP | QUIET | (frac << align));
    }
    if (field == 0) {
        if (frac == 0) return zero(sign);
        const int lead = std::countl_zero(frac);
        return make(sign, 1 - f.bias + BIAS + align - lead, frac << lead);
    }
    return make(sign, field - f.bias + BIAS, (frac | (1ull << frac_bits)) << align);
}

// The IEEE encoding of v, rounded to nearest even.
std::uint64_t to_ieee(soft_extended v, ieee_format f) {
    const parts p = unpack(v);
    const int frac_bits = f.precision - 1;
    const int width = frac_bits + (f.max_field == 255 ? 8 : 11) + 1;
    const std::uint64_t sign = p.sign ? 1ull << (width - 1) : 0;
    const std::uint64_t inf_bits = static_cast<std::uint64_t>(f.max_field) << frac_bits;
    const std::uint64_t quiet = 1ull << (frac_bits - 1);
    switch (p.k) {
    case kind::zero: return sign;
    case kind::infinite: return sign | inf_bits;
    case kind::invalid: return (1ull << (width - 1)) | inf_bits | quiet;
    case kind::nan:
        return sign | inf_bits | quiet | ((p.sig >> (64 - f.precision)) & ((1ull << frac_bits) - 1));
    case kind::finite: break;
    }
    int field = p.exp - BIAS + f.bias;
    if (field >= f.max_field) return sign | inf_bits;
    int shift = 64 + 64 - f.precision;
    if (field < 1) {
        shift += 1 - field;
        field = 1;
    }
    const auto q = static_cast<std::uint64_t>(shift_round(u128{p.sig} << 64, shift));
    // The hidden bit of q, or its carry, moves the exponent field on.
    const std::uint64_t bits = (static_cast<std::uint64_t>(field - 1) << frac_bits) + q;
    if ((bits >> frac_bits) >= static_cast<std::uint64_t>(f.max_field)) return sign | inf_bits;
    return sign | bits;
}

// The quotient of two finite non-zero operands.
soft_extended divide_finite(bool sign, const parts& a, const parts& b) {
    // a.sig / b.sig lies in (1/2, 2): the quotient of a.sig * 2^64 has 65
    // bits or 64; for 64 the remainder supplies the rounding bit too.
    const u128 dividend = u128{a.sig} << 64;
    const u128 q = dividend / b.sig;
    const auto r = static_cast<std::uint64_t>(dividend % b.sig);
    if ((q >> 64) != 0) return round_pack(sign, a.exp - b.exp + BIAS, (q << 63) | (r != 0 ? 1 : 0));
    return round_pack(sign, a.exp - b.exp + BIAS - 1, (q << 64) | remainder_bits(r, b.sig));
}

// floor(sqrt(n)) and n - floor(sqrt(n))^2, bit by bit (n < 2^128).
std::pair<std::uint64_t, u128> integer_sqrt(u128 n) {
    u128 root = 0;
    u128 bit = u128{1} << 126;
    while (bit > n) bit >>= 2;
    while (bit != 0) {
        if (n >= root + bit) {
            n -= root + bit;
            root = (root >> 1) + bit;
        } else {
            root >>= 1;
        }
        bit >>= 2;
    }
    return {static_cast<std::uint64_t>(root), n};
}

}  // namespace

soft_extended soft_extended::add_general(soft_extended a, soft_extended b, unsigned negate_b) {
    return add_any(a, b, negate_b != 0);
}

soft_extended soft_extended::round_general(unsigned sign, int exp, wide sig) {
    return round_pack(sign != 0, exp, sig);
}

soft_extended soft_extended::from_ieee_general(std::uint64_t bits, int precision) {
    return from_ieee(bits, format_of(precision));
}

std::uint64_t soft_extended::to_ieee_general(soft_extended v, int precision) {
    return to_ieee(v, format_of(precision));
}

soft_extended soft_extended::multiply_general(soft_extended av, soft_extended bv) {
    const parts a = unpack(av);
    const parts b = unpack(bv);
    if (a.k == kind::invalid || b.k == kind::invalid) return indefinite();
    if (is_nan(a) || is_nan(b)) return propagate(a, b);
    const bool sign = a.sign != b.sign;
    if (a.k == kind::infinite || b.k == kind::infinite) {
        if (a.k == kind::zero || b.k == kind::zero) return indefinite();
        return infinity(sign);
    }
    if (a.k == kind::zero || b.k == kind::zero) return zero(sign);
    return round_pack(sign, a.exp + b.exp - BIAS + 1, u128{a.sig} * b.sig);
}

soft_extended soft_extended::divide_general(soft_extended av, soft_extended bv) {
    const parts a = unpack(av);
    const parts b = unpack(bv);
    if (a.k == kind::invalid || b.k == kind::invalid) return indefinite();
    if (is_nan(a) || is_nan(b)) return propagate(a, b);
    const bool sign = a.sign != b.sign;
    if (a.k == kind::infinite) return b.k == kind::infinite ? indefinite() : infinity(sign);
    if (b.k == kind::infinite) return zero(sign);
    if (b.k == kind::zero) return a.k == kind::zero ? indefinite() : infinity(sign);
    if (a.k == kind::zero) return zero(sign);
    return divide_finite(sign, a, b);
}

soft_extended soft_sqrt(soft_extended v) {
    const parts p = unpack(v);
    if (p.k == kind::invalid) return indefinite();
    if (is_nan(p)) return propagate(p, p);
    if (p.k == kind::zero) return v;
    if (p.sign) return indefinite();
    if (p.k == kind::infinite) return v;
    // value = sig * 2^k; take n = sig * 2^s with k - s even and n in
    // [2^126, 2^128), so that sqrt(n) has 64 bits.
    const int k = p.exp - BIAS - 63;
    const int s = ((k - 64) % 2 == 0) ? 64 : 63;
    const auto [root, rest] = integer_sqrt(u128{p.sig} << s);
    // No square root of an integer lies half way between two integers, so
    // the remainder says above or below half: rest > root means above.
    const std::uint64_t below = rest == 0 ? 0 : (rest > root ? TOP | 1 : 1);
    return round_pack(false, (k - s) / 2 + BIAS + 63, (u128{root} << 64) | below);
}

std::partial_ordering soft_extended::compare_general(soft_extended av, soft_extended bv) {
    const parts a = unpack(av);
    const parts b = unpack(bv);
    if (a.k == kind::nan || a.k == kind::invalid || b.k == kind::nan || b.k == kind::invalid)
        return std::partial_ordering::unordered;
    if (a.k == kind::zero && b.k == kind::zero) return std::partial_ordering::equivalent;
    if (a.sign != b.sign) return a.sign ? std::partial_ordering::less : std::partial_ordering::greater;
    // Same sign: order the magnitudes (zeros and infinities have exponents
    // below and above every finite one).
    std::partial_ordering magnitude = std::partial_ordering::equivalent;
    if (a.exp != b.exp)
        magnitude = a.exp < b.exp ? std::partial_ordering::less : std::partial_ordering::greater;
    else if (a.sig != b.sig)
        magnitude = a.sig < b.sig ? std::partial_ordering::less : std::partial_ordering::greater;
    return a.sign ? 0 <=> magnitude : magnitude;
}
