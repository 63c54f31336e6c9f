// The evaluation type's conventions that every build must share: the
// float operations' NaN rule and the constants formed in xf.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "numlib/extended.h"

namespace {

std::uint32_t bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

float from_bits(std::uint32_t b) {
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

TEST(FloatOperations, OfTwoNansTheFirstComesOutQuieted) {
    const float plus = from_bits(0x7FC00000u), minus = from_bits(0xFFC00000u);
    const float payload = from_bits(0x7F800123u);  // signalling, payload 0x123
    for (auto op : {add_floats, subtract_floats, multiply_floats, divide_floats}) {
        EXPECT_EQ(bits(op(plus, minus)), 0x7FC00000u);
        EXPECT_EQ(bits(op(minus, plus)), 0xFFC00000u);
        EXPECT_EQ(bits(op(payload, minus)), 0x7FC00123u);
        EXPECT_EQ(bits(op(minus, payload)), 0xFFC00000u);
        // One NaN: that one, whichever side.
        EXPECT_EQ(bits(op(2.0f, minus)), 0xFFC00000u);
        EXPECT_EQ(bits(op(payload, 2.0f)), 0x7FC00123u);
    }
    // Invalid operations give the negative default NaN.
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(bits(add_floats(inf, -inf)), 0xFFC00000u);
    EXPECT_EQ(bits(subtract_floats(inf, inf)), 0xFFC00000u);
    EXPECT_EQ(bits(multiply_floats(0.0f, inf)), 0xFFC00000u);
    EXPECT_EQ(bits(divide_floats(0.0f, -0.0f)), 0xFFC00000u);
}

TEST(FloatOperations, RoundOnceToFloat) {
    // 1 + 2^-24 is a tie between floats (even stays), 1 + 3 * 2^-25 is not.
    EXPECT_EQ(add_floats(1.0f, 0x1p-24f), 1.0f);
    EXPECT_EQ(add_floats(1.0f, 0x1.8p-24f), 0x1.000002p0f);
    EXPECT_EQ(subtract_floats(0x1p-126f, 0x1.000002p-126f), -0x1p-149f);  // subnormal, exact
    EXPECT_EQ(multiply_floats(0x1p-100f, 0x1p-50f), 0.0f);  // 2^-150: a tie, to zero
    EXPECT_EQ(divide_floats(1.0f, 3.0f), 1.0f / 3.0f);
    EXPECT_EQ(bits(multiply_floats(-0.0f, 5.0f)), 0x80000000u);
    EXPECT_EQ(divide_floats(1.0f, 0.0f), std::numeric_limits<float>::infinity());
}

TEST(ExtendedConstants, SixthAndHalfAreTheX87Ones) {
    // 1/6 rounded to 64 bits is 0x3FFC:AAAAAAAAAAAAAAAB: its float and double
    // roundings and a product show it without looking at the bits.
    const xf sixth = xf(1) / xf(6);
    EXPECT_EQ(static_cast<double>(sixth), 1.0 / 6.0);
    // Its distance from the double 1/6 is 683 * 2^-66 (exact in xf).
    EXPECT_EQ(static_cast<double>(sixth - xf(1.0 / 6.0)), 0x1.558p-57);
    EXPECT_EQ(static_cast<float>(xf(0.5) * xf(3)), 1.5f);
    EXPECT_EQ(static_cast<float>(xf_sqrt(xf(2.25f))), 1.5f);
    EXPECT_EQ(static_cast<float>(xf_fabs(xf(-2))), 2.0f);
}

}  // namespace
