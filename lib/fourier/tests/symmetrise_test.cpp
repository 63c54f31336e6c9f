// Symmetrisation against SciPy's bilinear reading (symmetrise_reference.py,
// from the definition), its invariance under every operation of the
// group, and a symmetric map left as it was.
//
// Tolerances.  Against SciPy: the same samples summed in double, ours
// rounded once to float: 2 FLT_EPSILON of the largest value.  Where the
// operations map pixels onto pixels (the group's axes along the map's,
// square pixels, an odd size so that the centre is a pixel), invariance
// and a symmetric map's being unchanged hold to the float rounding of the
// sum (4 FLT_EPSILON).  Elsewhere the output is read between pixels too:
// for a smooth map f, bilinear reading errs by at most
// e = (max|f_xx| + max|f_yy|) / 8 + max|f_xy| / 4 (pixel units), which for
// Gaussians of height A and width s pixels is A (1/4 + 1/(4 e^1)) / s^2;
// a symmetric map is unchanged within e, and out(h q) read back from the
// output's pixels agrees with out(q) within 3 e (the output's own error
// at both points, and the reading at h q).
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <sstream>

#include "fourier/symmetrise.h"
#include "fourier/bilinear.h"
#include "fourier_testing.h"
#include "testkit/testkit.h"

namespace {

using namespace fourier_testing;

sts::q_map square_map(size_t n, double dq) {
    sts::q_map m;
    m.nx = m.ny = n;
    m.values.assign(n * n, 0.0f);
    // Axes as q_axis gives them: (k - n/2) dq.
    for (size_t k = 0; k < n; ++k) {
        m.qx.push_back((static_cast<double>(k) - static_cast<double>(n / 2)) * dq);
        m.qy.push_back(m.qx.back());
    }
    return m;
}

struct blob {
    double x, y, height;  // pixels from the centre
};

// Gaussians of width s pixels at the blobs, with the map's centre at n/2.
void paint(sts::q_map& m, const std::vector<blob>& blobs, double s) {
    for (size_t y = 0; y < m.ny; ++y)
        for (size_t x = 0; x < m.nx; ++x) {
            const double px = static_cast<double>(x) - static_cast<double>(m.nx / 2);
            const double py = static_cast<double>(y) - static_cast<double>(m.ny / 2);
            double v = 0;
            for (const blob& b : blobs)
                v += b.height * std::exp(-(std::pow(px - b.x, 2) + std::pow(py - b.y, 2)) / (2 * s * s));
            m.values[y * m.nx + x] = static_cast<float>(v);
        }
}

std::vector<blob> random_blobs(unsigned seed, int count, double radius) {
    std::mt19937 g(seed);
    std::uniform_real_distribution<double> u(-radius, radius), h(0.2, 1.0);
    std::vector<blob> b;
    for (int k = 0; k < count; ++k) b.push_back({u(g), u(g), h(g)});
    return b;
}

// The blobs and their images under every operation (turned by angle):
// a map with the group's symmetry.
std::vector<blob> symmetric_blobs(const std::vector<blob>& seeds,
                                  const std::vector<sts::point_operation>& group, double degrees) {
    const double a = degrees * M_PI / 180, c = std::cos(a), s = std::sin(a);
    std::vector<blob> all;
    for (const blob& b : seeds)
        for (const auto& g : group) {
            const double lx = c * b.x + s * b.y, ly = -s * b.x + c * b.y;  // into the lattice frame
            const double gx = g.xx * lx + g.xy * ly, gy = g.yx * lx + g.yy * ly;
            all.push_back({c * gx - s * gy, s * gx + c * gy, b.height / static_cast<double>(group.size())});
        }
    return all;
}

double bilinear_error(double height, double s) { return height * (0.25 + 0.25 / M_E) / (s * s); }

std::vector<sts::point_operation> group_of(const std::string& name) {
    std::vector<sts::point_operation> ops;
    EXPECT_EQ(sts::point_group(name, ops), "") << name;
    return ops;
}

TEST(PointGroup, OrdersAndClosure) {
    const struct {
        const char* name;
        size_t order;
    } cases[] = {{"1", 1}, {"2", 2}, {"m", 2}, {"2mm", 4}, {"3", 3}, {"3m", 6}, {"4", 4},
                 {"4mm", 8}, {"6", 6}, {"6mm", 12}, {"r90", 4}, {"m0,m90", 4}, {"m0,m30", 12},
                 {"r120,m0", 6}, {"r7.5", 48}, {"m45", 2}};
    for (const auto& c : cases) {
        const auto ops = group_of(c.name);
        EXPECT_EQ(ops.size(), c.order) << c.name;
        for (const auto& g : ops) {
            // Orthogonal: rows of unit length, at right angles.
            EXPECT_NEAR(g.xx * g.xx + g.xy * g.xy, 1, 1e-12) << c.name;
            EXPECT_NEAR(g.xx * g.yx + g.xy * g.yy, 0, 1e-12) << c.name;
        }
    }
    std::vector<sts::point_operation> ops;
    for (const char* bad : {"", "7mm", "r", "r7", "m1e999", "x90", "r90,", "r90,,m0", "4mmm"})
        EXPECT_NE(sts::point_group(bad, ops), "") << bad;
}

TEST(Symmetrise, AgreesWithScipy) {
    sts::q_map in;
    in.nx = 64;
    in.ny = 51;
    in.qx = sts::q_axis(64, 0.1);
    in.qy = sts::q_axis(51, 0.13);
    in.values = testkit::random_floats(64 * 51, 21);
    for (const char* name : {"2mm", "4mm", "6mm", "r90,m15", "m0"})
        for (double angle : {0.0, 17.3, -41.0}) {
            sts::q_map out;
            ASSERT_EQ(sts::symmetrise(in, angle, group_of(name), out), "");
            const testkit::temp_dir dir;
            write_floats(dir / "in.f32", in.values);
            const std::string order = python(
                "symmetrise_reference.py",
                {dir / "in.f32", "64", "51", testkit::format("%.17g", in.dqx()),
                 testkit::format("%.17g", in.dqy()), testkit::format("%.17g", angle), name, dir / "out.f64"});
            EXPECT_EQ(std::stoul(order), group_of(name).size()) << name;
            const std::vector<double> theirs = read_doubles(dir / "out.f64");
            ASSERT_EQ(theirs.size(), out.values.size());
            for (size_t i = 0; i < theirs.size(); ++i) {
                if (std::isnan(theirs[i])) {
                    EXPECT_TRUE(std::isnan(out.values[i])) << name << " " << angle << " at " << i;
                    continue;
                }
                EXPECT_NEAR(out.values[i], theirs[i], 2 * FLT_EPSILON) << name << " " << angle << " at " << i;
            }
        }
}

// Pixels whose orbit under the group lies on pixels inside the map.
TEST(Symmetrise, InvariantOnTheGridAndASymmetricMapUnchanged) {
    const size_t n = 65;
    for (const char* name : {"4mm", "2mm", "m0,m45"}) {
        const auto ops = group_of(name);
        sts::q_map in = square_map(n, 0.2);
        paint(in, random_blobs(3, 9, 25), 2.0);
        sts::q_map out;
        ASSERT_EQ(sts::symmetrise(in, 0.0, ops, out), "");
        float largest = 0;
        for (float v : out.values) largest = std::fmax(largest, std::fabs(v));
        const long c = static_cast<long>(n / 2);
        for (long y = 0; y < static_cast<long>(n); ++y)
            for (long x = 0; x < static_cast<long>(n); ++x)
                for (const auto& g : ops) {
                    const long gx = c + std::lround(g.xx * (x - c) + g.xy * (y - c));
                    const long gy = c + std::lround(g.yx * (x - c) + g.yy * (y - c));
                    EXPECT_NEAR(out.values[static_cast<size_t>(gy) * n + static_cast<size_t>(gx)],
                                out.values[static_cast<size_t>(y) * n + static_cast<size_t>(x)],
                                4 * FLT_EPSILON * largest) << name;
                }
        // Symmetrising the symmetric output again leaves it.
        sts::q_map again;
        ASSERT_EQ(sts::symmetrise(out, 0.0, ops, again), "");
        for (size_t i = 0; i < n * n; ++i)
            EXPECT_NEAR(again.values[i], out.values[i], 4 * FLT_EPSILON * largest) << name;
    }
}

TEST(Symmetrise, TurnedFrameInvariantWithinTheInterpolationError) {
    const size_t n = 96;
    const double s = 4.0, angle = 23.0;
    for (const char* name : {"6mm", "4mm", "2mm"}) {
        const auto ops = group_of(name);
        sts::q_map in = square_map(n, 0.15);
        paint(in, random_blobs(8, 6, 28), s);  // heights at most 1
        sts::q_map out;
        ASSERT_EQ(sts::symmetrise(in, angle, ops, out), "");
        const double e = bilinear_error(1.0, s);
        const double a = angle * M_PI / 180, c = std::cos(a), sn = std::sin(a);
        const double mid = static_cast<double>(n / 2);
        double worst = 0;
        // Pixels within 30 of the centre: their orbits stay inside.
        for (size_t y = 0; y < n; ++y)
            for (size_t x = 0; x < n; ++x) {
                const double px = static_cast<double>(x) - mid, py = static_cast<double>(y) - mid;
                if (std::hypot(px, py) > 30) continue;
                for (const auto& g : ops) {
                    const double lx = c * px + sn * py, ly = -sn * px + c * py;
                    const double gx = g.xx * lx + g.xy * ly, gy = g.yx * lx + g.yy * ly;
                    const double v = sts::bilinear(out.values.data(), n, n, mid + c * gx - sn * gy,
                                                   mid + sn * gx + c * gy);
                    const double d = std::fabs(v - out.values[y * n + x]);
                    worst = std::fmax(worst, d);
                    EXPECT_LE(d, 3 * e) << name << " at " << x << ", " << y;
                }
            }
        std::printf("%s at %g deg: worst %.4g, bound 3e = %.4g\n", name, angle, worst, 3 * e);

        // A map with the symmetry already: unchanged within e.
        sts::q_map sym = square_map(n, 0.15);
        paint(sym, symmetric_blobs(random_blobs(9, 3, 20), ops, angle), s);
        ASSERT_EQ(sts::symmetrise(sym, angle, ops, out), "");
        for (size_t y = 0; y < n; ++y)
            for (size_t x = 0; x < n; ++x) {
                if (std::hypot(static_cast<double>(x) - mid, static_cast<double>(y) - mid) > 30) continue;
                EXPECT_NEAR(out.values[y * n + x], sym.values[y * n + x], e) << name;
            }
    }
}

TEST(Symmetrise, SaysWhatIsWrong) {
    sts::q_map in = square_map(8, 0.1), out;
    EXPECT_NE(sts::symmetrise(in, 0, {}, out), "");
    EXPECT_NE(sts::symmetrise(in, std::nan(""), group_of("2mm"), out), "");
    sts::q_map bad = in;
    bad.qx.pop_back();
    EXPECT_NE(sts::symmetrise(bad, 0, group_of("2mm"), out), "");
    bad = in;
    std::reverse(bad.qx.begin(), bad.qx.end());
    EXPECT_NE(sts::symmetrise(bad, 0, group_of("2mm"), out), "");
    // A missing pixel is left out of the means that would read it.
    in.values.assign(64, 1.0f);
    in.values[9] = std::nanf("");
    ASSERT_EQ(sts::symmetrise(in, 0, group_of("4mm"), out), "");
    for (float v : out.values) EXPECT_TRUE(std::isnan(v) || v == 1.0f);
    EXPECT_FALSE(std::isnan(out.values[9]));
}

}  // namespace
