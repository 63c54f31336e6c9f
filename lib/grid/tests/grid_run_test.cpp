// The run over a grid, in-process with a source in memory: blocks in pixel
// order whatever the threads, each pixel's results at its place with NaN
// beyond its points, the codes of pixels that cannot be computed, and a sink
// that stops the run.  The spectra are straight lines I = 2^p (2 V + 1/2)
// at V = 1/8 ... 11/8, whose every result is exact in binary: current 2^p 2V,
// I/V and dI/dV 2^(p+1), normalised curves 1 (see normspec's StraightLine).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "grid/block_queue.h"
#include "grid/grid_run.h"
#include "grid/lockin_pass.h"

using namespace sts;

namespace {

const float nan = std::numeric_limits<float>::quiet_NaN();

class grid_in_memory final : public grid_source {
public:
    grid_in_memory(long nx, long ny, int points) : nx_(nx), ny_(ny), points_(points) {}
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
        out->signal = p.signal;
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
    grid_in_memory s(5, 1, 11);
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
    grid_in_memory s(2, 1, 11);
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
    grid_in_memory s(6, 1, 11);
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
    grid_in_memory s(7, 3, 11);
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

// Pixels go through the computation two at a time; a pair on one axis has
// its splines in step.  Each pixel's results are what it gets alone, next
// to a pixel on its own axis, on another, or one that is not computed, and
// across the blocks' edges.
TEST(GridRun, PairsGiveWhatEachPixelGetsAlone) {
    grid_in_memory s(9, 1, 11);
    for (long p = 0; p < 9; ++p) s.pixels.push_back(line(p % 4, 11));
    for (float& v : s.pixels[1].bias) v = 1.5f * v - 1.0f;  // another axis, through 0 V
    std::reverse(s.pixels[3].bias.begin(), s.pixels[3].bias.end());  // sorted: the first axis
    s.pixels[4].code = PIXEL_NOT_MEASURED;
    s.pixels[6] = line(2, 7);
    s.pixels[7].current[3] = nan;
    for (long p : {0L, 2L, 5L}) s.pixels[static_cast<size_t>(p)].current[4] *= 1.25f;
    grid_description d = describe(s);
    d.per_pixel_axis = true;
    run_settings settings;
    settings.block_pixels = 3;
    const collected c = run(s, settings, d);
    ASSERT_EQ(c.blocks.size(), 3u);
    spectrum_workspace w;
    spectrum_arrays a;
    ASSERT_TRUE(reserve_workspace(&w, 11) && reserve_arrays(&a, 11));
    for (const pixel_block& got : c.blocks)
        for (int k = 0; k < got.count; ++k) {
            // The block as the run gave it, but for pixel k's records.
            pixel_block alone = got;
            for (std::vector<float>* v : {&alone.current, &alone.iv, &alone.bias})
                std::fill_n(v->begin() + 11 * k, 11, nan);
            for (std::vector<float>* v : {&alone.didv, &alone.norm_raw, &alone.norm_exp,
                                          &alone.norm_coff, &alone.vmid})
                std::fill_n(v->begin() + 10 * k, 10, nan);
            const uint64_t p = got.first + static_cast<uint64_t>(k);
            pixel_input in;
            s.read(p, &in);
            compute_pixel(in, norm_options{}, &w, &a, d, k, &alone);
            const auto sk = static_cast<size_t>(k);
            EXPECT_EQ(alone.status[sk], got.status[sk]) << p;
            for (auto v : {&pixel_block::current, &pixel_block::iv, &pixel_block::didv,
                           &pixel_block::norm_raw, &pixel_block::norm_exp,
                           &pixel_block::norm_coff, &pixel_block::bias, &pixel_block::vmid})
                EXPECT_TRUE(same_floats(alone.*v, got.*v)) << "pixel " << p;
        }
    EXPECT_EQ(c.blocks[1].status[1], PIXEL_NOT_MEASURED);
    EXPECT_EQ(c.blocks[2].status[1], PIXEL_PARTLY_MEASURED);
}

TEST(GridRun, TheSinkStopsTheRun) {
    grid_in_memory s(40, 1, 11);
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
    grid_in_memory s(23, 3, 11);
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
    grid_in_memory s(200, 1, 11);
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

namespace {

// I = V^2 + V at V = 1/8 ... 11/8: dI/dV at each midpoint is 2 vmid + 1,
// exactly.  The lock-in at the points is 3 (2 V + 1) + 5, so at the
// midpoints 3 (2 vmid + 1) + 5: the line back is scale 1/3, offset -5/3.
pixel_input parabola(float flat = 0) {
    pixel_input in;
    for (int k = 1; k <= 11; ++k) {
        const float v = 0.125f * static_cast<float>(k);
        in.bias.push_back(v);
        in.current.push_back(v * v + v);
        in.signal.push_back(flat != 0 ? flat : 3 * (2 * v + 1) + 5);
    }
    return in;
}

}  // namespace

TEST(GridRunLockin, EachPixelsLineAndItsCurves) {
    grid_in_memory s(3, 1, 11);
    s.pixels = {parabola(), parabola(7.0f), parabola()};
    s.pixels[2].signal.pop_back();  // a lock-in of another length than the bias
    run_settings settings;
    settings.lockin.use = lockin_use::per_pixel;
    grid_description d = describe(s);
    d.groups = {quantity_group::lockin};
    const collected c = run(s, settings, d);
    const pixel_block& b = c.blocks.at(0);
    ASSERT_EQ(b.status[0], PIXEL_PROCESSED);
    EXPECT_NEAR(b.lockin_scale[0], 1.0f / 3.0f, 1e-6f);
    EXPECT_NEAR(b.lockin_offset[0], -5.0f / 3.0f, 1e-5f);
    EXPECT_NEAR(b.lockin_r2[0], 1.0f, 1e-6f);
    for (int j = 0; j < 10; ++j) {
        const float vmid = 0.125f * static_cast<float>(j) + 0.1875f;
        EXPECT_NEAR(b.didv_lockin[static_cast<size_t>(j)], 2 * vmid + 1, 1e-5f) << j;
        // The same divisor as the numerical curve's.
        const float ratio = b.didv_lockin[static_cast<size_t>(j)] / b.didv[static_cast<size_t>(j)];
        EXPECT_NEAR(b.norm_raw_lockin[static_cast<size_t>(j)], b.norm_raw[static_cast<size_t>(j)] * ratio, 1e-5f);
        EXPECT_NEAR(b.norm_coff_lockin[static_cast<size_t>(j)], b.norm_coff[static_cast<size_t>(j)] * ratio, 1e-5f);
    }
    // A flat lock-in, and one of another length: status 9, numerical curves
    // written, the lock-in's NaN.
    for (size_t k : {size_t{1}, size_t{2}}) {
        EXPECT_EQ(b.status[k], PIXEL_LOCKIN_FAILED);
        EXPECT_FALSE(std::isnan(b.didv[k * 10]));
        EXPECT_TRUE(std::isnan(b.didv_lockin[k * 10]));
        EXPECT_TRUE(std::isnan(b.lockin_scale[k]));
    }
}

TEST(GridRunLockin, WithoutALockinNothingOfItIsKept) {
    grid_in_memory s(1, 1, 11);
    s.pixels = {parabola()};
    const collected c = run(s, run_settings{});
    const pixel_block& b = c.blocks.at(0);
    EXPECT_TRUE(b.didv_lockin.empty());
    EXPECT_TRUE(b.lockin_scale.empty());
    EXPECT_TRUE(b.moments.empty());
}

TEST(GridRunLockin, OneLineOverTheGridWhateverTheThreads) {
    // Pixels scaled differently: the line over all of them is no pixel's.
    grid_in_memory s(7, 3, 11);
    for (int p = 0; p < 21; ++p) {
        pixel_input in = parabola();
        for (float& v : in.signal) v = v * (1.0f + 0.0625f * static_cast<float>(p % 5));
        s.pixels.push_back(in);
    }
    grid_plan o;
    o.import.signal_channel = "L";
    o.lockin_fit = lockin_fit_mode::grid;
    lockin_settings one, three;
    grid_description d1 = describe(s), d3 = describe(s);
    std::string error;
    ASSERT_TRUE(plan_lockin(s, o, 1, &d1, &one, &error)) << error;
    ASSERT_TRUE(plan_lockin(s, o, 3, &d3, &three, &error)) << error;
    ASSERT_EQ(one.use, lockin_use::fixed);
    EXPECT_TRUE(std::memcmp(&one.line.scale, &three.line.scale, sizeof(float)) == 0);
    EXPECT_TRUE(std::memcmp(&one.line.offset, &three.line.offset, sizeof(float)) == 0);
    EXPECT_EQ(d1.attributes, d3.attributes);
    EXPECT_TRUE(d1.writes(quantity_group::lockin));
    // Every pixel is calibrated with that line: the scale variable repeats it.
    run_settings settings;
    settings.lockin = one;
    settings.block_pixels = 4;
    const collected c = run(s, settings, d1);
    for (const pixel_block& b : c.blocks)
        for (int k = 0; k < b.count; ++k) {
            EXPECT_EQ(b.lockin_scale[static_cast<size_t>(k)], one.line.scale);
            EXPECT_EQ(b.lockin_offset[static_cast<size_t>(k)], one.line.offset);
        }
    // With --smooth the first pass fits the smoothed pairs: another line.
    grid_plan smoothed = o;
    smoothed.smooth_window = 5;
    smoothed.smooth_order = 0;  // a moving mean: flat at the ends
    lockin_settings with_smoothing;
    grid_description ds = describe(s);
    ASSERT_TRUE(plan_lockin(s, smoothed, 2, &ds, &with_smoothing, &error)) << error;
    EXPECT_NE(with_smoothing.line.offset, one.line.offset);
    // A flat channel everywhere fits no line: the run is refused.
    grid_in_memory flat(2, 1, 11);
    flat.pixels = {parabola(2.0f), parabola(2.0f)};
    grid_description df = describe(flat);
    lockin_settings none;
    EXPECT_FALSE(plan_lockin(flat, o, 2, &df, &none, &error));
    EXPECT_NE(error.find("does not vary"), std::string::npos) << error;
}
