#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "numlib/numlib.h"

namespace {

void sort_pairs(std::vector<float>& keys, std::vector<float>& carried) {
    const int n = static_cast<int>(keys.size());
    heap_sort2(n, one_based(keys.data(), n), one_based(carried.data(), n));
}

TEST(HeapSort2, TwoEntries) {
    std::vector<float> k = {2.0f, 1.0f}, c = {20.0f, 10.0f};
    sort_pairs(k, c);
    EXPECT_EQ(k, (std::vector<float>{1.0f, 2.0f}));
    EXPECT_EQ(c, (std::vector<float>{10.0f, 20.0f}));

    k = {1.0f, 2.0f};
    c = {10.0f, 20.0f};
    sort_pairs(k, c);
    EXPECT_EQ(c, (std::vector<float>{10.0f, 20.0f}));

    k = {5.0f, 5.0f};  // equal keys change places
    c = {1.0f, 2.0f};
    sort_pairs(k, c);
    EXPECT_EQ(c, (std::vector<float>{2.0f, 1.0f}));
}

TEST(HeapSort2, TieOrderOfThreeEqualKeys) {
    std::vector<float> k = {7.0f, 7.0f, 7.0f}, c = {1.0f, 2.0f, 3.0f};  // P, Q, R
    sort_pairs(k, c);
    EXPECT_EQ(c, (std::vector<float>{2.0f, 3.0f, 1.0f}));  // Q, R, P
}

TEST(HeapSort2, AscendingInputUnchanged) {
    std::vector<float> k, c;
    for (int i = 0; i < 101; ++i) {
        k.push_back(static_cast<float>(i) * 0.5f - 20.0f);
        c.push_back(static_cast<float>(i));
    }
    auto k0 = k, c0 = c;
    sort_pairs(k, c);
    EXPECT_EQ(k, k0);
    EXPECT_EQ(c, c0);
}

TEST(HeapSort2, SignsAndZeros) {
    std::vector<float> k = {1.0f, -0.0f, -1.0f, 0.0f, 3.0f}, c = {1, 2, 3, 4, 5};
    sort_pairs(k, c);
    EXPECT_EQ(k[0], -1.0f);
    EXPECT_EQ(k[1], 0.0f);
    EXPECT_EQ(k[2], 0.0f);
    EXPECT_EQ(k[3], 1.0f);
    EXPECT_EQ(k[4], 3.0f);
    EXPECT_EQ(c[0], 3.0f);
    // the two zeros keep their own signs (moved as whole words)
    EXPECT_TRUE(std::signbit(k[1]) != std::signbit(k[2]));
}

TEST(HeapSort2, RandomTablesKeepTheirPairs) {
    std::mt19937 rng(12345);
    for (int n : {2, 3, 4, 5, 17, 100, 1000, 10000}) {
        std::uniform_int_distribution<int> pick(-50, 50);  // plenty of equal keys
        std::vector<float> k(n), c(n);
        std::vector<std::pair<float, float>> pairs;
        for (int i = 0; i < n; ++i) {
            k[i] = static_cast<float>(pick(rng)) * 0.25f;
            c[i] = static_cast<float>(i);
            pairs.emplace_back(k[i], c[i]);
        }
        sort_pairs(k, c);
        EXPECT_TRUE(std::is_sorted(k.begin(), k.end())) << n;
        std::vector<std::pair<float, float>> out;
        for (int i = 0; i < n; ++i) out.emplace_back(k[i], c[i]);
        std::sort(pairs.begin(), pairs.end());
        std::sort(out.begin(), out.end());
        EXPECT_EQ(out, pairs) << n;
    }
}

TEST(HeapSort2, FewerThanTwoLeftAlone) {
    float k = 3.0f, c = 4.0f;
    heap_sort2(1, fvec{&k, 1, 1}, fvec{&c, 1, 1});
    EXPECT_EQ(k, 3.0f);
    heap_sort2(0, fvec{}, fvec{});
    heap_sort2(-5, fvec{}, fvec{});
}

TEST(HeapSort2, NaNKeysDoNotBreakIt) {
    std::vector<float> k = {NAN, 1.0f, NAN, -2.0f, 0.5f, NAN}, c = {1, 2, 3, 4, 5, 6};
    sort_pairs(k, c);
    std::vector<float> sorted_c = c;
    std::sort(sorted_c.begin(), sorted_c.end());
    EXPECT_EQ(sorted_c, (std::vector<float>{1, 2, 3, 4, 5, 6}));  // nothing lost or doubled
}

}  // namespace
