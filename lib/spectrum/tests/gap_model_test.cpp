// The gap models against an independent SciPy computation from the
// formulas (gap_reference.py), hand-worked limits, and the lock-in rule's
// moments.
#include <cmath>
#include <cstdio>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/dynes.h"
#include "spectrum/dynes_sis.h"
#include "spectrum/gap_fit.h"
#include "spectrum/modulation.h"
#include "spectrum/tests/gap_python.h"

namespace {

using namespace sts;

std::vector<double> ours(const gap_curve& c, const std::vector<double>& bias) {
    gap_fit_workspace w;
    std::vector<double> out(bias.size());
    EXPECT_TRUE(evaluate_gap_curve(c, bias.data(), static_cast<int>(bias.size()), out.data(), &w));
    return out;
}

std::vector<double> sweep(int n, double lo, double hi) {
    std::vector<double> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = lo + (hi - lo) * i / (n - 1);
    return v;
}

gap_curve make(gap_model m, double gap, double gamma, double t, double tip_gap = 0,
               double tip_gamma = 0) {
    gap_curve c;
    c.model = m;
    c.gap = gap;
    c.gamma = gamma;
    c.temperature = t;
    c.tip_gap = tip_gap;
    c.tip_gamma = tip_gamma;
    c.bias_to_meV = 1;  // biases in mV
    return c;
}

TEST(ModulationRule, WeightsAndMomentsOfTheSemicircle) {
    // (2/pi) Int sqrt(1 - t^2) t^2k dt: 1, 1/4, 1/8 for k = 0, 1, 2.
    modulation_rule r;
    make_modulation_rule(0.3, 0.1, &r);
    ASSERT_GT(r.count, 3);
    double m0 = 0, m2 = 0, m4 = 0, m1 = 0;
    for (int k = 0; k < r.count; ++k) {
        const double t = r.shift[k] / 0.3;
        m0 += r.weight[k];
        m1 += r.weight[k] * t;
        m2 += r.weight[k] * t * t;
        m4 += r.weight[k] * t * t * t * t;
    }
    EXPECT_NEAR(m0, 1, 1e-14);
    EXPECT_NEAR(m1, 0, 1e-14);
    EXPECT_NEAR(m2, 0.25, 1e-14);
    EXPECT_NEAR(m4, 0.125, 1e-14);
    make_modulation_rule(0, 0.1, &r);
    EXPECT_EQ(r.count, 0);
    make_modulation_rule(1.0, 0.0, &r);
    EXPECT_EQ(r.count, max_modulation_nodes);
}

TEST(DynesModel, HandWorkedLimits) {
    // No gap: the normal conductance, at any temperature.
    for (double w : {-3.0, 0.0, 0.7, 5.0}) EXPECT_NEAR(dynes_conductance({0, 0.1, 2}, w), 1, 1e-14);
    // Zero bias at T -> 0: rho(0) = Gamma / sqrt(Gamma^2 + Delta^2).
    EXPECT_NEAR(dynes_conductance({1, 0.1, 1e-4}, 0), 0.1 / std::sqrt(1.01), 1e-9);
    // Far outside the gap at T -> 0: E / sqrt(E^2 - Delta^2) for Gamma -> 0.
    EXPECT_NEAR(dynes_conductance({1, 1e-9, 1e-4}, 3), 3 / std::sqrt(8.0), 1e-7);
    // The density's slope and curvature against central differences.
    for (double e : {-1.5, -0.9, 0.2, 1.31, 2.5}) {
        const double d = 1e-5;
        EXPECT_NEAR(dynes_density_slope(1.3, 0.05, e),
                    (dynes_density(1.3, 0.05, e + d) - dynes_density(1.3, 0.05, e - d)) / (2 * d), 1e-5);
        EXPECT_NEAR(dynes_density_curvature(1.3, 0.05, e),
                    (dynes_density_slope(1.3, 0.05, e + d) - dynes_density_slope(1.3, 0.05, e - d)) / (2 * d),
                    1e-3);
        double rho, slope;
        dynes_density_and_slope(1.3, 0.05, e, &rho, &slope);
        EXPECT_NEAR(rho, dynes_density(1.3, 0.05, e), 1e-13);
        EXPECT_NEAR(slope, dynes_density_slope(1.3, 0.05, e), 1e-10);
    }
    // Even in the bias; the density's modulus changes nothing.
    for (double w : {0.3, 1.0, 1.7}) {
        EXPECT_NEAR(dynes_conductance({1.3, 0.02, 0.4}, w), dynes_conductance({1.3, 0.02, 0.4}, -w), 1e-13);
        const double e = w - 1.5;
        EXPECT_GT(dynes_density(1.3, 0.02, e), 0);
    }
}

TEST(DynesModel, AgreesWithSciPy) {
    std::vector<gap_curve> cases = {make(gap_model::dynes, 1.3, 0.02, 0.4),
                                    make(gap_model::dynes, 1.3, 0.005, 0.1),
                                    make(gap_model::dynes, 0.2, 0.5, 10),
                                    make(gap_model::dynes, 2.0, 0.01, 4)};
    gap_curve dressed = make(gap_model::dynes, 1.0, 0.05, 1.0);
    dressed.modulation = 0.1;
    dressed.offset = 0.05;
    dressed.background = 0.02;
    dressed.scale = 3;
    cases.push_back(dressed);
    const std::vector<double> bias = sweep(161, -4, 4);
    for (const gap_curve& c : cases) {
        const std::vector<double> a = ours(c, bias), b = gap_python::model(c, bias);
        ASSERT_EQ(a.size(), b.size());
        double worst = 0;
        for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::fabs(a[i] - b[i]) / c.scale);
        std::printf("dynes Delta %g Gamma %g T %g V_m %g: largest difference %.2e G_N\n", c.gap,
                    c.gamma, c.temperature, c.modulation, worst);
        EXPECT_LT(worst, 1e-9);
    }
}

