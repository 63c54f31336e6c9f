// The exponential broadening against a direct cyclic sum in double.
#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum.h"
#include "testkit/testkit.h"

namespace {

struct model_result {
    std::vector<double> values;
    // Rounding in a float FFT convolution grows with the norms of the whole
    // padded signal and of the weights, not with each sum's own size.
    double tolerance;
};

// The broadened curve computed directly: the curve extended by ten points of
// the parabola through its first, middle and last point at each end, zeros
// up to the smallest power of two of at least n + 40 places, and a cyclic sum
// with the weights exp(-|k| dV / width), |k| <= (n - 1) / 2.
model_result model(const std::vector<float>& bias, const std::vector<float>& iv, double width) {
    const int n = static_cast<int>(bias.size());
    int length = 1;
    while (length < n + 40) length *= 2;
    std::vector<double> padded(length, 0.0);
    const double x0 = bias[0], x1 = bias[n / 2], x2 = bias[n - 1];
    const double y0 = iv[0], y1 = iv[n / 2], y2 = iv[n - 1];
    auto parabola = [&](double t) {
        return y0 * (t - x1) * (t - x2) / ((x0 - x1) * (x0 - x2)) +
               y1 * (t - x0) * (t - x2) / ((x1 - x0) * (x1 - x2)) +
               y2 * (t - x0) * (t - x1) / ((x2 - x0) * (x2 - x1));
    };
    const double dv = static_cast<double>(bias[1]) - bias[0];
    for (int i = 0; i < n; ++i) padded[10 + i] = iv[i];
    for (int k = 0; k < 10; ++k) {
        padded[9 - k] = parabola(bias[0] - (k + 1) * dv);
        padded[n + 10 + k] = parabola(bias[n - 1] + (k + 1) * dv);
    }
    const int reach = (n - 1) / 2;
    model_result r{std::vector<double>(n, 0.0), 0.0};
    for (int i = 0; i < n; ++i)
        for (int k = -reach; k <= reach; ++k)
            r.values[i] += std::exp(-std::abs(k) * dv / width) *
                           padded[((10 + i - k) % length + length) % length];
    double signal_norm = 0.0, weight_norm = 0.0;
    for (double v : padded) signal_norm += v * v;
    for (int k = -reach; k <= reach; ++k) weight_norm += std::exp(-2.0 * std::abs(k) * dv / width);
    r.tolerance = 1e-6 * std::log2(length) * std::sqrt(signal_norm * weight_norm);
    return r;
}

std::vector<float> broadened(const std::vector<float>& bias, std::vector<float> iv) {
    const int n = static_cast<int>(bias.size());
    spectrum_workspace w;
    EXPECT_TRUE(reserve_workspace(&w, n));
    EXPECT_EQ(broaden_exp(bias.data(), iv.data(), 1.33f, n, &w), NUM_OK);
    return iv;
}

void expect_matches_model(const std::vector<float>& bias, const std::vector<float>& iv) {
    const auto got = broadened(bias, iv);
    const auto expected = model(bias, iv, 1.33f);
    for (size_t i = 0; i < bias.size(); ++i)
        ASSERT_NEAR(got[i], expected.values[i], expected.tolerance)
            << "n=" << bias.size() << " i=" << i;
}

std::vector<float> even_bias(int n, float start, float step) {
    std::vector<float> bias(n);
    for (int i = 0; i < n; ++i) bias[i] = start + step * static_cast<float>(i);
    return bias;
}

TEST(BroadenExp, ConstantOverTwentyOnePoints) {
    const auto bias = even_bias(21, -1.0f, 0.1f);
    const auto got = broadened(bias, std::vector<float>(21, 2.0f));
    double weights = 1.0;
    for (int i = 1; i <= 10; ++i) weights += 2.0 * std::exp(-i * 0.1 / 1.33);
    EXPECT_NEAR(got[10], 2.0 * weights, 1e-4);
    EXPECT_NEAR(got[10], 29.073, 1e-3);
    for (float v : got) EXPECT_NE(v, 2.0f);
    expect_matches_model(bias, std::vector<float>(21, 2.0f));
}

TEST(BroadenExp, TwoHundredPointsWrapAround) {
    const auto bias = even_bias(200, 0.0f, 0.01f);
    const std::vector<float> ones(200, 1.0f);
    const auto got = broadened(bias, ones);
    EXPECT_NEAR(got.front(), 110.97, 0.01);
    EXPECT_NEAR(got.back(), 110.97, 0.01);
    EXPECT_NEAR(got[100], 140.12, 0.01);
    expect_matches_model(bias, ones);
}

TEST(BroadenExp, ThreeAndFourPoints) {
    const std::vector<float> bias = {0.5f, 0.75f, 1.0f};
    const std::vector<float> iv = {2.0f, 3.0f, 5.0f};
    const auto got = broadened(bias, iv);
    const double g1 = std::exp(-0.25 / 1.33f);
    // The parabola through (0.5, 2), (0.75, 3), (1, 5) is 2 at 0.25.
    EXPECT_NEAR(got[0], g1 * 2.0 + 2.0 + g1 * 3.0, 2e-4);
    expect_matches_model(bias, iv);
    expect_matches_model({0.1f, 0.2f, 0.4f, 0.8f}, {1.0f, -1.0f, 2.0f, 0.5f});
}

TEST(BroadenExp, StraightLineExtrapolatesAsALine) {
    const auto bias = even_bias(50, -0.5f, 0.02f);
    std::vector<float> line(50);
    for (int i = 0; i < 50; ++i) line[i] = 0.3f + 1.5f * bias[i];
    expect_matches_model(bias, line);
}

TEST(BroadenExp, RandomCurvesOfEveryWorkingLength) {
    std::mt19937 rng(2024);
    std::normal_distribution<float> noise(0.0f, 0.05f);
    for (int n : {3, 4, 5, 24, 25, 88, 89, 216, 217, 472, 473, 1000, 4097, MAX_POINTS}) {
        const float step = 4.0f / static_cast<float>(n);
        const auto bias = even_bias(n, -2.0f, step);
        std::vector<float> iv(n);
        for (int i = 0; i < n; ++i) iv[i] = std::cosh(bias[i]) + noise(rng);
        expect_matches_model(bias, iv);
    }
}

// Two points give the extrapolating parabola coinciding anchors: the
// broadening reports the interpolation's status and leaves the curve alone,
// in the calling process, which goes on.
TEST(BroadenExp, TwoPointsReturnAStatus) {
    const std::vector<float> bias = {0.1f, 0.2f};
    std::vector<float> iv = {1.0f, 2.0f};
    spectrum_workspace w;
    ASSERT_TRUE(reserve_workspace(&w, 3));
    const num_status s = broaden_exp(bias.data(), iv.data(), 1.33f, 2, &w);
    EXPECT_EQ(s, NUM_POLINT_EQUAL_DISTANCES);
    EXPECT_EQ(s.routine, num_routine::POLINT);
    EXPECT_STREQ(num_message(s), "Error in routine POLINT");
    EXPECT_EQ(iv, (std::vector<float>{1.0f, 2.0f}));
    // The same workspace then serves a spectrum that can be broadened, with
    // the bits of a fresh one.
    const std::vector<float> three = {0.1f, 0.2f, 0.3f};
    std::vector<float> line = {1.0f, 2.0f, 3.0f};
    EXPECT_EQ(broaden_exp(three.data(), line.data(), 1.33f, 3, &w), NUM_OK);
    EXPECT_EQ(line, broadened(three, {1.0f, 2.0f, 3.0f}));
}

// The published four-argument form broadens as the status form does and
// ends the run with the routine's three lines where that one reports.
TEST(BroadenExp, PublishedFormEndsTheRunWhereTheStatusFormReports) {
    const std::vector<float> bias = {-0.2f, -0.1f, 0.1f, 0.3f};
    std::vector<float> published = {1.0f, 0.5f, 0.25f, 2.0f};
    broaden_exp(bias.data(), published.data(), 1.33f, 4);
    EXPECT_EQ(published, broadened(bias, {1.0f, 0.5f, 0.25f, 2.0f}));
    const std::vector<float> two = {-0.5f, 0.5f};
    std::vector<float> iv = {1.0f, 1.0f};
    EXPECT_EXIT(broaden_exp(two.data(), iv.data(), 1.33f, 2), testing::ExitedWithCode(1),
                "Vantrel run-time error...\nError in routine POLINT\n...now exiting to system...");
}

}  // namespace
