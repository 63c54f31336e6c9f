// Reading stsgrid's file: what grid_file, the bias-major copy and the
// region statistics give against the file read whole through the netCDF
// API, and against stsgrid --region's own statistics.  (The line cut's
// pixels are tested with it in lib/grid.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "stsview/grid_file.h"
#include "stsview/grid_store.h"
#include "stsview/region_statistics.h"
#include "grid_fixture.h"

namespace {

using stsview_test::grid_fixture;

// The same bits (NaN equal to NaN of the same bits).
bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(GridFile, OpensStsgridsFile) {
    auto& g = grid_fixture::get();
    ASSERT_TRUE(g.ok);
    sts::grid_file f;
    std::string error;
    ASSERT_TRUE(f.open(g.nc, &error)) << error;
    EXPECT_EQ(f.nx(), 7u);
    EXPECT_EQ(f.ny(), 5u);
    EXPECT_EQ(f.bias().size(), 40u);
    EXPECT_EQ(f.vmid().size(), 39u);
    for (const char* name : {"current", "iv", "didv", "norm_raw", "norm_exp", "norm_coff"})
        EXPECT_NE(f.variable(name), nullptr) << name;
    EXPECT_EQ(f.variable("status"), nullptr);
    EXPECT_EQ(f.variable("pixel_bias"), nullptr);
    EXPECT_TRUE(f.variable("didv")->midpoints);
    EXPECT_FALSE(f.variable("current")->midpoints);
    EXPECT_TRUE(f.variable("didv")->statistics);
    EXPECT_FALSE(f.variable("iv")->statistics);
    // The last three pixels were never measured: stsgrid marks them missing.
    EXPECT_EQ(f.status()[34], 6);
    EXPECT_EQ(f.status_word(6), "missing");
    EXPECT_EQ(f.status()[0], 0);
    EXPECT_EQ(f.status_word(0), "processed");
    EXPECT_EQ(f.status_word(42), "code 42");
}

TEST(GridFile, RefusesOtherFiles) {
    testkit::temp_dir d;
    testkit::write_file(d / "x.nc", "not netCDF at all");
    sts::grid_file f;
    std::string error;
    EXPECT_FALSE(f.open(d / "x.nc", &error));
    EXPECT_NE(error.find("x.nc"), std::string::npos);
    EXPECT_FALSE(f.open(d / "absent.nc", &error));
}

TEST(GridFile, RowsAndMapsEqualTheWholeVariable) {
    auto& g = grid_fixture::get();
    ASSERT_TRUE(g.ok);
    sts::grid_store store;
    std::string error;
    ASSERT_TRUE(store.open({g.nc}, &error)) << error;
    EXPECT_EQ(store.cached_bytes(), 0u);
    store.warm(0, "nope");
    store.warm(3, "didv");
    EXPECT_EQ(store.cached_bytes(), 0u);
    store.warm(0, "didv");
    EXPECT_EQ(store.cached_bytes(), 35u * 39 * sizeof(float));
    for (const char* name : {"didv", "current"}) {
        const std::vector<float> whole = stsview_test::read_whole(g.nc, name);
        const sts::grid_variable* v = store.file(0).variable(name);
        const size_t n = v->midpoints ? 39 : 40, pixels = 35;
        ASSERT_EQ(whole.size(), pixels * n);
        for (size_t p : {size_t{0}, size_t{8}, size_t{31}, size_t{34}}) {
            sts::pixel_curve c;
            ASSERT_TRUE(store.curve(0, *v, p % 7, p / 7, &c, &error)) << error;
            ASSERT_EQ(c.values.size(), n);
            for (size_t k = 0; k < n; ++k) EXPECT_TRUE(same_bits(c.values[k], whole[p * n + k])) << name << p << " " << k;
        }
        std::vector<float> map;
        for (size_t k : {size_t{0}, size_t{17}, n - 1}) {
            ASSERT_TRUE(store.map(0, *v, k, &map, &error)) << error;
            ASSERT_EQ(map.size(), pixels);
            for (size_t p = 0; p < pixels; ++p) EXPECT_TRUE(same_bits(map[p], whole[p * n + k])) << name << p;
        }
        // Only one variable is held at a time.
        EXPECT_EQ(store.cached_bytes(), pixels * n * sizeof(float));
    }
    std::vector<float> row(39);
    sts::grid_file direct;
    ASSERT_TRUE(direct.open(g.nc, &error)) << error;
    EXPECT_FALSE(direct.read_row(*direct.variable("didv"), 7, 0, 1, row.data(), &error));
}

TEST(RegionStatistics, EqualStsgridRegionBitForBit) {
    auto& g = grid_fixture::get();
    ASSERT_TRUE(g.ok);
    sts::grid_file f;
    std::string error;
    ASSERT_TRUE(f.open(g.nc, &error)) << error;
    const sts::pixel_rectangle r{grid_fixture::x0, grid_fixture::x1, grid_fixture::y0, grid_fixture::y1};
    for (const char* name : {"current", "didv", "norm_raw", "norm_exp", "norm_coff"}) {
        sts::region_result result;
        ASSERT_TRUE(sts::region_statistics(f, *f.variable(name), r, &result, &error)) << error;
        // 4 x 3 pixels, the last 3 of the grid (x 4..6 of row 4) missing: 11.
        EXPECT_EQ(result.pixels, 11) << name;
        const auto mean = stsview_test::read_whole(g.region_nc, std::string("mean_") + name);
        const auto se = stsview_test::read_whole(g.region_nc, std::string("se_") + name);
        ASSERT_EQ(mean.size(), result.mean.size());
        for (size_t i = 0; i < mean.size(); ++i) {
            EXPECT_TRUE(same_bits(result.mean[i], mean[i])) << name << " " << i;
            EXPECT_TRUE(same_bits(result.se[i], se[i])) << name << " " << i;
        }
    }
}

TEST(RegionStatistics, FewerThanTwoPixelsGiveNaN) {
    auto& g = grid_fixture::get();
    ASSERT_TRUE(g.ok);
    sts::grid_file f;
    std::string error;
    ASSERT_TRUE(f.open(g.nc, &error));
    sts::region_result one, none;
    ASSERT_TRUE(sts::region_statistics(f, *f.variable("didv"), {2, 2, 1, 1}, &one, &error));
    EXPECT_EQ(one.pixels, 1);
    EXPECT_TRUE(std::isnan(one.mean[0]));
    ASSERT_TRUE(sts::region_statistics(f, *f.variable("didv"), {5, 6, 4, 4}, &none, &error));
    EXPECT_EQ(none.pixels, 0);
    EXPECT_FALSE(sts::region_statistics(f, *f.variable("didv"), {5, 7, 4, 4}, &none, &error));
    EXPECT_FALSE(sts::region_statistics(f, *f.variable("didv"), {3, 2, 0, 0}, &none, &error));
}

}  // namespace
