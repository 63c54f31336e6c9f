// stsgrid --topography end to end: a synthetic pair written as the
// instrument writes it (a .3ds grid whose pixels record Z (m) of a known
// surface at their places, and a .sxm of the same surface over an
// overlapping frame turned by another angle, scanned downwards), checked
// by an independent NumPy reading (tests/topography_check.py); frames that
// do not overlap are refused; the real scans beside a real grid.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stsgrid/tests/run_in.h"
#include "testkit/instrument_files.h"
#include "testkit/testkit.h"

namespace {

using stsgrid_tests::run_in;
using stsgrid_tests::stsgrid;
using testkit::temp_dir;

const double pi = std::acos(-1.0);

// The surface (nm, instrument axes): a tilted plane and three bumps of
// width sigma; BUMPS below names them for the check.
struct bump {
    double x, y, height;
};
const std::vector<bump> bumps = {{17.0, 9.0, 0.6}, {23.0, 12.5, 0.45}, {21.0, 5.5, 0.8}};
const double sigma = 1.2;
const char* const bump_text = "17,9,1.2;23,12.5,1.2;21,5.5,1.2";

double surface_nm(double x, double y) {
    double z = 0.04 * x - 0.015 * y;
    for (const bump& b : bumps)
        z += b.height * std::exp(-((x - b.x) * (x - b.x) + (y - b.y) * (y - b.y)) / (2 * sigma * sigma));
    return z;
}

// A frame's place (u, v) nm from its centre, in the instrument's axes: the
// frame's x axis is (cos a, -sin a), its y axis (sin a, cos a).
void place(double cx, double cy, double degrees, double u, double v, double* x, double* y) {
    const double t = degrees * pi / 180;
    *x = cx + u * std::cos(t) + v * std::sin(t);
    *y = cy - u * std::sin(t) + v * std::cos(t);
}

// 30 x 24 pixels over 15 x 12 nm about (20, 10) nm at 20 degrees, each at
// the centre of its cell (as the current software places them), recording
// X, Y and Z (m) of the surface there.
std::string surface_grid() {
    testkit::nanonis_grid_layout g;
    g.nx = 30;
    g.ny = 24;
    g.points = 8;
    g.start = -0.1f;
    g.end = 0.1f;
    g.settings = "2.000000E-8;1.000000E-8;1.500000E-8;1.200000E-8;2.000000E+1";
    g.experiment_parameters = {"X (m)", "Y (m)", "Z (m)"};
    g.experiment_of = [](long p) {
        const double u = (static_cast<double>(p % 30) + 0.5) * 0.5 - 7.5;
        const double v = (static_cast<double>(p / 30) + 0.5) * 0.5 - 6.0;
        double x = 0, y = 0;
        place(20, 10, 20, u, v, &x, &y);
        return std::vector<float>{static_cast<float>(x * 1e-9), static_cast<float>(y * 1e-9),
                                  static_cast<float>(surface_nm(x, y) * 1e-9)};
    };
    return testkit::nanonis_grid(g, [](long p, int, long k) {
        return static_cast<float>((static_cast<double>(k) - 3.5) * 1e-10 * (1 + 0.01 * static_cast<double>(p % 7)));
    });
}

// The surface scanned over 24 x 22 nm about (20.5, 9.5) nm at 35 degrees,
// 120 x 110 pixels, downwards; Z both ways (the backward image 0.1 nm
// higher) and a current.
std::string surface_scan(double cx, double cy) {
    testkit::nanonis_sxm_layout s;
    s.nx = 120;
    s.ny = 110;
    s.width = 24e-9;
    s.height = 22e-9;
    s.centre_x = cx * 1e-9;
    s.centre_y = cy * 1e-9;
    s.angle = 35;
    s.up = false;
    return testkit::nanonis_sxm(s, [&](size_t c, bool backward, long ix, long iy) {
        const double u = (static_cast<double>(ix) + 0.5) * 0.2 - 12;
        const double v = (static_cast<double>(iy) + 0.5) * 0.2 - 11;
        double x = 0, y = 0;
        place(cx, cy, 35, u, v, &x, &y);
        const double z = surface_nm(x, y) + (backward ? 0.1 : 0.0);
        return static_cast<float>(c == 0 ? z * 1e-9 : 1e-10 * z);
    });
}

double figure(const std::string& out, const std::string& key) {
    const size_t at = out.find(key + " ");
    EXPECT_NE(at, std::string::npos) << key << " in " << out;
    return at == std::string::npos ? -1 : std::stod(out.substr(at + key.size() + 1));
}

TEST(Topography, ScanBesideTheGridAgreesWithItsOwnZ) {
    temp_dir dir;
    testkit::write_file(dir / "g.3ds", surface_grid());
    testkit::write_file(dir / "s.sxm", surface_scan(20.5, 9.5));
    const auto r = stsgrid(dir, {"--no-progress", "-o", "g.nc", "--topography=s.sxm", "--map=0",
                                 "g.3ds"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(testkit::file_exists(dir / "g_map_0.png"));
    EXPECT_NE(r.out.find("scan_topography from s.sxm (Z, forward), sampled bilinearly: 720 of "
                         "720 pixels on the scan"),
              std::string::npos)
        << r.out;
    const auto c = run_in(dir, {"/usr/bin/python3", STSGRID_TEST_DIR "/topography_check.py",
                                dir / "g.3ds", dir / "s.sxm", dir / "g.nc", bump_text});
    ASSERT_EQ(c.status, 0) << c.out << c.err;
    std::printf("%s", c.out.c_str());
    EXPECT_LT(figure(c.out, "resample_max_diff_nm"), 1e-5) << c.out;
    EXPECT_LT(figure(c.out, "image_max_diff_nm"), 1e-6) << c.out;
    EXPECT_LT(figure(c.out, "grid_xy_max_diff_nm"), 1e-5) << c.out;
    EXPECT_GT(figure(c.out, "correlation"), 0.999) << c.out;
    EXPECT_LT(figure(c.out, "correlation_angle_reversed"), 0.9) << c.out;
    EXPECT_LT(figure(c.out, "misplacement_px"), 0.05) << c.out;
}

TEST(Topography, BackwardImageAndAnotherChannel) {
    temp_dir dir;
    testkit::write_file(dir / "g.3ds", surface_grid());
    testkit::write_file(dir / "s.sxm", surface_scan(20.5, 9.5));
    const auto r = stsgrid(dir, {"--no-progress", "-o", "b.nc", "--topography=s.sxm",
                                 "--topography-direction=backward", "g.3ds"});
    ASSERT_EQ(r.status, 0) << r.err;
    // The backward image (mirrored back) is the forward one 0.1 nm higher.
    const auto c = run_in(dir, {"/usr/bin/python3", "-c",
                                "import netCDF4, numpy as np\n"
                                "d = netCDF4.Dataset('b.nc'); d.set_auto_mask(False)\n"
                                "t = d['scan_topography']; z = d['topography'][:]\n"
                                "print(t.scan_direction, t.units, t.scan_channel)\n"
                                "print(float(np.nanmax(np.abs(t[:] - 0.1 - z))))\n"});
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(c.out.substr(0, c.out.find('\n')), "backward nm Z") << c.out;
    EXPECT_LT(std::stod(c.out.substr(c.out.find('\n') + 1)), 0.02) << c.out;
    const auto i = stsgrid(dir, {"--no-progress", "-o", "c.nc", "--topography=s.sxm",
                                 "--topography-channel=Current", "g.3ds"});
    EXPECT_EQ(i.status, 0) << i.err;
    const auto none = stsgrid(dir, {"--no-progress", "-o", "n.nc", "--topography=s.sxm",
                                    "--topography-channel=LI_X", "g.3ds"});
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("the scan has no channel LI_X (it has Z, Current)"), std::string::npos)
        << none.err;
    // Spectrum files have no lateral frame to place a scan in.
    testkit::write_file(dir / "p.txt", "-0.1 -1e-10\n0 0\n0.1 1e-10\n");
    const auto frameless = stsgrid(dir, {"--no-progress", "-o", "p.nc", "--topography=s.sxm", "p.txt"});
    EXPECT_EQ(frameless.status, 2);
    EXPECT_NE(frameless.err.find("s.sxm: the grid records no lateral frame"), std::string::npos)
        << frameless.err;
    const auto alone = stsgrid(dir, {"--no-progress", "--topography-direction=backward", "g.3ds"});
    EXPECT_EQ(alone.status, 2);
    EXPECT_NE(alone.err.find("which is not given"), std::string::npos) << alone.err;
}

TEST(Topography, FramesThatDoNotOverlapAreRefused) {
    temp_dir dir;
    testkit::write_file(dir / "g.3ds", surface_grid());
    testkit::write_file(dir / "far.sxm", surface_scan(60, 50));
    const auto r = stsgrid(dir, {"--no-progress", "-o", "g.nc", "--topography=far.sxm", "g.3ds"});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("far.sxm: the scan's frame (centre (60, 50) nm, 24 x 22 nm, angle 35 "
                         "degrees) does not overlap the grid's frame (centre (20, 10) nm, 15 x 12 "
                         "nm, angle 20 degrees)"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(testkit::file_exists(dir / "g.nc"));
}

TEST(Topography, WithoutTheOptionTheFileHasNoScan) {
    temp_dir dir;
    testkit::write_file(dir / "g.3ds", surface_grid());
    const auto r = stsgrid(dir, {"--no-progress", "-o", "g.nc", "g.3ds"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("scan_topography"), std::string::npos) << r.out;
    const auto c = run_in(dir, {"/usr/bin/python3", "-c",
                                "import netCDF4\n"
                                "d = netCDF4.Dataset('g.nc')\n"
                                "print(sorted(v for v in d.variables if v.startswith('scan')),"
                                " 'topography_scan' in d.ncattrs())\n"});
    EXPECT_EQ(c.out, "[] False\n") << c.err;
}

// The real scans beside the real 30 x 30 grid: none shares its frame, so
// each is refused naming both frames, or (the one whose frame reaches it)
// placed.
TEST(Topography, RealScansBesideARealGrid) {
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << "no real data folder";
    const std::string raw = testkit::realdata_dir() + "/raw/";
    const std::string grid = raw + "nanonis2016_grid_lockin_30x30.3ds";
    for (const std::string& scan : testkit::list_dir(raw)) {
        if (scan.size() < 4 || scan.compare(scan.size() - 4, 4, ".sxm") != 0) continue;
        temp_dir dir;
        const auto r = stsgrid(dir, {"--no-progress", "-o", "g.nc", "--topography=" + raw + scan, grid});
        if (r.status == 0) {
            EXPECT_NE(r.out.find("scan_topography from"), std::string::npos) << scan << r.out;
            continue;
        }
        EXPECT_TRUE(r.err.find("does not overlap the grid's frame") != std::string::npos ||
                    r.err.find("the scan holds no measured value") != std::string::npos)
            << scan << ": " << r.err;
        EXPECT_EQ(r.status, r.err.find("no measured value") != std::string::npos ? 1 : 2) << scan;
    }
}

// A real scan (FeSe, 45 degrees, scanned down) under a synthetic grid of
// 12 x 10 pixels over 10 x 8 nm about the scan's centre at 30 degrees:
// scan_topography against the NumPy resampling of the real bytes.
TEST(Topography, RealScanUnderAGridInItsFrame) {
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << "no real data folder";
    const std::string scan = testkit::realdata_dir() + "/raw/nanonis_sxm_fese_45deg.sxm";
    testkit::nanonis_grid_layout g;
    g.nx = 12;
    g.ny = 10;
    g.points = 4;
    g.settings = "-3.196416E-7;-1.834589E-7;1.000000E-8;8.000000E-9;3.000000E+1";
    g.experiment_of = [](long p) {
        const double u = (static_cast<double>(p % 12) + 0.5) * 10.0 / 12 - 5;
        const double v = (static_cast<double>(p / 12) + 0.5) * 0.8 - 4;
        double x = 0, y = 0;
        place(-319.6416, -183.4589, 30, u, v, &x, &y);
        return std::vector<float>{static_cast<float>(x * 1e-9), static_cast<float>(y * 1e-9)};
    };
    temp_dir dir;
    testkit::write_file(dir / "g.3ds", testkit::nanonis_grid(g, [](long, int, long k) {
        return static_cast<float>((static_cast<double>(k) - 1.5) * 1e-10);
    }));
    const auto r = stsgrid(dir, {"--no-progress", "-o", "g.nc", "--topography=" + scan, "g.3ds"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("120 of 120 pixels on the scan"), std::string::npos) << r.out;
    const auto c = run_in(dir, {"/usr/bin/python3", STSGRID_TEST_DIR "/topography_check.py",
                                dir / "g.3ds", scan, dir / "g.nc"});
    ASSERT_EQ(c.status, 0) << c.out << c.err;
    EXPECT_LT(figure(c.out, "resample_max_diff_nm"), 1e-5) << c.out;
    EXPECT_LT(figure(c.out, "image_max_diff_nm"), 1e-5) << c.out;
    EXPECT_LT(figure(c.out, "grid_xy_max_diff_nm"), 1e-4) << c.out;
}

// RHK: the topography image pages of the real map and line, sampled at
// each pixel's place, against a NumPy decoding of the pages
// (tests/sm4_topography_check.py).  The map's 32 x 32 spectra fall on
// every eighth centre of its 256 x 256 image, the line's 32 along the
// middle of its 8 lines from one edge to the other.
TEST(Topography, RhkPagesOfTheMapsFrame) {
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << "no real data folder";
    struct expected {
        const char* name;
        double first_column, last_column, first_row, last_row;
    };
    for (const expected& e : {expected{"rhk2020_abc6_didv_map.sm4", 4, 252, 4, 252},
                              expected{"rhk2020_hopg_line_300K.sm4", -0.5, 511.5, 3.5, 3.5}}) {
        const std::string file = testkit::realdata_dir() + "/raw/" + e.name;
        temp_dir dir;
        const auto r = stsgrid(dir, {"--no-progress", "-o", "g.nc", file});
        ASSERT_EQ(r.status, 0) << r.err;
        const auto c = run_in(dir, {"/usr/bin/python3", STSGRID_TEST_DIR "/sm4_topography_check.py",
                                    file, dir / "g.nc"});
        ASSERT_EQ(c.status, 0) << c.out << c.err;
        std::printf("%s\n%s", e.name, c.out.c_str());
        EXPECT_LT(figure(c.out, "forward_max_diff_nm"), 5e-5) << c.out;
        EXPECT_LT(figure(c.out, "backward_max_diff_nm"), 5e-5) << c.out;
        EXPECT_GT(figure(c.out, "forward_backward_correlation"), 0.95) << c.out;
        const size_t columns = c.out.find("columns ");
        ASSERT_NE(columns, std::string::npos);
        double lo = 0, hi = 0, rlo = 0, rhi = 0;
        ASSERT_EQ(std::sscanf(c.out.c_str() + columns, "columns %lf %lf\nrows %lf %lf", &lo, &hi,
                              &rlo, &rhi), 4) << c.out;
        EXPECT_NEAR(lo, e.first_column, 1e-3);
        EXPECT_NEAR(hi, e.last_column, 1e-3);
        EXPECT_NEAR(rlo, e.first_row, 1e-3);
        EXPECT_NEAR(rhi, e.last_row, 1e-3);
    }
    // A point spectrum has no place on an image: no topography.
    temp_dir dir;
    const auto r = stsgrid(dir, {"--no-progress", "-o", "p.nc",
                                 testkit::realdata_dir() + "/raw/rhk2021_hopg_point_sweeps.sm4"});
    EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace
