// The line cut in-process: the collector against blocks of known values,
// and the picture's script and cells (through a gnuplot stand-in that keeps
// what it was given, then runs the real one) against hand-worked edges,
// colour ranges and labels.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "grid/line_collector.h"
#include "grid/line_output.h"
#include "stsgrid/plots.h"
#include "testkit/testkit.h"

using namespace sts;

namespace {

// A 4 x 3 grid of 4 points, 0.5 nm apart, biases within 0.1 V (shown in mV).
grid_description grid(bool per_pixel_axis = false) {
    grid_description d;
    d.nx = 4;
    d.ny = 3;
    d.points = 4;
    d.source = "line's grid";
    d.bias_unit = "V";
    d.current_unit = "nA";
    d.xy_unit = "nm";
    d.x = {0, 0.5, 1, 1.5};
    d.y = {0, 0.5, 1};
    d.bias = {-0.002f, -0.001f, 0.001f, 0.002f};
    d.vmid = {-0.0015f, 0.0f, 0.0015f};
    d.per_pixel_axis = per_pixel_axis;
    return d;
}

// Pixels first .. first + count - 1 with value(pixel, j) in every record.
pixel_block block(const grid_description& d, uint64_t first, int count,
                  float (*value)(uint64_t, size_t)) {
    pixel_block b;
    b.first = first;
    b.count = count;
    b.points = d.points;
    const size_t n = static_cast<size_t>(count);
    for (const pixel_quantity& q : pixel_quantities) {
        const size_t record = values_per_pixel(q, 4);
        auto& v = b.*q.values;
        for (size_t p = 0; p < n; ++p)
            for (size_t j = 0; j < record; ++j)
                v.push_back(value(first + p, j) + (&q - pixel_quantities.data()) * 1000.0f);
    }
    b.status.assign(n, PIXEL_PROCESSED);
    return b;
}

float pixel_value(uint64_t pixel, size_t j) {
    return static_cast<float>(pixel * 10 + j);
}

const pixel_quantity& quantity(const char* name) {
    return *find_pixel_quantity(name);
}

TEST(LineCollector, KeepsTheLinesRecordsFromBlocksInAnyCut) {
    const grid_description d = grid();
    // Pixels (3, 2), (2, 1), (1, 1), (0, 0): 11, 6, 5, 0, from a reversed line.
    line_collector c(d, line_cut(3, 2, 0, 0, d.x, d.y));
    ASSERT_EQ(c.samples().size(), 4u);
    c.add(block(d, 0, 5, pixel_value));  // pixels 0..4: only 0 is on the line
    c.add(block(d, 5, 2, pixel_value));  // 5 and 6
    // Pixel 11 never comes: it stays missing, its records NaN.
    const std::vector<float>& didv = *c.values(quantity("didv"));
    ASSERT_EQ(didv.size(), 4u * 3);
    const float offset = 2 * 1000.0f;  // didv is the third quantity
    EXPECT_TRUE(std::isnan(didv[0]) && std::isnan(didv[2]));
    EXPECT_EQ(didv[3 + 1], 61 + offset);  // sample 1: pixel 6, midpoint 1
    EXPECT_EQ(didv[6 + 2], 52 + offset);  // sample 2: pixel 5
    EXPECT_EQ(didv[9 + 0], 0 + offset);   // sample 3: pixel 0
    EXPECT_EQ((*c.values(quantity("current")))[4 * 3 + 3], 3.0f);
    EXPECT_EQ(c.status(), (std::vector<signed char>{PIXEL_MISSING, 0, 0, 0}));
    // The pixels' own axes only when the run writes them.
    EXPECT_EQ(c.values(quantity("pixel_bias")), nullptr);
    EXPECT_EQ(c.record(quantity("current")), 4u);
    const grid_description own_axes = grid(true);
    line_collector own(own_axes, line_cut(0, 0, 1, 0, d.x, d.y));
    EXPECT_NE(own.values(quantity("pixel_vmid")), nullptr);
}

// Runs draw in a child whose gnuplot is a stand-in that copies its folder
// (script and data) to keep, then runs the real gnuplot.
testkit::outcome drawn_keeping(const std::string& bin, const std::string& keep,
                               const std::function<bool(std::string*)>& draw) {
    testkit::write_file(bin + "/gnuplot", "#!/bin/sh\n/bin/cp \"${2%/*}\"/* '" + keep +
                                              "'/\nexec /usr/bin/gnuplot \"$@\"\n");
    chmod((bin + "/gnuplot").c_str(), 0755);
    return testkit::run_in_child([&] {
        setenv("PATH", bin.c_str(), 1);
        std::string error;
        const bool ok = draw(&error);
        std::fputs(error.c_str(), stderr);
        _exit(ok ? 0 : 3);
    });
}

std::vector<std::vector<double>> cells(const std::string& text) {
    std::vector<std::vector<double>> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::vector<double> row;
        for (double v; fields >> v;) row.push_back(v);
        rows.push_back(row);
    }
    return rows;
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(LinePicture, CellsEdgesColoursAndLabels) {
    if (!testkit::file_exists("/usr/bin/gnuplot"))
        GTEST_FAIL() << testkit::missing_package("gnuplot-nox");
    testkit::temp_dir dir, bin, keep;
    const grid_description d = grid();
    line_collector c(d, line_cut(0, 1, 2, 1, d.x, d.y));  // pixels 4, 5, 6; 0, 0.5, 1 nm
    c.add(block(d, 0, 12, [](uint64_t p, size_t j) {
        return p == 5 && j == 1 ? NAN : static_cast<float>(p * 10 + j);
    }));
    const pixel_line line{true, 0, 1, 2, 1};
    const std::string png = dir / "g_line.png";
    const auto o = drawn_keeping(bin.path(), keep.path(), [&](std::string* e) {
        return draw_line_cut(d, line, c, {"didv", "norm_raw"}, png, e);
    });
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string bytes = testkit::read_file(png);
    EXPECT_TRUE(bytes.size() > 1000 && bytes.compare(1, 3, "PNG") == 0);
    // didv of pixel p at midpoint j is 2000 + 10 p + j; pixel 5's middle is NaN.
    const auto rows = cells(testkit::read_file(keep / "line0.txt"));
    ASSERT_EQ(rows.size(), 8u);
    // Sample 1 (0.5 nm) reaches halfway to its neighbours, 0.25..0.75 nm;
    // midpoint 0 (-1.5 mV) from -2.25 to -0.75 mV, as far below as above.
    const std::vector<double> first_of_pixel_5 = {0.5, -1.5, 0.25, 0.75, -2.25, -0.75, 2050};
    ASSERT_EQ(rows[3].size(), 7u);
    for (size_t k = 0; k < 7; ++k) EXPECT_NEAR(rows[3][k], first_of_pixel_5[k], 1e-6) << k;
    EXPECT_NEAR(rows[4][6], 2052, 1e-6);    // the NaN cell is left out
    EXPECT_NEAR(rows[0][2], -0.25, 1e-12);  // the first sample: as far left as right
    EXPECT_NEAR(rows[7][5], 2.25, 1e-6);    // the last midpoint's top
    const std::string script = testkit::read_file(keep / "picture.gp");
    EXPECT_TRUE(has(script, "'line'\"'\"'s grid'") || has(script, "line''s grid")) << script;
    EXPECT_TRUE(has(script, "line cut from pixel (0, 1) to (2, 1): 3 pixels over 1 nm")) << script;
    EXPECT_TRUE(has(script, "set xlabel 'distance along the line (nm)'"));
    EXPECT_TRUE(has(script, "set ylabel 'bias (mV)'"));
    EXPECT_TRUE(has(script, "set cblabel 'nA/V'"));
    EXPECT_TRUE(has(script, "set cblabel 'ratio (no unit)'"));
    // Fewer than 100 values: the colours span all of them, 2040 .. 2062.
    EXPECT_TRUE(has(script, "set cbrange [2040:2062]")) << script;
    EXPECT_TRUE(has(script, "set xrange [-0.25:1.25]"));
    EXPECT_TRUE(has(script, "set yrange [-2.2500000")) << script;  // float midpoints in mV
    EXPECT_TRUE(has(script, "set title 'dI/dV (nA/V)'"));
}

TEST(LinePicture, PercentileColoursAndEachPixelOnItsOwnAxis) {
    if (!testkit::file_exists("/usr/bin/gnuplot"))
        GTEST_FAIL() << testkit::missing_package("gnuplot-nox");
    testkit::temp_dir dir, bin, keep;
    grid_description d = grid(true);
    // A 40 x 1 line of 4 points: 40 * 3 = 120 midpoint values, 0 .. 119 in norm_coff.
    d.nx = 40;
    d.ny = 1;
    d.x.clear();
    for (int k = 0; k < 40; ++k) d.x.push_back(0.1 * k);
    d.y = {0};
    line_collector c(d, line_cut(0, 0, 39, 0, d.x, d.y));
    pixel_block b = block(d, 0, 40, pixel_value);
    for (size_t k = 0; k < b.norm_coff.size(); ++k) b.norm_coff[k] = static_cast<float>(k);
    // Pixel p's own midpoints: -0.0015, 0, 0.0015 V shifted by p mV.
    for (size_t p = 0; p < 40; ++p)
        for (size_t j = 0; j < 3; ++j)
            b.vmid[p * 3 + j] = d.vmid[j] + 0.001f * static_cast<float>(p);
    c.add(b);
    const auto o = drawn_keeping(bin.path(), keep.path(), [&](std::string* e) {
        return draw_line_cut(d, {true, 0, 0, 39, 0}, c, {"norm_coff"}, dir / "p.png", e);
    });
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string script = testkit::read_file(keep / "picture.gp");
    // 120 values: the 1st to 99th percentile cuts one at each end.
    EXPECT_TRUE(has(script, "set cbrange [1:118]")) << script;
    EXPECT_TRUE(has(script, "(colours cover the 1st to 99th percentile)"));
    EXPECT_TRUE(has(script, "each pixel on its own bias axis"));
    const auto rows = cells(testkit::read_file(keep / "line0.txt"));
    ASSERT_EQ(rows.size(), 120u);
    // Pixel 39's midpoint 2 on its own axis: 1.5 + 39 = 40.5 mV, from 39.75 to 41.25.
    EXPECT_NEAR(rows[119][1], 40.5, 1e-4);
    EXPECT_NEAR(rows[119][4], 39.75, 1e-4);
    EXPECT_NEAR(rows[119][5], 41.25, 1e-4);
}

TEST(LinePicture, AQuantityTheRunDoesNotWriteDrawsNothing) {
    testkit::temp_dir dir;
    const grid_description d = grid();
    line_collector c(d, line_cut(0, 0, 1, 0, d.x, d.y));
    std::string error;
    EXPECT_FALSE(draw_line_cut(d, {true, 0, 0, 1, 0}, c, {"pixel_vmid"}, dir / "x.png", &error));
    EXPECT_NE(error.find("the run does not write pixel_vmid"), std::string::npos) << error;
    EXPECT_FALSE(draw_line_cut(d, {true, 0, 0, 1, 0}, c, {}, dir / "x.png", &error));
    EXPECT_TRUE(testkit::list_dir(dir.path()).empty());
}

}  // namespace

namespace {

TEST(LinePicture, TheMapsPanelsUnlessChosen) {
    const grid_description d = grid();
    grid_options o;
    EXPECT_EQ(line_picture_names(d, o),
              (std::vector<std::string>{"didv", "norm_raw", "norm_exp", "norm_coff"}));
    o.line_vars = {"norm_coff", "current"};
    EXPECT_EQ(line_picture_names(d, o), o.line_vars);
}

}  // namespace
