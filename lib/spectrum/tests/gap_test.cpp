// The gap finder against small curves worked by hand.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/gap.h"

using sts::find_gap;
using sts::gap_options;
using sts::gap_reason;
using sts::gap_result;

namespace {

// Midpoints -5 .. 5 V, one apart.
const std::vector<float> eleven = {-5, -4, -3, -2, -1, 0, 1, 2, 3, 4, 5};

gap_result gap_of(const std::vector<float>& vmid, const std::vector<float>& curve, float t,
                  float window = 0) {
    gap_options o;
    o.threshold = t;
    o.window = window;
    return find_gap(vmid.data(), curve.data(), static_cast<int>(vmid.size()), o);
}

// Where the line through (v0, c0) and (v1, c1) reaches t, in double from the
// floats given.
float cross(double v0, float c0, double v1, float c1, double t) {
    return static_cast<float>(v0 + (t - c0) / (static_cast<double>(c1) - c0) * (v1 - v0));
}

void expect_none(const gap_result& r, gap_reason why) {
    EXPECT_EQ(r.reason, why);
    for (float v : {r.low, r.high, r.width, r.peak_low, r.peak_high, r.peak_low_height,
                    r.peak_high_height})
        EXPECT_TRUE(std::isnan(v));
}

}  // namespace

TEST(GapFinder, SymmetricGapWithCoherencePeaks) {
    const std::vector<float> c = {1.2f, 1.3f, 1.8f, 1.1f, 0.4f, 0.1f, 0.4f, 1.1f, 1.8f, 1.3f, 1.2f};
    const gap_result r = gap_of(eleven, c, 0.8f);
    ASSERT_EQ(r.reason, gap_reason::found);
    // Crossing between -1 (0.4) and -2 (1.1): -1 - 4/7.
    EXPECT_FLOAT_EQ(r.low, cross(-1, 0.4f, -2, 1.1f, 0.8f));
    EXPECT_NEAR(r.low, -11.0 / 7, 1e-6);
    EXPECT_FLOAT_EQ(r.high, -r.low);
    EXPECT_EQ(r.width, r.high - r.low);
    // A window as wide as the gap (22/7) reaches -4.71: -2, -3 and -4.
    EXPECT_EQ(r.peak_low, -3.0f);
    EXPECT_EQ(r.peak_high, 3.0f);
    EXPECT_EQ(r.peak_low_height, 1.8f);
    EXPECT_EQ(r.peak_high_height, 1.8f);
    // A window of 1 V holds only the first midpoint beyond each edge.
    const gap_result narrow = gap_of(eleven, c, 0.8f, 1.0f);
    EXPECT_EQ(narrow.low, r.low);
    EXPECT_EQ(narrow.peak_low, -2.0f);
    EXPECT_EQ(narrow.peak_high_height, 1.1f);
    // Narrower than the spacing: that first midpoint still counts.
    EXPECT_EQ(gap_of(eleven, c, 0.8f, 0.01f).peak_high, 2.0f);
}

TEST(GapFinder, AsymmetricGapAndTiesNearestTheGap) {
    const std::vector<float> c = {2, 2, 2, 1.0f, 0.2f, 0.3f, 0.5f, 0.6f, 0.9f, 1.4f, 3.0f};
    const gap_result r = gap_of(eleven, c, 0.8f);
    ASSERT_EQ(r.reason, gap_reason::found);
    EXPECT_FLOAT_EQ(r.low, cross(-1, 0.2f, -2, 1.0f, 0.8f));   // -1.75
    EXPECT_FLOAT_EQ(r.high, cross(2, 0.6f, 3, 0.9f, 0.8f));    // 2.667
    EXPECT_NEAR(r.low, -1.75, 1e-6);
    EXPECT_NEAR(r.high, 8.0 / 3, 1e-6);
    EXPECT_EQ(r.width, r.high - r.low);
    EXPECT_EQ(r.peak_low, -3.0f) << "of three equal values, the nearest the gap";
    EXPECT_EQ(r.peak_low_height, 2.0f);
    EXPECT_EQ(r.peak_high, 5.0f);
    EXPECT_EQ(r.peak_high_height, 3.0f);
}

