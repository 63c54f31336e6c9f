// The pixels along a line, against cases worked by hand: which pixel each
// step takes (nearest, halves away from zero) and how far along it is.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "grid/line_cut.h"

namespace {

using sts::line_cut;

struct pixel {
    size_t x, y;
};

void expect_pixels(const std::vector<sts::line_sample>& s, const std::vector<pixel>& want) {
    ASSERT_EQ(s.size(), want.size());
    for (size_t k = 0; k < want.size(); ++k) {
        EXPECT_EQ(s[k].x, want[k].x) << "sample " << k;
        EXPECT_EQ(s[k].y, want[k].y) << "sample " << k;
    }
}

// Coordinates 0, step, 2 step, ... for n pixels.
std::vector<double> axis(size_t n, double step) {
    std::vector<double> a;
    for (size_t k = 0; k < n; ++k) a.push_back(step * static_cast<double>(k));
    return a;
}

TEST(LineCut, NearestPixelsOneStepApart) {
    const std::vector<double> xs = {0, 0.5, 1, 1.5, 2}, ys = {0, 0.5, 1};
    const auto s = line_cut(0, 0, 4, 2, xs, ys);
    // y at the steps: 0, 0.5, 1, 1.5, 2, halves rounded away from zero.
    expect_pixels(s, {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}});
    EXPECT_DOUBLE_EQ(s.back().distance, std::hypot(2.0, 1.0));
    EXPECT_DOUBLE_EQ(s[0].distance, 0.0);
}

TEST(LineCut, DiagonalTakesOnePixelPerRow) {
    // 0.25 nm pixels: the diagonal from (1, 1) to (4, 4) is 3 * 0.25 * sqrt 2
    // long, a quarter of it per step.
    const auto s = line_cut(1, 1, 4, 4, axis(6, 0.25), axis(6, 0.25));
    expect_pixels(s, {{1, 1}, {2, 2}, {3, 3}, {4, 4}});
    for (size_t k = 0; k < 4; ++k)
        EXPECT_NEAR(s[k].distance, 0.25 * std::sqrt(2.0) * static_cast<double>(k), 1e-15) << k;
    // The other diagonal, upwards to the left.
    expect_pixels(line_cut(3, 0, 0, 3, axis(6, 1), axis(6, 1)), {{3, 0}, {2, 1}, {1, 2}, {0, 3}});
}

TEST(LineCut, HorizontalAndVerticalLinesStayInTheirRowOrColumn) {
    const auto row = line_cut(2, 3, 6, 3, axis(8, 0.1), axis(5, 0.2));
    expect_pixels(row, {{2, 3}, {3, 3}, {4, 3}, {5, 3}, {6, 3}});
    EXPECT_NEAR(row.back().distance, 0.4, 1e-15);
    const auto column = line_cut(1, 0, 1, 4, axis(8, 0.1), axis(5, 0.2));
    expect_pixels(column, {{1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}});
    EXPECT_NEAR(column.back().distance, 0.8, 1e-15);
}

TEST(LineCut, ASinglePixelIsOneSampleAtDistanceZero) {
    const auto point = line_cut(3, 1, 3, 1, axis(5, 0.5), axis(3, 0.5));
    expect_pixels(point, {{3, 1}});
    EXPECT_EQ(point[0].distance, 0.0);
    // A grid of one pixel, whose axes have one coordinate each.
    expect_pixels(line_cut(0, 0, 0, 0, {7.0}, {2.0}), {{0, 0}});
}

TEST(LineCut, ReversedLineRunsBackOverTheSamePixels) {
    const std::vector<double> xs = axis(5, 0.5), ys = axis(3, 0.5);
    const auto back = line_cut(4, 0, 0, 0, xs, ys);
    expect_pixels(back, {{4, 0}, {3, 0}, {2, 0}, {1, 0}, {0, 0}});
    EXPECT_DOUBLE_EQ(back[4].distance, 2.0);
    // A shallow line: (0, 0) to (4, 1) steps y at t = 1/2 (y 0.5, rounded
    // up) both ways round, so the reversed cut is the forward one reversed.
    const auto forward = line_cut(0, 0, 4, 1, xs, ys), reversed = line_cut(4, 1, 0, 0, xs, ys);
    expect_pixels(forward, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}});
    expect_pixels(reversed, {{4, 1}, {3, 1}, {2, 1}, {1, 0}, {0, 0}});
    EXPECT_DOUBLE_EQ(forward.back().distance, std::hypot(2.0, 0.5));
    EXPECT_DOUBLE_EQ(reversed.back().distance, forward.back().distance);
}

TEST(LineCut, PixelAxesCountPixels) {
    // A grid without a frame has pixel numbers for coordinates: distances in pixels.
    const auto s = line_cut(0, 0, 3, 4, axis(4, 1), axis(5, 1));
    EXPECT_DOUBLE_EQ(s.back().distance, 5.0);
    EXPECT_DOUBLE_EQ(s[2].distance, 2.5);
}

TEST(LineProblem, EndsOutsideTheGridAreNamed) {
    EXPECT_EQ(sts::line_problem(0, 0, 29, 29, 30, 30), "");
    EXPECT_EQ(sts::line_problem(0, 0, 30, 3, 30, 20),
              "the line's end (30, 3) is outside the grid of 30 x 20 pixels; give pixel numbers "
              "from 0 to 29 for x and from 0 to 19 for y");
    EXPECT_NE(sts::line_problem(-1, 0, 0, 0, 4, 4).find("the line's start (-1, 0)"),
              std::string::npos);
    EXPECT_NE(sts::line_problem(0, 4, 0, 0, 4, 4).find("start (0, 4)"), std::string::npos);
}

}  // namespace
