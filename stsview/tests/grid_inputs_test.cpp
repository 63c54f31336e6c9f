// FILE arguments: netCDF files are taken as they are; anything else is
// computed in-process by the grid engine, and the values equal what the
// stsgrid program (the build's, run here as the independent road) writes.
// A file stsview did not make is never replaced.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>

#include "stsview/grid_inputs.h"
#include "grid_fixture.h"

namespace {

using stsview_test::grid_fixture;

bool same_values(const std::string& a, const std::string& b) {
    for (const char* name : {"didv", "norm_coff", "current", "status"}) {
        const auto x = stsview_test::read_whole(a, name), y = stsview_test::read_whole(b, name);
        if (x.empty() || x.size() != y.size() ||
            std::memcmp(x.data(), y.data(), x.size() * sizeof(float)) != 0)
            return false;
    }
    return true;
}

std::string joined(const std::vector<std::string>& notes) {
    std::string all;
    for (const auto& n : notes) all += n + "\n";
    return all;
}

TEST(GridInputs, TellsNetcdfFromOtherFiles) {
    auto& g = grid_fixture::get();
    ASSERT_TRUE(g.ok);
    EXPECT_TRUE(sts::looks_like_netcdf(g.nc));
    EXPECT_FALSE(sts::looks_like_netcdf(g.dir / "grid.3ds"));
    EXPECT_FALSE(sts::looks_like_netcdf(g.dir / "absent"));
}

TEST(GridInputs, ComputesOtherInputsInProcessIntoTheCacheAndReusesThem) {
    auto& g = grid_fixture::get();
    ASSERT_TRUE(g.ok);
    testkit::temp_dir d;
    testkit::write_file(d / "copy.3ds", testkit::read_file(g.dir / "grid.3ds"));
    const sts::input_settings s{"", d / "cache"};
    std::vector<std::string> files, notes;
    std::string error;
    ASSERT_TRUE(sts::netcdf_files({g.nc, d / "copy.3ds"}, s, &files, &notes, &error)) << error;
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0], g.nc);
    EXPECT_EQ(files[1].rfind(d / "cache/copy-", 0), 0u) << files[1];
    EXPECT_FALSE(testkit::file_exists(d / "copy.nc"));  // nothing beside the input
    EXPECT_TRUE(same_values(files[1], g.nc));
    EXPECT_NE(joined(notes).find("computed " + d / "copy.3ds"), std::string::npos) << joined(notes);
    // The second time the cached file is shown, not computed again.
    std::vector<std::string> again, later;
    ASSERT_TRUE(sts::netcdf_files({d / "copy.3ds"}, s, &again, &later, &error)) << error;
    EXPECT_EQ(again, std::vector<std::string>{files[1]});
    EXPECT_NE(joined(later).find("computed earlier"), std::string::npos) << joined(later);
}

TEST(GridInputs, ShowsStsgridsDefaultRunBesideItAndNeverReplacesAnotherRun) {
    auto& g = grid_fixture::get();
    ASSERT_TRUE(g.ok);
    testkit::temp_dir d;
    const std::string input = d / "copy.3ds";
    testkit::write_file(input, testkit::read_file(g.dir / "grid.3ds"));
    const sts::input_settings s{"", d / "cache"};
    std::string error;
    // stsgrid's default run beside the input: shown as it is.
    ASSERT_EQ(testkit::run({STSGRID_BIN, input}).status, 3);
    std::vector<std::string> files, notes;
    ASSERT_TRUE(sts::netcdf_files({input}, s, &files, &notes, &error)) << error;
    EXPECT_EQ(files, std::vector<std::string>{d / "copy.nc"});
    EXPECT_FALSE(testkit::file_exists(d / "cache"));
    // A run with other settings beside it: left as it is, the default run
    // computed into the cache, and the note says why.
    ASSERT_EQ(testkit::run({STSGRID_BIN, "--smooth=5", input}).status, 3);
    const std::string smoothed = testkit::read_file(d / "copy.nc");
    files.clear();
    notes.clear();
    ASSERT_TRUE(sts::netcdf_files({input}, s, &files, &notes, &error)) << error;
    ASSERT_EQ(files.size(), 1u);
    EXPECT_NE(files[0], d / "copy.nc");
    EXPECT_EQ(testkit::read_file(d / "copy.nc"), smoothed);
    EXPECT_TRUE(same_values(files[0], g.nc));
    EXPECT_NE(joined(notes).find("left as it is"), std::string::npos) << joined(notes);
    EXPECT_NE(joined(notes).find("smoothing"), std::string::npos) << joined(notes);
}

TEST(GridInputs, MinusONamesTheComputedFile) {
    auto& g = grid_fixture::get();
    ASSERT_TRUE(g.ok);
    testkit::temp_dir d;
    std::vector<std::string> files, notes;
    std::string error;
    ASSERT_TRUE(sts::netcdf_files({g.dir / "grid.3ds"}, {d / "mine.nc", d / "cache"}, &files,
                                  &notes, &error))
        << error;
    EXPECT_EQ(files, std::vector<std::string>{d / "mine.nc"});
    EXPECT_TRUE(same_values(d / "mine.nc", g.nc));
    // -o names one file: two inputs to compute are refused.
    EXPECT_FALSE(sts::netcdf_files({g.dir / "grid.3ds", g.dir / "grid.3ds"},
                                   {d / "two.nc", d / "cache"}, &files, &notes, &error));
    EXPECT_NE(error.find("-o"), std::string::npos) << error;
}

TEST(GridInputs, ReportsWhatFails) {
    testkit::temp_dir d;
    std::vector<std::string> files, notes;
    std::string error;
    const sts::input_settings s{"", d / "cache"};
    EXPECT_FALSE(sts::netcdf_files({d / "absent.nc"}, s, &files, &notes, &error));
    EXPECT_NE(error.find("absent.nc"), std::string::npos);
    // A folder is readable but no input of the engine's: refused.
    ASSERT_EQ(mkdir((d / "folder").c_str(), 0755), 0);
    EXPECT_FALSE(sts::netcdf_files({d / "folder"}, s, &files, &notes, &error));
    EXPECT_NE(error.find("folder"), std::string::npos);
}

}  // namespace
