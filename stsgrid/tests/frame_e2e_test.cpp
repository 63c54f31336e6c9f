// The lateral frame end to end on every real grid: the x and y stsgrid
// writes, and its position_frame_x and position_frame_y, against the
// positions the instrument recorded, decoded independently by NumPy
// (tests/frame_check.py).  The deviations are fractions of a step.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stsgrid/tests/run_in.h"
#include "testkit/testkit.h"

namespace {

using stsgrid_tests::run_in;
using stsgrid_tests::stsgrid;
using testkit::temp_dir;

double figure(const std::string& out, const std::string& key) {
    const size_t at = out.find(key + " ");
    EXPECT_NE(at, std::string::npos) << key << " in " << out;
    return at == std::string::npos ? -1 : std::stod(out.substr(at + key.size() + 1));
}

struct frame_result {
    double deviation = -1;  // largest, in steps
    std::string layout;
    std::string out;
};

// Runs stsgrid on the real file and the check on what it wrote.
frame_result checked(const char* name) {
    frame_result f;
    const std::string grid = testkit::realdata_dir() + "/raw/" + name;
    temp_dir dir;
    const auto r = stsgrid(dir, {"--no-progress", "-o", "g.nc", grid});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto c = run_in(dir, {"/usr/bin/python3", STSGRID_TEST_DIR "/frame_check.py", grid,
                                (dir / "g.nc")});
    EXPECT_EQ(c.status, 0) << c.out << c.err;
    f.out = c.out;
    f.deviation = figure(c.out, "axes_deviation_steps");
    const size_t at = c.out.find("layout ");
    if (at != std::string::npos) f.layout = c.out.substr(at + 7, c.out.find('\n', at) - at - 7);
    return f;
}

#define NEED_REALDATA() \
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << "no real data folder"

TEST(Frame, OldSquareGridPixelsFromTheFramesCorner) {
    NEED_REALDATA();
    // 2016, 45 degrees: w / 30 apart, the first on the edge; 5.5 pm of
    // offset throughout (0.033 of a step).
    const frame_result f = checked("nanonis2016_grid_lockin_30x30.3ds");
    EXPECT_EQ(f.layout, "corner") << f.out;
    EXPECT_LT(f.deviation, 0.05) << f.out;
}

TEST(Frame, SimulatorGridPixelsAtTheirCellsCentres) {
    NEED_REALDATA();
    const frame_result f = checked("nanonis_simulator_grid_bwd_5x6.3ds");
    EXPECT_EQ(f.layout, "centre") << f.out;
    EXPECT_LT(f.deviation, 1e-4) << f.out;
}

TEST(Frame, LineFromEndToEnd) {
    NEED_REALDATA();
    // A line's frame has no height: its pixels run from one end to the other.
    const frame_result f = checked("nanonis2025_Grid_Spectroscopy008.3ds");
    EXPECT_EQ(f.layout, "ends") << f.out;
    EXPECT_LT(f.deviation, 1e-3) << f.out;
}

TEST(Frame, RhkMapAndLineOnTheirRecordedRaster) {
    NEED_REALDATA();
    for (const char* name : {"rhk2020_abc6_didv_map.sm4", "rhk2020_hopg_line_300K.sm4"}) {
        const frame_result f = checked(name);
        EXPECT_LT(f.deviation, 0.01) << name << f.out;
    }
}

}  // namespace

namespace {

// A bias outside the sweep for --map and a region beyond the grid are
// refused as usage errors naming the allowed range, nothing written.
TEST(PlanAgainstGrid, NoSilentClamping) {
    NEED_REALDATA();
    const std::string line = testkit::realdata_dir() + "/raw/nanonis2025_Grid_Spectroscopy008.3ds";
    temp_dir dir;
    auto r = stsgrid(dir, {"--no-progress", "--map=0.1", "-o", "m.nc", line});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--map=0.1 lies outside the sweep: give a bias from -0.004 to 0.002 V"),
              std::string::npos)
        << r.err;
    r = stsgrid(dir, {"--no-progress", "--region=0:40,0:0", "-o", "m.nc", line});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("give x from 0 to 31 and y from 0 to 0"), std::string::npos) << r.err;
    EXPECT_TRUE(testkit::list_dir(dir.path()).empty());
    // Inside both: a map is drawn.
    EXPECT_EQ(stsgrid(dir, {"--no-progress", "--map=-0.001", "--region=0:31,0:0", "-o", "m.nc",
                            line})
                  .status,
              0);
}

}  // namespace
