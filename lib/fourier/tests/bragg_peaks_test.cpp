// Bragg peaks of synthetic lattices of known vectors, with QPI waves,
// noise and missing pixels, in frames turned by various angles; and the
// lattice's geometry against cases worked by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "fourier/bragg_peaks.h"
#include "fourier/fft_map.h"
#include "fourier_testing.h"

namespace {

using namespace fourier_testing;

sts::bragg_vector turned(double length, double degrees) {
    const double a = degrees * M_PI / 180;
    return {length * std::cos(a), length * std::sin(a)};
}

// Within one q-pixel of want, or of -want (the same peak of a real map).
void expect_near_vector(sts::bragg_vector got, sts::bragg_vector want, double dqx, double dqy,
                        const std::string& what) {
    const bool same = std::fabs(got.qx - want.qx) <= dqx && std::fabs(got.qy - want.qy) <= dqy;
    const bool opposite = std::fabs(got.qx + want.qx) <= dqx && std::fabs(got.qy + want.qy) <= dqy;
    EXPECT_TRUE(same || opposite) << what << ": (" << got.qx << ", " << got.qy << ") for ("
                                  << want.qx << ", " << want.qy << ")";
}

// Is got one of the wanted vectors (up to sign)?
bool matches_one(sts::bragg_vector got, const std::vector<sts::bragg_vector>& want, double d) {
    for (auto w : want)
        if (std::hypot(got.qx - w.qx, got.qy - w.qy) <= d || std::hypot(got.qx + w.qx, got.qy + w.qy) <= d)
            return true;
    return false;
}

struct scene {
    size_t nx = 200, ny = 180;
    double dx = 0.05, dy = 0.055;  // nm: pixels not square on purpose
};

// A lattice's first harmonics (Q1, Q2 and, hexagonal, Q1 - Q2) with a
// QPI wave of its own, noise and missing pixels: its transform.
sts::q_map lattice_scene(const scene& s, sts::bragg_vector q1, sts::bragg_vector q2, bool hexagonal,
                         sts::bragg_vector qpi, unsigned seed) {
    std::vector<wave> w = {{q1.qx, q1.qy, 1.0, 0.3}, {q2.qx, q2.qy, 0.8, 1.1},
                           {qpi.qx, qpi.qy, 0.3, 0.0},
                           {q1.qx + q2.qx, q1.qy + q2.qy, 0.25, 0.5}};
    if (hexagonal) w.push_back({q1.qx - q2.qx, q1.qy - q2.qy, 0.9, 2.0});
    std::vector<float> map = plane_waves(s.nx, s.ny, s.dx, s.dy, w);
    // A slow background (a tilt and a bump) as real scans have.
    for (size_t y = 0; y < s.ny; ++y)
        for (size_t x = 0; x < s.nx; ++x)
            map[y * s.nx + x] += static_cast<float>(0.02 * x + 3 * std::exp(-std::pow((x - 60.0) / 40, 2)));
    add_noise(map, 0.5, seed);
    std::mt19937 pick(seed);
    for (int k = 0; k < 300; ++k) map[pick() % map.size()] = std::numeric_limits<float>::quiet_NaN();
    sts::q_map f;
    EXPECT_EQ(sts::fft_map(map.data(), s.nx, s.ny, s.dx, s.dy, {}, f), "");
    EXPECT_GT(f.missing, 250u);
    return f;
}

TEST(BraggPeaks, SquareLatticeInTurnedFrames) {
    const scene s;
    const double a = 0.38, q = 2 * M_PI / a;
    unsigned seed = 1;
    for (double angle : {0.0, 17.0, 45.0, -30.5, 81.0}) {
        const auto q1 = turned(q, angle), q2 = turned(q, angle + 90);
        const auto qpi = turned(5.3, angle + 23);
        const sts::q_map f = lattice_scene(s, q1, q2, false, qpi, seed++);
        sts::bragg_pair p;
        ASSERT_EQ(sts::find_bragg_peaks(f, {}, p), "") << angle;
        const std::string what = "square at " + std::to_string(angle);
        // The QPI wave, from a guess 1.5 pixels off along each axis.
        const sts::bragg_peak w =
            sts::refine_peak(f, {qpi.qx + 1.5 * f.dqx(), qpi.qy - 1.5 * f.dqy()}, 3);
        expect_near_vector(w.q, qpi, f.dqx(), f.dqy(), what + ", QPI wave");
        EXPECT_TRUE(matches_one(p.first.q, {q1, q2}, 0.5 * f.dqx())) << what;
        EXPECT_TRUE(matches_one(p.second.q, {q1, q2}, 0.5 * f.dqx())) << what;
        std::string problem;
        const sts::lattice_geometry g = sts::lattice_from_bragg(p.first.q, p.second.q, problem);
        EXPECT_EQ(problem, "");
        EXPECT_NEAR(g.a1, a, 0.01 * a) << what;
        EXPECT_NEAR(g.a2, a, 0.01 * a) << what;
        EXPECT_NEAR(g.bragg_angle, 90, 1.0) << what;
        // Q1 is the one nearest to +qx: within 45 degrees of it.
        EXPECT_LE(std::fabs(g.q1_angle), 45.0 + 1.0) << what;
        EXPECT_NEAR(std::remainder(g.q1_angle - angle, 90.0), 0.0, 0.5) << what;
    }
}

TEST(BraggPeaks, HexagonalLatticeWithAQpiWave) {
    const scene s;
    const double a = 0.5, q = 4 * M_PI / (std::sqrt(3.0) * a);  // |Q| of a hexagonal lattice
    unsigned seed = 10;
    for (double angle : {0.0, 12.0, -41.0}) {
        const auto q1 = turned(q, angle), q2 = turned(q, angle + 60), qpi = turned(4.1, angle + 10);
        const sts::q_map f = lattice_scene(s, q1, q2, true, qpi, seed++);
        sts::bragg_pair p;
        ASSERT_EQ(sts::find_bragg_peaks(f, {}, p), "") << angle;
        const auto q3 = sts::bragg_vector{q1.qx - q2.qx, q1.qy - q2.qy};
        const std::string what = "hexagonal at " + std::to_string(angle);
        expect_near_vector(sts::refine_peak(f, {qpi.qx - f.dqx(), qpi.qy + f.dqy()}, 2).q, qpi,
                           f.dqx(), f.dqy(), what + ", QPI wave");
        EXPECT_TRUE(matches_one(p.first.q, {q1, q2, q3}, 0.5 * f.dqx())) << what;
        EXPECT_TRUE(matches_one(p.second.q, {q1, q2, q3}, 0.5 * f.dqx())) << what;
        std::string problem;
        const sts::lattice_geometry g = sts::lattice_from_bragg(p.first.q, p.second.q, problem);
        EXPECT_NEAR(g.a1, a, 0.01 * a) << what;
        EXPECT_NEAR(g.a2, a, 0.01 * a) << what;
        EXPECT_NEAR(std::fmin(g.bragg_angle, 180 - g.bragg_angle), 60, 1.0) << what;
    }
}

TEST(BraggPeaks, QpiWavesAloneWithinOnePixel) {
    // Two waves only (no lattice): the finder gives them back, each within
    // one q-pixel along each axis, in nm^-1.
    const scene s;
    for (double angle : {0.0, 33.0}) {
        const auto k1 = turned(7.3, angle), k2 = turned(9.1, angle + 75);
        std::vector<float> map = plane_waves(s.nx, s.ny, s.dx, s.dy, {{k1.qx, k1.qy, 1, 0}, {k2.qx, k2.qy, 1, 1}});
        add_noise(map, 0.3, 5);
        sts::q_map f;
        ASSERT_EQ(sts::fft_map(map.data(), s.nx, s.ny, s.dx, s.dy, {}, f), "");
        sts::bragg_pair p;
        ASSERT_EQ(sts::find_bragg_peaks(f, {}, p), "");
        const bool order = std::hypot(p.first.q.qx - k1.qx, p.first.q.qy - k1.qy) < 1 ||
                           std::hypot(p.first.q.qx + k1.qx, p.first.q.qy + k1.qy) < 1;
        expect_near_vector(p.first.q, order ? k1 : k2, f.dqx(), f.dqy(), "first");
        expect_near_vector(p.second.q, order ? k2 : k1, f.dqx(), f.dqy(), "second");
    }
}

TEST(BraggPeaks, ScanLineNoiseOnTheAxisIgnored) {
    // Offsets from line to line, stronger than the lattice, put a bright
    // line along qx = 0: its pixels are not Bragg peaks.
    const scene s;
    const double q = 4 * M_PI / (std::sqrt(3.0) * 0.7);
    const auto q1 = turned(q, 21), q2 = turned(q, 81);
    std::vector<float> map = plane_waves(s.nx, s.ny, s.dx, s.dy,
                                         {{q1.qx, q1.qy, 0.3, 0}, {q2.qx, q2.qy, 0.3, 1},
                                          {q1.qx - q2.qx, q1.qy - q2.qy, 0.3, 2}});
    std::mt19937 g(2);
    std::normal_distribution<double> offset(0.0, 2.0);
    for (size_t y = 0; y < s.ny; ++y) {
        const float o = static_cast<float>(offset(g));
        for (size_t x = 0; x < s.nx; ++x) map[y * s.nx + x] += o;
    }
    add_noise(map, 0.3, 9);
    sts::q_map f;
    ASSERT_EQ(sts::fft_map(map.data(), s.nx, s.ny, s.dx, s.dy, {}, f), "");
    sts::bragg_pair p;
    ASSERT_EQ(sts::find_bragg_peaks(f, {}, p), "");
    const auto q3 = sts::bragg_vector{q1.qx - q2.qx, q1.qy - q2.qy};
    EXPECT_TRUE(matches_one(p.first.q, {q1, q2, q3}, 0.5 * f.dqx()))
        << p.first.q.qx << ", " << p.first.q.qy;
    EXPECT_TRUE(matches_one(p.second.q, {q1, q2, q3}, 0.5 * f.dqx()))
        << p.second.q.qx << ", " << p.second.q.qy;
}

TEST(BraggPeaks, SaysWhenNothingStandsOut) {
    sts::q_map f;
    std::vector<float> flat(64 * 64, 1.0f);
    ASSERT_EQ(sts::fft_map(flat.data(), 64, 64, 0.1, 0.1, {}, f), "");
    sts::bragg_pair p;
    EXPECT_NE(sts::find_bragg_peaks(f, {}, p), "");
    sts::q_map tiny;
    EXPECT_NE(sts::find_bragg_peaks(tiny, {}, p), "");
}

TEST(Lattice, GeometryWorkedByHand) {
    std::string problem;
    // Square, a = 0.4 nm: |Q| = 2 pi / 0.4, at 30 degrees.
    const double q = 2 * M_PI / 0.4;
    auto g = sts::lattice_from_bragg(turned(q, 30), turned(q, 120), problem);
    EXPECT_EQ(problem, "");
    EXPECT_NEAR(g.a1, 0.4, 1e-12);
    EXPECT_NEAR(g.a2, 0.4, 1e-12);
    EXPECT_NEAR(g.bragg_angle, 90, 1e-9);
    EXPECT_NEAR(g.lattice_angle, 90, 1e-9);
    EXPECT_NEAR(g.q1_angle, 30, 1e-9);
    // Hexagonal Si(111)-7x7, a = 2.69 nm: |Q| = 4 pi / (sqrt 3 a), Bragg
    // vectors at 60 degrees, real ones at 120.
    const double h = 4 * M_PI / (std::sqrt(3.0) * 2.69);
    g = sts::lattice_from_bragg(turned(h, -10), turned(h, 50), problem);
    EXPECT_NEAR(g.a1, 2.69, 1e-12);
    EXPECT_NEAR(g.lattice_angle, 120, 1e-9);
    EXPECT_NEAR(g.q1_angle, -10, 1e-9);
    // Rectangular 0.3 x 0.5 nm.
    g = sts::lattice_from_bragg({2 * M_PI / 0.3, 0}, {0, 2 * M_PI / 0.5}, problem);
    EXPECT_NEAR(g.a1, 0.3, 1e-12);
    EXPECT_NEAR(g.a2, 0.5, 1e-12);
    sts::lattice_from_bragg({1, 1}, {2, 2}, problem);
    EXPECT_NE(problem, "");
    sts::lattice_from_bragg({1, std::nan("")}, {2, 2}, problem);
    EXPECT_NE(problem, "");
}

TEST(Lattice, ReducedToTheTwoShortestOrderedFromQx) {
    // (Q1 + 2 Q2, Q2) of a square lattice along the axes reduces to the
    // axes themselves: Q1 along +qx, Q2 along +qy.
    sts::bragg_vector a{1, 2}, b{0, 1};
    sts::reduce_bragg(a, b);
    EXPECT_NEAR(a.qx, 1, 1e-12);
    EXPECT_NEAR(a.qy, 0, 1e-12);
    EXPECT_NEAR(b.qx, 0, 1e-12);
    EXPECT_NEAR(b.qy, 1, 1e-12);
    // A hexagonal pair at 120 degrees, already reduced: Q1 the one of
    // +-b1, +-b2 (at 100, -80, 220, 40) nearest to +qx, Q2 at +60 from it.
    const double l = 3;
    a = turned(l, 100);
    b = turned(l, 220);
    sts::reduce_bragg(a, b);
    EXPECT_NEAR(std::atan2(a.qy, a.qx) * 180 / M_PI, 40, 1e-9);
    EXPECT_NEAR(std::atan2(b.qy, b.qx) * 180 / M_PI, 100, 1e-9);
    EXPECT_NEAR(std::hypot(b.qx, b.qy), l, 1e-12);
    EXPECT_GT(a.qx * b.qy - a.qy * b.qx, 0);
}

TEST(BraggPeaks, WidthOfAGaussianPeak) {
    // A Gaussian peak of standard deviation s pixels has an rms radius of
    // sqrt(2) s pixels; cut at 3 pixels, a little less.  Measured at the
    // caller's vector, on a flat background of zero.
    sts::q_map f;
    f.nx = f.ny = 64;
    f.qx = sts::q_axis(64, 0.1);
    f.qy = sts::q_axis(64, 0.1);
    f.values.assign(64 * 64, 0.0f);
    const double s = 0.8;
    for (long y = 0; y < 64; ++y)
        for (long x = 0; x < 64; ++x)
            f.values[static_cast<size_t>(y * 64 + x)] =
                static_cast<float>(std::exp(-(std::pow(x - 42, 2) + std::pow(y - 40, 2)) / (2 * s * s)));
    const sts::bragg_peak p = sts::measure_bragg_peak(f, {f.qx[42] + 0.2, f.qy[40] - 0.1});
    EXPECT_FLOAT_EQ(static_cast<float>(p.height), 1.0f);
    double sum = 0, moment = 0;  // the same sum, over the pixels within 3
    for (int j = -3; j <= 3; ++j)
        for (int i = -3; i <= 3; ++i)
            if (i * i + j * j <= 9) {
                const double w = std::exp(-(i * i + j * j) / (2 * s * s));
                sum += w;
                moment += w * (i * i + j * j);
            }
    EXPECT_NEAR(p.width, std::sqrt(moment / sum) * f.dqx(), 1e-6);
    EXPECT_NEAR(p.width, std::sqrt(2.0) * s * f.dqx(), 0.02 * f.dqx());
}

}  // namespace
