// Maps and mean curves through the real gnuplot, and through stand-ins
// that fail.  Each case runs in a child whose PATH and TMPDIR it sets.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>

#include "stsgrid/plots.h"
#include "testkit/testkit.h"

using namespace sts;

namespace {

grid_description grid(long nx, long ny) {
    grid_description d;
    d.nx = nx;
    d.ny = ny;
    d.points = 4;
    d.source = "it's_a `touch hacked` grid\nof 2 lines";
    d.bias_unit = "V";
    d.current_unit = "nA";
    d.xy_unit = "nm";
    for (long k = 0; k < nx; ++k) d.x.push_back(0.5 * static_cast<double>(k));
    for (long k = 0; k < ny; ++k) d.y.push_back(0.5 * static_cast<double>(k));
    d.bias = {-0.002f, -0.001f, 0.001f, 0.002f};
    d.vmid = {-0.0015f, 0.0f, 0.0015f};
    return d;
}

bias_map map_of(const grid_description& d) {
    bias_map m;
    m.bias = 0.001;
    m.vmid = 0.0015f;
    m.panels = {{"didv", {}}, {"norm_raw", {}}, {"norm_exp", {}}, {"norm_coff", {}}};
    for (long p = 0; p < d.nx * d.ny; ++p) {
        const float v = p % 7 == 3 ? NAN : std::sin(static_cast<float>(p) * 0.3f);
        m.panels[0].values.push_back(v * 100);
        m.panels[1].values.push_back(v);
        m.panels[2].values.push_back(NAN);  // a panel with no processed pixel
        m.panels[3].values.push_back(v + 1);
    }
    return m;
}

const std::vector<mean_curve> curves = {{"norm_raw", {1, 2, NAN}, {0.1f, 0.2f, 0.1f}},
                                        {"norm_exp", {0.01f, 0.02f, 0.03f}, {0, 0, 0}}};

// Runs draw in a child with PATH and TMPDIR set; the child's error on
// standard error, exit status 0 when it drew.
testkit::outcome drawn(const std::string& path, const std::string& tmp,
                       const std::function<bool(std::string*)>& draw) {
    return testkit::run_in_child([&] {
        setenv("PATH", path.c_str(), 1);
        setenv("TMPDIR", tmp.c_str(), 1);
        std::string error;
        const bool ok = draw(&error);
        std::fputs(error.c_str(), stderr);
        _exit(ok ? 0 : 3);
    });
}

bool is_png(const std::string& file) {
    const std::string bytes = testkit::read_file(file);
    return bytes.size() > 1000 && bytes.compare(1, 3, "PNG") == 0;
}

// A PNG's width and height from its header chunk (IHDR, the first chunk:
// bytes 16 to 23, big-endian; the PNG standard (ISO/IEC 15948), section 11.2.2).
std::pair<unsigned, unsigned> png_size(const std::string& file) {
    const std::string bytes = testkit::read_file(file);
    if (bytes.size() < 24 || bytes.compare(12, 4, "IHDR") != 0) return {0, 0};
    const auto at = [&](size_t k) {
        unsigned v = 0;
        for (size_t i = k; i < k + 4; ++i) v = v << 8 | static_cast<unsigned char>(bytes[i]);
        return v;
    };
    return {at(16), at(20)};
}

// A gnuplot on PATH that keeps a copy of the job's folder (the script and
// its data) in `keep`, then draws with the real one.
std::string keeping_path(const testkit::temp_dir& bin, const testkit::temp_dir& keep) {
    testkit::write_file(bin / "gnuplot", "#!/bin/sh\ncp -r \"$(dirname \"$2\")\" '" +
                                             keep.path() + "/job'\nexec /usr/bin/gnuplot \"$@\"\n");
    chmod((bin / "gnuplot").c_str(), 0755);
    return bin.path() + ":" + std::getenv("PATH");
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

// A 2-D map, a line of spectra either way round, the mean curves: each a
// picture, with nothing left in the scratch folder and nothing run from a
// hostile title.
TEST(Plots, DrawsMapsLinesAndMeanCurves) {
    if (!testkit::file_exists("/usr/bin/gnuplot"))
        GTEST_FAIL() << testkit::missing_package("gnuplot-nox");
    testkit::temp_dir dir, tmp;
    for (const auto& [nx, ny] : {std::pair{12L, 9L}, std::pair{20L, 1L}, std::pair{1L, 6L}}) {
        const std::string png = dir / testkit::format("map%ldx%ld.png", nx, ny);
        const grid_description d = grid(nx, ny);
        const testkit::outcome o = drawn(std::getenv("PATH"), tmp.path(), [&](std::string* e) {
            return draw_map(d, map_of(d), png, e);
        });
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_TRUE(is_png(png)) << png;
    }
    const std::string png = dir / "mean.png";
    const testkit::outcome o = drawn(std::getenv("PATH"), tmp.path(), [&](std::string* e) {
        return draw_mean_curves(grid(3, 3), curves, 9, png, e);
    });
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(is_png(png));
    EXPECT_EQ(testkit::list_dir(dir.path()).size(), 4u) << "no temporary picture left";
    EXPECT_TRUE(testkit::list_dir(tmp.path()).empty()) << "scratch folder removed";
    EXPECT_FALSE(testkit::file_exists("hacked"));
}

// What a map promises: its size in pixels (1200 wide; the height from the
// grid's shape), the axes over the pixels' extent with their unit, each
// panel's colours over its values with the unit in its title, and an empty
// panel without a colour bar.
TEST(Plots, MapShowsItsRangesAxesAndColourBars) {
    if (!testkit::file_exists("/usr/bin/gnuplot"))
        GTEST_FAIL() << testkit::missing_package("gnuplot-nox");
    testkit::temp_dir dir, tmp, bin, keep;
    const grid_description d = grid(4, 3);  // x 0 .. 1.5 nm, y 0 .. 1 nm, steps of 0.5
    bias_map m;
    m.bias = 0.001;
    m.vmid = 0.0015f;
    m.panels = {{"didv", {}}, {"norm_raw", {}}};
    for (long p = 0; p < 12; ++p) {
        m.panels[0].values.push_back(p == 5 ? NAN : 10.0f * static_cast<float>(p));
        m.panels[1].values.push_back(NAN);
    }
    const std::string png = dir / "map.png";
    const testkit::outcome o = drawn(keeping_path(bin, keep), tmp.path(), [&](std::string* e) {
        return draw_map(d, m, png, e);
    });
    ASSERT_EQ(o.status, 0) << o.err;
    // Pixels reach half a step beyond the first and last centre: 2 nm by
    // 1.5 nm, so a map 0.75 * 420 px high, plus 120 for its frame and 60
    // for the title: one row of two panels.
    EXPECT_EQ(png_size(png), (std::pair<unsigned, unsigned>{1200, 315 + 120 + 60}));
    const std::string script = testkit::read_file(keep / "job/picture.gp");
    EXPECT_TRUE(has(script, "size 1200,495")) << script;
    EXPECT_TRUE(has(script, "set multiplot layout 1,2 title")) << script;
    EXPECT_TRUE(has(script, "set xrange [-0.25:1.75]\nset yrange [-0.25:1.25]\n")) << script;
    EXPECT_TRUE(has(script, "set xlabel 'x (nm)'\nset ylabel 'y (nm)'\n")) << script;
    EXPECT_TRUE(has(script, "set size ratio -1")) << script;
    // Fewer than 100 values: the colours span them all, NaN left out.
    const size_t didv = script.find("set title 'dI/dV (nA/V)");
    ASSERT_NE(didv, std::string::npos) << script;
    EXPECT_TRUE(has(script.substr(didv), "set cbrange [0:110]\nplot ")) << script;
    // The empty panel says so and has no colour bar; the bar is back after it.
    const size_t empty = script.find("set title 'norm_raw = (dI/dV) / (I/V)'.\"\\n\".'(no "
                                     "processed pixel)'\nunset colorbox\nplot NaN notitle\n"
                                     "set colorbox\n");
    EXPECT_NE(empty, std::string::npos) << script;
    EXPECT_LT(didv, empty);
    EXPECT_EQ(script.find("unset colorbox"), script.rfind("unset colorbox")) << script;
    // The image's data: one "x y value" line a pixel, a blank line a row.
    const std::string data = testkit::read_file(keep / "job/didv.txt");
    EXPECT_EQ(data.substr(0, 32), "0 0 0\n0.5 0 10\n1 0 20\n1.5 0 30\n\n") << data;
    EXPECT_TRUE(has(data, "0.5 0.5 NaN\n")) << data;
}

// The mean curves: one panel a curve, under each other, over the bias in mV
// (the grid's V shown as mV), each titled with what it is.
TEST(Plots, MeanCurvesShowTheirAxes) {
    if (!testkit::file_exists("/usr/bin/gnuplot"))
        GTEST_FAIL() << testkit::missing_package("gnuplot-nox");
    testkit::temp_dir dir, tmp, bin, keep;
    const std::string png = dir / "mean.png";
    const testkit::outcome o = drawn(keeping_path(bin, keep), tmp.path(), [&](std::string* e) {
        return draw_mean_curves(grid(3, 3), curves, 9, png, e);
    });
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(png_size(png), (std::pair<unsigned, unsigned>{1000, 640}));
    const std::string script = testkit::read_file(keep / "job/picture.gp");
    EXPECT_TRUE(has(script, "size 1000,640")) << script;
    EXPECT_TRUE(has(script, "set multiplot layout 2,1 title")) << script;
    EXPECT_TRUE(has(script, "grid mean of 9 pixels (dark line) with a band of ±2 standard "
                            "errors")) << script;
    EXPECT_TRUE(has(script, "set xlabel 'bias (mV)'")) << script;
    EXPECT_TRUE(has(script, "set title 'norm_raw = (dI/dV) / (I/V)'\nset ylabel ''\n")) << script;
    EXPECT_TRUE(has(script, "set title 'norm_exp = ")) << script;
    // The band from columns 3 and 4 (mean -+ 2 se), the mean from column 2.
    EXPECT_TRUE(has(script, "curve0.txt' using 1:3:4 with filledcurves")) << script;
    EXPECT_TRUE(has(script, "curve0.txt' using 1:2 with lines")) << script;
    // The 3 midpoints -1.5, 0, 1.5 mV; the NaN mean leaves a gap.
    const std::string data = testkit::read_file(keep / "job/curve0.txt");
    // "bias mean mean-2se mean+2se", the bias the float midpoint in mV.
    EXPECT_EQ(data, "-1.50000001 1 0.799999997 1.2\n0 2 1.59999999 2.40000001\n\n") << data;
}

// gnuplot missing, failing, or ending well without a picture: a message
// and no PNG, not even an empty one.
TEST(Plots, FailuresLeaveNoPicture) {
    testkit::temp_dir dir, tmp, bin;
    const std::string png = dir / "map.png";
    const grid_description d = grid(4, 4);
    const auto draw = [&](std::string* e) { return draw_map(d, map_of(d), png, e); };

    testkit::outcome o = drawn(bin.path(), tmp.path(), draw);
    EXPECT_EQ(o.status, 3);
    EXPECT_NE(o.err.find("gnuplot is not on PATH"), std::string::npos) << o.err;

    testkit::write_file(bin / "gnuplot", "#!/bin/sh\necho 'line 3: no such terminal' >&2\nexit 1\n");
    chmod((bin / "gnuplot").c_str(), 0755);
    o = drawn(bin.path(), tmp.path(), draw);
    EXPECT_EQ(o.status, 3);
    EXPECT_NE(o.err.find("gnuplot failed drawing " + png + ": line 3: no such terminal"),
              std::string::npos) << o.err;

    testkit::write_file(bin / "gnuplot", "#!/bin/sh\nexit 0\n");
    o = drawn(bin.path(), tmp.path(), draw);
    EXPECT_NE(o.err.find("gnuplot wrote no picture"), std::string::npos) << o.err;

    o = drawn(bin.path(), tmp.path(), [&](std::string* e) {
        return draw_mean_curves(d, {{"norm_raw", {1, 2}, {1, 2}}}, 1, png, e);
    });
    EXPECT_NE(o.err.find("do not match the bias axis"), std::string::npos) << o.err;
    EXPECT_TRUE(testkit::list_dir(dir.path()).empty());
    EXPECT_TRUE(testkit::list_dir(tmp.path()).empty());
}

namespace {

// Means 0 .. 199 with a band of +-1: 600 values, 6 cut at each end.
mean_curve ramp() {
    mean_curve c{"norm_raw", {}, {}};
    for (int k = 0; k < 200; ++k) {
        c.mean.push_back(static_cast<float>(k));
        c.se.push_back(0.5f);
    }
    return c;
}

}  // namespace

// The 1st to 99th percentile of the means and both ends of their band,
// widened by half their span: the fences beyond which a value is wild.
TEST(Plots, MeanCurveRangeLeavesOutOnlyWildValues) {
    double lo = 0, hi = 0;
    bool clipped = false;
    // Sorted: -1, 0, 0, 1, 1, 1, [2] ... [197], 198, 198, 198, 199, 199, 200:
    // percentiles 2 and 197, fences -95.5 and 294.5; nothing is wild.
    ASSERT_TRUE(curve_range(ramp(), &lo, &hi, &clipped));
    EXPECT_EQ(lo, -1.0);
    EXPECT_EQ(hi, 200.0);
    EXPECT_FALSE(clipped);
    // A spike of one midpoint (its band too) is cut whatever its height;
    // values just inside a fence stay.
    mean_curve spike = ramp();
    spike.mean[100] = 1e6f;
    spike.se[100] = 0;
    spike.mean[50] = 298.0f;  // percentiles now 2 and 200: fences -97, 299
    spike.se[50] = 0;
    ASSERT_TRUE(curve_range(spike, &lo, &hi, &clipped));
    EXPECT_TRUE(clipped);
    EXPECT_EQ(lo, -1.0);
    EXPECT_EQ(hi, 298.0);
    spike.mean[50] = 300.0f;
    ASSERT_TRUE(curve_range(spike, &lo, &hi, &clipped));
    EXPECT_EQ(hi, 200.0);
    // Fewer than 100 values: all of them, NaN left out, the band included.
    ASSERT_TRUE(curve_range(curves[0], &lo, &hi, &clipped));
    EXPECT_FLOAT_EQ(static_cast<float>(lo), 0.8f);
    EXPECT_FLOAT_EQ(static_cast<float>(hi), 2.4f);
    EXPECT_FALSE(clipped);
    EXPECT_FALSE(curve_range({"norm_raw", {NAN}, {NAN}}, &lo, &hi, &clipped));
}

// The script gnuplot gets: the spike's panel takes the range, marks the
// four means beyond it at the frame and says so; the short curve's panel
// keeps gnuplot's own scale and its plain title.
TEST(Plots, MeanPlotSaysWhatItCut) {
    if (!testkit::file_exists("/usr/bin/gnuplot"))
        GTEST_FAIL() << testkit::missing_package("gnuplot-nox");
    testkit::temp_dir dir, tmp, bin, seen;
    // A stand-in that keeps a copy of the job's folder, then draws.
    testkit::write_file(bin / "gnuplot", "#!/bin/sh\ncp -r \"$(dirname \"$2\")\" '" +
                                             seen.path() + "/job'\nexec /usr/bin/gnuplot \"$@\"\n");
    chmod((bin / "gnuplot").c_str(), 0755);
    grid_description d = grid(3, 3);
    d.points = 201;
    d.bias.assign(201, 0.0f);
    d.vmid.clear();
    for (int k = 0; k < 200; ++k) d.vmid.push_back(0.25f * static_cast<float>(k - 100));
    mean_curve spike = ramp();
    spike.mean[100] = 1e6f;
    mean_curve flat = ramp();
    flat.name = "norm_exp";
    for (float& v : flat.mean) v = 1;
    const std::string png = dir / "mean.png";
    const std::string path = bin.path() + ":" + std::getenv("PATH");
    const testkit::outcome o = drawn(path, tmp.path(), [&](std::string* e) {
        return draw_mean_curves(d, {spike, flat}, 9, png, e);
    });
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(is_png(png));
    const std::string script = testkit::read_file(seen / "job/picture.gp");
    EXPECT_NE(script.find("(y range without values far beyond the 1st to 99th percentile; 1 "
                          "mean value beyond it, marked ▲▼ at the frame)"),
              std::string::npos) << script;
    EXPECT_NE(script.find("set yrange [-1:200]"), std::string::npos);
    EXPECT_EQ(testkit::read_file(seen / "job/curve0_beyond.txt"), "0 200 9\n");
    // The flat curve: 1 +- 1 everywhere, nothing cut.
    const size_t second = script.find("set title 'norm_exp");
    ASSERT_NE(second, std::string::npos) << script;
    EXPECT_EQ(script.find("y range", second), std::string::npos);
    EXPECT_EQ(script.find("set yrange [", second), std::string::npos);
}