TEST(SisModel, AgreesWithSciPy) {
    std::vector<gap_curve> cases = {make(gap_model::dynes_sis, 1.2, 0.03, 0.5, 1.3, 0.04),
                                    make(gap_model::dynes_sis, 0.5, 0.1, 2, 1.0, 0.05),
                                    make(gap_model::dynes_sis, 1.4, 0.01, 0.3, 1.3, 0.02)};
    gap_curve dressed = make(gap_model::dynes_sis, 1.0, 0.05, 1.0, 1.2, 0.05);
    dressed.modulation = 0.1;
    dressed.offset = -0.03;
    dressed.scale = 2;
    cases.push_back(dressed);
    const std::vector<double> bias = sweep(41, -4, 4);
    for (const gap_curve& c : cases) {
        const std::vector<double> a = ours(c, bias), b = gap_python::model(c, bias);
        ASSERT_EQ(a.size(), b.size());
        double worst = 0;
        for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::fabs(a[i] - b[i]) / c.scale);
        std::printf("dynes_sis Delta %g Gamma %g T %g tip %g %g V_m %g: largest difference %.2e G_N\n",
                    c.gap, c.gamma, c.temperature, c.tip_gap, c.tip_gamma, c.modulation, worst);
        EXPECT_LT(worst, 1e-9);
    }
}

TEST(SisModel, NormalTipIsTheDynesModel) {
    // Delta_t = 0 makes rho_t = 1: the grid's quadrature against the
    // Matsubara sum, two computations that share nothing but rho_s.
    const gap_curve sis = make(gap_model::dynes_sis, 1.1, 0.04, 0.6, 0, 0.05);
    const gap_curve nis = make(gap_model::dynes, 1.1, 0.04, 0.6);
    const std::vector<double> bias = sweep(301, -3, 3);
    const std::vector<double> a = ours(sis, bias), b = ours(nis, bias);
    for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], 1e-10) << bias[i];
}

TEST(SisModel, SweepAndSingleBiasesAgree) {
    // A sweep shares one grid; the same biases with one moved off the sweep
    // are computed one by one, on grids of their own.
    const sis_params p{0.9, 0.04, 1.3, 0.03, 0.8};
    std::vector<double> bias = sweep(81, -3.5, 3.5), a(81), b(81);
    sis_workspace w;
    sis_conductance(p, bias.data(), 81, a.data(), &w);
    const double kept = bias[40];
    bias[40] += 0.3;  // off the sweep: every bias alone
    sis_conductance(p, bias.data(), 81, b.data(), &w);
    for (size_t i = 0; i < 81; ++i)
        if (i != 40) {
            EXPECT_NEAR(a[i], b[i], 1e-10) << bias[i];
        }
    // Floats of a sweep are a sweep to first order.
    std::vector<double> rounded(81), c(81);
    bias[40] = kept;
    for (size_t i = 0; i < 81; ++i) rounded[i] = static_cast<float>(bias[i] / 1000) * 1000.0;
    sis_conductance(p, rounded.data(), 81, c.data(), &w);
    std::vector<double> d(81);
    for (size_t i = 0; i < 81; ++i) {
        sis_conductance(p, &rounded[i], 1, &d[i], &w);
        EXPECT_NEAR(c[i], d[i], 1e-9) << rounded[i];
    }
}

TEST(GapModel, OutsideTheDomainIsRefused) {
    gap_fit_workspace w;
    const std::vector<double> bias = sweep(11, -1, 1);
    std::vector<double> out(11);
    gap_curve c = make(gap_model::dynes, 1, 0.1, 0);
    EXPECT_FALSE(evaluate_gap_curve(c, bias.data(), 11, out.data(), &w));
    EXPECT_TRUE(std::isnan(out[3]));
    c = make(gap_model::dynes_sis, 1, 0.1, 1, 1, 0);
    EXPECT_FALSE(evaluate_gap_curve(c, bias.data(), 11, out.data(), &w));
    c = make(gap_model::dynes, std::nan(""), 0.1, 1);
    EXPECT_FALSE(evaluate_gap_curve(c, bias.data(), 11, out.data(), &w));
}

}  // namespace
