// The grid statistics in two passes, plain float steps where the values are
// finite, give pointmean's statistics bit for bit.
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "grid/grid_statistics.h"

using namespace sts;

namespace {

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A value of every kind the statistics may meet, mostly ordinary ones.
float any_value(std::mt19937& rng) {
    const float inf = std::numeric_limits<float>::infinity();
    switch (rng() % 16) {
        case 0: return std::ldexp(static_cast<float>(rng() % 1000), -140 - static_cast<int>(rng() % 10));
        case 1: return std::ldexp(static_cast<float>(rng() % 1000) + 1, 110 + static_cast<int>(rng() % 8));
        case 2: return rng() % 8 == 0 ? (rng() % 2 ? inf : -inf) : 0.5f;
        case 3: return rng() % 16 == 0 ? (rng() % 2 ? std::nanf("") : -std::nanf("")) : -0.0f;
        default: return (static_cast<float>(rng() % 2000001) - 1e6f) / 1234.5f;
    }
}

TEST(GridStatistics, TwoPassesArePointmeansArithmetic) {
    std::mt19937 rng(21);
    for (int round = 0; round < 300; ++round) {
        const int pixels = 2 + static_cast<int>(rng() % 40);
        const int length = 1 + static_cast<int>(rng() % 12);
        // Rounds of plain values only, and rounds with every kind.
        const bool odd = round % 3 == 0;
        std::vector<std::vector<float>> records(static_cast<size_t>(pixels));
        for (auto& r : records)
            for (int i = 0; i < length; ++i)
                r.push_back(odd ? any_value(rng) : (static_cast<float>(rng() % 20001) - 1e4f) / 7.0f);
        series_statistics s(length);
        for (const auto& r : records) s.add(r.data());
        for (const auto& r : records) s.add_square(r.data());
        for (int i = 0; i < length; ++i) {
            std::vector<float> column;
            for (const auto& r : records) column.push_back(r[static_cast<size_t>(i)]);
            const point_stats want = compute_stats(column.data(), pixels);
            const point_stats got = s.at(static_cast<size_t>(i));
            ASSERT_TRUE(same_bits(got.mean, want.mean)) << round << " " << i;
            ASSERT_TRUE(same_bits(got.deviation, want.deviation)) << round << " " << i;
            ASSERT_TRUE(same_bits(got.error, want.error)) << round << " " << i;
        }
    }
}

}  // namespace
