// Savitzky–Golay smoothing: hand-worked weights and fits, and SciPy's
// savgol_filter (float64) on real measured currents.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/smoothing.h"
#include "testkit/testkit.h"

namespace {

using namespace sts;

std::vector<float> smoothed(const std::vector<float>& in, int window, int order) {
    smoothing_plan p;
    smoothing_workspace w;
    EXPECT_TRUE(make_smoothing_plan(window, order, &p));
    EXPECT_TRUE(reserve_smoothing(p, &w));
    std::vector<float> out(in.size(), -1.0f);
    smooth_series(p, in.data(), out.data(), static_cast<int>(in.size()), &w);
    return out;
}

// 35 at sample j of five, 0 elsewhere: its smoothing is 35 times column j
// of the window's projection.
std::vector<float> impulse(int j, int n = 5) {
    std::vector<float> v(static_cast<size_t>(n), 0.0f);
    v[static_cast<size_t>(j)] = 35.0f;
    return v;
}

TEST(Smoothing, ParametersOutsideTheFilterAreRefused) {
    smoothing_plan p;
    EXPECT_FALSE(make_smoothing_plan(4, 2, &p));   // even
    EXPECT_FALSE(make_smoothing_plan(5, 5, &p));   // order not below the window
    EXPECT_FALSE(make_smoothing_plan(5, -1, &p));
    EXPECT_FALSE(make_smoothing_plan(-1, 0, &p));
    EXPECT_FALSE(make_smoothing_plan(MAX_SMOOTHING_WINDOW + 2, 2, &p));
    EXPECT_FALSE(make_smoothing_plan(41, MAX_SMOOTHING_ORDER + 1, &p));
    EXPECT_TRUE(make_smoothing_plan(1, 0, &p));
    EXPECT_TRUE(make_smoothing_plan(5, 4, &p));
}

TEST(Smoothing, FivePointQuadraticWeights) {
    // The classic weights (-3, 12, 17, 12, -3) / 35 of the middle point.
    smoothing_plan p;
    ASSERT_TRUE(make_smoothing_plan(5, 2, &p));
    const double expected[] = {-3, 12, 17, 12, -3};
    for (int j = 0; j < 5; ++j)
        EXPECT_NEAR(static_cast<double>(p.centre[static_cast<size_t>(j)]) * 35, expected[j], 1e-15);
    // The same weights through the series: the middle of an impulse response.
    for (int j = 0; j < 5; ++j) EXPECT_EQ(smoothed(impulse(j), 5, 2)[2], expected[4 - j]);
}

TEST(Smoothing, EndsAreTheFirstAndLastWindowsFits) {
    // The parabola fitted over t = -2 .. 2 at t = -2 weighs the samples
    // (31, 9, -3, -5, 3) / 35, at t = -1 (9, 13, 12, 6, -5) / 35; the last
    // window's ends are their mirror images.
    const float first[] = {31, 9, -3, -5, 3}, second[] = {9, 13, 12, 6, -5};
    for (int j = 0; j < 5; ++j) {
        const std::vector<float> out = smoothed(impulse(j), 5, 2);
        EXPECT_EQ(out[0], first[j]) << j;
        EXPECT_EQ(out[1], second[j]) << j;
        EXPECT_EQ(out[4], first[4 - j]) << j;
        EXPECT_EQ(out[3], second[4 - j]) << j;
    }
    // In a longer series the end points see only their own window.
    std::vector<float> y(9, 0.0f);
    y[4] = 35.0f;  // the last sample of the first window, the first of the last
    const std::vector<float> out = smoothed(y, 5, 2);
    EXPECT_EQ(out, (std::vector<float>{3, -5, -3, 12, 17, 12, -3, -5, 3}));
}

TEST(Smoothing, PolynomialsUpToTheOrderPassUnchanged) {
    std::vector<float> constant(40, 2.75f), quadratic(40), cubic(40);
    for (int i = 0; i < 40; ++i) {
        quadratic[static_cast<size_t>(i)] = static_cast<float>(100 + 3 * i - 0.25 * i * i);
        cubic[static_cast<size_t>(i)] = static_cast<float>(2000 + 0.125 * (i - 20) * (i - 20) * (i - 20));
    }
    EXPECT_EQ(smoothed(constant, 11, 0), constant);
    EXPECT_EQ(smoothed(constant, 11, 2), constant);
    EXPECT_EQ(smoothed(quadratic, 11, 2), quadratic);
    EXPECT_EQ(smoothed(quadratic, 7, 3), quadratic);
    EXPECT_EQ(smoothed(cubic, 9, 3), cubic);
    EXPECT_EQ(smoothed(cubic, 21, 6), cubic);
    // A cubic is not in the quadratic's reach: the filter does smooth.
    EXPECT_NE(smoothed(cubic, 9, 2), cubic);
}

TEST(Smoothing, WindowOfOneAndOrderZero) {
    const std::vector<float> y = {1.5f, -2.0f, 7.25f};
    EXPECT_EQ(smoothed(y, 1, 0), y);
    // Order 0 is the moving mean; its ends the mean of the end windows.
    const std::vector<float> out = smoothed({3, 6, 9, 12, 15}, 3, 0);
    EXPECT_EQ(out, (std::vector<float>{6, 6, 9, 12, 12}));
}

TEST(Smoothing, SeriesShorterThanTheWindowIsOneFit) {
    // Up to order + 1 points pass through the fit unchanged.
    const std::vector<float> three = {1.0f, -4.0f, 2.5f};
    EXPECT_EQ(smoothed(three, 5, 2), three);
    // Four points at t = -3, -1, 1, 3: the quadratic fit removes the cubic
    // (-1, 3, -3, 1) / sqrt(20), so 20 at the last point becomes
    // (0, 0, 0, 20) - (-1, 3, -3, 1).
    EXPECT_EQ(smoothed({0, 0, 0, 20}, 11, 2), (std::vector<float>{1, -3, 3, 19}));
    EXPECT_EQ(smoothed({}, 5, 2), std::vector<float>{});
    EXPECT_EQ(smoothed({4.5f}, 5, 2), std::vector<float>{4.5f});
}

TEST(Smoothing, NonFiniteSamplesStayInTheirWindows) {
    std::vector<float> y(20, 1.0f);
    y[10] = NAN;
    const std::vector<float> out = smoothed(y, 5, 2);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(std::isnan(out[static_cast<size_t>(i)]), i >= 8 && i <= 12) << i;
}

// ---------------------------------------------------------------------------
// SciPy's savgol_filter on real currents.

std::vector<float> second_column(const std::string& path) {
    std::ifstream in(path);
    std::vector<float> v;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        float bias = 0, current = 0;
        if (fields >> bias >> current) v.push_back(current);
    }
    return v;
}

