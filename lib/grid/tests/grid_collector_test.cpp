// What the run gathers from the blocks, in-process: counts by pixel code,
// the statistics over the pixels in the region (both passes, through the
// scratch files), the map values at the midpoint nearest each bias, and the
// measured currents in pointmean's layout.  The blocks hold small integers,
// so every mean is known exactly.
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grid/grid_collector.h"
#include "grid/scan_on_grid.h"
#include "grid/tests/failing_disk.h"
#include "testkit/testkit.h"

using namespace sts;

namespace {

const float nan = std::numeric_limits<float>::quiet_NaN();

// 2 x 2 pixels of 3 points: bias -1, 0, 1; midpoints -0.5, 0.5.
grid_description two_by_two() {
    grid_description d;
    d.nx = 2;
    d.ny = 2;
    d.points = 3;
    d.bias = {-1, 0, 1};
    d.vmid = {-0.5f, 0.5f};
    return d;
}

// Pixels first .. first + codes.size() - 1.  A processed pixel p holds
// current 10p + i, didv 100p + j, norm_raw 1000p + j, norm_exp -p - j,
// norm_coff p / 2 + j; any other holds NaN, as the run leaves it.
pixel_block block(uint64_t first, const std::vector<pixel_code>& codes) {
    pixel_block b;
    b.first = first;
    b.count = static_cast<int>(codes.size());
    b.points = 3;
    for (size_t k = 0; k < codes.size(); ++k) {
        const float p = static_cast<float>(first + k);
        const bool done = codes[k] == PIXEL_PROCESSED;
        b.status.push_back(codes[k]);
        for (int i = 0; i < 3; ++i) {
            b.current.push_back(done ? 10 * p + static_cast<float>(i) : nan);
            b.iv.push_back(done ? 1 : nan);
        }
        for (int j = 0; j < 2; ++j) {
            const float fj = static_cast<float>(j);
            b.didv.push_back(done ? 100 * p + fj : nan);
            b.norm_raw.push_back(done ? 1000 * p + fj : nan);
            b.norm_exp.push_back(done ? -p - fj : nan);
            b.norm_coff.push_back(done ? p / 2 + fj : nan);
        }
    }
    return b;
}

// The imported points of the same pixels: measured current 20p + i over
// n[k] points of bias -1, 0, 1.
input_block inputs(uint64_t first, const std::vector<int>& n) {
    input_block in;
    in.n = n;
    for (size_t k = 0; k < n.size(); ++k)
        for (int i = 0; i < 3; ++i) {
            const bool there = i < n[k];
            in.bias.push_back(there ? static_cast<float>(i - 1) : nan);
            in.current.push_back(there ? 20 * static_cast<float>(first + k) + static_cast<float>(i)
                                       : nan);
        }
    return in;
}

// The region is the first row; maps at 0.4 V and far below the sweep.
grid_plan first_row_options() {
    grid_plan o;
    o.region = {true, 0, 1, 0, 0};
    o.maps = {0.4, -10};
    o.pointmean = "pm.txt";
    return o;
}

// Pixels 0, 1 (in the region) and 2 processed; pixel 3 missing from the file.
void add_grid(grid_collector* c) {
    c->add(block(0, {PIXEL_PROCESSED, PIXEL_PROCESSED}), inputs(0, {3, 2}));
    c->add(block(2, {PIXEL_PROCESSED, PIXEL_MISSING}), inputs(2, {3, 0}));
}

TEST(GridCollector, CountsAndTheRegion) {
    testkit::temp_dir dir;
    const grid_description d = two_by_two();
    grid_collector c(d, first_row_options());
    std::string error;
    ASSERT_TRUE(c.open_spills(dir.path(), &error)) << error;
    add_grid(&c);
    EXPECT_EQ(c.pixels_seen(), 4u);
    EXPECT_EQ(c.by_code()[PIXEL_PROCESSED], 3u);
    EXPECT_EQ(c.by_code()[PIXEL_MISSING], 1u);
    EXPECT_EQ(c.statistics_count(), 2);  // pixel 2 is outside the region
    EXPECT_TRUE(c.in_region(1));
    EXPECT_FALSE(c.in_region(2));
}

TEST(GridCollector, BothPassesOverTheRegion) {
    testkit::temp_dir dir;
    const grid_description d = two_by_two();
    grid_collector c(d, first_row_options());
    std::string error;
    ASSERT_TRUE(c.open_spills(dir.path(), &error)) << error;
    add_grid(&c);
    ASSERT_TRUE(c.add_squares(3, &error)) << error;
    // current over pixels 0 and 1: i and 10 + i; sd sqrt(50), se 5.
    for (size_t i = 0; i < 3; ++i) {
        const point_stats s = c.statistics(0).at(i);
        EXPECT_EQ(s.mean, 5.0f + static_cast<float>(i));
        EXPECT_FLOAT_EQ(s.deviation, std::sqrt(50.0f));
        EXPECT_FLOAT_EQ(s.error, 5.0f);
    }
    // The quantities in their order: didv, norm_raw, norm_exp, norm_coff.
    EXPECT_EQ(c.statistics(1).length(), 2u);
    EXPECT_EQ(c.statistics(1).at(1).mean, 51.0f);
    EXPECT_EQ(c.statistics(2).at(0).mean, 500.0f);
    EXPECT_EQ(c.statistics(3).at(1).mean, -1.5f);
    EXPECT_EQ(c.statistics(4).at(0).mean, 0.25f);
    // The measured current, pixel 1's last point standing in beyond its end:
    // point 2 over 2 and 21.
    EXPECT_EQ(c.measured().count(), 2);
    EXPECT_EQ(c.measured().at(2).mean, 11.5f);
    EXPECT_EQ(c.measured_bias(), (std::vector<float>{-1, 0, 0}));
}

TEST(GridCollector, MapsAtTheNearestMidpoint) {
    testkit::temp_dir dir;
    const grid_description d = two_by_two();
    grid_collector c(d, first_row_options());
    std::string error;
    ASSERT_TRUE(c.open_spills(dir.path(), &error)) << error;
    add_grid(&c);
    ASSERT_EQ(c.maps().size(), 2u);
    const bias_map& m = c.maps()[0];
    EXPECT_EQ(m.bias, 0.4);
    EXPECT_EQ(m.vmid, 0.5f);
    // Every processed pixel, in the region or not; NaN where none.
    EXPECT_EQ(m.values("didv")[0], 1.0f);
    EXPECT_EQ(m.values("didv")[1], 101.0f);
    EXPECT_EQ(m.values("didv")[2], 201.0f);
    EXPECT_TRUE(std::isnan(m.values("didv")[3]));
    EXPECT_EQ(m.values("norm_raw")[1], 1001.0f);
    EXPECT_EQ(m.values("norm_exp")[2], -3.0f);
    EXPECT_EQ(m.values("norm_coff")[1], 1.5f);
    // Below the sweep: the first midpoint.
    EXPECT_EQ(c.maps()[1].vmid, -0.5f);
    EXPECT_EQ(c.maps()[1].values("didv")[2], 200.0f);
}

TEST(GridCollector, PixelsWithAxesOfTheirOwnMapOnTheirOwn) {
    grid_description d = two_by_two();
    d.per_pixel_axis = true;
    grid_plan o;
    o.maps = {0.4};
    grid_collector c(d, o);
    testkit::temp_dir dir;
    std::string error;
    ASSERT_TRUE(c.open_spills(dir.path(), &error)) << error;
    pixel_block b = block(0, {PIXEL_PROCESSED, PIXEL_PROCESSED});
    b.vmid = {-0.5f, 0.5f, 0.38f, 2.0f};  // pixel 1's nearest is its first midpoint
    c.add(b, input_block{});
    EXPECT_EQ(c.maps()[0].values("didv")[0], 1.0f);
    EXPECT_EQ(c.maps()[0].values("didv")[1], 100.0f);
}

// The topography panel after the spectral ones: the grid's recorded
// height of every pixel that records one, processed or not; with a scan
// (--topography) the scan's values at the pixels, whatever the blocks say.
TEST(GridCollector, MapsCarryTheTopography) {
    testkit::temp_dir dir;
    std::string error;
    grid_description d = two_by_two();
    d.groups = {quantity_group::topography};
    grid_plan o;
    o.maps = {0.4};
    grid_collector c(d, o);
    ASSERT_TRUE(c.open_spills(dir.path(), &error)) << error;
    pixel_block b = block(0, {PIXEL_PROCESSED, PIXEL_NOT_MEASURED, PIXEL_PROCESSED});
    b.topography = {-163.5f, -163.25f, nan};
    c.add(b, input_block{});
    const bias_map& m = c.maps()[0];
    ASSERT_EQ(m.panels.size(), 5u);
    EXPECT_EQ(m.panels.back().name, "topography");
    EXPECT_EQ(m.values("topography")[0], -163.5f);
    EXPECT_EQ(m.values("topography")[1], -163.25f);
    EXPECT_TRUE(std::isnan(m.values("topography")[2]));
    EXPECT_TRUE(std::isnan(m.values("topography")[3]));  // never seen

    auto scan = std::make_shared<scan_on_grid>();
    scan->on_grid = {1, 2, 3, nan};
    d.scan = scan;
    grid_collector with_scan(d, o);
    ASSERT_TRUE(with_scan.open_spills(dir.path(), &error)) << error;
    with_scan.add(b, input_block{});
    EXPECT_EQ(with_scan.maps()[0].panels.back().name, "scan_topography");
    EXPECT_EQ(with_scan.maps()[0].values("scan_topography")[2], 3.0f);
    EXPECT_TRUE(with_scan.maps()[0].values("topography").empty());
}

TEST(GridCollector, OnePixelLeavesTheSecondPassOut) {
    testkit::temp_dir dir;
    grid_plan o;
    o.region = {true, 0, 0, 0, 0};
    const grid_description d = two_by_two();
    grid_collector c(d, o);
    std::string error;
    ASSERT_TRUE(c.open_spills(dir.path(), &error)) << error;
    add_grid(&c);
    EXPECT_EQ(c.statistics_count(), 1);
    EXPECT_TRUE(c.add_squares(1, &error)) << error;
}

TEST(GridCollector, ScratchFileFailuresStopTheSecondPass) {
    testkit::temp_dir dir;
    const grid_description d = two_by_two();  // the collector keeps a reference
    std::string error;
    {
        grid_collector c(d, first_row_options());
        EXPECT_FALSE(c.open_spills(dir / "none", &error));
        EXPECT_EQ(error, "cannot make a scratch file in " + dir / "none" +
                             ": No such file or directory");
    }
    failing_disk full;
    full.write_room = 0;
    grid_collector c(d, first_row_options());
    ASSERT_TRUE(c.open_spills(dir.path(), &error, &full)) << error;
    add_grid(&c);
    EXPECT_FALSE(c.add_squares(2, &error));
    EXPECT_EQ(error, "cannot write a scratch file: No space left on device");

    failing_disk unreadable;
    unreadable.read_error = EIO;
    grid_collector r(d, first_row_options());
    ASSERT_TRUE(r.open_spills(dir.path(), &error, &unreadable)) << error;
    add_grid(&r);
    EXPECT_FALSE(r.add_squares(2, &error));
    EXPECT_EQ(error, "cannot read a scratch file: Input/output error");
}

}  // namespace
