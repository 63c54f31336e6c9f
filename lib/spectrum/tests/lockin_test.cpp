// The lock-in's placing, fit and normalisation against hand-worked cases.
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/lockin.h"
#include "spectrum/spectrum.h"

namespace {

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(LockinFit, HandWorkedLine) {
    // x = 0 1 2 3, y = 1 3 5 7.5: means 1.5 and 4.125, sxx = 5,
    // sxy = 1.5*3.125 + 0.5*1.125 + 0.5*0.875 + 1.5*3.375 = 10.75,
    // scale = 2.15, offset = 4.125 - 2.15*1.5 = 0.9.
    const float x[] = {0, 1, 2, 3};
    const float y[] = {1, 3, 5, 7.5f};
    const lockin_moments m = moments_of(x, y, 4);
    EXPECT_EQ(static_cast<double>(m.sxx), 5.0);
    EXPECT_EQ(static_cast<double>(m.sxy), 10.75);
    const lockin_fit fit = fit_line(m);
    ASSERT_EQ(fit.status, lockin_status::ok);
    EXPECT_EQ(fit.scale, 2.15f);
    EXPECT_NEAR(fit.offset, 0.9f, 1e-6f);
    // fitted 0.9 3.05 5.2 7.35; residuals 0.1 -0.05 -0.2 0.15, squares
    // 0.075 in all; total = 3.125^2 + 1.125^2 + 0.875^2 + 3.375^2 = 23.1875.
    const float fitted[] = {0.9f, 3.05f, 5.2f, 7.35f};
    EXPECT_NEAR(r_squared(y, fitted, 4), 1.0 - 0.075 / 23.1875, 1e-6);
}

TEST(LockinFit, RSquaredAndItsUndefinedCase) {
    const float y[] = {1, 2, 3};
    const float fitted[] = {1, 2, 4};
    EXPECT_EQ(r_squared(y, fitted, 3), 0.5f);  // 1 - 1/2
    const float flat[] = {2, 2, 2};
    EXPECT_TRUE(std::isnan(r_squared(flat, fitted, 3)));
}

TEST(LockinFit, MergedHalvesGiveTheWhole) {
    std::vector<float> x, y;
    for (int j = 0; j < 40; ++j) {
        x.push_back(0.37f * static_cast<float>(j % 7) - 1.0f + 0.01f * static_cast<float>(j));
        y.push_back(3.0f * x.back() - 0.5f + 0.03f * static_cast<float>((j * 13) % 5));
    }
    const lockin_moments whole = moments_of(x.data(), y.data(), 40);
    lockin_moments merged;
    merge_moments(&merged, moments_of(x.data(), y.data(), 15));
    merge_moments(&merged, moments_of(x.data() + 15, y.data() + 15, 25));
    merge_moments(&merged, lockin_moments{});  // an empty set changes nothing
    EXPECT_EQ(static_cast<double>(merged.count), 40.0);
    EXPECT_NEAR(static_cast<double>(merged.mean_x), static_cast<double>(whole.mean_x), 1e-15);
    EXPECT_NEAR(static_cast<double>(merged.sxx), static_cast<double>(whole.sxx), 1e-12);
    EXPECT_NEAR(static_cast<double>(merged.sxy), static_cast<double>(whole.sxy), 1e-12);
    EXPECT_NEAR(static_cast<double>(merged.syy), static_cast<double>(whole.syy), 1e-12);
    const lockin_fit a = fit_line(whole), b = fit_line(merged);
    EXPECT_NEAR(a.scale, b.scale, 1e-6f);
    EXPECT_NEAR(a.offset, b.offset, 1e-6f);
}

TEST(LockinFit, FlatShortAndMissingSignalsFail) {
    const float x[] = {1, 1, 1};
    const float y[] = {1, 2, 3};
    EXPECT_EQ(fit_line(moments_of(x, y, 3)).status, lockin_status::flat_signal);
    EXPECT_EQ(fit_line(moments_of(y, y, 1)).status, lockin_status::too_few_points);
    const float with_nan[] = {1, NAN, 3};
    EXPECT_EQ(fit_line(moments_of(with_nan, y, 3)).status, lockin_status::no_fit);
    lockin_arrays l;
    ASSERT_TRUE(reserve_lockin_arrays(&l, 4));
    l.bias = {0.0f, 0.1f, 0.2f, 0.3f};
    l.signal = {1, 2, NAN, 4};
    EXPECT_EQ(place_lockin(4, 4, &l), lockin_status::missing_values);
}

TEST(LockinPlace, SortsMergesAndTakesMidpointsAsTheCurrentIs) {
    lockin_arrays l;
    ASSERT_TRUE(reserve_lockin_arrays(&l, 5));
    // Sorted: 0 -> 0, 0.1 -> (1 + 3) / 2, 0.2 -> 4, 0.3 -> 10.
    l.bias = {0.2f, 0.0f, 0.1f, 0.3f, 0.1f};
    l.signal = {4, 0, 1, 10, 3};
    EXPECT_EQ(place_lockin(5, 4, &l), lockin_status::ok);
    EXPECT_EQ(l.at_mid[0], 1.0f);
    EXPECT_EQ(l.at_mid[1], 3.0f);
    EXPECT_EQ(l.at_mid[2], 7.0f);
    // Another count of merged points than the current's is refused.
    l.bias = {0.2f, 0.0f, 0.1f, 0.3f, 0.1f};
    l.signal = {4, 0, 1, 10, 3};
    EXPECT_EQ(place_lockin(5, 5, &l), lockin_status::no_fit);
}

// A spectrum computed with its divisors kept, and a lock-in recorded at the
// same points, in reverse (descending) sweep order.
struct computed {
    spectrum_workspace w;
    spectrum_arrays a;
    lockin_arrays l;
    spectrum_report r;
    int n = 41;
};

void compute(computed* c, bool keep) {
    ASSERT_TRUE(reserve_workspace(&c->w, c->n));
    ASSERT_TRUE(reserve_arrays(&c->a, c->n));
    if (keep) {
        ASSERT_TRUE(keep_divisors(&c->a));
    }
    ASSERT_TRUE(reserve_lockin_arrays(&c->l, c->n));
    for (int j = 0; j < c->n; ++j) {
        const float v = 1.0f - 0.05f * static_cast<float>(j);
        c->a.bias[j] = c->l.bias[j] = v;
        c->a.current[j] = v + v * v * v + 0.2f;
        // 1 + 3 v^2 in a unit of its own: 0.25 * (dI/dV) - 0.125.
        c->l.signal[j] = 0.25f * (1.0f + 3.0f * v * v) - 0.125f;
    }
    c->r = compute_spectrum(c->n, norm_options{}, &c->w, &c->a);
    ASSERT_EQ(c->r.status, spectrum_status::ok);
}

TEST(LockinCompute, KeepingTheDivisorsChangesNoResult) {
    computed with, without;
    compute(&with, true);
    compute(&without, false);
    for (int j = 0; j + 1 < with.n; ++j) {
        EXPECT_TRUE(same_bits(with.a.norm_exp[j], without.a.norm_exp[j]));
        EXPECT_TRUE(same_bits(with.a.norm_coff[j], without.a.norm_coff[j]));
        EXPECT_TRUE(same_bits(with.a.norm_raw[j], without.a.norm_raw[j]));
    }
    // Without the divisors the lock-in cannot be normalised.
    EXPECT_EQ(compute_lockin(without.n, without.r, without.a, nullptr, &without.l).status,
              lockin_status::no_fit);
}

TEST(LockinCompute, CalibratesToTheNumericalDerivativeAndSharesItsDivisors) {
    computed c;
    compute(&c, true);
    const lockin_report rep = compute_lockin(c.n, c.r, c.a, nullptr, &c.l);
    ASSERT_EQ(rep.status, lockin_status::ok);
    // The lock-in is 0.25 dI/dV - 0.125 at the points; at the midpoints the
    // mean of two neighbours differs from the chord slope by h^2/4 * 3 at
    // most, so the line is close to scale 4, offset 0.5.
    EXPECT_NEAR(rep.scale, 4.0f, 0.01f);
    EXPECT_NEAR(rep.offset, 0.5f, 0.01f);
    EXPECT_GT(rep.r2, 0.999f);
    const int m = c.r.n - 1;
    std::vector<float> ones(static_cast<size_t>(m), 1.0f), inverse(static_cast<size_t>(m));
    for (int j = 0; j < m; ++j) {
        EXPECT_NEAR(c.l.didv[j], c.a.didv[j], 0.002f);
        // The divisor of norm_raw, through the library's other road.
        int zeros = 0;
        ASSERT_TRUE(normalise_by(c.a.vmid.data(), ones.data(), inverse.data(), m, c.a.bias.data(),
                                 c.a.iv_raw.data(), c.r.n, &c.w, &zeros)
                        .ok());
        EXPECT_NEAR(c.l.norm_raw[j], c.l.didv[j] * inverse[j], 1e-5f * std::fabs(c.l.norm_raw[j]));
        EXPECT_NEAR(c.l.norm_exp[j] * c.a.didv[j], c.l.didv[j] * c.a.norm_exp[j],
                    1e-5f * std::fabs(c.l.didv[j] * c.a.norm_exp[j]));
    }
    // A line given from outside is used as it is.
    const lockin_fit fixed{lockin_status::ok, 2.0f, 1.0f};
    computed d;
    compute(&d, true);
    const lockin_report given = compute_lockin(d.n, d.r, d.a, &fixed, &d.l);
    ASSERT_EQ(given.status, lockin_status::ok);
    EXPECT_EQ(given.scale, 2.0f);
    EXPECT_EQ(d.l.didv[0], static_cast<float>(2.0L * d.l.at_mid[0] + 1.0L));
}

}  // namespace
