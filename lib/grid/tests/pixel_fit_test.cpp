// --fit for one pixel of a block: the curve asked for on the grid's axis or
// the pixel's own, the fitted values against the gap the curve was made
// with (a quadrature of Dynes's formula written here), the fitted curve
// NaN outside the window, and nothing for a pixel not processed.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "grid/pixel_fit.h"

using namespace sts;

namespace {

constexpr int points = 121;  // 120 midpoints from -3 to 3 mV (bias in V)
constexpr double gamma_true = 0.04, kelvin = 0.5, k_b = 0.08617333262;

// int rho(E) (-f'(E - omega)) dE by the trapezoid rule over +-40 kT.
double dynes(double omega, double gap) {
    const double kt = k_b * kelvin, h = 0.001;
    double sum = 0;
    for (double e = omega - 40 * kt; e <= omega + 40 * kt; e += h) {
        const std::complex<double> z(e, -gamma_true);
        const double c = std::cosh((e - omega) / (2 * kt));
        sum += std::abs(std::real(z / std::sqrt(z * z - gap * gap))) / (4 * kt * c * c) * h;
    }
    return sum;
}

float vmid(int j) { return static_cast<float>(-0.003 + 0.00005 * (j + 0.5)); }

// Pixel 0 processed with a gap of 0.9 meV and G_N 50, pixel 1 missing.
pixel_block block(const grid_description& d) {
    pixel_block b;
    b.count = 2;
    b.points = points;
    b.didv.assign(2 * (points - 1), NAN);
    for (int j = 0; j < points - 1; ++j) b.didv[j] = static_cast<float>(50 * dynes(d.vmid[j] * 1e3, 0.9));
    b.status = {PIXEL_PROCESSED, PIXEL_MISSING};
    for (auto* v : {&b.fit_gap, &b.fit_gamma, &b.fit_scale, &b.fit_se_gap, &b.fit_chi2})
        v->assign(2, 7.0f);  // to be overwritten
    b.fit_curve.assign(2 * (points - 1), 7.0f);
    return b;
}

fit_settings settings() {
    fit_settings s;
    s.curve = find_pixel_quantity("didv");
    s.options.window = 0.002;
    s.options.temperature = kelvin;
    return s;
}

}  // namespace

TEST(PixelFit, TheGapTheCurveWasMadeWith) {
    grid_description d;
    for (int j = 0; j < points - 1; ++j) d.vmid.push_back(vmid(j));
    pixel_block b = block(d);
    gap_fit_workspace w;
    prepare_fit(settings(), 2, &b);
    ASSERT_EQ(b.fit_status.size(), 2u);
    record_fit(settings(), d, 0, &b, &w);
    record_fit(settings(), d, 1, &b, &w);
    EXPECT_EQ(b.fit_status[0], static_cast<signed char>(gap_fit_status::converged));
    EXPECT_NEAR(b.fit_gap[0], 0.9, 1e-3);
    EXPECT_NEAR(b.fit_gamma[0], gamma_true, 1e-3);
    EXPECT_NEAR(b.fit_scale[0], 50, 0.05);
    EXPECT_LT(b.fit_se_gap[0], 1e-3);
    for (int j = 0; j < points - 1; ++j) {
        const float c = b.fit_curve[j];
        if (std::fabs(d.vmid[j]) > 0.002)
            EXPECT_TRUE(std::isnan(c)) << j;
        else
            EXPECT_NEAR(c, b.didv[j], 0.05) << j;
    }
    EXPECT_EQ(b.fit_status[1], static_cast<signed char>(gap_fit_status::not_computed));
    EXPECT_TRUE(std::isnan(b.fit_gap[1]) && std::isnan(b.fit_chi2[1]));
    EXPECT_TRUE(std::isnan(b.fit_curve[points - 1]) && std::isnan(b.fit_curve[2 * points - 3]));
}

TEST(PixelFit, APixelsOwnAxisAndNoFitWithoutTheOption) {
    grid_description d;
    for (int j = 0; j < points - 1; ++j) d.vmid.push_back(vmid(j));
    pixel_block b = block(d);
    d.per_pixel_axis = true;
    b.vmid.assign(2 * (points - 1), NAN);
    for (int j = 0; j < points - 1; ++j) b.vmid[j] = d.vmid[j];
    d.vmid.assign(points - 1, 0.0f);  // the grid's axis is not the pixel's
    gap_fit_workspace w;
    EXPECT_NEAR(pixel_fit(settings(), d, b, 0, &w).gap, 0.9, 1e-3);
    // Another curve whose record this run does not compute: not fitted.
    fit_settings other = settings();
    other.curve = find_pixel_quantity("didv_lockin");
    EXPECT_EQ(pixel_fit(other, d, b, 0, &w).status, gap_fit_status::not_computed);
    pixel_block without = block(d);
    prepare_fit(fit_settings{}, 2, &without);
    record_fit(fit_settings{}, d, 0, &without, &w);
    EXPECT_TRUE(without.fit_status.empty());
    EXPECT_EQ(without.fit_gap[0], 7.0f);
}
