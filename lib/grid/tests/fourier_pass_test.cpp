// The Fourier pass's own parts, in-process: the gatherer's stack (slice k
// holds every pixel's k-th value, row-major) from blocks in any order, a
// hand-worked case; the checks of the plan and of the plan against the
// grid; and a run of the engine through its plan, whose outcome says what
// the pass did.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "failing_disk.h"
#include "grid/fourier_pass.h"
#include "grid/grid_engine.h"
#include "testkit/instrument_files.h"
#include "testkit/testkit.h"

using namespace sts;

namespace {

// 3 x 2 pixels of 4 points (3 midpoints), in nm, with a topography.
grid_description three_by_two() {
    grid_description d;
    d.nx = 3;
    d.ny = 2;
    d.points = 4;
    d.x = {0, 0.5, 1};
    d.y = {0, 0.5};
    d.xy_unit = "nm";
    d.has_topography = true;
    return d;
}

// Pixels first .. first + count - 1 with didv = 10 p + k and topography p.
pixel_block block(uint64_t first, int count) {
    pixel_block b;
    b.first = first;
    b.count = count;
    b.points = 4;
    for (int i = 0; i < count; ++i) {
        const float p = static_cast<float>(first) + static_cast<float>(i);
        for (int k = 0; k < 3; ++k) b.didv.push_back(10 * p + static_cast<float>(k));
        b.topography.push_back(p);
    }
    return b;
}

grid_plan fft_plan() {
    grid_plan p;
    p.inputs = {"g.3ds"};
    p.output = "g.nc";
    p.fft.given = true;
    return p;
}

}  // namespace

TEST(FourierPass, GathersSlicesFromBlocksInAnyOrder) {
    const grid_description d = three_by_two();
    fourier_gatherer g(d, *find_pixel_quantity("didv"), testing::TempDir());
    ASSERT_EQ(g.problem(), "");
    ASSERT_EQ(g.slices(), 3u);
    g.add(block(4, 2));
    g.add(block(0, 3));  // pixel 3 never comes: NaN
    for (size_t k = 0; k < 3; ++k) {
        std::vector<float> slice(6, -1.0f);
        std::string error;
        ASSERT_TRUE(g.read_slice(k, slice.data(), &error)) << error;
        for (size_t p = 0; p < 6; ++p) {
            const float v = slice[p];
            if (p == 3) EXPECT_TRUE(std::isnan(v));
            else EXPECT_EQ(v, static_cast<float>(10 * p + k)) << k << " " << p;
        }
    }
    EXPECT_EQ(g.topography()[5], 5.0f);
    EXPECT_TRUE(std::isnan(g.topography()[3]));
}

// 40 x 30 pixels of 9 slices from blocks of 7 in shuffled order, through
// a disk that interrupts every other call and writes at most 10 bytes a
// call: every slice read back against the values the blocks were made of.
TEST(FourierPass, GathersALargerStackThroughAShortWritingDisk) {
    grid_description d = three_by_two();
    d.nx = 40;
    d.ny = 30;
    d.points = 10;
    failing_disk disk;
    disk.interrupt_every_other = true;
    disk.piece = 10;
    fourier_gatherer g(d, *find_pixel_quantity("didv"), testing::TempDir(), &disk);
    ASSERT_EQ(g.problem(), "");
    std::vector<uint64_t> firsts;
    for (uint64_t p = 0; p < 1200; p += 7) firsts.push_back(p);
    for (size_t i = 0; i < firsts.size(); ++i) std::swap(firsts[i], firsts[(i * 37 + 11) % firsts.size()]);
    for (uint64_t first : firsts) {
        pixel_block b;
        b.first = first;
        b.count = static_cast<int>(std::min<uint64_t>(7, 1200 - first));
        b.points = 10;
        for (int i = 0; i < b.count; ++i)
            for (int k = 0; k < 9; ++k) b.didv.push_back(static_cast<float>((first + i) * 100 + k));
        g.add(b);
    }
    ASSERT_EQ(g.problem(), "");
    std::vector<float> slice(1200);
    std::string error;
    for (size_t k = 0; k < 9; ++k) {
        ASSERT_TRUE(g.read_slice(k, slice.data(), &error)) << error;
        for (size_t p = 0; p < 1200; ++p) ASSERT_EQ(slice[p], static_cast<float>(p * 100 + k)) << k;
    }
}

