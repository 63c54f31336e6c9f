// An RHK image page's values at positions in the instrument's axes, worked
// by hand: a 4 x 2 image of 0.5 nm pixels about (10, 20) nm, both scales
// negative as the real files store them (the first value at the frame's
// +u, +v corner), turned by 0 and by 90 degrees counter-clockwise.
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "readers/rhk_sm4_image.h"

namespace {

sts::sm4_image made(double angle) {
    sts::sm4_image im;
    im.nx = 4;
    im.ny = 2;
    im.x_scale = -0.5;
    im.y_scale = -0.5;
    im.centre_x = 10;
    im.centre_y = 20;
    im.angle = angle;
    // Row 0 (the top, v = +0.25): 0 1 2 3 from +u to -u; row 1: 10 .. 13.
    im.values = {0, 1, 2, 3, 10, 11, 12, 13};
    return im;
}

double at(const sts::sm4_image& im, double x, double y) {
    double v = std::numeric_limits<double>::quiet_NaN();
    return sts::sample_sm4_image(im, x, y, &v) ? v : std::numeric_limits<double>::quiet_NaN();
}

TEST(Sm4Image, StoredOrderFromTheFramesUpperRightCorner) {
    const sts::sm4_image im = made(0);
    EXPECT_DOUBLE_EQ(im.width(), 2.0);
    EXPECT_DOUBLE_EQ(im.height(), 1.0);
    // Pixel centres: column j at u = 0.75 - 0.5 j, row i at v = 0.25 - 0.5 i.
    EXPECT_DOUBLE_EQ(at(im, 10.75, 20.25), 0);
    EXPECT_DOUBLE_EQ(at(im, 9.25, 20.25), 3);
    EXPECT_DOUBLE_EQ(at(im, 10.25, 19.75), 11);
    // Between centres: bilinear; the middle of the frame is the mean of 1, 2, 11, 12.
    EXPECT_DOUBLE_EQ(at(im, 10.0, 20.0), 6.5);
    EXPECT_DOUBLE_EQ(at(im, 10.5, 20.25), 0.5);
    // Beyond the outermost centres the edge value is carried to the edge...
    EXPECT_DOUBLE_EQ(at(im, 11.0, 20.5), 0);
    EXPECT_DOUBLE_EQ(at(im, 9.0, 19.5), 13);
    // ...and outside the frame there is none.
    EXPECT_TRUE(std::isnan(at(im, 11.1, 20.0)));
    EXPECT_TRUE(std::isnan(at(im, 10.0, 19.4)));
}

TEST(Sm4Image, TurnedCounterClockwise) {
    // At 90 degrees the frame's u axis is the instrument's +y, its v axis -x.
    const sts::sm4_image im = made(90);
    EXPECT_NEAR(at(im, 10 - 0.25, 20 + 0.75), 0, 1e-12);
    EXPECT_NEAR(at(im, 10 - 0.25, 20 - 0.75), 3, 1e-12);
    EXPECT_NEAR(at(im, 10 + 0.25, 20 + 0.25), 11, 1e-12);
    EXPECT_TRUE(std::isnan(at(im, 10.75, 20.25)));  // inside at 0 degrees, not at 90
}

TEST(Sm4Image, AnImageOfAnotherSizeHasNoValues) {
    sts::sm4_image im = made(0);
    im.values.pop_back();
    EXPECT_TRUE(std::isnan(at(im, 10, 20)));
}

}  // namespace
