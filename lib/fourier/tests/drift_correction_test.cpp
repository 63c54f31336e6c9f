// Drift correction on synthetic lattices displaced by known smooth fields:
// the field found against the one applied, the corrected image against
// the ideal lattice (its rms difference over the rms gradient: the rms
// displacement left), an undistorted lattice left alone, and the stack.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "fourier/bilinear.h"
#include "fourier/drift_correction.h"
#include "fourier_testing.h"
#include "testkit/testkit.h"

namespace {

using namespace fourier_testing;

constexpr size_t n = 256;
constexpr double d = 0.05;    // nm per pixel: 8 pixels per cell
constexpr double a = 0.4;     // nm, a square lattice
const double q = 2 * M_PI / a;
const sts::bragg_vector q1{q * std::cos(0.3), q * std::sin(0.3)}, q2{-q * std::sin(0.3), q * std::cos(0.3)};

using field = std::function<void(double x, double y, double& ux, double& uy)>;

// T(r) = sum_i cos(Q_i . (r - u(r)) + phi_i): the atom of the ideal
// lattice at r seen at r + u(r).
std::vector<float> lattice(const field& u) {
    std::vector<float> t(n * n);
    for (size_t y = 0; y < n; ++y)
        for (size_t x = 0; x < n; ++x) {
            double ux = 0, uy = 0;
            const double rx = static_cast<double>(x) * d, ry = static_cast<double>(y) * d;
            u(rx, ry, ux, uy);
            t[y * n + x] = static_cast<float>(std::cos(q1.qx * (rx - ux) + q1.qy * (ry - uy) + 0.4) +
                                              0.8 * std::cos(q2.qx * (rx - ux) + q2.qy * (ry - uy) + 1.3));
        }
    return t;
}

// Pixels at least `border` from every edge.
bool interior(size_t x, size_t y, size_t border) {
    return x >= border && y >= border && x + border < n && y + border < n;
}

struct comparison {
    double field_rms = 0;      // |u found - u applied| (both less their means), in cells
    double displacement = 0;   // the displacement left in the corrected image, in cells
    double applied = 0;        // the applied field's rms (less its mean), in cells
};

comparison correct_and_compare(const field& u, double lambda, size_t border) {
    const std::vector<float> t = lattice(u);
    sts::drift_field found;
    EXPECT_EQ(sts::drift_field_of(t.data(), n, n, d, d, q1, q2, lambda, found), "");
    // The applied field's mean over the map: the found one has none.
    double mx = 0, my = 0;
    for (size_t y = 0; y < n; ++y)
        for (size_t x = 0; x < n; ++x) {
            double ux = 0, uy = 0;
            u(static_cast<double>(x) * d, static_cast<double>(y) * d, ux, uy);
            mx += ux / (n * n);
            my += uy / (n * n);
        }
    std::vector<float> c(n * n);
    EXPECT_EQ(sts::drift_correct(found, t.data(), 1, 1, c.data()), "");
    double field_sum = 0, diff_sum = 0, grad_sum = 0, applied_sum = 0;
    size_t count = 0;
    for (size_t y = 0; y < n; ++y)
        for (size_t x = 0; x < n; ++x) {
            if (!interior(x, y, border)) continue;
            const size_t i = y * n + x;
            const double rx = static_cast<double>(x) * d, ry = static_cast<double>(y) * d;
            double ux = 0, uy = 0;
            u(rx, ry, ux, uy);
            field_sum += std::pow(found.ux[i] - (ux - mx), 2) + std::pow(found.uy[i] - (uy - my), 2);
            applied_sum += std::pow(ux - mx, 2) + std::pow(uy - my, 2);
            // The ideal lattice, moved by the applied field's mean.
            const double p1 = q1.qx * (rx - mx) + q1.qy * (ry - my) + 0.4;
            const double p2 = q2.qx * (rx - mx) + q2.qy * (ry - my) + 1.3;
            const double ideal = std::cos(p1) + 0.8 * std::cos(p2);
            const double gx = -q1.qx * std::sin(p1) - 0.8 * q2.qx * std::sin(p2);
            const double gy = -q1.qy * std::sin(p1) - 0.8 * q2.qy * std::sin(p2);
            EXPECT_FALSE(std::isnan(c[i])) << x << ", " << y;
            diff_sum += std::pow(c[i] - ideal, 2);
            grad_sum += gx * gx + gy * gy;
            ++count;
        }
    comparison r;
    r.field_rms = std::sqrt(field_sum / static_cast<double>(count)) / a;
    r.applied = std::sqrt(applied_sum / static_cast<double>(count)) / a;
    // For a small displacement delta, C - ideal = grad(ideal) . delta.
    r.displacement = std::sqrt(diff_sum / grad_sum) / a;
    return r;
}

TEST(DriftCorrection, SmoothFieldUndone) {
    // 0.2 and 0.15 cells of displacement, varying over the whole scan.
    const double length = n * d;
    const field u = [&](double x, double y, double& ux, double& uy) {
        ux = 0.2 * a * std::sin(2 * M_PI * y / length + 0.3);
        uy = 0.15 * a * std::cos(2 * M_PI * x / length) + 0.05 * a * std::pow(x / length, 2);
    };
    const double lambda = sts::default_drift_lambda(q1, q2);
    EXPECT_NEAR(lambda, 3 * a, 1e-9);
    // Away from the edges by two lambda, where the Gaussian is cut.
    const size_t border = static_cast<size_t>(2 * lambda / d);
    const comparison r = correct_and_compare(u, 0, border);
    std::printf("applied %.3f cells rms: field found within %.4f cells rms, %.4f cells left\n",
                r.applied, r.field_rms, r.displacement);
    EXPECT_GT(r.applied, 0.1);
    EXPECT_LT(r.field_rms, 0.05);
    EXPECT_LT(r.displacement, 0.05);
}

TEST(DriftCorrection, LargeDisplacementUnwrapped) {
    // Up to 0.9 cells: the phases pass through +-pi and must be unwrapped.
    const double length = n * d;
    const field u = [&](double x, double y, double& ux, double& uy) {
        ux = 0.9 * a * std::sin(M_PI * x / length) * std::sin(M_PI * y / length);
        uy = 0.3 * a * x / length;
    };
    // A shorter lambda (two cells) follows the field's curvature closer.
    const comparison r = correct_and_compare(u, 2 * a, static_cast<size_t>(2 * 2 * a / d));
    std::printf("applied %.3f cells rms (up to 0.9): field within %.4f cells rms, %.4f cells left\n",
                r.applied, r.field_rms, r.displacement);
    EXPECT_GT(r.applied, 0.2);
    EXPECT_LT(r.field_rms, 0.05);
    EXPECT_LT(r.displacement, 0.05);
}

TEST(DriftCorrection, UndistortedLatticeLeftAlone) {
    const field none = [](double, double, double& ux, double& uy) { ux = uy = 0; };
    // Over the whole map, edges included.
    const comparison r = correct_and_compare(none, 0, 1);
    std::printf("undistorted: field %.5f cells rms, %.5f cells left\n", r.field_rms, r.displacement);
    EXPECT_LT(r.field_rms, 0.01);
    EXPECT_LT(r.displacement, 0.01);
}

TEST(DriftCorrection, StackAsEachSliceAloneOnAnyThreads) {
    const double length = n * d;
    const std::vector<float> t = lattice([&](double x, double, double& ux, double& uy) {
        ux = 0.3 * a * std::sin(2 * M_PI * x / length);
        uy = 0;
    });
    sts::drift_field u;
    ASSERT_EQ(sts::drift_field_of(t.data(), n, n, d, d, q1, q2, 0, u), "");
    const size_t slices = 5;
    std::vector<float> stack = testkit::random_floats(n * n * slices, 4);
    std::vector<float> one(n * n);
    for (unsigned threads : {1u, 3u}) {
        std::vector<float> out(stack.size());
        ASSERT_EQ(sts::drift_correct(u, stack.data(), slices, threads, out.data()), "");
        for (size_t k = 0; k < slices; ++k) {
            ASSERT_EQ(sts::drift_correct(u, stack.data() + k * n * n, 1, 1, one.data()), "");
            for (size_t i = 0; i < n * n; ++i) {
                if (std::isnan(one[i])) {
                    ASSERT_TRUE(std::isnan(out[k * n * n + i]));
                    continue;
                }
                ASSERT_EQ(out[k * n * n + i], one[i]) << threads << " threads, slice " << k;
            }
        }
    }
}

// The resampler made once against bilinear interpolation worked by hand:
// a uniform shift of (0.5, 0.25) pixel reads each pixel from its cell's
// four corners with weights 3/8, 3/8, 1/8, 1/8; the last column and row
// read beyond the map (NaN), and a missing corner makes its readers NaN.
TEST(DriftCorrection, ResamplerAgreesWithHandWorkedBilinear) {
    const size_t nx = 7, ny = 5;
    sts::drift_field u{nx, ny, 0.1, 0.2, 1.0, std::vector<float>(nx * ny, 0.05f),
                       std::vector<float>(nx * ny, 0.05f)};
    std::vector<float> map(nx * ny);
    for (size_t i = 0; i < map.size(); ++i) map[i] = static_cast<float>(i * i % 13) - 4.5f;
    map[3 * nx + 2] = std::nanf("");
    sts::drift_resampler r;
    ASSERT_EQ(r.make(u), "");
    std::vector<float> out(nx * ny);
    r.correct(map.data(), out.data());
    for (size_t y = 0; y < ny; ++y)
        for (size_t x = 0; x < nx; ++x) {
            const float v = out[y * nx + x];
            const bool corner_missing = (y == 2 || y == 3) && (x == 1 || x == 2);
            if (x + 1 == nx || y + 1 == ny || corner_missing) {
                EXPECT_TRUE(std::isnan(v)) << x << " " << y;
                continue;
            }
            auto m = [&](size_t i, size_t j) { return static_cast<double>(map[j * nx + i]); };
            const double want = 0.375 * (m(x, y) + m(x + 1, y)) + 0.125 * (m(x, y + 1) + m(x + 1, y + 1));
            EXPECT_NEAR(v, want, 1e-6) << x << " " << y;
        }
    // The same bytes as the taps of bilinear_at read, pixel by pixel.
    for (size_t y = 0; y < ny; ++y)
        for (size_t x = 0; x < nx; ++x) {
            const float v = static_cast<float>(sts::bilinear(
                map.data(), nx, ny, static_cast<double>(x) + u.ux[y * nx + x] / u.dx,
                static_cast<double>(y) + u.uy[y * nx + x] / u.dy));
            EXPECT_EQ(std::memcmp(&v, &out[y * nx + x], sizeof v), 0) << x << " " << y;
        }
    sts::drift_field wrong = u;
    wrong.ux.pop_back();
    EXPECT_NE(r.make(wrong), "");
}

TEST(DriftCorrection, SaysWhatIsWrong) {
    const std::vector<float> t(16, 1.0f);
    sts::drift_field u;
    EXPECT_NE(sts::drift_field_of(t.data(), 0, 4, d, d, q1, q2, 0, u), "");
    EXPECT_NE(sts::drift_field_of(t.data(), 4, 4, 0, d, q1, q2, 0, u), "");
    EXPECT_NE(sts::drift_field_of(t.data(), 4, 4, d, d, q1, q1, 0, u), "");
    EXPECT_NE(sts::drift_field_of(t.data(), 4, 4, d, d, q1, q2, -1, u), "");
    const std::vector<float> none(16, std::numeric_limits<float>::quiet_NaN());
    EXPECT_NE(sts::drift_field_of(none.data(), 4, 4, d, d, q1, q2, 0, u), "");
    EXPECT_NE(sts::drift_correct(sts::drift_field{}, t.data(), 1, 1, nullptr), "");
    // A field that reads outside the map gives NaN there.
    ASSERT_EQ(sts::drift_field_of(t.data(), 4, 4, d, d, q1, q2, 0, u), "");
    u.ux.assign(16, static_cast<float>(1.5 * d));
    std::vector<float> out(16);
    ASSERT_EQ(sts::drift_correct(u, t.data(), 1, 1, out.data()), "");
    EXPECT_TRUE(std::isnan(out[3]));
    EXPECT_EQ(out[0], 1.0f);
}

}  // namespace