// A full disk is kept and reported where the slices are read; a read
// error says what could not be read.
TEST(FourierPass, TheScratchFileFailingIsReported) {
    const grid_description d = three_by_two();
    std::vector<float> slice(6);
    std::string error;
    failing_disk full;
    full.write_room = 20;
    fourier_gatherer g(d, *find_pixel_quantity("didv"), testing::TempDir(), &full);
    g.add(block(0, 6));
    EXPECT_NE(g.problem().find("cannot write the maps' scratch file"), std::string::npos) << g.problem();
    EXPECT_FALSE(g.read_slice(0, slice.data(), &error));
    EXPECT_EQ(error, g.problem());
    failing_disk unreadable;
    unreadable.read_error = EIO;
    fourier_gatherer h(d, *find_pixel_quantity("didv"), testing::TempDir(), &unreadable);
    h.add(block(0, 6));
    EXPECT_FALSE(h.read_slice(1, slice.data(), &error));
    EXPECT_NE(error.find("cannot read the maps' scratch file"), std::string::npos) << error;
    fourier_gatherer nowhere(d, *find_pixel_quantity("didv"), "/nonexistent/folder");
    EXPECT_NE(nowhere.problem().find("cannot make the maps' scratch file in /nonexistent/folder"),
              std::string::npos) << nowhere.problem();
}

TEST(FourierPass, ChecksThePlan) {
    grid_plan p = fft_plan();
    std::string error;
    EXPECT_TRUE(check_fourier_plan(p, &error)) << error;
    EXPECT_STREQ(fourier_quantity(p)->name, "didv");
    p.import.signal_channel = "LockinX (V)";
    EXPECT_STREQ(fourier_quantity(p)->name, "didv_lockin");
    p.fft.variable = "topography";
    EXPECT_FALSE(check_fourier_plan(p, &error));
    EXPECT_NE(error.find("not a map at every bias"), std::string::npos) << error;
    p = fft_plan();
    p.output.clear();
    EXPECT_FALSE(check_fourier_plan(p, &error));
    EXPECT_NE(error.find("give the run an output"), std::string::npos) << error;
    p = fft_plan();
    p.fft.group = "7";
    EXPECT_FALSE(check_fourier_plan(p, &error));
    EXPECT_EQ(fourier_file_name("out/g.nc"), "out/g_fft.nc");
    EXPECT_EQ(corrected_file_name("g"), "g_corrected.nc");
}

TEST(FourierPass, ChecksThePlanAgainstTheGrid) {
    grid_plan p = fft_plan();
    std::string error;
    grid_description d = three_by_two();
    EXPECT_TRUE(check_fourier_against_grid(p, d, &error)) << error;
    d.ny = 1;
    d.y = {0};
    EXPECT_FALSE(check_fourier_against_grid(p, d, &error));
    EXPECT_NE(error.find("this grid is 3 x 1"), std::string::npos) << error;
    d = three_by_two();
    d.xy_unit = "1";
    EXPECT_FALSE(check_fourier_against_grid(p, d, &error));
    d = three_by_two();
    d.has_topography = false;
    p.fft.group = "2mm";
    EXPECT_FALSE(check_fourier_against_grid(p, d, &error));
    EXPECT_NE(error.find("--bragg=Q1X,Q1Y:Q2X,Q2Y"), std::string::npos) << error;
    p.fft.bragg_given = true;
    p.fft.q1x = p.fft.q2y = 1;
    EXPECT_TRUE(check_fourier_against_grid(p, d, &error)) << error;
}

// The engine's road, as stsview and the Python module would take it.
TEST(FourierPass, TheEngineRunsThePassThroughItsPlan) {
    testkit::temp_dir dir;
    testkit::write_file(dir / "g.3ds",
                        testkit::nanonis_grid(testkit::raster_grid(6, 4, 5), [](long p, int, long k) {
                            return 1e-9f * static_cast<float>(k * (1 + p % 3));
                        }));
    grid_plan p;
    p.inputs = {dir / "g.3ds"};
    p.output = dir / "g.nc";
    p.fft.given = true;
    p.fft.variable = "current";
    p.maps = {0.0};
    const run_outcome r = run_plan(p);
    ASSERT_EQ(r.status, run_status::done) << r.error;
    ASSERT_TRUE(r.fourier);
    EXPECT_EQ(r.fourier->file, dir / "g_fft.nc");
    EXPECT_EQ(r.fourier->slices, 5u);  // current: one map a point
    EXPECT_EQ(r.fourier->qx.size(), 6u);
    EXPECT_FALSE(r.fourier->lattice);
    ASSERT_EQ(r.fourier->pictures.size(), 1u);
    EXPECT_EQ(r.fourier->pictures[0].at, 0.0f);  // the point at 0 V
    EXPECT_EQ(r.fourier->pictures[0].values.size(), 24u);
    EXPECT_TRUE(testkit::file_exists(dir / "g_fft.nc"));
    p.fft = {};
    EXPECT_FALSE(run_plan(p).fourier);
}
