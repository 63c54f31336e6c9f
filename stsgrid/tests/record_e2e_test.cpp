// The per-pixel record end to end on the real Nanonis grids: topography
// and every other parameter each pixel records, against an independent
// NumPy decoding of the raw bytes (tests/record_check.py).
#include <string>

#include <gtest/gtest.h>

#include "stsgrid/tests/run_in.h"
#include "testkit/testkit.h"

namespace {

using stsgrid_tests::run_in;
using stsgrid_tests::stsgrid;
using testkit::temp_dir;

TEST(Record, TopographyAndParametersAsTheFileStoresThem) {
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << "no real data folder";
    for (const char* name : {"nanonis2016_grid_lockin_30x30.3ds", "nanonis_simulator_grid_bwd_5x6.3ds",
                             "nanonis2025_Grid_Spectroscopy008.3ds"}) {
        const std::string grid = testkit::realdata_dir() + "/raw/" + name;
        temp_dir dir;
        const auto r = stsgrid(dir, {"--no-progress", "-o", "g.nc", grid});
        ASSERT_EQ(r.status, 0) << r.err;
        const auto c = run_in(dir, {"/usr/bin/python3", STSGRID_TEST_DIR "/record_check.py", grid,
                                    (dir / "g.nc")});
        EXPECT_EQ(c.status, 0) << name << "\n" << c.out << c.err;
        EXPECT_NE(c.out.find("topography parameter_z_offset parameter_settling_time "
                             "parameter_integration_time parameter_z_ctrl_hold parameter_final_z"),
                  std::string::npos)
            << c.out;
    }
}

}  // namespace
