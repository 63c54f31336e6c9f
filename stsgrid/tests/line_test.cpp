// stsgrid --line end to end: the line file against the grid file through
// an independent reading (line_check.py: NumPy and netCDF4 with the pixels
// worked out there), its bytes whatever the threads, and the names and
// ends refused before any work.
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "run_in.h"
#include "testkit/instrument_files.h"
#include "testkit/testkit.h"

namespace {

using testkit::read_file;
using testkit::temp_dir;
using testkit::write_file;

using stsgrid_tests::run_in;
using stsgrid_tests::stsgrid;

bool python_has_netcdf() {
    return std::system("/usr/bin/python3 -c 'import netCDF4, numpy' >/dev/null 2>&1") == 0;
}

bool has_gnuplot() {
    return std::system("command -v gnuplot >/dev/null 2>&1") == 0;
}

// raster_grid: nx x ny pixels 2 nm apart in the frame of their cells.
testkit::nanonis_grid_layout framed_grid(long nx, long ny) {
    return testkit::raster_grid(nx, ny, 41);
}

// A smooth current that differs from pixel to pixel.
std::string grid_bytes(const testkit::nanonis_grid_layout& g) {
    return testkit::nanonis_grid(g, [](long p, int, long k) {
        const double v = -0.5 + 0.025 * static_cast<double>(k);
        return static_cast<float>(
            1e-9 * (std::sinh(3 * v) + 0.01 * static_cast<double>(p) * v * v) + 2e-11);
    });
}

// stsgrid --line (and more options) on g.3ds into <name>.nc, then the
// independent check.
void expect_line_agrees(const temp_dir& dir, const std::string& name, long x0, long y0, long x1,
                        long y1, std::vector<std::string> more = {}) {
    const std::string line = std::to_string(x0) + "," + std::to_string(y0) + ":" +
                             std::to_string(x1) + "," + std::to_string(y1);
    std::vector<std::string> args = {"--line=" + line, "-o", name + ".nc", "g.3ds"};
    args.insert(args.begin(), more.begin(), more.end());
    const auto r = stsgrid(dir, args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("wrote " + name + "_line.nc"), std::string::npos) << r.out;
    const auto check = run_in(dir, {"/usr/bin/python3", STSGRID_TEST_DIR "/line_check.py",
                                    name + ".nc", name + "_line.nc", std::to_string(x0),
                                    std::to_string(y0), std::to_string(x1), std::to_string(y1)});
    EXPECT_EQ(check.status, 0) << line << ":\n" << check.out << check.err;
    EXPECT_EQ(check.out.rfind("ok ", 0), 0u) << check.out;
    if (!has_gnuplot()) GTEST_FAIL() << testkit::missing_package("gnuplot-nox");
    const std::string png = read_file(dir / (name + "_line.png"));
    EXPECT_TRUE(png.size() > 1000 && png.compare(1, 3, "PNG") == 0) << name;
}

TEST(LineCut, FileHoldsTheGridFilesPixelsAlongTheLine) {
    if (!python_has_netcdf())
        GTEST_FAIL() << testkit::missing_package("python3-netcdf4, python3-numpy");
    temp_dir dir;
    write_file(dir / "g.3ds", grid_bytes(framed_grid(7, 5)));
    expect_line_agrees(dir, "steep", 1, 4, 3, 0);    // more rows than columns
    expect_line_agrees(dir, "shallow", 0, 1, 6, 3);  // halves on the way
    expect_line_agrees(dir, "reversed", 6, 3, 0, 1);
    expect_line_agrees(dir, "row", 0, 2, 6, 2);
    expect_line_agrees(dir, "diagonal", 4, 0, 0, 4);
    expect_line_agrees(dir, "single", 3, 3, 3, 3);
    // The gap's values (one a pixel, over sample) and codes go along too.
    expect_line_agrees(dir, "gap", 0, 0, 6, 4, {"--gap=1.1"});  // gaps found
}

TEST(LineCut, PixelsWithAxesOfTheirOwnAndGridsWithoutAFrame) {
    if (!python_has_netcdf())
        GTEST_FAIL() << testkit::missing_package("python3-netcdf4, python3-numpy");
    temp_dir dir;
    testkit::nanonis_grid_layout g = framed_grid(5, 4);
    g.end_of = [](long p) { return 0.5f + 0.125f * static_cast<float>(p / 5); };
    write_file(dir / "g.3ds", grid_bytes(g));
    expect_line_agrees(dir, "own", 0, 0, 4, 3);  // pixel_bias and pixel_vmid go along
    g = framed_grid(6, 3);
    g.settings = "";  // no frame: coordinates and distances in pixels
    write_file(dir / "g.3ds", grid_bytes(g));
    expect_line_agrees(dir, "pixels", 5, 0, 0, 2);
    // A frame of no extent (every coordinate the same): distances 0, the
    // picture drawn against the pixels' numbers along the line.
    g.settings = "1E-9;2E-9;0;0;0";
    write_file(dir / "g.3ds", grid_bytes(g));
    expect_line_agrees(dir, "flat", 0, 0, 3, 2);
    const auto units =
        run_in(dir, {"/usr/bin/python3", "-c",
                     "import netCDF4; print(netCDF4.Dataset('pixels_line.nc')['distance'].units)"});
    EXPECT_EQ(units.out, "1\n");
}

TEST(LineCut, RealLockinGridCarriesTheLockinQuantities) {
    const std::string grid = testkit::realdata_dir() + "/raw/nanonis_simulator_grid_bwd_5x6.3ds";
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << testkit::no_realdata;
    ASSERT_TRUE(testkit::file_exists(grid)) << "no " << grid;
    if (!python_has_netcdf())
        GTEST_FAIL() << testkit::missing_package("python3-netcdf4, python3-numpy");
    temp_dir dir;
    const auto r = stsgrid(dir, {"--no-progress", "-d", "mean", "--didv-channel=LI Demod 1 X (A)",
                                 "--line=4,0:0,5", "-o", "sim.nc", grid});
    ASSERT_EQ(r.status, 0) << r.err;
    // didv_lockin and its normalisations over (sample, midpoint), the fit's
    // figures over sample: every one the grid file's, bit for bit.
    const auto check = run_in(dir, {"/usr/bin/python3", STSGRID_TEST_DIR "/line_check.py", "sim.nc",
                                    "sim_line.nc", "4", "0", "0", "5"});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    const auto names =
        run_in(dir, {"/usr/bin/python3", "-c",
                     "import netCDF4; v = netCDF4.Dataset('sim_line.nc').variables; "
                     "print(v['didv_lockin'].dimensions, v['lockin_r2'].dimensions)"});
    EXPECT_EQ(names.out, "('sample', 'midpoint') ('sample',)\n");
}

TEST(LineCut, TheFileIsTheSameWhateverTheThreads) {
    temp_dir dir;
    write_file(dir / "g.3ds", grid_bytes(framed_grid(13, 11)));  // blocks of 64 cut the line
    // The same name in two folders: the file names the grid's file.
    ASSERT_EQ(std::system(("mkdir " + (dir / "one") + " " + (dir / "three")).c_str()), 0);
    ASSERT_EQ(stsgrid(dir, {"-j", "1", "--line=0,10:12,0", "-o", "one/g.nc", "g.3ds"}).status, 0);
    ASSERT_EQ(stsgrid(dir, {"-j", "3", "--line=0,10:12,0", "-o", "three/g.nc", "g.3ds"}).status, 0);
    const std::string one = read_file(dir / "one/g_line.nc");
    EXPECT_GT(one.size(), 1000u);
    EXPECT_TRUE(one == read_file(dir / "three/g_line.nc"));
}

TEST(LineCut, BadEndsAndNamesAreRefusedBeforeAnyWork) {
    temp_dir dir;
    write_file(dir / "g.3ds", grid_bytes(testkit::raster_grid(4, 3, 11)));
    auto r = stsgrid(dir, {"--line=0,0:4,2", "g.3ds"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("the line's end (4, 2) is outside the grid of 4 x 3 pixels; give pixel "
                         "numbers from 0 to 3 for x and from 0 to 2 for y"),
              std::string::npos)
        << r.err;
    r = stsgrid(dir, {"--line=0,0:-1,2", "g.3ds"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("line must be X0,Y0:X1,Y1"), std::string::npos) << r.err;
    r = stsgrid(dir, {"--line=0,0:1,1", "--line-vars=didv,pixel_vmid", "g.3ds"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("not 'pixel_vmid'"), std::string::npos) << r.err;
    r = stsgrid(dir, {"--line=0,0:1,1", "--line-vars=didv_lockin", "g.3ds"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("this run does not write didv_lockin (of the lockin quantities"),
              std::string::npos)
        << r.err;
    r = stsgrid(dir, {"--line=0,0:1,1", "--line-vars=gap_width", "g.3ds"});  // one value a pixel
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("not 'gap_width'"), std::string::npos) << r.err;
    r = stsgrid(dir, {"--line-vars=didv", "g.3ds"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("give the line with --line"), std::string::npos) << r.err;
    // A folder where the line file would go: refused before the grid is read.
    ASSERT_EQ(std::system(("mkdir " + (dir / "g_line.nc")).c_str()), 0);
    r = stsgrid(dir, {"--line=0,0:1,1", "g.3ds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("g_line.nc"), std::string::npos) << r.err;
    EXPECT_FALSE(testkit::file_exists(dir / "g.nc"));
    EXPECT_EQ(testkit::list_dir(dir.path()).size(), 2u);  // g.3ds and the folder
}

}  // namespace
