// The run over a grid, in-process with a source in memory: blocks in pixel
// order whatever the threads, each pixel's results at its place with NaN
// beyond its points, the codes of pixels that cannot be computed, and a sink
// that stops the run.  The spectra are straight lines I = 2^p (2 V + 1/2)
// at V = 1/8 ... 11/8, whose every result is exact in binary: current 2^p 2V,
// I/V and dI/dV 2^(p+1), normalised curves 1 (see normspec's StraightLine).
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "stsgrid/block_queue.h"
#include "stsgrid/grid_run.h"

using namespace sts;

namespace {

const float nan = std::numeric_limits<float>::quiet_NaN();

class memory_source final : public grid_source {
public:
    memory_source(long nx, long ny, int points) : nx_(nx), ny_(ny), points_(points) {}
    std::vector<pixel_input> pixels;
    long nx() const override { return nx_; }
    long ny() const override { return ny_; }
    int points() const override { return points_; }
    void describe(grid_description* d) const override {
        d->nx = nx_;
        d->ny = ny_;
        d->points = points_;
    }
    void read(uint64_t index, pixel_input* out) const override {
        const pixel_input& p = pixels[static_cast<size_t>(index)];
        out->code = p.code;
        out->bias = p.bias;
        out->current = p.current;
        out->x_nm = p.x_nm;
        out->y_nm = p.y_nm;
    }
    bool same_bias_everywhere() const override { return true; }

private:
    long nx_, ny_;
    int points_;
};

// The line of pixel p over its first `points` biases.
pixel_input line(long p, int points = 11) {
    pixel_input in;
    for (int k = 1; k <= points; ++k) {
        const float v = 0.125f * static_cast<float>(k);
        in.bias.push_back(v);
        in.current.push_back(std::ldexp(2 * v + 0.5f, static_cast<int>(p)));
    }
    in.x_nm = static_cast<float>(p);
    in.y_nm = -static_cast<float>(p);
    return in;
}

grid_description describe(const grid_source& s) {
    grid_description d;
    s.describe(&d);
    return d;
}

// Every block the run hands on, copied.
struct collected {
    std::vector<pixel_block> blocks;
    std::vector<input_block> inputs;
};

collected run(const grid_source& s, run_settings settings, grid_description d = {}) {
    if (d.nx == 0) d = describe(s);
    collected c;
    std::string error;
    const bool ok = run_grid(s, d, settings,
                             [&](const pixel_block& b, const input_block& in, std::string*) {
                                 c.blocks.push_back(b);
                                 c.inputs.push_back(in);
                                 return true;
                             },
                             &error);
    EXPECT_TRUE(ok) << error;
    return c;
}

TEST(GridRun, BlocksInPixelOrderWithExactResults) {
    memory_source s(5, 1, 11);
    for (long p = 0; p < 5; ++p) s.pixels.push_back(line(p));
    run_settings settings;
    settings.block_pixels = 2;
    const collected c = run(s, settings);
    ASSERT_EQ(c.blocks.size(), 3u);
    EXPECT_EQ(c.blocks[0].first, 0u);
    EXPECT_EQ(c.blocks[1].first, 2u);
    EXPECT_EQ(c.blocks[2].first, 4u);
    EXPECT_EQ(c.blocks[2].count, 1);
    const pixel_block& b = c.blocks[1];  // pixels 2 and 3
    for (int k = 0; k < 2; ++k) {
        const int p = 2 + k;
        EXPECT_EQ(b.status[static_cast<size_t>(k)], PIXEL_PROCESSED);
        EXPECT_EQ(b.position_x[static_cast<size_t>(k)], static_cast<float>(p));
        EXPECT_EQ(b.position_y[static_cast<size_t>(k)], -static_cast<float>(p));
        for (int i = 0; i < 11; ++i) {
            const size_t at = static_cast<size_t>(k * 11 + i);
            EXPECT_EQ(b.current[at], std::ldexp(0.25f * static_cast<float>(i + 1), p)) << p << i;
            EXPECT_EQ(b.iv[at], std::ldexp(2.0f, p)) << p << i;
        }
        for (int j = 0; j < 10; ++j) {
            const size_t at = static_cast<size_t>(k * 10 + j);
            EXPECT_EQ(b.didv[at], std::ldexp(2.0f, p)) << p << j;
            EXPECT_EQ(b.norm_raw[at], 1.0f) << p << j;
        }
    }
    EXPECT_TRUE(b.bias.empty());  // one axis for the whole grid
}

TEST(GridRun, ShortPixelsArePaddedWithNaN) {
    memory_source s(2, 1, 11);
    s.pixels = {line(0, 6), line(1)};
    run_settings settings;
    settings.keep_input = true;
    grid_description d = describe(s);
    d.per_pixel_axis = true;
    const collected c = run(s, settings, d);
    const pixel_block& b = c.blocks.at(0);
    EXPECT_EQ(b.current[5], 1.5f);
    EXPECT_TRUE(std::isnan(b.current[6]));
    EXPECT_TRUE(std::isnan(b.current[10]));
    EXPECT_EQ(b.didv[4], 2.0f);
    EXPECT_TRUE(std::isnan(b.didv[5]));
    EXPECT_EQ(b.current[11], 0.5f);  // pixel 1 starts at its own record
    // Each pixel's own axis, and its points as imported.
    EXPECT_EQ(b.bias[5], 0.75f);
    EXPECT_TRUE(std::isnan(b.bias[6]));
    EXPECT_EQ(b.vmid[0], 0.1875f);
    const input_block& in = c.inputs.at(0);
    EXPECT_EQ(in.n, (std::vector<int>{6, 11}));
    EXPECT_EQ(in.current[5], 2 * 0.75f + 0.5f);
    EXPECT_TRUE(std::isnan(in.current[6]));
}

TEST(GridRun, PixelsThatCannotBeComputed) {
    memory_source s(6, 1, 11);
    s.pixels = {line(0), line(1), line(2), line(3, 2), line(4, 1), line(5)};
    s.pixels[1].code = PIXEL_MISSING;
    s.pixels[1].bias.clear();
    s.pixels[1].current.clear();
    s.pixels[2].current[7] = nan;  // a sweep cut short
    for (float& v : s.pixels[5].bias) v = 0.5f;  // one distinct bias
    const collected c = run(s, run_settings{});
    const pixel_block& b = c.blocks.at(0);
    EXPECT_EQ(b.status, (std::vector<signed char>{PIXEL_PROCESSED, PIXEL_MISSING,
                                                  PIXEL_PARTLY_MEASURED, PIXEL_TWO_POINTS,
                                                  PIXEL_TOO_FEW_POINTS, PIXEL_TOO_FEW_POINTS}));
    for (size_t at = 11; at < 66; ++at) EXPECT_TRUE(std::isnan(b.current[at])) << at;
    for (size_t at = 10; at < 60; ++at) EXPECT_TRUE(std::isnan(b.norm_coff[at])) << at;
    EXPECT_EQ(b.position_x[1], 1.0f);  // known even where nothing was computed
}

bool same_floats(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST(GridRun, ThreadsChangeNothing) {
    memory_source s(7, 3, 11);
    for (long p = 0; p < 21; ++p) {
        s.pixels.push_back(line(p % 5, 3 + static_cast<int>(p % 9)));
        if (p % 4 == 3) s.pixels.back().current[1] = nan;
    }
    run_settings one;
    one.block_pixels = 4;
    run_settings three = one;
    three.threads = 3;
    const collected a = run(s, one), b = run(s, three);
    ASSERT_EQ(a.blocks.size(), 6u);
    ASSERT_EQ(b.blocks.size(), a.blocks.size());
    for (size_t k = 0; k < a.blocks.size(); ++k) {
        EXPECT_EQ(a.blocks[k].first, b.blocks[k].first);
        EXPECT_EQ(a.blocks[k].status, b.blocks[k].status);
        EXPECT_TRUE(same_floats(a.blocks[k].current, b.blocks[k].current)) << k;
        EXPECT_TRUE(same_floats(a.blocks[k].norm_exp, b.blocks[k].norm_exp)) << k;
    }
}

TEST(GridRun, TheSinkStopsTheRun) {
    memory_source s(40, 1, 11);
    for (long p = 0; p < 40; ++p) s.pixels.push_back(line(p % 3));
    run_settings settings;
    settings.block_pixels = 2;
    settings.threads = 2;
    std::vector<uint64_t> firsts;
    std::string error;
    const bool ok = run_grid(s, describe(s), settings,
                             [&](const pixel_block& b, const input_block&, std::string* e) {
                                 firsts.push_back(b.first);
                                 if (b.first < 4) return true;
                                 *e = "the disk is full";
                                 return false;
                             },
                             &error);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "the disk is full");
    EXPECT_EQ(firsts, (std::vector<uint64_t>{0, 2, 4}));
}

// Stages, each on its own thread: every one sees every block once, in
// order, with the same contents, however the threads and stages run.
TEST(GridRunStages, EveryStageSeesEveryBlockInOrder) {
    memory_source s(23, 3, 11);
    for (long p = 0; p < 69; ++p) s.pixels.push_back(line(p % 7, 3 + static_cast<int>(p % 9)));
    run_settings settings;
    settings.block_pixels = 4;
    const collected one = run(s, settings);
    for (const int threads : {1, 2, 3})
        for (const size_t count : {size_t{2}, size_t{3}}) {
            settings.threads = threads;
            std::vector<std::vector<uint64_t>> firsts(count);
            std::vector<std::vector<std::vector<float>>> norms(count);
            std::vector<block_sink> stages;
            for (size_t k = 0; k < count; ++k)
                stages.push_back([&, k](const pixel_block& b, const input_block&, std::string*) {
                    firsts[k].push_back(b.first);
                    norms[k].push_back(b.norm_exp);
                    if (k == 1) std::this_thread::yield();  // one stage lags
                    return true;
                });
            std::string error;
            ASSERT_TRUE(run_grid(s, describe(s), settings, stages, &error)) << error;
            for (size_t k = 0; k < count; ++k) {
                ASSERT_EQ(firsts[k].size(), one.blocks.size()) << threads << " " << k;
                for (size_t i = 0; i < firsts[k].size(); ++i) {
                    EXPECT_EQ(firsts[k][i], 4 * i);
                    EXPECT_TRUE(same_floats(norms[k][i], one.blocks[i].norm_exp)) << i;
                }
            }
        }
}

// A stage that fails stops the run: the workers and the other stages end,
// nothing hangs, and its message is the run's.
TEST(GridRunStages, AFailingStageStopsTheOthers) {
    memory_source s(200, 1, 11);
    for (long p = 0; p < 200; ++p) s.pixels.push_back(line(p % 3));
    run_settings settings;
    settings.block_pixels = 2;
    for (const int threads : {1, 2}) {
        for (const size_t failing : {size_t{0}, size_t{1}}) {
            settings.threads = threads;
            std::vector<std::vector<uint64_t>> firsts(2);
            std::vector<block_sink> stages;
            for (size_t k = 0; k < 2; ++k)
                stages.push_back([&, k](const pixel_block& b, const input_block&, std::string* e) {
                    firsts[k].push_back(b.first);
                    if (k != failing || b.first < 10) return true;
                    *e = "stage " + std::to_string(k) + ": the disk is full";
                    return false;
                });
            std::string error;
            EXPECT_FALSE(run_grid(s, describe(s), settings, stages, &error));
            EXPECT_EQ(error, "stage " + std::to_string(failing) + ": the disk is full");
            // The failing stage saw blocks up to its failure; the other one
            // stopped within the window of blocks in flight.
            EXPECT_EQ(firsts[failing].back(), 10u);
            const auto& other = firsts[1 - failing];
            EXPECT_LT(other.size(), 100u);
            for (size_t i = 0; i < other.size(); ++i) EXPECT_EQ(other[i], 2 * i);
        }
    }
}

// The window: no block is computed further ahead of the slowest stage than
// the window allows, so the blocks in flight stay few.
TEST(GridRunStages, TheWindowHoldsBackTheWorkers) {
    block_queue queue(100, 3, 2);
    uint64_t index = 0;
    std::unique_ptr<block_slot> slot;
    for (uint64_t k = 0; k < 3; ++k) {
        ASSERT_TRUE(queue.take(&index, &slot));
        EXPECT_EQ(index, k);
        queue.finish(index, std::move(slot));
    }
    std::atomic<bool> taken{false};
    std::thread worker([&] {
        std::unique_ptr<block_slot> s;
        uint64_t i = 0;
        taken = queue.take(&i, &s);
    });
    // One stage passing block 0 is not enough: the other still reads it.
    ASSERT_NE(queue.wait_for(0), nullptr);
    queue.pass(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(taken);
    queue.pass(0);
    worker.join();
    EXPECT_TRUE(taken);
    // A stop wakes a stage waiting for a block never computed.
    std::thread stage([&] { EXPECT_EQ(queue.wait_for(50), nullptr); });
    queue.stop();
    stage.join();
    EXPECT_FALSE(queue.take(&index, &slot));
}

}  // namespace
