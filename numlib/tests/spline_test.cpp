#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "numlib/numlib.h"
#include "numlib/spline_axis.h"
#include "testkit/testkit.h"

namespace {

constexpr float natural = 1e30f;

struct table {
    std::vector<float> x, y, d2;
    explicit table(std::vector<float> xs, std::vector<float> ys)
        : x(std::move(xs)), y(std::move(ys)), d2(x.size(), -99.0f) {}
    int n() const { return static_cast<int>(x.size()); }
    void coeffs(float first = natural, float last = natural) {
        spline_coeffs(one_based(x.data(), n()), one_based(y.data(), n()), n(), first, last,
                      one_based(d2.data(), n()));
    }
    float at(float t) const {
        float value = -1.0f;
        SPLINT(one_based(x.data(), n()), one_based(y.data(), n()), one_based(d2.data(), n()), n(),
               t, &value);
        return value;
    }
};

TEST(Spline, TwoPointsIsTheStraightLine) {
    table t({1.0f, 3.0f}, {2.0f, 6.0f});
    t.coeffs();
    EXPECT_EQ(t.d2[0], 0.0f);
    EXPECT_EQ(t.d2[1], 0.0f);
    EXPECT_FLOAT_EQ(t.at(2.0f), 4.0f);
    EXPECT_FLOAT_EQ(t.at(0.0f), 0.0f);   // extrapolated below
    EXPECT_FLOAT_EQ(t.at(5.0f), 10.0f);  // and above
}

TEST(Spline, ThreePointsMiddleSecondDerivative) {
    table t({0.0f, 1.0f, 3.0f}, {0.0f, 2.0f, 3.0f});
    t.coeffs();
    EXPECT_EQ(t.d2[0], 0.0f);
    EXPECT_EQ(t.d2[2], 0.0f);
    // chord slopes 2 and 0.5: delta = -1.5; d2 = (6 * delta / 3) / 2 = -1.5
    EXPECT_EQ(t.d2[1], -1.5f);
}

TEST(Spline, KnotsGiveTheirOrdinatesExactly) {
    table t({-1.0f, -0.5f, 0.25f, 1.0f, 2.0f}, {3.0f, -1.0f, 0.7f, 0.2f, 5.0f});
    t.coeffs();
    for (int k = 0; k < t.n(); ++k) EXPECT_EQ(t.at(t.x[k]), t.y[k]) << "knot " << k;
}

TEST(Spline, ClampedSplineReproducesACubic) {
    // The clamped spline through a cubic with its true end slopes is that cubic.
    auto cubic = [](double v) { return 0.5 * v * v * v - v * v + 2.0 * v - 1.0; };
    auto slope = [](double v) { return 1.5 * v * v - 2.0 * v + 2.0; };
    std::vector<float> xs, ys;
    for (int k = 0; k <= 20; ++k) {
        const float v = -2.0f + 0.2f * static_cast<float>(k);
        xs.push_back(v);
        ys.push_back(static_cast<float>(cubic(v)));
    }
    table t(xs, ys);
    t.coeffs(static_cast<float>(slope(xs.front())), static_cast<float>(slope(xs.back())));
    for (int k = 0; k < 20; ++k) {
        const float v = 0.5f * (xs[k] + xs[k + 1]);
        EXPECT_NEAR(t.at(v), cubic(v), 2e-5) << "at " << v;
    }
    for (int k = 0; k <= 20; ++k)
        EXPECT_NEAR(t.d2[k], 3.0 * xs[k] - 2.0, 2e-3) << "second derivative at " << xs[k];
}

TEST(Spline, NaturalEndThreshold) {
    std::vector<float> xs = {0.0f, 1.0f, 2.5f, 3.0f};
    std::vector<float> ys = {1.0f, -1.0f, 2.0f, 0.0f};
    table a(xs, ys), b(xs, ys), c(xs, ys);
    a.coeffs(1e30f, 1e30f);
    const float nearest = 9.9e29f;  // lies above the double 9.9e29: natural
    b.coeffs(nearest, nearest);
    EXPECT_EQ(a.d2, b.d2);
    const float below = std::nextafter(nearest, 0.0f);  // a (huge) slope
    c.coeffs(below, natural);
    EXPECT_NE(c.d2[0], 0.0f);
    EXPECT_EQ(c.d2[0] == a.d2[0] && c.d2[1] == a.d2[1], false);
}

TEST(Spline, FewerThanTwoPointsIsHarmless) {
    table t({1.0f}, {2.0f});
    t.coeffs();
    EXPECT_EQ(t.d2[0], 0.0f);
    float d2_none = 5.0f;
    spline_coeffs(cfvec{}, cfvec{}, 0, natural, natural, fvec{&d2_none, 1, 0});
    EXPECT_EQ(d2_none, 5.0f);
}

TEST(Spline, ZeroWidthBracketStops) {
    const std::string expected =
        "Vantrel run-time error...\nBad XA input to routine SPLINT\n...now exiting to system...\n";
    auto single = testkit::run_in_child([] {
        table t({1.0f}, {2.0f});
        t.coeffs();
        t.at(1.0f);
    });
    EXPECT_EQ(single.status, 1);
    EXPECT_EQ(single.err, expected);

    auto repeated = testkit::run_in_child([] {
        table t({1.0f, 1.0f, 2.0f}, {2.0f, 3.0f, 4.0f});
        t.coeffs();
        t.at(0.0f);  // below the table: brackets the two equal abscissas
    });
    EXPECT_EQ(repeated.status, 1);
    EXPECT_EQ(repeated.err, expected);

    auto not_a_number = testkit::run_in_child([] {
        table t({1.0f, NAN}, {2.0f, 3.0f});
        t.coeffs();
        t.at(0.0f);
    });
    EXPECT_EQ(not_a_number.status, 1);
    EXPECT_EQ(not_a_number.err, expected);
}


// The second-derivative recurrence in one loop, every quotient formed where
// it is used, and the evaluation in one expression: the form the split,
// per-axis routines must reproduce bit for bit.
void one_loop_coeffs(const std::vector<float>& x, const std::vector<float>& y, float first,
                     float last, std::vector<float>* d2) {
    const int n = static_cast<int>(x.size());
    std::vector<float> u(x.size());
    float& d0 = (*d2)[0];
    if (static_cast<double>(first) > 9.9e29) {
        d0 = 0.0f;
        u[0] = 0.0f;
    } else {
        d0 = -0.5f;
        const xf h = xf(x[1]) - x[0];
        u[0] = static_cast<float>((xf(3) / h) * ((xf(y[1]) - y[0]) / h - first));
    }
    for (int i = 1; i < n - 1; ++i) {
        const float sig = static_cast<float>((xf(x[i]) - x[i - 1]) / (xf(x[i + 1]) - x[i - 1]));
        const float p = static_cast<float>(xf(sig) * (*d2)[i - 1] + xf(2));
        (*d2)[i] = static_cast<float>((xf(sig) - xf(1)) / p);
        u[i] = static_cast<float>((xf(y[i + 1]) - y[i]) / (xf(x[i + 1]) - x[i]) -
                                  (xf(y[i]) - y[i - 1]) / (xf(x[i]) - x[i - 1]));
        u[i] = static_cast<float>(((xf(6) * u[i]) / (xf(x[i + 1]) - x[i - 1]) - xf(sig) * u[i - 1]) / p);
    }
    float qn = 0.0f, un = 0.0f;
    if (static_cast<double>(last) <= 9.9e29) {
        qn = 0.5f;
        const xf h = xf(x[n - 1]) - x[n - 2];
        un = static_cast<float>((xf(3) / h) * (last - (xf(y[n - 1]) - y[n - 2]) / h));
    }
    (*d2)[n - 1] = static_cast<float>((xf(un) - xf(qn) * u[n - 2]) / (xf(qn) * (*d2)[n - 2] + xf(1)));
    for (int k = n - 2; k >= 0; --k)
        (*d2)[k] = static_cast<float>(xf((*d2)[k]) * (*d2)[k + 1] + u[k]);
}

float one_expression_value(const std::vector<float>& x, const std::vector<float>& y,
                           const std::vector<float>& d2, int lo, float t) {
    const int hi = lo + 1;
    const float h = static_cast<float>(xf(x[hi]) - x[lo]);
    const float a = static_cast<float>((xf(x[hi]) - t) / h);
    const float b = static_cast<float>((xf(t) - x[lo]) / h);
    return static_cast<float>((xf(a) * y[lo] + xf(b) * y[hi]) +
                              ((((xf(a) * a) * a - a) * d2[lo] + ((xf(b) * b) * b - b) * d2[hi]) *
                               (xf(h) * h)) /
                                  xf(6));
}

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(SplineAxis, SplitRecurrenceAndTermsGiveTheOneLoopsBits) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    for (int round = 0; round < 300; ++round) {
        const int n = 2 + static_cast<int>(rng() % 60);
        std::vector<float> x(static_cast<size_t>(n)), y(x.size());
        float at = unit(rng);
        for (int k = 0; k < n; ++k) {
            // Steps of every size, now and then none (a zero-width interval).
            at += (rng() % 9 == 0) ? 0.0f : std::ldexp(std::fabs(unit(rng)), -static_cast<int>(rng() % 20));
            x[static_cast<size_t>(k)] = at;
            y[static_cast<size_t>(k)] = rng() % 50 == 0 ? NAN : unit(rng) * 1e3f;
        }
        const float first = round % 3 == 0 ? unit(rng) : natural;
        const float last = round % 4 == 0 ? unit(rng) : natural;
        std::vector<float> expected(x.size()), whole(x.size()), split(x.size());
        std::vector<float> work(x.size()), s(x.size()), p(x.size()), d2x(x.size());
        one_loop_coeffs(x, y, first, last, &expected);
        const cfvec cx = one_based(x.data(), n), cy = one_based(y.data(), n);
        spline_coeffs_using(cx, cy, n, first, last, one_based(whole.data(), n),
                            one_based(work.data(), n));
        spline_axis_terms(cx, n, first, one_based(s.data(), n), one_based(p.data(), n),
                          one_based(d2x.data(), n));
        spline_coeffs_on_axis(cx, cy, n, first, last, one_based(s.data(), n),
                              one_based(p.data(), n), one_based(d2x.data(), n),
                              one_based(split.data(), n), one_based(work.data(), n));
        // A back substitution stopped at `lowest` (1-based) keeps the bits
        // of every second derivative from there up.
        const int lowest = 1 + static_cast<int>(rng() % static_cast<unsigned>(n));
        std::vector<float> upper(x.size(), -7.0f);
        spline_coeffs_on_axis(cx, cy, n, first, last, one_based(s.data(), n),
                              one_based(p.data(), n), one_based(d2x.data(), n),
                              one_based(upper.data(), n), one_based(work.data(), n), lowest);
        for (int k = 0; k < n; ++k) {
            ASSERT_TRUE(same_bits(expected[static_cast<size_t>(k)], whole[static_cast<size_t>(k)]))
                << "round " << round << " k " << k;
            ASSERT_TRUE(same_bits(expected[static_cast<size_t>(k)], split[static_cast<size_t>(k)]))
                << "round " << round << " k " << k;
            if (k + 1 < lowest) continue;
            ASSERT_TRUE(same_bits(expected[static_cast<size_t>(k)], upper[static_cast<size_t>(k)]))
                << "round " << round << " k " << k << " from " << lowest;
        }
        for (int lo = 0; lo + 1 < n; ++lo) {
            const float t = x[static_cast<size_t>(lo)] + unit(rng) * 0.01f;
            spline_terms terms;
            const bool usable = spline_terms_at(cx, lo + 1, t, &terms);
            const float width = x[static_cast<size_t>(lo) + 1] - x[static_cast<size_t>(lo)];
            ASSERT_EQ(usable, width != 0.0f);
            if (!usable) continue;
            ASSERT_TRUE(same_bits(spline_value_with(terms, cy, one_based(expected.data(), n)),
                                  one_expression_value(x, y, expected, lo, t)))
                << "round " << round << " interval " << lo;
        }
    }
}

}  // namespace
