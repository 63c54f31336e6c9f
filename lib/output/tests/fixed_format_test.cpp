// format_fixed against the C library's own "%f": every exponent with many
// significands, the rounding ties, the carries and the edge classes.
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "output/fixed_format.h"

namespace {

std::string fixed(float value) {
    char text[FIXED_TEXT_MAX];
    return std::string(text, format_fixed(text, value));
}

std::string printf_fixed(float value) {
    char text[64];
    const int length = std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
    return std::string(text, static_cast<size_t>(length));
}

float from_bits(uint32_t bits) { return std::bit_cast<float>(bits); }

// Counts (and shows the first few) patterns where the two disagree.
struct comparison {
    long compared = 0;
    long differing = 0;
    void check(float value) {
        ++compared;
        const std::string expected = printf_fixed(value);
        const std::string got = fixed(value);
        if (got != expected && ++differing <= 10)
            ADD_FAILURE() << std::hex << std::bit_cast<uint32_t>(value) << ": printf " << expected
                          << ", format_fixed " << got;
    }
};

TEST(FixedFormat, WrittenTextOfKnownValues) {
    EXPECT_EQ(fixed(0.0f), "0.000000");
    EXPECT_EQ(fixed(-0.0f), "-0.000000");
    EXPECT_EQ(fixed(-1e-9f), "-0.000000");
    EXPECT_EQ(fixed(1.5f), "1.500000");
    EXPECT_EQ(fixed(-2.25f), "-2.250000");
    EXPECT_EQ(fixed(0.1f), "0.100000");
    EXPECT_EQ(fixed(1.0f / 128), "0.007812");   // 7812.5 millionths: to even, down
    EXPECT_EQ(fixed(3.0f / 128), "0.023438");   // 23437.5: to even, up
    EXPECT_EQ(fixed(0.99999994f), "1.000000");  // carry into the integer part
    EXPECT_EQ(fixed(16777216.0f), "16777216.000000");
    EXPECT_EQ(fixed(FLT_MAX), "340282346638528859811704183484516925440.000000");
    EXPECT_EQ(fixed(-FLT_MAX).size(), FIXED_TEXT_MAX);
    EXPECT_EQ(fixed(FLT_TRUE_MIN), "0.000000");
    EXPECT_EQ(fixed(std::numeric_limits<float>::infinity()), "inf");
    EXPECT_EQ(fixed(-std::numeric_limits<float>::infinity()), "-inf");
    EXPECT_EQ(fixed(from_bits(0x7fc00000)), "nan");
    EXPECT_EQ(fixed(from_bits(0xffc00000)), "-nan");
    EXPECT_EQ(fixed(from_bits(0x7f800001)), "nan");  // signalling, lowest payload
    EXPECT_EQ(fixed(from_bits(0xffffffff)), "-nan");
}

TEST(FixedFormat, EveryExponentBothSignsManySignificands) {
    std::mt19937 rng(20240607);
    comparison c;
    for (uint32_t sign = 0; sign < 2; ++sign) {
        for (uint32_t biased = 0; biased < 256; ++biased) {
            const uint32_t head = (sign << 31) | (biased << 23);
            for (uint32_t fraction : {0u, 1u, 2u, 3u, 0x400000u, 0x7ffffeu, 0x7fffffu})
                c.check(from_bits(head | fraction));
            for (int k = 0; k < 6000; ++k) c.check(from_bits(head | (rng() & 0x7fffff)));
        }
    }
    EXPECT_EQ(c.differing, 0) << "of " << c.compared;
}

TEST(FixedFormat, RoundingTiesAndTheirNeighbours) {
    // x * 10^6 is exactly halfway between two integers just when x is an
    // odd multiple of 1/128; the floats beside each tie must not be taken
    // for one.  All ties up to 2^12, then a sample of the larger ones up to
    // the last (2^17 - 1/128).
    std::mt19937 rng(11);
    comparison c;
    for (uint32_t k = 0; k < (1u << 19); ++k) {
        const uint32_t odd = k < (1u << 18) ? 2 * k + 1 : (rng() & 0xffffff) | 1;
        const float tie = static_cast<float>(odd) / 128.0f;
        for (float value : {tie, std::nextafter(tie, 0.0f), std::nextafter(tie, FLT_MAX)}) {
            c.check(value);
            c.check(-value);
        }
    }
    EXPECT_EQ(c.differing, 0) << "of " << c.compared;
}

TEST(FixedFormat, CarriesAndRangeBoundaries) {
    comparison c;
    // Every power of ten and of two, and the floats around them.
    for (float p = FLT_TRUE_MIN; std::isfinite(p); p *= 2.0f)
        for (float v : {p, std::nextafter(p, 0.0f), std::nextafter(p, FLT_MAX)}) c.check(v);
    for (float p = 1e-38f; std::isfinite(p); p *= 10.0f)
        for (float v : {p, std::nextafter(p, 0.0f), std::nextafter(p, FLT_MAX)}) c.check(v);
    // Around half of the last decimal (0.0000005) and rows of nines.
    for (float v = 4.9e-7f; v < 5.1e-7f; v = std::nextafter(v, 1.0f)) c.check(v);
    for (float v : {0.9999995f, 9.9999995f, 999999.9f, 9999999.5f, 99999.99f}) {
        float w = v;
        for (int k = 0; k < 200; ++k, w = std::nextafter(w, 0.0f)) c.check(w);
    }
    EXPECT_EQ(c.differing, 0) << "of " << c.compared;
}

TEST(FixedFormat, StandardLibraryPathAgrees) {
    std::mt19937 rng(5);
    for (int k = 0; k < 200000; ++k) {
        const float value = from_bits(static_cast<uint32_t>(rng()));
        char text[FIXED_TEXT_MAX];
        ASSERT_EQ(std::string(text, format_fixed_to_chars(text, value)), printf_fixed(value))
            << std::hex << std::bit_cast<uint32_t>(value);
    }
}

}  // namespace
