// stsgrid with a lock-in channel, end to end on the real grids: the
// variables it writes against an independent NumPy reading of the raw
// bytes (tests/lockin_check.py), the command line, and the refusals.
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stsgrid/tests/run_in.h"
#include "testkit/testkit.h"

namespace {

using testkit::read_file;
using testkit::temp_dir;

using stsgrid_tests::run_in;
using stsgrid_tests::stsgrid;

std::string raw_file(const char* name) {
    return testkit::realdata_dir() + "/raw/" + name;
}

bool have(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
}

bool have_numpy() {
    return std::system("/usr/bin/python3 -c 'import numpy, netCDF4' >/dev/null 2>&1") == 0;
}

// The check's figure after `key` in its output ("ratio 0.03" -> 0.03).
double figure(const std::string& out, const std::string& key) {
    const size_t at = out.find(key + " ");
    EXPECT_NE(at, std::string::npos) << key << " in " << out;
    return at == std::string::npos ? -1 : std::stod(out.substr(at + key.size() + 1));
}

testkit::outcome check(const temp_dir& dir, const std::string& grid, const std::string& nc,
                       const std::string& channel, const std::string& direction,
                       const std::string& mode, const std::string& smooth = "") {
    std::vector<std::string> args = {"/usr/bin/python3", LOCKIN_CHECK, grid, nc, channel,
                                     direction, mode};
    if (!smooth.empty()) args.push_back(smooth);
    return run_in(dir, args);
}

TEST(LockinGrid, SimulatorMeanOfBothSweepsOfBothChannels) {
    const std::string grid = raw_file("nanonis_simulator_grid_bwd_5x6.3ds");
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << testkit::no_realdata;
    ASSERT_TRUE(have(grid)) << "no " << grid;
    if (!have_numpy()) GTEST_FAIL() << testkit::missing_package("python3-numpy, python3-netcdf4");
    temp_dir dir;
    const auto r = stsgrid(dir, {"--no-progress", "-d", "mean", "--lockin-fit=pixel",
                                 "--lockin-min-r2=0", "--didv-channel=LI Demod 1 X (A)", "-o",
                                 "sim.nc", grid});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto c = check(dir, grid, "sim.nc", "LI Demod 1 X (A)", "mean", "pixel");
    EXPECT_EQ(c.status, 0) << c.out << c.err;
    EXPECT_EQ(figure(c.out, "pixels"), 30);
    // Backward alone is the [bwd] twin.
    ASSERT_EQ(stsgrid(dir, {"--no-progress", "-d", "bwd", "--lockin-fit=pixel", "--lockin-min-r2=0",
                            "--didv-channel=LI Demod 2 X (A)", "-o",
                            "bwd.nc", grid})
                  .status,
              0);
    const auto b = check(dir, grid, "bwd.nc", "LI Demod 2 X (A)", "bwd", "pixel");
    EXPECT_EQ(b.status, 0) << b.out << b.err;
}

TEST(LockinGrid, RealLockinIsSmootherAndAgreesWithTheNumericalDerivative) {
    const std::string grid = raw_file("nanonis2016_grid_lockin_30x30.3ds");
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << testkit::no_realdata;
    ASSERT_TRUE(have(grid)) << "no " << grid;
    if (!have_numpy()) GTEST_FAIL() << testkit::missing_package("python3-numpy, python3-netcdf4");
    temp_dir dir;
    const auto r = stsgrid(dir, {"--no-progress", "--lockin-fit=pixel", "--lockin-min-r2=0",
                                 "--didv-channel=LockinX (V)", "-o", "l.nc", grid});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto c = check(dir, grid, "l.nc", "LockinX (V)", "fwd", "pixel");
    ASSERT_EQ(c.status, 0) << c.out << c.err;
    std::printf("%s", c.out.c_str());
    EXPECT_EQ(figure(c.out, "pixels"), 900);
    EXPECT_LE(figure(c.out, "ratio"), 0.2);
    EXPECT_GE(figure(c.out, "correlation of grid means"), 0.99);
}

TEST(LockinGrid, OneLineOverTheRealGridWhateverTheThreads) {
    const std::string grid = raw_file("nanonis2016_grid_lockin_30x30.3ds");
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << testkit::no_realdata;
    ASSERT_TRUE(have(grid)) << "no " << grid;
    if (!have_numpy()) GTEST_FAIL() << testkit::missing_package("python3-numpy, python3-netcdf4");
    temp_dir dir;
    for (const char* jobs : {"1", "3"})
        ASSERT_EQ(stsgrid(dir, {"--no-progress", "-j", jobs, "--didv-channel=LockinX (V)",
                                "--lockin-fit=grid", "-o", std::string("g") + jobs + ".nc", grid})
                      .status,
                  0);
    EXPECT_TRUE(read_file(dir / "g1.nc") == read_file(dir / "g3.nc"));
    const auto c = check(dir, grid, "g1.nc", "LockinX (V)", "fwd", "grid");
    EXPECT_EQ(c.status, 0) << c.out << c.err;
}

TEST(LockinGrid, SmoothedAsTheCurrentIs) {
    const std::string grid = raw_file("nanonis2016_grid_lockin_30x30.3ds");
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << testkit::no_realdata;
    ASSERT_TRUE(have(grid)) << "no " << grid;
    if (!have_numpy() || !testkit::python_imports("scipy.signal"))
        GTEST_FAIL() << testkit::missing_package("python3-numpy, python3-netcdf4, python3-scipy");
    temp_dir dir;
    const auto r = stsgrid(dir, {"--no-progress", "--smooth=11:3", "--lockin-fit=pixel",
                                 "--didv-channel=LockinX (V)", "-o", "s.nc", grid});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto c = check(dir, grid, "s.nc", "LockinX (V)", "fwd", "pixel", "11:3");
    EXPECT_EQ(c.status, 0) << c.out << c.err;
    // The unsmoothed channel is not what was written.
    const auto raw = check(dir, grid, "s.nc", "LockinX (V)", "fwd", "pixel");
    EXPECT_NE(raw.status, 0) << raw.out;
}

// The default is the grid's one line: no negative lock-in dI/dV on the real
// 30 x 30 grid, and on the real Pb line every pixel's curve is the grid
// fit's (within 10 % of its peak-to-peak, here bit for bit).
TEST(LockinGrid, DefaultIsOneLineForTheGrid) {
    const std::string square = raw_file("nanonis2016_grid_lockin_30x30.3ds");
    const std::string line = raw_file("nanonis2025_Grid_Spectroscopy008.3ds");
    if (!have(square) || !have(line)) GTEST_SKIP() << "no real grids";
    temp_dir dir;
    ASSERT_EQ(stsgrid(dir, {"--no-progress", "--didv-channel=LockinX (V)", "-o", "d.nc", square})
                  .status,
              0);
    const std::string pb = "--didv-channel=LIR 1 omega (A)";
    ASSERT_EQ(stsgrid(dir, {"--no-progress", "-d", "mean", pb, "-o", "pd.nc", line}).status, 0);
    ASSERT_EQ(stsgrid(dir, {"--no-progress", "-d", "mean", pb, "--lockin-fit=grid", "-o", "pg.nc",
                            line})
                  .status,
              0);
    const auto c = run_in(
        dir, {"/usr/bin/python3", "-c",
              "import netCDF4, numpy as np\n"
              "v = netCDF4.Dataset('d.nc')['didv_lockin'][:].filled(np.nan)\n"
              "f = v[np.isfinite(v)]\n"
              "print('negative', (f < 0).mean(), 'values', f.size)\n"
              "d = netCDF4.Dataset('pd.nc')['didv_lockin'][:].filled(np.nan)[0]\n"
              "g = netCDF4.Dataset('pg.nc')['didv_lockin'][:].filled(np.nan)[0]\n"
              "ptp = np.nanmax(g, axis=1) - np.nanmin(g, axis=1)\n"
              "print('worst', np.nanmax(np.abs(d - g), axis=1).__truediv__(ptp).max())\n"});
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(figure(c.out, "negative"), 0.0) << c.out;
    EXPECT_GT(figure(c.out, "values"), 100000) << c.out;
    EXPECT_LE(figure(c.out, "worst"), 0.1) << c.out;
}

// On request, a line per pixel; on the real Pb line each explains less than
// half of the pixel's numerical dI/dV (R^2 0.005 ... 0.45): every pixel is
// marked (status 10) and counted, its values written.
TEST(LockinGrid, PoorPerPixelFitsAreMarked) {
    const std::string line = raw_file("nanonis2025_Grid_Spectroscopy008.3ds");
    if (!have(line)) GTEST_SKIP() << "no " << line;
    temp_dir dir;
    const auto r = stsgrid(dir, {"--no-progress", "-d", "mean", "--didv-channel=LIR 1 omega (A)",
                                 "--lockin-fit=pixel", "-o", "p.nc", line});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.out.find("32 of 32 pixels not processed: 32 lock-in line fits poorly"),
              std::string::npos)
        << r.out;
    const auto c = run_in(dir, {"/usr/bin/python3", "-c",
                                "import netCDF4, numpy as np\n"
                                "f = netCDF4.Dataset('p.nc')\n"
                                "s = f['status'][:]; r2 = f['lockin_r2'][:]\n"
                                "print('marked', int((s == 10).sum()), 'below', int((r2 < 0.5).sum()),"
                                " 'finite', int(np.isfinite(f['didv_lockin'][:]).all()))\n"});
    EXPECT_NE(c.out.find("marked 32 below 32 finite 1"), std::string::npos) << c.out << c.err;
    // A threshold of 0 marks none.
    EXPECT_EQ(stsgrid(dir, {"--no-progress", "-d", "mean", "--didv-channel=LIR 1 omega (A)",
                            "--lockin-fit=pixel", "--lockin-min-r2=0", "-o", "z.nc", line})
                  .status,
              0);
}

