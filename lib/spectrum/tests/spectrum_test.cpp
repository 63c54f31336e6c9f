// The per-spectrum computation driven directly: merging, the limit of I/V
// at 0 V, the statuses, and the shortcuts that must not change a bit.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "numlib/extended.h"
#include "spectrum/normalise_internal.h"
#include "numlib/numlib.h"
#include "spectrum/spectrum.h"

namespace {

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(Merge, RunsOfEqualBiasBecomeTheirMean) {
    std::vector<float> bias = {0.3f, 0.1f, 0.2f, 0.1f, -0.0f, 0.0f, 0.1f};
    std::vector<float> current = {3, 1e8f, 2, 1, 5, 7, -1e8f};
    const int n = sort_and_merge(bias.data(), current.data(), 7);
    ASSERT_EQ(n, 4);
    EXPECT_EQ(bias[0], 0.0f);  // -0 and +0 are one bias
    EXPECT_EQ(current[0], 6.0f);
    EXPECT_EQ(bias[1], 0.1f);
    // Summed in extended precision: 1e8 + 1 - 1e8 keeps the 1, which a float
    // sum would lose.
    EXPECT_EQ(current[1], 1.0f / 3.0f);
    EXPECT_EQ(bias[2], 0.2f);
    EXPECT_EQ(current[2], 2.0f);
    EXPECT_EQ(bias[3], 0.3f);
    EXPECT_EQ(current[3], 3.0f);
}

TEST(Merge, NanBiasesStaySeparateAndSingleValuesKeepTheirBits) {
    std::vector<float> bias = {NAN, 1.0f, NAN, 2.0f};
    std::vector<float> current = {1, -NAN, 2, 4};
    EXPECT_EQ(sort_and_merge(bias.data(), current.data(), 4), 4);
    int nans = 0;
    for (int j = 0; j < 4; ++j) {
        nans += std::isnan(bias[j]);
        if (bias[j] == 1.0f) {
            EXPECT_TRUE(same_bits(current[j], -NAN));
        }
    }
    EXPECT_EQ(nans, 2);
}

TEST(Merge, SignedZerosAreOneBiasInAnOtherwiseAscendingSweep) {
    // -0 < +0 is false: the sweep is not strictly ascending, so the two
    // zeros are merged (the mean of 1 and 2 is 1.5) and not kept apart.
    std::vector<float> bias = {-1.0f, -0.0f, 0.0f, 1.0f};
    std::vector<float> current = {5, 1, 2, 7};
    ASSERT_EQ(sort_and_merge(bias.data(), current.data(), 4), 3);
    EXPECT_EQ(bias[0], -1.0f);
    EXPECT_EQ(bias[1], 0.0f);
    EXPECT_EQ(current[1], 1.5f);
    EXPECT_EQ(bias[2], 1.0f);
    EXPECT_EQ(current[2], 7.0f);
}

TEST(Merge, MonotoneSweepsSortAsTheHeapSortDoes) {
    // Distinct biases have one sorted order: the shortcut for sweeps that
    // are already monotone must give the heap sort's arrays exactly.
    std::mt19937 rng(5);
    for (int n : {2, 3, 10, 401}) {
        std::vector<float> up(n), current(n);
        for (int j = 0; j < n; ++j) {
            up[j] = -1.0f + 0.01f * static_cast<float>(j);
            current[j] = static_cast<float>(rng() % 1000) / 7.0f;
        }
        for (bool descending : {false, true}) {
            std::vector<float> b = up, c = current;
            if (descending) {
                std::reverse(b.begin(), b.end());
                std::reverse(c.begin(), c.end());
            }
            std::vector<float> hb = b, hc = c;
            heap_sort2(n, one_based(hb.data(), n), one_based(hc.data(), n));
            EXPECT_EQ(sort_and_merge(b.data(), c.data(), n), n);
            EXPECT_EQ(b, hb);
            EXPECT_EQ(c, hc);
        }
    }
}

TEST(CurrentOverBias, ZeroBiasTakesTheChordSlope) {
    const float bias[] = {-0.5f, 0.0f, 0.25f, 1.0f};
    const float current[] = {-1.0f, 0.0f, 0.5f, 3.0f};
    float iv[4];
    current_over_bias(bias, current, iv, 4);
    EXPECT_EQ(iv[0], 2.0f);
    EXPECT_EQ(iv[1], static_cast<float>(xf(1.5) / xf(0.75)));  // (0.5 - -1) / (0.25 - -0.5)
    EXPECT_EQ(iv[2], 2.0f);
    EXPECT_EQ(iv[3], 3.0f);
    // At either end the point itself stands in for the missing neighbour.
    const float low[] = {-0.0f, 0.5f};
    const float low_current[] = {1.0f, 2.0f};
    current_over_bias(low, low_current, iv, 2);
    EXPECT_EQ(iv[0], 2.0f);
    const float high[] = {-0.5f, 0.0f};
    current_over_bias(high, low_current, iv, 2);
    EXPECT_EQ(iv[1], 2.0f);
}

struct computation {
    spectrum_workspace w;
    spectrum_arrays a;
    explicit computation(int capacity) {
        EXPECT_TRUE(reserve_workspace(&w, capacity));
        EXPECT_TRUE(reserve_arrays(&a, capacity));
    }
    spectrum_report run(const std::vector<float>& bias, const std::vector<float>& current) {
        // Only what fits: a longer spectrum is refused before it is read.
        const size_t fits = std::min(bias.size(), a.bias.size());
        std::copy_n(bias.begin(), fits, a.bias.begin());
        std::copy_n(current.begin(), fits, a.current.begin());
        return compute_spectrum(static_cast<int>(bias.size()), norm_options{}, &w, &a);
    }
};

TEST(Compute, StatusesNameTheStepThatFailed) {
    computation c(8);
    auto r = c.run({0.5f, 0.5f, 0.5f}, {1, 2, 3});
    EXPECT_EQ(r.status, spectrum_status::too_few_points);
    EXPECT_EQ(r.merged, 2);
    r = c.run(std::vector<float>(9, 1.0f), std::vector<float>(9, 1.0f));
    EXPECT_EQ(r.status, spectrum_status::too_many_points);
    // Two points: the parabola of the broadening has coinciding anchors.
    r = c.run({-0.5f, 0.5f}, {-1, 1});
    EXPECT_EQ(r.status, spectrum_status::routine_failure);
    EXPECT_EQ(r.reached, spectrum_step::broaden);
    EXPECT_EQ(r.failure, NUM_POLINT_EQUAL_DISTANCES);
    EXPECT_STREQ(num_message(r.failure), "Error in routine POLINT");
    EXPECT_EQ(c.a.didv[0], 2.0f);  // the steps before it are complete
    r = c.run({NAN, 1, 2, 3}, {1, 5, 7, 8});
    EXPECT_EQ(r.status, spectrum_status::routine_failure);
    EXPECT_EQ(r.reached, spectrum_step::offset);
    EXPECT_EQ(r.failure, NUM_SPLINT_BAD_INTERVAL);
    EXPECT_STREQ(num_message(r.failure), "Bad XA input to routine SPLINT");
}

TEST(Compute, CausesSeeOneNonFiniteValueAnywhere) {
    // Eleven points (not a multiple of the checks' stride): a line whose
    // results are all finite, then an infinite current at each place in
    // turn, which makes the input non-finite.
    computation c(11);
    std::vector<float> bias, current;
    for (int j = 0; j < 11; ++j) {
        bias.push_back(0.25f + 0.125f * static_cast<float>(j));
        current.push_back(2 * bias.back() + 0.5f);
    }
    EXPECT_EQ(c.run(bias, current).causes, 0);
    for (size_t at = 0; at < 11; ++at) {
        std::vector<float> bad = current;
        bad[at] = INFINITY;
        const auto r = c.run(bias, bad);
        if (r.status == spectrum_status::ok) {
            EXPECT_NE(r.causes & CAUSE_NONFINITE_INPUT, 0) << at;
        }
    }
    // Finite input whose I/V overflows the float range.
    std::vector<float> huge = current;
    huge[10] = 3e38f;
    huge[9] = -3e38f;
    const auto r = c.run(bias, huge);
    if (r.status == spectrum_status::ok) {
        EXPECT_NE(r.causes, 0);
        EXPECT_EQ(r.causes & CAUSE_NONFINITE_INPUT, 0);
    }
}

TEST(Compute, OneWorkspaceServesManySpectraAlike) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> noise(-0.01f, 0.01f);
    auto make = [&](int n, std::vector<float>* bias, std::vector<float>* current) {
        bias->clear();
        current->clear();
        for (int j = 0; j < n; ++j) {
            bias->push_back(-1.0f + 2.0f * static_cast<float>(j) / static_cast<float>(n - 1));
            current->push_back(bias->back() * 3 + noise(rng));
        }
    };
    std::vector<float> b1, c1, b2, c2;
    make(300, &b1, &c1);
    make(41, &b2, &c2);
    computation fresh(300), reused(300);
    fresh.run(b1, c1);
    reused.run(b2, c2);
    reused.run(b1, c1);
    for (int j = 0; j < 299; ++j) {
        ASSERT_TRUE(same_bits(fresh.a.norm_exp[j], reused.a.norm_exp[j])) << j;
        ASSERT_TRUE(same_bits(fresh.a.norm_raw[j], reused.a.norm_raw[j])) << j;
    }
}

