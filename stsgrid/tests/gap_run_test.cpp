// stsgrid --gap end to end: a generated grid whose pixels have a gap, none,
// one too wide for the sweep, or no spectrum; every value written checked
// against NumPy (gap_check.py) over the file.
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testkit/instrument_files.h"
#include "stsgrid/tests/run_in.h"
#include "testkit/testkit.h"

namespace {

using testkit::read_file;
using testkit::temp_dir;
using testkit::write_file;

using stsgrid_tests::run_in;
using stsgrid_tests::stsgrid;

// 4 x 3 pixels of 41 points from -0.5 to 0.5 V (0 V among them, so that
// two midpoints are equally near it): I = 0.1 nA sinh(2V) (1 - exp(-V^2 /
// g^2)), whose gap g grows with the pixel, with peaks of norm_coff beside
// it (about 2.2 against 1 far out); pixel 9 never
// measured, 10 without a gap (plain sinh), 11 with a gap wider than the
// sweep.
float current(long p, long k) {
    const double v = -0.5 + 0.025 * static_cast<double>(k);
    if (p == 9) return NAN;
    const double g = p == 11 ? 20.0 : 0.1 + 0.02 * static_cast<double>(p);
    const double onset = p == 10 ? 1.0 : 1 - std::exp(-v * v / (g * g));
    return static_cast<float>(1e-10 * std::sinh(2 * v) * onset);
}

void write_grid(const temp_dir& dir) {
    const testkit::nanonis_grid_layout g = testkit::raster_grid(4, 3, 41);
    write_file(dir / "g.3ds",
               testkit::nanonis_grid(g, [](long p, int, long k) { return current(p, k); }));
}

bool have_numpy() {
    return std::system("/usr/bin/python3 -c 'import numpy, netCDF4' >/dev/null 2>&1") == 0;
}

}  // namespace

TEST(GapRun, EveryPixelAgreesWithNumPy) {
    if (!have_numpy()) GTEST_FAIL() << testkit::missing_package("python3-numpy, python3-netcdf4");
    temp_dir dir;
    write_grid(dir);
    const auto r = stsgrid(dir, {"--gap=0.8", "g.3ds"});
    ASSERT_EQ(r.status, 3) << r.err;  // pixel 9
    const auto check = run_in(dir, {"/usr/bin/python3", GAP_CHECK_PY, "g.nc", "norm_coff", "0.8", "0"});
    ASSERT_EQ(check.status, 0) << check.err;
    EXPECT_EQ(check.out,
              "found=9 not_below_threshold=1 reaches_sweep_end=1 undefined_value=0 "
              "no_zero_bias=0 not_computed=1 wrong=0\n");
    // Another curve, threshold and window.
    const auto other = stsgrid(dir, {"--gap=2.9:norm_raw", "--gap-window=0.05", "-o", "raw.nc", "g.3ds"});
    ASSERT_EQ(other.status, 3) << other.err;
    const auto raw = run_in(dir, {"/usr/bin/python3", GAP_CHECK_PY, "raw.nc", "norm_raw", "2.9", "0.05"});
    ASSERT_EQ(raw.status, 0) << raw.err;
    EXPECT_EQ(raw.out,
              "found=10 not_below_threshold=0 reaches_sweep_end=1 undefined_value=0 "
              "no_zero_bias=0 not_computed=1 wrong=0\n");
}

TEST(GapRun, WithoutItTheFileIsAsBefore) {
    temp_dir dir;
    write_grid(dir);
    ASSERT_EQ(stsgrid(dir, {"-o", "plain.nc", "g.3ds"}).status, 3);
    ASSERT_EQ(stsgrid(dir, {"-o", "gap.nc", "--gap=0.5", "-j", "3", "g.3ds"}).status, 3);
    ASSERT_EQ(stsgrid(dir, {"-o", "gap1.nc", "--gap=0.5", "-j", "1", "g.3ds"}).status, 3);
    EXPECT_TRUE(read_file(dir / "gap.nc") == read_file(dir / "gap1.nc")) << "threads change nothing";
    const std::string plain = read_file(dir / "plain.nc"), gap = read_file(dir / "gap.nc");
    EXPECT_EQ(plain.find("gap_status"), std::string::npos);
    EXPECT_NE(gap.find("gap_status"), std::string::npos);
}

TEST(GapRun, MapsAndMistakes) {
    temp_dir dir;
    write_grid(dir);
    if (!testkit::have_program("gnuplot")) GTEST_FAIL() << testkit::missing_package("gnuplot-nox");
    const auto mapped = stsgrid(dir, {"--gap=0.5", "--map=gap", "g.3ds"});
    EXPECT_EQ(mapped.status, 3) << mapped.err;
    EXPECT_GT(read_file(dir / "g_map_gap.png").size(), 1000u);
    EXPECT_EQ(testkit::list_dir(dir.path()).size(), 3u) << "no bias map, no other file";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--gap=x", "g.3ds"}, {"--gap=0.5:didv", "g.3ds"},
          {"--gap=0.5:nothing", "g.3ds"}, {"--map=gap", "g.3ds"}, {"--gap-window=0.1", "g.3ds"},
          {"--gap=0.5", "--gap-window=-1", "g.3ds"}, {"--gap=0.5", "--map=gap,x", "g.3ds"}}) {
        const auto r = stsgrid(dir, args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_NE(r.err.find("Try 'stsgrid --help'"), std::string::npos) << r.err;
    }
    const auto r = stsgrid(dir, {"--gap=0.5:didv", "g.3ds"});
    EXPECT_NE(r.err.find("gap variable must be one of norm_raw, norm_exp, norm_coff, "
                         "norm_raw_lockin, norm_exp_lockin, norm_coff_lockin, not 'didv'"),
              std::string::npos) << r.err;
}
