#include "numlib/tests/extended_operands.h"

#include <algorithm>
#include <bit>

namespace {

constexpr int BIAS = 16383;
constexpr int MAX_FIELD = 0x7FFF;
constexpr std::uint64_t TOP = 1ull << 63;
constexpr std::uint64_t QUIET = 1ull << 62;

extended_bits make(bool sign, int field, std::uint64_t significand) {
    return {significand, static_cast<std::uint16_t>((sign ? 0x8000 : 0) | field)};
}

int clamp_field(int field) { return std::clamp(field, 1, MAX_FIELD - 1); }

}  // namespace

operand_source::operand_source(std::uint64_t seed) {
    // splitmix64 spreads the seed over the state.
    for (std::uint64_t& word : state_) {
        seed += 0x9E3779B97F4A7C15ull;
        std::uint64_t z = seed;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        word = z ^ (z >> 31);
    }
}

std::uint64_t operand_source::bits() {
    const std::uint64_t result = std::rotl(state_[1] * 5, 7) * 9;
    const std::uint64_t t = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = std::rotl(state_[3], 45);
    return result;
}

// A normalised significand (top bit set).
std::uint64_t operand_source::significand() {
    const unsigned choice = bits() % 100;
    const std::uint64_t r = bits();
    const int k = static_cast<int>(bits() % 64);
    if (choice < 40) return TOP | r;
    if (choice < 60) return TOP | (r & ~(~0ull >> k));              // few significant bits
    if (choice < 72) return ~0ull << k | (r & ((1ull << k) >> 1));  // a run of ones
    if (choice < 82) return TOP | (r & ~0ull << 40);                // a float's
    if (choice < 92) return TOP | (r & ~0ull << 11);                // a double's
    static constexpr std::uint64_t edges[] = {TOP, TOP | 1, ~0ull, ~0ull - 1, TOP | (1ull << 39),
                                              TOP | (1ull << 10)};
    return edges[r % 6];
}

extended_bits operand_source::any() {
    const unsigned choice = bits() % 100;
    const bool sign = (bits() & 1) != 0;
    const std::uint64_t r = bits();
    if (choice < 30) return make(sign, static_cast<int>(1 + bits() % (MAX_FIELD - 1)), significand());
    if (choice < 50) return make(sign, BIAS - 64 + static_cast<int>(bits() % 129), significand());
    if (choice < 62) {
        const int edge = static_cast<int>(bits() % 80);
        return make(sign, (r & 1) != 0 ? 1 + edge : MAX_FIELD - 1 - edge, significand());
    }
    if (choice < 72) {
        const std::uint64_t sub = significand() >> (1 + bits() % 63);
        return make(sign, 0, sub != 0 ? sub : 1);
    }
    if (choice < 77) return make(sign, 0, 0);
    if (choice < 82) return make(sign, MAX_FIELD, TOP);
    if (choice < 90) return make(sign, MAX_FIELD, TOP | QUIET | (r % 3 == 0 ? 0 : r));
    if (choice < 92) {  // the 8087's pseudo encodings: top bit not matching the exponent
        switch (bits() % 3) {
        case 0: return make(sign, static_cast<int>(1 + bits() % (MAX_FIELD - 1)), r & ~TOP);
        case 1: return make(sign, MAX_FIELD, r & ~TOP);
        default: return make(sign, 0, r | TOP);
        }
    }
    const std::uint64_t payload = (r & (QUIET - 1)) >> (bits() % 62);
    return make(sign, MAX_FIELD, TOP | (payload != 0 ? payload : 1));  // signalling
}

extended_bits operand_source::partner(extended_bits first) {
    const unsigned choice = bits() % 100;
    const bool sign = (bits() & 1) != 0;
    const int field = first.sign_exponent & MAX_FIELD;
    if (choice < 40 || field == 0 || field == MAX_FIELD) {
        if (choice < 8) return make(!(first.sign_exponent & 0x8000), field, first.significand);
        if (choice < 12) return first;
        return any();
    }
    const int delta = static_cast<int>(bits() % 141) - 70;
    const int small = static_cast<int>(bits() % 9) - 4;
    if (choice < 55) return make(sign, clamp_field(field + small), TOP | (first.significand + (bits() % 7) - 3));
    if (choice < 75) return make(sign, clamp_field(field + (bits() % 2 ? small : delta)), significand());
    if (choice < 85) return make(sign, clamp_field(BIAS - field + delta), significand());  // product near 1
    switch (bits() % 4) {  // results at the edges of the range
    case 0: return make(sign, clamp_field(BIAS - field + 1 + delta / 2), significand());
    case 1: return make(sign, clamp_field(MAX_FIELD + BIAS - field + delta / 2), significand());
    case 2: return make(sign, clamp_field(field + BIAS + delta / 2), significand());
    default: return make(sign, clamp_field(field + BIAS - MAX_FIELD + delta / 2), significand());
    }
}

extended_bits operand_source::near_boundary(int precision, int bias) {
    if (bits() % 4 == 0) return any();
    const bool sign = (bits() & 1) != 0;
    const int drop = 64 - precision;  // significand bits below the format's last one
    const std::uint64_t half = 1ull << (drop - 1);
    std::uint64_t sig = significand() & ~((half << 1) - 1);
    switch (bits() % 5) {
    case 0: sig |= half; break;
    case 1: sig |= half + 1; break;
    case 2: sig |= half - 1; break;
    case 3: sig |= bits() & ((half << 1) - 1); break;
    default: break;
    }
    if ((sig & TOP) == 0) sig |= TOP;
    const int top = BIAS + bias;  // the format's overflow threshold 2^(bias + 1)
    const int bottom = BIAS - bias + 1;
    int field;
    switch (bits() % 3) {
    case 0: field = top - 3 + static_cast<int>(bits() % 6); break;
    case 1: field = bottom - precision - 3 + static_cast<int>(bits() % (precision + 6)); break;
    default: field = bottom + static_cast<int>(bits() % (top - bottom)); break;
    }
    return make(sign, field, sig);
}

std::uint32_t operand_source::float_bits() {
    const std::uint32_t r = static_cast<std::uint32_t>(bits());
    switch (bits() % 7) {
    case 0: return (r & 0x80000000u) | 0x7F800000u | (r & 0x007FFFFFu);  // NaN or infinity
    case 1: return r & 0x807FFFFFu;                                        // subnormal or zero
    case 2: return (r & 0x80000000u) | 0x7F800000u;                        // infinity
    case 3: return (r & 0x80000000u) | (r & 0x3u);                         // zero or tiny
    default: return r;
    }
}

std::uint64_t operand_source::double_bits() {
    const std::uint64_t r = bits();
    const std::uint64_t sign = r & TOP;
    switch (bits() % 7) {
    case 0: return sign | 0x7FF0000000000000ull | (r & 0x000FFFFFFFFFFFFFull);
    case 1: return r & 0x800FFFFFFFFFFFFFull;
    case 2: return sign | 0x7FF0000000000000ull;
    case 3: return sign | (r & 0x3u);
    default: return r;
    }
}

std::int64_t operand_source::integer() {
    const std::uint64_t r = bits();
    switch (bits() % 8) {
    case 0: return static_cast<std::int64_t>(TOP);  // the most negative
    case 1: return static_cast<std::int64_t>(bits() % 5) - 2;
    default: {
        std::uint64_t v = r >> (bits() % 64);
        if ((bits() & 1) != 0) v = 0 - v;  // negative, without signed overflow
        return static_cast<std::int64_t>(v);
    }
    }
}