TEST(Normalise, MidpointBracketsAgreeWithBisection) {
    // Neighbouring biases one float apart make midpoints that round onto
    // the upper bias: the direct bracket must still be the bisection's.
    std::mt19937 rng(11);
    spectrum_workspace w;
    ASSERT_TRUE(reserve_workspace(&w, 500));
    for (int round = 0; round < 50; ++round) {
        const int n = 2 + static_cast<int>(rng() % 499);
        std::vector<float> bias(n), ivar(n), didv(n - 1), vmid(n - 1), fast(n - 1), slow(n - 1);
        float v = -1.0f - static_cast<float>(rng() % 1000) / 100.0f;
        for (int j = 0; j < n; ++j) {
            bias[j] = v;
            ivar[j] = 1.0f + static_cast<float>(rng() % 1000) / 10.0f;
            v = rng() % 4 == 0 ? std::nextafter(v, 100.0f) : v + static_cast<float>(rng() % 100 + 1) / 1000.0f;
        }
        differentiate(bias.data(), ivar.data(), didv.data(), vmid.data(), n);
        int fast_zeros = 0, slow_zeros = 0;
        const num_status fast_status =
            normalise_at_midpoints(vmid.data(), didv.data(), fast.data(), n - 1, bias.data(),
                                   ivar.data(), n, true, &w, &fast_zeros);
        const num_status slow_status =
            normalise_at_midpoints(vmid.data(), didv.data(), slow.data(), n - 1, bias.data(),
                                   ivar.data(), n, false, &w, &slow_zeros);
        ASSERT_EQ(fast_status, slow_status);
        ASSERT_EQ(fast_zeros, slow_zeros);
        for (int j = 0; j < n - 1; ++j)
            ASSERT_TRUE(same_bits(fast[j], slow[j])) << "round " << round << " j " << j;
    }
}