TEST(GapFinder, StartsAtTheMidpointNearestZeroTheLowerOfTwo) {
    // 0 V halfway between -0.5 and 0.5: the start is the lower value, 0.5 V.
    const std::vector<float> v = {-1.5f, -0.5f, 0.5f, 1.5f};
    const gap_result r = gap_of(v, {2, 1.5f, 0.5f, 2}, 1);
    ASSERT_EQ(r.reason, gap_reason::found);
    EXPECT_EQ(r.low, 0.0f);  // 0.5 - (0.5 / 1) * 1
    EXPECT_FLOAT_EQ(r.high, 0.5f + 0.5f / 1.5f);
    // Mirrored, the same from the other side.
    const gap_result m = gap_of(v, {2, 0.5f, 1.5f, 2}, 1);
    EXPECT_EQ(m.high, 0.0f);
    // A value exactly at T is not below it: the edge lies on that midpoint.
    const gap_result on = gap_of(eleven, {3, 3, 3, 3, 1, 0, 0.5f, 3, 3, 3, 3}, 1);
    EXPECT_EQ(on.low, -1.0f);
    EXPECT_EQ(on.peak_low, -2.0f);
}

TEST(GapFinder, NoGapAndWhy) {
    // Not below T at 0 V (equal is not below).
    expect_none(gap_of(eleven, {0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0}, 1), gap_reason::not_below);
    expect_none(gap_of(eleven, {0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0}, 1), gap_reason::not_below);
    // Below T down to the first midpoint, or up to the last.
    expect_none(gap_of(eleven, {0, 0, 0, 0, 0, 0, 0, 2, 2, 2, 2}, 1), gap_reason::reaches_end);
    expect_none(gap_of(eleven, {2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1), gap_reason::reaches_end);
    expect_none(gap_of({0.0f}, {0.5f}, 1), gap_reason::reaches_end);
    // 0 V outside the sweep, or no midpoint at all.
    expect_none(gap_of({0.1f, 0.2f, 0.3f}, {0, 0, 2}, 1), gap_reason::no_zero_bias);
    expect_none(gap_of({-0.3f, -0.2f, -0.1f}, {2, 0, 0}, 1), gap_reason::no_zero_bias);
    expect_none(gap_of({}, {}, 1), gap_reason::no_zero_bias);
}

TEST(GapFinder, ValuesThatAreNotFinite) {
    const float nan = NAN, inf = INFINITY;
    // At the start, or where the interval would end.
    expect_none(gap_of(eleven, {2, 2, 2, 2, 0, nan, 0, 2, 2, 2, 2}, 1), gap_reason::undefined_value);
    expect_none(gap_of(eleven, {2, 2, 2, nan, 0, 0, 0, 2, 2, 2, 2}, 1), gap_reason::undefined_value);
    expect_none(gap_of(eleven, {2, 2, 2, 2, 0, 0, 0, inf, 2, 2, 2}, 1), gap_reason::undefined_value);
    expect_none(gap_of(eleven, {2, 2, 2, 2, -inf, 0, 0, 2, 2, 2, 2}, 1),
                gap_reason::undefined_value);
    // Within a peak's window they are skipped.
    const gap_result r = gap_of(eleven, {9, 5, nan, 2, 0, 0, 0, 2, inf, 4, 9}, 1);
    ASSERT_EQ(r.reason, gap_reason::found);
    EXPECT_EQ(r.low, -1.5f);
    EXPECT_EQ(r.high, 1.5f);
    EXPECT_EQ(r.peak_low, -4.0f);  // window 3 V from -1.5: down to -4.5
    EXPECT_EQ(r.peak_low_height, 5.0f);
    EXPECT_EQ(r.peak_high, 4.0f);
    EXPECT_EQ(r.peak_high_height, 4.0f);
}
