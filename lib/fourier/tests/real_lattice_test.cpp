// Bragg peaks of real lattices in Nanonis .sxm topographs (decoded by
// sxm_z.py from the documented layout): Si(111)-7x7 (a 2.69 nm cell) and
// FeSe (a Se lattice of about 0.38 nm, scanned at 45 degrees); drift
// correction leaves FeSe's Bragg peaks sharper.  Skips without the real
// data folder.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "fourier/bragg_peaks.h"
#include "fourier/drift_correction.h"
#include "fourier/fft_map.h"
#include "fourier_testing.h"
#include "testkit/testkit.h"

namespace {

using namespace fourier_testing;

struct topograph {
    std::vector<float> z;
    size_t nx = 0, ny = 0;
    double dx = 0, dy = 0, scan_angle = 0;
    sts::bragg_vector rows[2];  // two lattice vectors sxm_z.py finds on its own
};

topograph decode(const std::string& name, double q_low, double q_high) {
    topograph t;
    const testkit::temp_dir dir;
    std::istringstream out(python("sxm_z.py", {testkit::realdata_dir() + "/raw/" + name,
                                               dir / "z.f32", testkit::format("%g", q_low),
                                               testkit::format("%g", q_high)}));
    out >> t.nx >> t.ny >> t.dx >> t.dy >> t.scan_angle;
    for (auto& r : t.rows) out >> r.qx >> r.qy;
    t.z = read_floats(dir / "z.f32");
    EXPECT_EQ(t.z.size(), t.nx * t.ny) << name;
    return t;
}

struct found {
    sts::bragg_pair peaks;
    sts::lattice_geometry geometry;
};

found lattice_of(const std::vector<float>& z, const topograph& t, const sts::bragg_options& options) {
    found f;
    sts::q_map q;
    EXPECT_EQ(sts::fft_map(z.data(), t.nx, t.ny, t.dx, t.dy, {}, q), "");
    EXPECT_EQ(sts::find_bragg_peaks(q, options, f.peaks), "");
    std::string problem;
    f.geometry = sts::lattice_from_bragg(f.peaks.first.q, f.peaks.second.q, problem);
    EXPECT_EQ(problem, "");
    std::printf("a1 %.4f nm, a2 %.4f nm, lattice angle %.2f deg, Q1 at %.2f deg "
                "(|Q1| %.4f, |Q2| %.4f nm^-1), %zu peaks indexed\n",
                f.geometry.a1, f.geometry.a2, f.geometry.lattice_angle, f.geometry.q1_angle,
                std::hypot(f.peaks.first.q.qx, f.peaks.first.q.qy),
                std::hypot(f.peaks.second.q.qx, f.peaks.second.q.qy), f.peaks.indexed);
    return f;
}

// The independent pair spans the same lattice: each is an integer
// combination of Q1, Q2 (within 0.1 in each index), and the combination's
// determinant is +-1.
void expect_same_lattice(const found& f, const topograph& t) {
    const sts::bragg_vector a = f.peaks.first.q, b = f.peaks.second.q;
    const double det = a.qx * b.qy - a.qy * b.qx;
    double n[2][2];
    for (int k = 0; k < 2; ++k) {
        const sts::bragg_vector v = t.rows[k];
        n[k][0] = (v.qx * b.qy - v.qy * b.qx) / det;
        n[k][1] = (a.qx * v.qy - a.qy * v.qx) / det;
        std::printf("sxm_z.py's row %d: (%.4f, %.4f) nm^-1 = %.3f Q1 + %.3f Q2\n", k, v.qx, v.qy,
                    n[k][0], n[k][1]);
        for (double i : n[k]) EXPECT_NEAR(i, std::round(i), 0.1);
    }
    EXPECT_EQ(std::fabs(std::round(n[0][0]) * std::round(n[1][1]) - std::round(n[0][1]) * std::round(n[1][0])), 1.0);
}

TEST(RealLattice, Silicon7x7) {
    // The 7x7 cell is 2.69 nm (7 x 0.384 nm).  In this room-temperature
    // scan, at its nominal 20 nm, the lattice measures larger and oblique
    // (about 3.0 and 3.6 nm at 100 degrees, the same in sxm_z.py's own
    // search): the scanner's calibration or creep, not the finder.  The
    // test checks the finder against that search, and that the cell is
    // the 7x7 one (within 40 per cent of 2.69 nm, not an atomic one of
    // 0.38 nm nor a supercell); the figures are printed.  q_max: the 7x7
    // spots are sought below 10 nm^-1, where they are.
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << testkit::no_realdata;
    const topograph t = decode("nanonis_sxm_si7x7_051.sxm", 1.2, 4.0);
    ASSERT_EQ(t.nx, 256u);
    EXPECT_DOUBLE_EQ(t.dx, 20.0 / 256);
    sts::bragg_options o;
    o.q_max = 10;
    o.candidates = 20;
    const found f = lattice_of(t.z, t, o);
    expect_same_lattice(f, t);
    for (double a : {f.geometry.a1, f.geometry.a2}) {
        EXPECT_GT(a, 2.69 / 1.4);
        EXPECT_LT(a, 2.69 * 1.4);
    }
    std::printf("Si(111)-7x7: a1 %.1f%%, a2 %.1f%% from 2.69 nm\n", 100 * (f.geometry.a1 / 2.69 - 1),
                100 * (f.geometry.a2 / 2.69 - 1));
}

TEST(RealLattice, FeSeScannedAt45DegreesAndSharperWhenCorrected) {
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << testkit::no_realdata;
    const topograph t = decode("nanonis_sxm_fese_45deg.sxm", 12, 21);
    ASSERT_EQ(t.nx, 224u);
    EXPECT_DOUBLE_EQ(t.scan_angle, 45.0);
    const found f = lattice_of(t.z, t, {});
    expect_same_lattice(f, t);
    // The Se lattice, about 0.38 nm, square; scanned at 45 degrees, its
    // rows lie at 45 degrees in the frame.
    EXPECT_NEAR(f.geometry.a1, 0.38, 0.03 * 0.38);
    EXPECT_NEAR(f.geometry.a2, 0.38, 0.03 * 0.38);
    EXPECT_NEAR(f.geometry.lattice_angle, 90.0, 3.0);
    EXPECT_NEAR(std::remainder(f.geometry.q1_angle - 45.0, 90.0), 0.0, 2.0);

    sts::drift_field u;
    ASSERT_EQ(sts::drift_field_of(t.z.data(), t.nx, t.ny, t.dx, t.dy, f.peaks.first.q,
                                  f.peaks.second.q, 0, u), "");
    std::vector<float> corrected(t.z.size());
    ASSERT_EQ(sts::drift_correct(u, t.z.data(), 1, 1, corrected.data()), "");
    double largest = 0;
    for (size_t i = 0; i < u.ux.size(); ++i) largest = std::fmax(largest, std::hypot(u.ux[i], u.uy[i]));
    sts::q_map before, after;
    ASSERT_EQ(sts::fft_map(t.z.data(), t.nx, t.ny, t.dx, t.dy, {}, before), "");
    ASSERT_EQ(sts::fft_map(corrected.data(), t.nx, t.ny, t.dx, t.dy, {}, after), "");
    std::printf("drift field: lambda %.3f nm, largest |u| %.3f nm; corrected %zu pixels missing\n",
                u.lambda, largest, after.missing);
    for (const auto& q : {f.peaks.first.q, f.peaks.second.q}) {
        const sts::bragg_peak b = sts::measure_bragg_peak(before, q), a = sts::measure_bragg_peak(after, q);
        std::printf("Bragg peak (%.3f, %.3f): width %.4f -> %.4f nm^-1, height %.4g -> %.4g\n", q.qx,
                    q.qy, b.width, a.width, b.height, a.height);
        EXPECT_LT(a.width, b.width);
    }
}

}  // namespace