TEST(LockinGrid, RefusalsNameWhatThereIs) {
    temp_dir dir;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--lockin-fit=grid", "g.3ds"},
          {"--didv-channel=L", "--lockin-fit=both", "g.3ds"},
          {"--didv-channel=", "g.3ds"},
          {"--didv-channel=L", "--lockin-fit=pixel", "--lockin-min-r2=1.5", "g.3ds"},
          {"--didv-channel=L", "--lockin-min-r2=0.2", "g.3ds"},
          {"--sweep=0", "g.3ds"}}) {
        const auto r = stsgrid(dir, args);
        EXPECT_EQ(r.status, 2) << args.front();
        EXPECT_NE(r.err.find("Try 'stsgrid --help'"), std::string::npos);
    }
    const std::string grid = raw_file("nanonis_simulator_grid_bwd_5x6.3ds");
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << testkit::no_realdata;
    ASSERT_TRUE(have(grid)) << "no " << grid;
    const auto r = stsgrid(dir, {"--didv-channel=LockinX (V)", "-o", "x.nc", grid});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no channel 'LockinX (V)' for dI/dV (the channels are \"Current (A)\", "
                         "\"Bias (V)\", \"LI Demod 1 X (A)\""),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(testkit::list_dir(dir.path()).empty());
}

}  // namespace
