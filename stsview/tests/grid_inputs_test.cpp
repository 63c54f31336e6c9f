// FILE arguments: netCDF files are taken as they are; anything else goes
// through stsgrid first (the build's, beside this test's folder), which
// writes the .nc beside it with the values a direct stsgrid run gives.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>

#include "stsview/grid_inputs.h"
#include "grid_fixture.h"

namespace {

using stsview_test::grid_fixture;

TEST(GridInputs, TellsNetcdfFromOtherFiles) {
    auto& g = grid_fixture::get();
    ASSERT_TRUE(g.ok);
    EXPECT_TRUE(sts::looks_like_netcdf(g.nc));
    EXPECT_FALSE(sts::looks_like_netcdf(g.dir / "grid.3ds"));
    EXPECT_FALSE(sts::looks_like_netcdf(g.dir / "absent"));
}

TEST(GridInputs, RunsStsgridOnOtherInputs) {
    auto& g = grid_fixture::get();
    ASSERT_TRUE(g.ok);
    testkit::temp_dir d;
    testkit::write_file(d / "copy.3ds", testkit::read_file(g.dir / "grid.3ds"));
    std::vector<std::string> files;
    std::string error;
    ASSERT_TRUE(sts::netcdf_files({g.nc, d / "copy.3ds"}, &files, &error)) << error;
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0], g.nc);
    EXPECT_EQ(files[1], d / "copy.nc");
    for (const char* name : {"didv", "norm_coff", "current", "status"}) {
        const auto made = stsview_test::read_whole(files[1], name), direct = stsview_test::read_whole(g.nc, name);
        ASSERT_EQ(made.size(), direct.size()) << name;
        EXPECT_EQ(std::memcmp(made.data(), direct.data(), made.size() * sizeof(float)), 0) << name;
    }
}

TEST(GridInputs, ReportsWhatFails) {
    testkit::temp_dir d;
    std::vector<std::string> files;
    std::string error;
    EXPECT_FALSE(sts::netcdf_files({d / "absent.nc"}, &files, &error));
    EXPECT_NE(error.find("absent.nc"), std::string::npos);
    // A folder is readable but no input of stsgrid's: stsgrid refuses it.
    ASSERT_EQ(mkdir((d / "folder").c_str(), 0755), 0);
    EXPECT_FALSE(sts::netcdf_files({d / "folder"}, &files, &error));
    EXPECT_NE(error.find("folder"), std::string::npos);
}

}  // namespace
