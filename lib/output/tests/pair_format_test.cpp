// Pair rows exactly as printf's "%.9g %.9g\n" writes the values rounded to
// float, and read back by strtof as those floats.
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

std::string printf_rows(const std::vector<double>& bias, const std::vector<double>& current) {
    std::string text;
    for (size_t i = 0; i < bias.size(); ++i)
        text += testkit::format("%.9g %.9g\n", static_cast<double>(static_cast<float>(bias[i])),
                                static_cast<double>(static_cast<float>(current[i])));
    return text;
}

TEST(PairFormat, AsPrintfWritesTheFloats) {
    // Values of every size and sign, the special ones included.
    std::vector<double> bias, current;
    const auto r = testkit::random_floats(400, 7);
    for (size_t i = 0; i < r.size(); i += 2) {
        bias.push_back(r[i] * std::pow(10.0, static_cast<int>(i % 40) - 20));
        current.push_back(static_cast<double>(r[i + 1]) / 3.0 *
                          std::pow(10.0, 15 - static_cast<int>(i % 31)));
    }
    const double inf = std::numeric_limits<double>::infinity();
    for (double v : {0.0, -0.0, inf, -inf, std::nan(""), 1e-320, 123456789.0, 1234567890.0, 1e39,
                     0.002, 0.1 + 0.2}) {
        bias.push_back(v);
        current.push_back(-v);
    }
    sts::bias_text_cache cache;
    EXPECT_EQ(sts::format_pairs(bias, current, &cache), printf_rows(bias, current));
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
    EXPECT_EQ(sts::format_pairs({0.1}, {-0.2}, &cache), "0.100000001 -0.200000003\n");
}

}  // namespace
