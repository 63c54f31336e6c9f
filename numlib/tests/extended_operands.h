// Random operands for comparing the software extended type with the x87
// unit: bit patterns of every class (zeros, subnormals, normals over the
// whole exponent range, infinities, quiet and signalling NaNs, and a few of
// the 8087's pseudo encodings), weighted
// towards the cases where rounding, cancellation, overflow and underflow
// decide the result.
#ifndef NUMLIB_TESTS_EXTENDED_OPERANDS_H
#define NUMLIB_TESTS_EXTENDED_OPERANDS_H

#include <cstdint>

// An extended value as its two fields (the x87 layout).
struct extended_bits {
    std::uint64_t significand = 0;
    std::uint16_t sign_exponent = 0;
};

class operand_source {
public:
    // The same seed gives the same sequence on every platform.
    explicit operand_source(std::uint64_t seed);

    // Next raw 64 random bits (xoshiro256**).
    std::uint64_t bits();

    // An operand of any class.  Normals dominate, spread over the whole
    // exponent range, with significands that are random, short (few
    // significant bits, so that products and sums land on exact halves) or
    // runs of ones next to a rounding boundary.
    extended_bits any();

    // A second operand for `first`: often one whose exponent is within a few
    // steps of first's (cancellation, ties in addition), or whose exponent
    // puts the result of a product or quotient at the edges of the range.
    extended_bits partner(extended_bits first);

    // An operand for a conversion to a format of `precision` significand
    // bits (24 or 53) with exponent bias `bias`: often at or beside one of
    // its rounding boundaries, with an exponent near its overflow and
    // underflow thresholds or inside its subnormal range.
    extended_bits near_boundary(int precision, int bias);

    // Floats, doubles and 64-bit integers of every class, as bit patterns.
    std::uint32_t float_bits();
    std::uint64_t double_bits();
    std::int64_t integer();

private:
    std::uint64_t significand();
    std::uint64_t state_[4];
};

#endif
