// The engine's one call, in-process, as a caller that is not a command line
// uses it: a plan in, a file (or blocks) out, progress, cancellation, and
// the refusals before any work.  The values themselves are checked by the
// run's and the writer's tests; here what the call promises.
#include <atomic>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <netcdf.h>

#include "grid/grid_engine.h"
#include "testkit/instrument_files.h"
#include "testkit/testkit.h"

using namespace sts;

namespace {

// A 6 x 5 grid of 9-point sweeps whose current is a line through every
// pixel, so that every pixel is processed.
std::string small_grid(const testkit::temp_dir& dir) {
    testkit::nanonis_grid_layout g = testkit::raster_grid(6, 5, 9);
    const std::string path = dir / "g.3ds";
    testkit::write_file(path, testkit::nanonis_grid(g, [](long p, int c, long k) {
        return c == 0 ? static_cast<float>((k - 4) * (p + 1)) * 1e-10f : 0.0f;
    }));
    return path;
}

grid_plan plan_for(const std::string& input, const std::string& output) {
    grid_plan p;
    p.inputs = {input};
    p.output = output;
    p.threads = 2;
    return p;
}

TEST(GridEngine, RunsAPlanIntoAFileWithProgressToTheEnd) {
    testkit::temp_dir dir;
    grid_plan p = plan_for(small_grid(dir), dir / "out.nc");
    p.mean_texts = true;
    std::vector<uint64_t> seen;
    run_callbacks cb;
    cb.progress = [&](uint64_t done, uint64_t total) {
        EXPECT_EQ(total, 30u);
        seen.push_back(done);
    };
    const run_outcome r = run_plan(p, cb);
    ASSERT_EQ(r.status, run_status::done) << r.error;
    EXPECT_EQ(r.output, dir / "out.nc");
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 30u);
    for (size_t k = 1; k < seen.size(); ++k) EXPECT_GT(seen[k], seen[k - 1]);
    EXPECT_EQ(r.collector->pixels_seen(), 30u);
    EXPECT_EQ(r.collector->statistics_count(), 30);
    EXPECT_EQ(r.description.nx, 6);
    EXPECT_EQ(r.description.ny, 5);
    int ncid = -1;
    ASSERT_EQ(nc_open((dir / "out.nc").c_str(), NC_NOWRITE, &ncid), NC_NOERR);
    nc_close(ncid);
    EXPECT_TRUE(testkit::file_exists(dir / "out_mean_didv.txt"));
}

TEST(GridEngine, WithoutAnOutputTheSinkSeesEveryBlockAndNoFileIsMade) {
    testkit::temp_dir dir;
    const grid_plan p = plan_for(small_grid(dir), "");
    std::atomic<uint64_t> pixels{0};
    uint64_t next = 0;
    run_callbacks cb;
    cb.sink = [&](const pixel_block& b, const input_block&, std::string*) {
        EXPECT_EQ(b.first, next);  // in pixel order
        next += static_cast<uint64_t>(b.count);
        pixels += static_cast<uint64_t>(b.count);
        return true;
    };
    const run_outcome r = run_plan(p, cb);
    ASSERT_EQ(r.status, run_status::done) << r.error;
    EXPECT_EQ(pixels.load(), 30u);
    EXPECT_TRUE(r.output.empty());
    EXPECT_EQ(testkit::list_dir(dir.path()), std::vector<std::string>{"g.3ds"});
}

TEST(GridEngine, ACancelledRunLeavesNothingBehind) {
    testkit::temp_dir dir;
    grid_plan p = plan_for(small_grid(dir), dir / "out.nc");
    run_callbacks cb;
    cb.cancelled = [] { return true; };
    const run_outcome r = run_plan(p, cb);
    EXPECT_EQ(r.status, run_status::cancelled);
    EXPECT_NE(r.error.find("cancelled"), std::string::npos);
    EXPECT_EQ(testkit::list_dir(dir.path()), std::vector<std::string>{"g.3ds"});
}

TEST(GridEngine, RefusalsComeBeforeAnyWorkAndSayWhy) {
    testkit::temp_dir dir;
    const std::string grid = small_grid(dir);
    grid_plan beyond = plan_for(grid, dir / "out.nc");
    beyond.line = {true, 0, 0, 6, 0};  // x 6 on a grid 6 wide
    run_outcome r = run_plan(beyond);
    EXPECT_EQ(r.status, run_status::refused);
    EXPECT_FALSE(r.error.empty());

    grid_plan gap = plan_for(grid, dir / "out.nc");
    gap.gap = {true, 0.5f, "norm_coff_lockin", 0};  // a lock-in twin without a channel
    r = run_plan(gap);
    EXPECT_EQ(r.status, run_status::refused);
    EXPECT_NE(r.error.find("norm_coff_lockin"), std::string::npos) << r.error;

    grid_plan replaces = plan_for(grid, grid);  // the output would replace the input
    r = run_plan(replaces);
    EXPECT_EQ(r.status, run_status::failed);
    EXPECT_NE(r.error.find("would replace the input"), std::string::npos) << r.error;

    grid_plan missing = plan_for(dir / "none.3ds", dir / "out.nc");
    r = run_plan(missing);
    EXPECT_EQ(r.status, run_status::failed);
    EXPECT_NE(r.error.find("none.3ds"), std::string::npos) << r.error;
    EXPECT_EQ(testkit::list_dir(dir.path()), std::vector<std::string>{"g.3ds"});
}

}  // namespace