// The tables one workspace keeps for its last axis must follow the axis:
// pixels whose biases differ in count, in one float step, in a NaN or an
// infinity, or whose exponential width differs, each get the results of a
// fresh start.
TEST(Compute, KeptAxisTablesFollowEveryChangeOfAxis) {
    std::mt19937 rng(19);
    std::uniform_real_distribution<float> noise(-0.01f, 0.01f);
    std::vector<std::vector<float>> axes;
    for (int n : {200, 200, 57}) {
        std::vector<float> b;
        for (int j = 0; j < n; ++j)
            b.push_back(-0.7f + 1.5f * static_cast<float>(j) / static_cast<float>(n - 1));
        axes.push_back(b);
    }
    axes[1][100] = std::nextafter(axes[1][100], 1.0f);  // one float step apart
    axes.push_back(axes[0]);
    axes.back()[3] = NAN;                                // refused at the offset
    axes.push_back(axes[2]);
    axes.back().back() = INFINITY;                       // not finite: bisection
    const float widths[] = {1.33f, 0.05f};
    computation kept(200);
    for (int round = 0; round < 24; ++round) {
        const std::vector<float>& bias = axes[static_cast<size_t>(rng() % axes.size())];
        std::vector<float> current;
        for (float v : bias) current.push_back(2 * v + v * v * v + noise(rng));
        norm_options o;
        o.exp_width = widths[rng() % 2];
        computation fresh(200);
        const int n = static_cast<int>(bias.size());
        for (computation* c : {&fresh, &kept}) {
            std::copy(bias.begin(), bias.end(), c->a.bias.begin());
            std::copy(current.begin(), current.end(), c->a.current.begin());
        }
        const spectrum_report want = compute_spectrum(n, o, &fresh.w, &fresh.a);
        const spectrum_report got = compute_spectrum(n, o, &kept.w, &kept.a);
        ASSERT_EQ(want.status, got.status);
        ASSERT_EQ(want.reached, got.reached);
        if (want.status != spectrum_status::ok) continue;  // nothing defined to compare
        for (const auto member : {&spectrum_arrays::current, &spectrum_arrays::iv_raw,
                                  &spectrum_arrays::iv_exp, &spectrum_arrays::didv,
                                  &spectrum_arrays::norm_exp, &spectrum_arrays::norm_coff,
                                  &spectrum_arrays::norm_raw})
            for (int j = 0; j + 1 < want.n; ++j)
                ASSERT_TRUE(same_bits((fresh.a.*member)[static_cast<size_t>(j)],
                                      (kept.a.*member)[static_cast<size_t>(j)]))
                    << "round " << round << " point " << j;
    }
}

}  // namespace
