// Gap fits on synthetic curves with known parameters: the truth back from
// noise-free curves, standard errors that cover the truth under noise, and
// a status, never a crash, for curves that cannot be fitted.
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/gap_fit.h"

namespace {

using namespace sts;

constexpr float NaNf = std::numeric_limits<float>::quiet_NaN();

// A sweep of n biases over [-reach, reach] (V), as floats.
std::vector<float> sweep(int n, double reach) {
    std::vector<float> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = static_cast<float>(-reach + 2 * reach * i / (n - 1));
    return v;
}

std::vector<double> model(const gap_curve& c, const std::vector<float>& bias) {
    gap_fit_workspace w;
    std::vector<double> b(bias.begin(), bias.end()), out(bias.size());
    EXPECT_TRUE(evaluate_gap_curve(c, b.data(), static_cast<int>(b.size()), out.data(), &w));
    return out;
}

std::vector<float> as_float(const std::vector<double>& v) { return {v.begin(), v.end()}; }

gap_curve normal_tip() {
    gap_curve c;
    c.gap = 1.2;
    c.gamma = 0.04;
    c.temperature = 0.5;
    c.scale = 2.0;
    return c;
}

gap_curve superconducting_tip() {
    gap_curve c;
    c.model = gap_model::dynes_sis;
    c.gap = 1.0;
    c.gamma = 0.05;
    c.tip_gap = 1.3;
    c.tip_gamma = 0.03;
    c.temperature = 1.0;
    c.scale = 1.5;
    return c;
}

gap_fit_settings settings_for(const gap_curve& c) {
    gap_fit_settings s;
    s.model = c.model;
    s.window = 0.004;
    s.temperature = c.temperature;
    s.tip_gap = c.tip_gap;
    s.tip_gamma = c.tip_gamma;
    return s;
}

void expect_relative(double got, double want, double tolerance, const char* what) {
    EXPECT_LE(std::fabs(got - want), tolerance * std::fabs(want)) << what << ": " << got << " vs " << want;
}

TEST(GapFit, NoiseFreeNormalTipGivesTheTruth) {
    const gap_curve c = normal_tip();
    const std::vector<float> bias = sweep(400, 0.004);
    const std::vector<float> didv = as_float(model(c, bias));
    gap_fit_workspace w;
    const gap_fit_result r = fit_gap(bias.data(), didv.data(), 400, settings_for(c), &w);
    ASSERT_EQ(r.status, gap_fit_status::converged);
    expect_relative(r.gap, c.gap, 1e-6, "gap");
    expect_relative(r.gamma, c.gamma, 1e-6, "gamma");
    expect_relative(r.scale, c.scale, 1e-6, "scale");
    EXPECT_EQ(r.points, 400);
    EXPECT_TRUE(std::isnan(r.tip_gap));
}

TEST(GapFit, NoiseFreeWithEverythingFree) {
    // Temperature, offset and background free, with the lock-in's broadening.
    gap_curve c = normal_tip();
    c.offset = 1e-4;
    c.background = 20;
    c.modulation = 5e-5;
    const std::vector<float> bias = sweep(400, 0.004);
    const std::vector<float> didv = as_float(model(c, bias));
    gap_fit_settings s = settings_for(c);
    s.temperature = 1.5;  // a start, not the truth
    s.fit_temperature = s.fit_offset = s.fit_background = true;
    s.modulation = c.modulation;
    gap_fit_workspace w;
    const gap_fit_result r = fit_gap(bias.data(), didv.data(), 400, s, &w);
    ASSERT_EQ(r.status, gap_fit_status::converged);
    expect_relative(r.gap, c.gap, 1e-6, "gap");
    expect_relative(r.gamma, c.gamma, 1e-6, "gamma");
    expect_relative(r.temperature, c.temperature, 1e-6, "temperature");
    expect_relative(r.offset, c.offset, 1e-6, "offset");
    expect_relative(r.background, c.background, 1e-6, "background");
    expect_relative(r.scale, c.scale, 1e-6, "scale");
}

TEST(GapFit, NoiseFreeSuperconductingTipGivesTheTruth) {
    const gap_curve c = superconducting_tip();
    const std::vector<float> bias = sweep(400, 0.004);
    const std::vector<float> didv = as_float(model(c, bias));
    gap_fit_settings s = settings_for(c);
    s.tip_gap = 1.25;  // a start: nearer the sample's gap, the fit swaps the two
    s.fit_tip_gap = true;
    gap_fit_workspace w;
    const gap_fit_result r = fit_gap(bias.data(), didv.data(), 400, s, &w);
    ASSERT_EQ(r.status, gap_fit_status::converged);
    expect_relative(r.gap, c.gap, 1e-6, "gap");
    expect_relative(r.gamma, c.gamma, 1e-6, "gamma");
    expect_relative(r.tip_gap, c.tip_gap, 1e-6, "tip gap");
    expect_relative(r.scale, c.scale, 1e-6, "scale");
}

// Fits count curves of c with Gaussian noise sigma; the fraction of curves
// whose every free parameter lies within 3 standard errors of the truth.
struct coverage {
    int curves = 0, fitted = 0;
    int within[4] = {};  // gap, gamma, scale, tip gap
};

coverage cover(const gap_curve& c, const gap_fit_settings& s, double sigma, int count, unsigned seed,
               int n = 400) {
    const std::vector<float> bias = sweep(n, 0.004);
    const std::vector<double> clean = model(c, bias);
    std::mt19937_64 random(seed);
    std::normal_distribution<double> noise(0, sigma);
    std::vector<std::vector<float>> curves(static_cast<size_t>(count), std::vector<float>(bias.size()));
    for (auto& y : curves)
        for (size_t i = 0; i < bias.size(); ++i) y[i] = static_cast<float>(clean[i] + noise(random));
    // Two threads (the machine's cores), a workspace each.
    std::vector<gap_fit_result> results(curves.size());
    std::vector<std::thread> threads;
    for (size_t t = 0; t < 2; ++t)
        threads.emplace_back([&, t] {
            gap_fit_workspace w;
            for (size_t k = t; k < curves.size(); k += 2)
                results[k] = fit_gap(bias.data(), curves[k].data(), n, s, &w);
        });
    for (auto& t : threads) t.join();
    coverage k;
    for (const gap_fit_result& r : results) {
        ++k.curves;
        if (r.status != gap_fit_status::converged) continue;
        ++k.fitted;
        k.within[0] += std::fabs(r.gap - c.gap) <= 3 * r.se_gap;
        k.within[1] += std::fabs(r.gamma - c.gamma) <= 3 * r.se_gamma;
        k.within[2] += std::fabs(r.scale - c.scale) <= 3 * r.se_scale;
        k.within[3] += !s.fit_tip_gap || std::fabs(r.tip_gap - c.tip_gap) <= 3 * r.se_tip_gap;
    }
    std::printf("%d curves: %d converged; within 3 standard errors: gap %d, gamma %d, scale %d, tip gap %d\n",
                k.curves, k.fitted, k.within[0], k.within[1], k.within[2], k.within[3]);
    return k;
}

// 1000 curves a model; 40 under the sanitizers, which check the memory
// and arithmetic on every path and take a hundred times as long (Debug).
#ifdef NORMSPEC_SANITIZED
constexpr int coverage_curves = 40;
#else
constexpr int coverage_curves = 1000;
#endif

void expect_coverage(const coverage& k) {
    EXPECT_GE(k.fitted, 0.99 * k.curves);
    const char* names[] = {"gap", "gamma", "scale", "tip gap"};
    for (int j = 0; j < 4; ++j) EXPECT_GE(k.within[j], 0.95 * k.curves) << names[j];
}

TEST(GapFit, StandardErrorsCoverTheTruthNormalTip) {
    const gap_curve c = normal_tip();
    expect_coverage(cover(c, settings_for(c), 0.02, coverage_curves, 11));
}

TEST(GapFit, StandardErrorsCoverTheTruthWithKnownNoise) {
    const gap_curve c = normal_tip();
    gap_fit_settings s = settings_for(c);
    s.noise = 0.02;
    expect_coverage(cover(c, s, 0.02, coverage_curves / 4, 12));
}

TEST(GapFit, StandardErrorsCoverTheTruthSuperconductingTip) {
    const gap_curve c = superconducting_tip();
    gap_fit_settings s = settings_for(c);
    s.fit_tip_gap = true;
    expect_coverage(cover(c, s, 0.03, coverage_curves, 13, 200));  // 200 points: half the time
}

TEST(GapFit, CurvesThatCannotBeFittedGetAStatus) {
    const gap_curve c = normal_tip();
    std::vector<float> bias = sweep(400, 0.004);
    const std::vector<float> good = as_float(model(c, bias));
    const gap_fit_settings s = settings_for(c);
    gap_fit_workspace w;
    const auto status = [&](const std::vector<float>& b, const std::vector<float>& y,
                            const gap_fit_settings& t) {
        return fit_gap(b.data(), y.data(), static_cast<int>(b.size()), t, &w).status;
    };
    // No gap: a flat line, a rising line, noise about a constant.
    EXPECT_EQ(status(bias, std::vector<float>(400, 2.0f), s), gap_fit_status::no_gap);
    std::vector<float> line(400), wiggle(400);
    std::mt19937 random(5);
    std::uniform_real_distribution<float> u(-0.005f, 0.005f);
    for (size_t i = 0; i < 400; ++i) {
        line[i] = 1.0f + 100.0f * bias[i];
        wiggle[i] = 2.0f + u(random);
    }
    EXPECT_EQ(status(bias, line, s), gap_fit_status::no_gap);
    EXPECT_EQ(status(bias, wiggle, s), gap_fit_status::no_gap);
    EXPECT_EQ(status(bias, std::vector<float>(400, 0.0f), s), gap_fit_status::no_gap);
    // NaNs in the window, a NaN bias, an infinity.
    std::vector<float> holed = good;
    holed[200] = NaNf;
    EXPECT_EQ(status(bias, holed, s), gap_fit_status::bad_input);
    holed[200] = std::numeric_limits<float>::infinity();
    EXPECT_EQ(status(bias, holed, s), gap_fit_status::bad_input);
    std::vector<float> bad_bias = bias;
    bad_bias[3] = NaNf;
    EXPECT_EQ(status(bad_bias, good, s), gap_fit_status::bad_input);
    // A NaN outside the window is no concern.
    gap_fit_settings narrow = s;
    narrow.window = 0.003;
    holed = good;
    holed[0] = NaNf;
    EXPECT_EQ(status(bias, holed, narrow), gap_fit_status::converged);
    // Fewer points in the window than parameters.
    narrow.window = 2.5e-5;  // two or three points
    EXPECT_EQ(status(bias, good, narrow), gap_fit_status::too_few_points);
    EXPECT_EQ(fit_gap(bias.data(), good.data(), 0, s, &w).status, gap_fit_status::too_few_points);
    EXPECT_EQ(fit_gap(bias.data(), good.data(), 3, s, &w).status, gap_fit_status::too_few_points);
    // Settings out of range.
    for (double t : {0.0, -1.0, std::nan("")}) {
        gap_fit_settings cold = s;
        cold.temperature = t;
        EXPECT_EQ(status(bias, good, cold), gap_fit_status::bad_input) << t;
    }
    gap_fit_settings odd = s;
    odd.bias_to_meV = 0;
    EXPECT_EQ(status(bias, good, odd), gap_fit_status::bad_input);
    odd = s;
    odd.window = -1;
    EXPECT_EQ(status(bias, good, odd), gap_fit_status::bad_input);
    odd = s;
    odd.noise = -1;
    EXPECT_EQ(status(bias, good, odd), gap_fit_status::bad_input);
    odd = s;
    odd.model = gap_model::dynes_sis;
    odd.tip_gamma = 0;
    EXPECT_EQ(status(bias, good, odd), gap_fit_status::bad_input);
    EXPECT_EQ(fit_gap(nullptr, good.data(), 400, s, &w).status, gap_fit_status::bad_input);
    EXPECT_EQ(fit_gap(bias.data(), good.data(), -1, s, &w).status, gap_fit_status::bad_input);
    // The workspace is fine after all that.
    EXPECT_EQ(status(bias, good, s), gap_fit_status::converged);
}

TEST(GapFit, FailedFitsHaveNaNValuesAndNoCurve) {
    const std::vector<float> bias = sweep(400, 0.004);
    const std::vector<float> flat(400, 2.0f);
    gap_fit_workspace w;
    const gap_fit_settings s = settings_for(normal_tip());
    const gap_fit_result r = fit_gap(bias.data(), flat.data(), 400, s, &w);
    ASSERT_EQ(r.status, gap_fit_status::no_gap);
    EXPECT_TRUE(std::isnan(r.gap) && std::isnan(r.gamma) && std::isnan(r.scale) && std::isnan(r.chi2));
    std::vector<float> curve(400, 0.0f);
    fitted_gap_curve(s, r, bias.data(), 400, curve.data(), &w);
    for (float v : curve) EXPECT_TRUE(std::isnan(v));
}

TEST(GapFit, FittedCurveIsTheModelAtTheFit) {
    const gap_curve c = normal_tip();
    const std::vector<float> bias = sweep(400, 0.004);
    const std::vector<double> clean = model(c, bias);
    const std::vector<float> didv = as_float(clean);
    gap_fit_workspace w;
    const gap_fit_settings s = settings_for(c);
    const gap_fit_result r = fit_gap(bias.data(), didv.data(), 400, s, &w);
    ASSERT_EQ(r.status, gap_fit_status::converged);
    std::vector<float> curve(400);
    fitted_gap_curve(s, r, bias.data(), 400, curve.data(), &w);
    for (size_t i = 0; i < 400; ++i) EXPECT_NEAR(curve[i], clean[i], 1e-5 * c.scale) << i;
    EXPECT_LT(r.chi2, 1e-10);
}

TEST(GapFit, ThreadsWithTheirOwnWorkspacesAgreeWithOneAlone) {
    const gap_curve c = normal_tip();
    const std::vector<float> bias = sweep(400, 0.004);
    const std::vector<double> clean = model(c, bias);
    std::vector<std::vector<float>> curves(8, std::vector<float>(400));
    std::mt19937_64 random(3);
    std::normal_distribution<double> noise(0, 0.02);
    for (auto& y : curves)
        for (size_t i = 0; i < 400; ++i) y[i] = static_cast<float>(clean[i] + noise(random));
    const gap_fit_settings s = settings_for(c);
    std::vector<gap_fit_result> alone(8), together(8);
    gap_fit_workspace w;
    for (size_t k = 0; k < 8; ++k) alone[k] = fit_gap(bias.data(), curves[k].data(), 400, s, &w);
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&, t] {
            gap_fit_workspace own;
            for (size_t k = static_cast<size_t>(t); k < 8; k += 2)
                together[k] = fit_gap(bias.data(), curves[k].data(), 400, s, &own);
        });
    for (auto& t : threads) t.join();
    for (size_t k = 0; k < 8; ++k) {
        EXPECT_EQ(alone[k].status, together[k].status);
        EXPECT_EQ(alone[k].gap, together[k].gap);
        EXPECT_EQ(alone[k].se_gamma, together[k].se_gamma);
    }
}

}  // namespace

