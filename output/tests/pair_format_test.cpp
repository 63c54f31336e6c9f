// Pair rows exactly as printf's "%.9g %.9g\n" writes them.
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "output/pair_format.h"
#include "testkit.h"

namespace {

std::string printf_rows(const std::vector<double>& bias, const std::vector<double>& current) {
    std::string text;
    for (size_t i = 0; i < bias.size(); ++i) text += testkit::format("%.9g %.9g\n", bias[i], current[i]);
    return text;
}

TEST(PairFormat, AsPrintfWritesThem) {
    // Values of every size and sign, the special ones included.
    std::vector<double> bias, current;
    const auto r = testkit::random_floats(400, 7);
    for (size_t i = 0; i < r.size(); i += 2) {
        bias.push_back(r[i] * std::pow(10.0, static_cast<int>(i % 40) - 20));
        current.push_back(static_cast<double>(r[i + 1]) / 3.0 * std::pow(10.0, 15 - static_cast<int>(i % 31)));
    }
    const double inf = std::numeric_limits<double>::infinity();
    for (double v : {0.0, -0.0, inf, -inf, std::nan(""), 1e-320, 123456789.0, 1234567890.0}) {
        bias.push_back(v);
        current.push_back(-v);
    }
    sts::bias_text_cache cache;
    EXPECT_EQ(sts::format_pairs(bias, current, &cache), printf_rows(bias, current));
}

TEST(PairFormat, CacheFollowsTheBiasAxis) {
    sts::bias_text_cache cache;
    const std::vector<double> a = {-0.1, 0.1}, b = {-0.2, 0.2}, i = {1, 2};
    EXPECT_EQ(sts::format_pairs(a, i, &cache), "-0.1 1\n0.1 2\n");
    EXPECT_EQ(sts::format_pairs(a, b, &cache), "-0.1 -0.2\n0.1 0.2\n");
    EXPECT_EQ(sts::format_pairs(b, i, &cache), "-0.2 1\n0.2 2\n");
}

}  // namespace
