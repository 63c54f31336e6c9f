// The cut through a q-map against hand-worked cases: a linear map, which
// bilinear interpolation reads exactly, sampled one q-pixel apart; the
// ends kept; the refusals.
#include <gtest/gtest.h>

#include <cmath>

#include "fourier/q_cut.h"

namespace {

// qx -2 .. 1 (step 1), qy -1 .. 1 (step 0.5): 4 x 5 pixels of 3 + 2 qx - qy.
struct linear_map {
    std::vector<double> qx{-2, -1, 0, 1}, qy{-1, -0.5, 0, 0.5, 1};
    std::vector<float> values;
    linear_map(int slices) {
        for (int k = 0; k < slices; ++k)
            for (double y : qy)
                for (double x : qx) values.push_back(static_cast<float>(3 + 2 * x - y + 10 * k));
    }
};

}  // namespace

TEST(QCut, ReadsALinearMapExactlyOneSmallerPixelApart) {
    const linear_map m(2);
    std::vector<sts::q_cut_point> points;
    ASSERT_EQ(sts::q_cut_points(m.qx, m.qy, -2, -1, 1, 1, points), "");
    // |q1 - q0| = sqrt(13) = 3.606 over the smaller pixel 0.5: 8 steps, 9 points.
    ASSERT_EQ(points.size(), 9u);
    EXPECT_EQ(points.front().qx, -2);
    EXPECT_EQ(points.back().qx, 1);
    EXPECT_EQ(points.back().qy, 1);
    EXPECT_DOUBLE_EQ(points.back().distance, std::sqrt(13.0));
    std::vector<float> out(2 * points.size());
    sts::q_cut_read(m.values.data(), 2, 20, points, out.data());
    for (size_t k = 0; k < 2; ++k)
        for (size_t i = 0; i < points.size(); ++i) {
            const double t = static_cast<double>(i) / 8, x = -2 + 3 * t, y = -1 + 2 * t;
            EXPECT_NEAR(out[k * points.size() + i], 3 + 2 * x - y + 10.0 * static_cast<double>(k), 1e-5) << i;
        }
}

TEST(QCut, APointAndTheRefusals) {
    const linear_map m(1);
    std::vector<sts::q_cut_point> points;
    ASSERT_EQ(sts::q_cut_points(m.qx, m.qy, 0.5, 0.25, 0.5, 0.25, points), "");
    ASSERT_EQ(points.size(), 1u);
    float v = 0;
    sts::q_cut_read(m.values.data(), 1, 20, points, &v);
    EXPECT_NEAR(v, 3 + 1 - 0.25, 1e-6);
    EXPECT_NE(sts::q_cut_points(m.qx, m.qy, 0, 0, 1.01, 0, points).find("within the map"), std::string::npos);
    EXPECT_NE(sts::q_cut_points(m.qx, m.qy, NAN, 0, 1, 0, points).find("finite"), std::string::npos);
    EXPECT_NE(sts::q_cut_points({0}, m.qy, 0, 0, 0, 0, points).find("2 x 2"), std::string::npos);
    EXPECT_TRUE(points.empty());
}