namespace {

// A hard gap whose middle lies off 0 V, as on the real Pb line (there
// -0.16 mV): the data fall to 0 between -0.3 and 0 mV.
std::vector<float> shifted_gap(const std::vector<float>& bias, double offset) {
    gap_curve c = normal_tip();
    c.gap = 0.4;
    c.gamma = 0.005;
    c.temperature = 0.4;
    c.offset = offset;
    return as_float(model(c, bias));
}

}  // namespace

TEST(GapFit, ACurveThatMissesTheDipIsPoorFit) {
    const std::vector<float> bias = sweep(300, 0.0015);
    const std::vector<float> didv = shifted_gap(bias, -0.0003);
    gap_fit_settings s;
    s.window = 0.0015;
    s.temperature = 0.4;
    gap_fit_workspace w;
    // V_0 held at 0: the best curve the model allows, but not the data.
    const gap_fit_result held = fit_gap(bias.data(), didv.data(), 300, s, &w);
    EXPECT_EQ(held.status, gap_fit_status::poor_fit);
    EXPECT_TRUE(std::isfinite(held.gap) && std::isfinite(held.chi2));  // kept, to be looked at
    std::vector<float> curve(300);
    fitted_gap_curve(s, held, bias.data(), 300, curve.data(), &w);
    EXPECT_TRUE(std::isfinite(curve[150]));
    // V_0 free: the truth back, from the dip's middle.
    s.fit_offset = true;
    const gap_fit_result freed = fit_gap(bias.data(), didv.data(), 300, s, &w);
    ASSERT_EQ(freed.status, gap_fit_status::converged);
    expect_relative(freed.gap, 0.4, 1e-4, "Delta");
    expect_relative(freed.offset, -0.0003, 1e-4, "V_0");
    // And a curve centred on 0 with V_0 held follows its dip.
    s.fit_offset = false;
    const std::vector<float> centred = shifted_gap(bias, 0);
    EXPECT_EQ(fit_gap(bias.data(), centred.data(), 300, s, &w).status, gap_fit_status::converged);
}

