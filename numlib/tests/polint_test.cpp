#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "numlib/numlib.h"
#include "testkit/testkit.h"

namespace {

struct result {
    float value;
    float error;
};

result interpolate(std::vector<float> x, std::vector<float> y, float t) {
    result r{-123.0f, -456.0f};
    const int n = static_cast<int>(x.size());
    POLINT(one_based(x.data(), n), one_based(y.data(), n), n, t, &r.value, &r.error);
    return r;
}

TEST(Polint, SquareThroughThreePoints) {
    const auto at4 = interpolate({1, 2, 3}, {1, 4, 9}, 4.0f);
    EXPECT_EQ(at4.value, 16.0f);
    EXPECT_EQ(at4.error, 2.0f);
    const auto at0 = interpolate({1, 2, 3}, {1, 4, 9}, 0.0f);
    EXPECT_EQ(at0.value, 0.0f);
    EXPECT_EQ(at0.error, 2.0f);
    // at the middle point: y[2] plus corrections that vanish there
    const auto at2 = interpolate({1, 2, 3}, {1, 4, 9}, 2.0f);
    EXPECT_EQ(at2.value, 4.0f);
}

TEST(Polint, StraightLineExtrapolates) {
    for (float t : {-3.0f, 0.15f, 0.5f, 2.75f, 10.0f}) {
        const auto r = interpolate({0.1f, 0.6f, 1.1f}, {1.2f, 2.2f, 3.2f}, t);
        EXPECT_NEAR(r.value, 2.0f * t + 1.0f, 1e-5f * (1.0f + std::fabs(t))) << t;
        EXPECT_NEAR(r.error, 0.0f, 1e-5f) << t;
    }
}

TEST(Polint, SinglePointAndTies) {
    const auto one = interpolate({5.0f}, {7.0f}, 1.0f);
    EXPECT_EQ(one.value, 7.0f);
    EXPECT_EQ(one.error, -456.0f);  // no column: the estimate is not written
    const auto tie = interpolate({1.0f, 3.0f}, {2.0f, 6.0f}, 2.0f);
    EXPECT_EQ(tie.value, 4.0f);
    EXPECT_EQ(tie.error, 2.0f);  // walk starts at x[1]: correction up[1] = 2
}

TEST(Polint, AgainstLagrangeInDouble) {
    const std::vector<float> x = {-1.0f, -0.3f, 0.4f, 0.9f, 2.0f};
    const std::vector<float> y = {0.5f, -1.25f, 2.0f, 0.75f, -3.0f};
    for (float t = -2.0f; t <= 3.0f; t += 0.37f) {
        double expected = 0.0;
        for (size_t i = 0; i < x.size(); ++i) {
            double basis = 1.0;
            for (size_t j = 0; j < x.size(); ++j)
                if (j != i) basis *= (t - x[j]) / static_cast<double>(x[i] - x[j]);
            expected += y[i] * basis;
        }
        EXPECT_NEAR(interpolate(x, y, t).value, expected, 1e-4 * (1.0 + std::fabs(expected)))
            << t;
    }
}

TEST(Polint, EqualAbscissasStop) {
    const auto r = testkit::run_in_child([] { interpolate({0.0f, 1.0f, 1.0f}, {1, 2, 3}, 2.0f); });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Vantrel run-time error...\nError in routine POLINT\n...now exiting to system...\n");
}

}  // namespace
