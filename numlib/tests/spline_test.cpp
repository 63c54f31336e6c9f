#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "numlib/numlib.h"
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

}  // namespace
