// --gap for one pixel of a block: the right record, the right axis, the
// pixel's own midpoints only, and no curve for a pixel not processed.
#include <gtest/gtest.h>

#include <cmath>

#include "grid/pixel_gap.h"

using namespace sts;

namespace {

constexpr float none = NAN;

// Two pixels of 6 points (5 midpoints): pixel 0 processed, pixel 1 missing.
pixel_block block(const std::vector<float>& curve0) {
    pixel_block b;
    b.count = 2;
    b.points = 6;
    b.norm_coff = curve0;
    b.norm_coff.resize(10, none);
    b.norm_raw.assign(10, 0.0f);  // another curve: never below T
    b.status = {PIXEL_PROCESSED, PIXEL_MISSING};
    for (auto* v : {&b.gap_low, &b.gap_high, &b.gap_width, &b.peak_low, &b.peak_high,
                    &b.peak_low_height, &b.peak_high_height})
        v->assign(2, 7.0f);  // to be overwritten
    return b;
}

gap_settings settings(const char* curve) {
    gap_settings s;
    s.curve = find_pixel_quantity(curve);
    s.options.threshold = 1;
    return s;
}

}  // namespace

TEST(PixelGap, TheCurveAskedForOnTheGridsAxis) {
    grid_description d;
    d.vmid = {-2, -1, 0, 1, 2};
    pixel_block b = block({3, 0.5f, 0.2f, 0.5f, 3});
    prepare_gap(settings("norm_coff"), 2, &b);
    record_gap(settings("norm_coff"), d, 0, &b);
    record_gap(settings("norm_coff"), d, 1, &b);
    EXPECT_EQ(b.gap_status[0], static_cast<signed char>(gap_reason::found));
    EXPECT_FLOAT_EQ(b.gap_low[0], -1.2f);  // -1 - (1 - 0.5) / (3 - 0.5)
    EXPECT_FLOAT_EQ(b.gap_high[0], 1.2f);
    EXPECT_EQ(b.peak_high[0], 2.0f);
    EXPECT_EQ(b.peak_high_height[0], 3.0f);
    EXPECT_EQ(b.gap_status[1], static_cast<signed char>(gap_reason::not_computed));
    EXPECT_TRUE(std::isnan(b.gap_low[1]) && std::isnan(b.peak_low_height[1]));
    // The same pixel through another curve: 0 everywhere, below T to both ends.
    EXPECT_EQ(pixel_gap(settings("norm_raw"), d, b, 0).reason, gap_reason::reaches_end);
    // A curve this run does not compute (its record empty): no gap.
    EXPECT_EQ(pixel_gap(settings("norm_exp"), d, b, 0).reason, gap_reason::not_computed);
    // Without --gap nothing is sized or written.
    pixel_block without = block({});
    prepare_gap(gap_settings{}, 2, &without);
    record_gap(gap_settings{}, d, 0, &without);
    EXPECT_TRUE(without.gap_status.empty());
    EXPECT_EQ(without.gap_low[0], 7.0f);
}

TEST(PixelGap, APixelsOwnMidpointsUpToItsLast) {
    // The pixel's own axis ends a midpoint early (NaN-padded): the curve is
    // below T up to its last midpoint, so the gap reaches the sweep's end,
    // rather than ending at a value that is not there.
    grid_description d;
    d.per_pixel_axis = true;
    d.vmid = {-9, -8, -7, -6, -5};  // another pixel's axis, never used here
    pixel_block b = block({3, 0.5f, 0.2f, 0.5f, none});
    b.vmid = {-2, -1, 0, 1, none, -2, -1, 0, 1, 2};
    EXPECT_EQ(pixel_gap(settings("norm_coff"), d, b, 0).reason, gap_reason::reaches_end);
    b.norm_coff[3] = 2;
    const gap_result r = pixel_gap(settings("norm_coff"), d, b, 0);
    EXPECT_EQ(r.reason, gap_reason::found);
    EXPECT_FLOAT_EQ(r.high, 0.8f / 1.8f);  // 0 + (1 - 0.2) / (2 - 0.2)
}
