// Pair rows of the values rounded to float, each in the fewest significant
// digits that read back (strtof) as that float.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "output/pair_format.h"
#include "testkit/testkit.h"

namespace {

// printf's "%.{p}g" of f with the fewest digits p that read back as f.
std::string shortest_g(float f) {
    for (int p = 1; p < 9; ++p) {
        const std::string text = testkit::format("%.*g", p, static_cast<double>(f));
        if (std::strtof(text.c_str(), nullptr) == f) return text;
    }
    return testkit::format("%.9g", static_cast<double>(f));
}

TEST(PairFormat, ShortestTextOfTheFloats) {
    // Values of every size and sign read back, each no longer than the
    // shortest "%g" text that does (fixed notation may be shorter still).
    std::vector<double> values;
    const auto r = testkit::random_floats(400, 7);
    for (size_t i = 0; i < r.size(); ++i)
        values.push_back(r[i] * std::pow(10.0, static_cast<int>(i % 40) - 20));
    for (double v : {0.0, 1e-320, 123456789.0, 1234567890.0, 1e38, 0.002, 0.1 + 0.2, -0.2, 1e-10})
        values.push_back(v);
    sts::bias_text_cache cache;
    const std::string text = sts::format_pairs(values, values, &cache);
    const char* p = text.c_str();
    for (double v : values) {
        const float f = static_cast<float>(v);
        for (int column = 0; column < 2; ++column) {
            while (*p == ' ' || *p == '\n') ++p;
            char* end = nullptr;
            ASSERT_EQ(std::strtof(p, &end), f) << v;
            const std::string written(p, static_cast<size_t>(end - p));
            EXPECT_LE(written.size(), shortest_g(f).size()) << written;
            p = end;
        }
    }
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(sts::format_pairs({-0.0, inf, -inf}, {std::nan(""), 0.5, -0.2}, &cache),
              "-0 nan\ninf 0.5\n-inf -0.2\n");
}

TEST(PairFormat, TextReadsBackAsTheFloat) {
    // Doubles with more bits than a float, of every size.
    std::vector<double> values;
    const auto r = testkit::random_floats(20000, 11);
    for (size_t i = 0; i + 1 < r.size(); i += 2) {
        const double scale = std::pow(10.0, static_cast<double>(i % 24) - 12.0);
        values.push_back(static_cast<double>(r[i]) * scale +
                         static_cast<double>(r[i + 1]) * scale * 1e-8);
    }
    sts::bias_text_cache cache;
    const std::string text = sts::format_pairs(values, values, &cache);
    const char* p = text.c_str();
    int double_road_differs = 0;
    for (double v : values) {
        for (int column = 0; column < 2; ++column) {
            char* end = nullptr;
            ASSERT_EQ(std::strtof(p, &end), static_cast<float>(v)) << v;
            ASSERT_NE(end, p);
            p = end;
        }
        // What "%.9g" of the double itself would have given.
        if (std::strtof(testkit::format("%.9g", v).c_str(), nullptr) != static_cast<float>(v))
            ++double_road_differs;
    }
    EXPECT_GT(double_road_differs, 0);  // the case this rounding is for does occur
}

TEST(PairFormat, CacheFollowsTheBiasAxis) {
    sts::bias_text_cache cache;
    const std::vector<double> a = {-0.5, 0.5}, b = {-0.25, 0.25}, i = {1, 2};
    EXPECT_EQ(sts::format_pairs(a, i, &cache), "-0.5 1\n0.5 2\n");
    EXPECT_EQ(sts::format_pairs(a, b, &cache), "-0.5 -0.25\n0.5 0.25\n");
    EXPECT_EQ(sts::format_pairs(b, i, &cache), "-0.25 1\n0.25 2\n");
    EXPECT_EQ(sts::format_pairs({0.1}, {-0.2}, &cache), "0.1 -0.2\n");
}

}  // namespace