std::string series_file(const testkit::temp_dir& dir, const std::vector<float>& y) {
    std::string text;
    for (float v : y) text += testkit::format("%.9g\n", static_cast<double>(v));
    testkit::write_file(dir / "y.txt", text);
    return dir / "y.txt";
}

// The lines of a python script's output over the series y and the filters.
std::vector<std::string> script_lines(const char* script, const std::vector<float>& y,
                                      const std::vector<std::pair<int, int>>& filters) {
    const testkit::temp_dir dir;
    std::vector<std::string> argv = {"/usr/bin/python3", std::string(SPECTRUM_TEST_DIR "/") + script,
                                     series_file(dir, y)};
    for (const auto& [window, order] : filters)
        argv.push_back(std::to_string(window) + ":" + std::to_string(order));
    const auto r = testkit::run(argv);
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::vector<std::string> result;
    std::string line;
    while (std::getline(lines, line)) result.push_back(line);
    return result;
}

// SciPy's smoothing of y by each filter (window, order), one run for all.
std::vector<std::vector<double>> scipy_smoothed(const std::vector<float>& y,
                                                const std::vector<std::pair<int, int>>& filters) {
    std::vector<std::vector<double>> results;
    for (const std::string& line : script_lines("savgol_reference.py", y, filters)) {
        std::istringstream in(line);
        results.emplace_back();
        double value = 0;
        while (in >> value) results.back().push_back(value);
    }
    return results;
}

bool scipy_available() {
    return testkit::run({"/usr/bin/python3", "-c", "import scipy.signal"}).status == 0;
}

