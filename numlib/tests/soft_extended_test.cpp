// The software extended type: cases whose bits follow from the x87 rules
// (these hold on every processor), then the random differential comparison
// with the x87 unit where there is one.
#include <cstdint>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "numlib/tests/extended_differential.h"
#include "numlib/soft_extended.h"
#include "testkit/testkit.h"

namespace {

using sx = soft_extended;

sx bits(std::uint16_t sign_exponent, std::uint64_t significand) {
    return sx::from_bits(sign_exponent, significand);
}

// Compares the two fields, printing them in hex on failure.
::testing::AssertionResult same_bits(sx actual, std::uint16_t sign_exponent,
                                     std::uint64_t significand) {
    if (actual.sign_exponent() == sign_exponent && actual.significand() == significand)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << std::hex << "got " << actual.sign_exponent() << ":" << actual.significand()
           << ", expected " << sign_exponent << ":" << significand;
}

std::uint32_t float_bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

std::uint64_t double_bits(double d) {
    std::uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

float float_of(std::uint32_t b) {
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

constexpr std::uint64_t TOP = 1ull << 63;
const sx one = bits(0x3FFF, TOP);
const sx inf = bits(0x7FFF, TOP);
const sx indefinite = bits(0xFFFF, 0xC000000000000000ull);
const sx smallest = bits(0x0000, 1);  // the smallest subnormal

TEST(SoftExtended, InvalidOperationsGiveTheNegativeIndefinite) {
    const sx zero{};
    for (const sx r : {zero / zero, inf - inf, -inf + inf, zero * inf, inf * -zero, inf / -inf,
                       soft_sqrt(-one), soft_sqrt(-inf)})
        EXPECT_TRUE(same_bits(r, 0xFFFF, 0xC000000000000000ull));
    // It prints as -nan once stored as a float or a double.
    EXPECT_EQ(float_bits(static_cast<float>(zero / zero)), 0xFFC00000u);
    EXPECT_EQ(double_bits(static_cast<double>(zero / zero)), 0xFFF8000000000000ull);
}

TEST(SoftExtended, NanOperandsPropagateAsTheUnitDoes) {
    const sx small_payload = bits(0x7FFF, 0xC000000000000001ull);
    const sx large_payload = bits(0xFFFF, 0xC000000000000002ull);
    const sx signalling = bits(0x7FFF, 0x8000000000000005ull);
    // The larger significand wins, whatever the order and the operation.
    EXPECT_TRUE(same_bits(small_payload + large_payload, 0xFFFF, 0xC000000000000002ull));
    EXPECT_TRUE(same_bits(large_payload / small_payload, 0xFFFF, 0xC000000000000002ull));
    // Equal significands: the positive one.
    EXPECT_TRUE(same_bits(-small_payload * small_payload, 0x7FFF, 0xC000000000000001ull));
    EXPECT_TRUE(same_bits(small_payload - -small_payload, 0x7FFF, 0xC000000000000001ull));
    // A signalling NaN is quieted; a quiet one beats it (larger significand).
    EXPECT_TRUE(same_bits(signalling + one, 0x7FFF, 0xC000000000000005ull));
    EXPECT_TRUE(same_bits(signalling * large_payload, 0xFFFF, 0xC000000000000002ull));
    EXPECT_TRUE(same_bits(soft_sqrt(-signalling), 0xFFFF, 0xC000000000000005ull));
    // The subtrahend's NaN keeps its own sign.
    EXPECT_TRUE(same_bits(one - large_payload, 0xFFFF, 0xC000000000000002ull));
    // Sign operations touch only the sign, and do not quiet.
    EXPECT_TRUE(same_bits(-signalling, 0xFFFF, 0x8000000000000005ull));
    EXPECT_TRUE(same_bits(soft_fabs(indefinite), 0x7FFF, 0xC000000000000000ull));
}

TEST(SoftExtended, RoundsToNearestEven) {
    const sx half_ulp = bits(0x3FFF - 64, TOP);  // 2^-64, half an ulp of 1
    EXPECT_TRUE(same_bits(one + half_ulp, 0x3FFF, TOP));  // tie, even stays
    EXPECT_TRUE(same_bits(bits(0x3FFF, TOP | 1) + half_ulp, 0x3FFF, TOP | 2));  // tie, odd goes up
    EXPECT_TRUE(same_bits(one + bits(0x3FFF - 64, TOP | 1), 0x3FFF, TOP | 1));  // above half
    EXPECT_TRUE(same_bits(one - bits(0x3FFF - 65, TOP), 0x3FFF, TOP));  // tie below a power of 2
    EXPECT_TRUE(same_bits(sx(1) / sx(6), 0x3FFC, 0xAAAAAAAAAAAAAAABull));
    EXPECT_TRUE(same_bits(sx(2) / sx(3), 0x3FFE, 0xAAAAAAAAAAAAAAABull));
    EXPECT_TRUE(same_bits(soft_sqrt(sx(2)), 0x3FFF, 0xB504F333F9DE6484ull));
    EXPECT_TRUE(same_bits(soft_sqrt(sx(4)), 0x4000, TOP));
    // (2^64 - 1)^2 = 2^128 - 2^65 + 1 rounds up to 2^128 - 2^64.
    EXPECT_TRUE(same_bits(sx(~0ull) * sx(~0ull), 0x407E, 0xFFFFFFFFFFFFFFFEull));
}

TEST(SoftExtended, SignedZerosAndExactCancellation) {
    const sx zero{};
    const sx x = bits(0x4005, 0xC90FDAA22168C235ull);
    EXPECT_TRUE(same_bits(x - x, 0x0000, 0));
    EXPECT_TRUE(same_bits(-x + x, 0x0000, 0));
    EXPECT_TRUE(same_bits(-zero + -zero, 0x8000, 0));
    EXPECT_TRUE(same_bits(-zero - zero, 0x8000, 0));
    EXPECT_TRUE(same_bits(zero - zero, 0x0000, 0));
    EXPECT_TRUE(same_bits(-one * zero, 0x8000, 0));
    EXPECT_TRUE(same_bits(soft_sqrt(-zero), 0x8000, 0));
    EXPECT_TRUE(same_bits(-one / inf, 0x8000, 0));
    EXPECT_TRUE(same_bits(-one / zero, 0xFFFF, TOP));
}

TEST(SoftExtended, SubnormalsAndTheEdgesOfTheRange) {
    const sx half = bits(0x3FFE, TOP);
    EXPECT_TRUE(same_bits(smallest * half, 0x0000, 0));       // tie to even: zero
    EXPECT_TRUE(same_bits(-smallest * bits(0x3FFE, 0xC000000000000000ull), 0x8000, 1));  // 0.75
    EXPECT_TRUE(same_bits(bits(0x0001, TOP) * half, 0x0000, 1ull << 62));
    EXPECT_TRUE(same_bits(bits(0x0000, ~0ull >> 1) + smallest, 0x0001, TOP));  // into the normals
    EXPECT_TRUE(same_bits(bits(0x0000, 3) / sx(2), 0x0000, 2));  // 1.5 -> 2
    const sx largest = bits(0x7FFE, ~0ull);
    EXPECT_TRUE(same_bits(largest * sx(2), 0x7FFF, TOP));
    EXPECT_TRUE(same_bits(largest + bits(0x7FFE - 64, TOP), 0x7FFF, TOP));  // tie rounds up: inf
    EXPECT_TRUE(same_bits(largest + bits(0x7FFE - 65, TOP), 0x7FFE, ~0ull));
    EXPECT_TRUE(same_bits(-largest / bits(0x3FFE, TOP), 0xFFFF, TOP));
}

TEST(SoftExtended, ConversionsFromFloatDoubleAndIntegers) {
    EXPECT_TRUE(same_bits(sx(1.5f), 0x3FFF, 0xC000000000000000ull));
    EXPECT_TRUE(same_bits(sx(float_of(1)), 0x3F6A, TOP));  // 2^-149
    EXPECT_TRUE(same_bits(sx(float_of(0xFF800000u)), 0xFFFF, TOP));
    EXPECT_TRUE(same_bits(sx(float_of(0x7F800001u)), 0x7FFF, 0xC000010000000000ull));  // quieted
    EXPECT_TRUE(same_bits(sx(-0.0), 0x8000, 0));
    EXPECT_TRUE(same_bits(sx(std::numeric_limits<double>::denorm_min()), 0x3BCD, TOP));
    EXPECT_TRUE(same_bits(sx(0.1), 0x3FFB, 0xCCCCCCCCCCCCD000ull));
    EXPECT_TRUE(same_bits(sx(std::numeric_limits<std::int64_t>::min()), 0xC03E, TOP));
    EXPECT_TRUE(same_bits(sx(std::numeric_limits<std::uint64_t>::max()), 0x403E, ~0ull));
    EXPECT_TRUE(same_bits(sx(-6), 0xC001, 0xC000000000000000ull));
    EXPECT_TRUE(same_bits(sx(0), 0x0000, 0));
}

TEST(SoftExtended, ConversionsToFloatRoundOnce) {
    // 1 + 2^-24 is half way between two floats: even stays; a bit more goes up.
    EXPECT_EQ(float_bits(static_cast<float>(bits(0x3FFF, TOP | 1ull << 39))), 0x3F800000u);
    EXPECT_EQ(float_bits(static_cast<float>(bits(0x3FFF, TOP | 1ull << 39 | 1))), 0x3F800001u);
    // Subnormal floats: 2^-150 is a tie (zero), 0.75 * 2^-148 rounds to 2^-148.
    EXPECT_EQ(float_bits(static_cast<float>(bits(0x3F69, TOP))), 0x00000000u);
    EXPECT_EQ(float_bits(static_cast<float>(bits(0x3F69, TOP | 1))), 0x00000001u);
    EXPECT_EQ(float_bits(static_cast<float>(-bits(0x3F6A, 0xC000000000000000ull))), 0x80000002u);
    // The largest float plus half an ulp overflows; a little less does not.
    EXPECT_EQ(float_bits(static_cast<float>(bits(0x407E, 0xFFFFFF8000000000ull))), 0x7F800000u);
    EXPECT_EQ(float_bits(static_cast<float>(bits(0x407E, 0xFFFFFF7FFFFFFFFFull))), 0x7F7FFFFFu);
    // NaNs keep their sign and the top of their payload, quieted.
    EXPECT_EQ(float_bits(static_cast<float>(bits(0xFFFF, 0x8000010000000000ull))), 0xFFC00001u);
    EXPECT_EQ(double_bits(static_cast<double>(bits(0x7FFF, 0x8000000000000800ull))),
              0x7FF8000000000001ull);
    // Doubles: the subnormal range and a tie.
    EXPECT_EQ(double_bits(static_cast<double>(bits(0x3BCD, TOP))), 1ull);
    EXPECT_EQ(double_bits(static_cast<double>(bits(0x3BCC, TOP))), 0ull);
    EXPECT_EQ(double_bits(static_cast<double>(bits(0x3FFF, TOP | 1ull << 10))), 0x3FF0000000000000ull);
    EXPECT_EQ(double_bits(static_cast<double>(bits(0x3FFF, TOP | 3ull << 10))), 0x3FF0000000000002ull);
    EXPECT_EQ(double_bits(static_cast<double>(bits(0x7FFE, TOP))), 0x7FF0000000000000ull);
}

TEST(SoftExtended, ComparisonsAreIeeeOnes) {
    const sx nan = bits(0x7FFF, 0xC000000000000000ull);
    const sx zero{};
    EXPECT_FALSE(nan < one || nan > one || nan <= one || nan >= one || nan == nan);
    EXPECT_TRUE(nan != nan);
    EXPECT_TRUE(zero == -zero && zero <= -zero && !(zero < -zero));
    EXPECT_TRUE(-inf < -one && -one < -smallest && -smallest < zero && zero < smallest);
    EXPECT_TRUE(smallest < bits(0x0001, TOP) && one < bits(0x3FFF, TOP | 1) && one < inf);
    EXPECT_TRUE(sx(-2) < sx(-1.5) && sx(0.5f) == sx(0.5));
    // A pseudo-denormal reads as the normal of the same significand.
    EXPECT_TRUE(bits(0x0000, TOP) == bits(0x0001, TOP));
    // An unnormal is an invalid operand: unordered, and arithmetic is invalid.
    EXPECT_FALSE(bits(0x3FFF, 1ull << 62) == bits(0x3FFF, 1ull << 62));
    EXPECT_TRUE(same_bits(bits(0x3FFF, 1ull << 62) + one, 0xFFFF, 0xC000000000000000ull));
}

// Few million random operands per run against the x87 unit (x86-64 only);
// a separate program runs hundreds of millions.
TEST(SoftExtended, MatchesTheX87UnitOnRandomOperands) {
    if (!hardware_extended_available())
        GTEST_SKIP() << testkit::unavailable_here << "no x87 unit to compare with";
    for (const extended_op op : all_extended_ops()) {
        const differential_result r = run_differential(op, 300000, 20240613);
        EXPECT_EQ(r.differences, 0u) << op_name(op);
        for (const std::string& example : r.examples) ADD_FAILURE() << example;
    }
}

}  // namespace