TEST(GapFit, NoisyPeaksDoNotMisleadTheStart) {
    // Coherence peaks drowned in noise of a fifth of G_N a point (the real Pb
    // line's): the start from the coarse grid still reaches the truth's
    // neighbourhood, and the fit follows the dip.
    const std::vector<float> bias = sweep(400, 0.004);
    gap_curve c = normal_tip();
    std::vector<float> didv = as_float(model(c, bias));
    std::mt19937 random(11);
    std::normal_distribution<float> noise(0.0f, 0.4f);  // G_N = 2
    for (float& y : didv) y += noise(random);
    gap_fit_workspace w;
    const gap_fit_result r = fit_gap(bias.data(), didv.data(), 400, settings_for(c), &w);
    ASSERT_TRUE(r.status == gap_fit_status::converged || r.status == gap_fit_status::at_bound)
        << static_cast<int>(r.status);
    EXPECT_LE(std::fabs(r.gap - c.gap), 3 * r.se_gap + 1e-6) << r.gap << " +- " << r.se_gap;
    EXPECT_EQ(std::string(gap_fit_status_names),
              "converged at_bound no_gap too_few_points bad_input not_converged not_computed "
              "poor_fit");
}

// A Dynes curve broadened past its gap (Gamma > Delta) has no coherence
// peaks: the fit finds it, but the numbers cannot be told from those of a
// background's dip, so the status says so and the values stay.
TEST(GapFit, BroadenedPastTheGapIsPoorFit) {
    const std::vector<float> bias = sweep(400, 0.004);
    gap_curve c = normal_tip();
    c.gap = 0.5;
    c.gamma = 0.7;
    const std::vector<float> didv = as_float(model(c, bias));
    gap_fit_workspace w;
    const gap_fit_result r = fit_gap(bias.data(), didv.data(), 400, settings_for(c), &w);
    EXPECT_EQ(r.status, gap_fit_status::poor_fit);
    expect_relative(r.gap, 0.5, 1e-3, "Delta");
    expect_relative(r.gamma, 0.7, 1e-3, "Gamma");
    // Just inside (Gamma = 0.9 Delta): an ordinary fit.
    c.gamma = 0.45;
    const std::vector<float> inside = as_float(model(c, bias));
    EXPECT_EQ(fit_gap(bias.data(), inside.data(), 400, settings_for(c), &w).status,
              gap_fit_status::converged);
}