TEST(Smoothing, AgreesWithScipyOnRealCurves) {
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << testkit::no_realdata;
    if (!scipy_available()) GTEST_FAIL() << testkit::missing_package("python3-scipy");
    const char* files[] = {"nanonis2023_pm3V.txt", "gxsm2022_au111_77K_1.txt",
                           "nanonis2025_pb_0p4K.txt", "nanonis2023_dipamy_1.txt",
                           "createc2018_lhe_zramp_1.txt"};
    const std::vector<std::pair<int, int>> filters = {{5, 2}, {11, 2}, {21, 3},
                                                      {51, 4}, {7, 0}, {15, 6}};
    double worst_ulps = 0;
    for (const char* name : files) {
        const std::vector<float> y = second_column(data + "/" + name);
        ASSERT_GT(y.size(), 100u) << name;
        double largest = 0;
        for (float v : y) largest = std::fmax(largest, std::fabs(static_cast<double>(v)));
        const auto theirs = scipy_smoothed(y, filters);
        ASSERT_EQ(theirs.size(), filters.size()) << name;
        for (size_t f = 0; f < filters.size(); ++f) {
            const auto [window, order] = filters[f];
            const std::vector<float> ours = smoothed(y, window, order);
            ASSERT_EQ(theirs[f].size(), y.size()) << name;
            for (size_t i = 0; i < y.size(); ++i) {
                // Ours is the exact fit rounded once to float (half an ulp).
                // SciPy's float64 weights (from a least-squares solve) err by
                // up to about 1e-12 of the samples' size (1.2e-13 on 0.14 in
                // dipamy_1, W=51, order 4, point 803, against the exact
                // rational fit), which matters only near a tie or a zero.
                const double reference = theirs[f][i];
                const auto rounded = static_cast<float>(reference);
                const double ulp = std::nextafter(std::fabs(rounded), INFINITY) - std::fabs(rounded);
                const double deviation = std::fabs(static_cast<double>(ours[i]) - reference);
                EXPECT_LE(deviation, 0.5 * ulp + 1e-11 * largest)
                    << name << " W=" << window << " order " << order << " at " << i;
                worst_ulps = std::fmax(worst_ulps, deviation / ulp);
            }
        }
    }
    std::printf("largest deviation from SciPy: %.3g float ulps\n", worst_ulps);
}

// The exact rational fit rounded once to float: the extended sums are
// close enough to it that every value of these curves is that float, but
// where the exact value is halfway between two floats (the moving mean of
// order 0 meets a few: a sum of seven floats divisible by 7), which a sum
// with weights such as 1/7, rounded, leaves on either side.
TEST(Smoothing, CorrectlyRoundedOnRealCurves) {
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << testkit::no_realdata;
    if (!scipy_available())
        GTEST_FAIL() << testkit::missing_package("python3-scipy, python3-numpy");
    const std::vector<std::pair<int, int>> filters = {{5, 2}, {11, 2}, {21, 3}, {7, 0}, {15, 6}};
    for (const char* name : {"nanonis2023_pm3V.txt", "gxsm2022_au111_77K_1.txt",
                             "nanonis2025_pb_0p4K.txt"}) {
        const std::vector<float> y = second_column(data + "/" + name);
        // The whole curve, and its first 9 points: shorter than most windows.
        for (const std::vector<float>& series : {y, std::vector<float>(y.begin(), y.begin() + 9)}) {
            const std::vector<std::string> exact = script_lines("savgol_exact.py", series, filters);
            ASSERT_EQ(exact.size(), filters.size()) << name;
            for (size_t f = 0; f < filters.size(); ++f) {
                const std::vector<float> ours = smoothed(series, filters[f].first, filters[f].second);
                std::istringstream expected(exact[f]);
                int wrong = 0;
                std::string first, allowed;
                for (size_t i = 0; i < ours.size(); ++i) {
                    std::uint32_t b = 0;
                    std::memcpy(&b, &ours[i], sizeof b);
                    expected >> allowed;  // "bits", or "lower|upper" at a tie
                    if (allowed.find(testkit::format("%08x", b)) == std::string::npos &&
                        wrong++ == 0)
                        first = testkit::format("first at %zu: %08x, exact %s", i, b, allowed.c_str());
                }
                EXPECT_EQ(wrong, 0) << name << " " << series.size() << " points, W="
                                    << filters[f].first << " order " << filters[f].second << ", "
                                    << first;
            }
        }
    }
}

}  // namespace
