// The results of the grid statistics, in-process: the mean curves for the
// pictures, pointmean's summary of the measured current and the mean text
// files, from a collector fed blocks of small integers whose statistics are
// worked out by hand.
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grid/statistics_pass.h"
#include "testkit/testkit.h"

using namespace sts;

namespace {

grid_description one_row(int pixels) {
    grid_description d;
    d.nx = pixels;
    d.ny = 1;
    d.points = 3;
    d.bias = {-1, 0, 1};
    d.vmid = {-0.5f, 0.5f};
    return d;
}

// Pixel p: current (p + 1) * 10 + i (and as measured), midpoint quantities
// (p + 1) * 100 + j.
void add_pixels(grid_collector* c, int pixels) {
    pixel_block b;
    b.count = pixels;
    b.points = 3;
    input_block in;
    for (int p = 0; p < pixels; ++p) {
        const float scale = static_cast<float>(p + 1);
        b.status.push_back(PIXEL_PROCESSED);
        in.n.push_back(3);
        for (int i = 0; i < 3; ++i) {
            b.current.push_back(scale * 10 + static_cast<float>(i));
            b.iv.push_back(1);
            in.bias.push_back(static_cast<float>(i - 1));
            in.current.push_back(scale * 10 + static_cast<float>(i));
        }
        for (int j = 0; j < 2; ++j)
            for (auto* v : {&b.didv, &b.norm_raw, &b.norm_exp, &b.norm_coff})
                v->push_back(scale * 100 + static_cast<float>(j));
    }
    c->add(b, in);
}

// The numbers of each row of a text file.
std::vector<std::vector<double>> rows_of(const std::string& text) {
    std::vector<std::vector<double>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        rows.emplace_back();
        for (double v; fields >> v;) rows.back().push_back(v);
    }
    return rows;
}

TEST(StatisticsPass, MeanCurvesOfTheNormalisedQuantities) {
    testkit::temp_dir dir;
    const grid_description d = one_row(2);
    grid_collector c(d, grid_plan{});
    std::string error;
    ASSERT_TRUE(c.open_spills(dir.path(), &error)) << error;
    add_pixels(&c, 2);
    ASSERT_TRUE(second_pass(2, &c, &error)) << error;
    const auto curves = mean_curves(c);
    ASSERT_EQ(curves.size(), 3u);
    EXPECT_EQ(curves[0].name, "norm_raw");
    EXPECT_EQ(curves[1].name, "norm_exp");
    EXPECT_EQ(curves[2].name, "norm_coff");
    // 100 + j and 200 + j: mean 150 + j, standard error 50.
    EXPECT_EQ(curves[2].mean, (std::vector<float>{150, 151}));
    EXPECT_FLOAT_EQ(curves[2].se[1], 50.0f);
}

TEST(StatisticsPass, OnePixelHasNoStatistics) {
    testkit::temp_dir dir;
    grid_plan o;
    o.pointmean = dir / "pm.txt";
    const grid_description d = one_row(1);  // the collector keeps a reference
    grid_collector c(d, o);
    std::string error;
    ASSERT_TRUE(c.open_spills(dir.path(), &error)) << error;
    add_pixels(&c, 1);
    ASSERT_TRUE(second_pass(1, &c, &error)) << error;
    for (const mean_curve& m : mean_curves(c)) {
        EXPECT_TRUE(std::isnan(m.mean[0])) << m.name;
        EXPECT_TRUE(std::isnan(m.se[1])) << m.name;
    }
    EXPECT_FALSE(write_pointmean(o, &c, &error));
    EXPECT_EQ(error, dir / "pm.txt" + ": the statistics need at least two pixels with data");
    EXPECT_FALSE(testkit::file_exists(dir / "pm.txt"));
}

TEST(StatisticsPass, PointmeanSummaryOfTheMeasuredCurrent) {
    testkit::temp_dir dir;
    grid_plan o;
    o.pointmean = dir / "pm.txt";
    const grid_description d = one_row(2);
    grid_collector c(d, o);
    std::string error;
    ASSERT_TRUE(c.open_spills(dir.path(), &error)) << error;
    add_pixels(&c, 2);
    ASSERT_TRUE(second_pass(1, &c, &error)) << error;
    ASSERT_TRUE(write_pointmean(o, &c, &error)) << error;
    // 10 + i and 20 + i: mean 15 + i, sd sqrt(50), se 5, twice it 10.
    const std::string text = testkit::read_file(dir / "pm.txt");
    EXPECT_EQ(text.substr(0, text.find('\n')).substr(0, 19), "-1.000000 15.000000");
    const auto rows = rows_of(text);
    ASSERT_EQ(rows.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(rows[i].size(), 5u);
        EXPECT_EQ(rows[i][0], static_cast<double>(i) - 1);
        EXPECT_EQ(rows[i][1], 15.0 + static_cast<double>(i));
        EXPECT_NEAR(rows[i][2], std::sqrt(50.0), 1e-6);
        EXPECT_NEAR(rows[i][3], 5.0, 1e-6);
        EXPECT_NEAR(rows[i][4], 10.0, 1e-6);
    }
}

TEST(StatisticsPass, MeanTextsOfEveryQuantity) {
    testkit::temp_dir dir;
    const grid_description d = one_row(2);
    grid_collector c(d, grid_plan{});
    std::string error;
    ASSERT_TRUE(c.open_spills(dir.path(), &error)) << error;
    add_pixels(&c, 2);
    ASSERT_TRUE(second_pass(1, &c, &error)) << error;
    ASSERT_TRUE(write_mean_texts(d, dir / "g.nc", &c, &error)) << error;
    EXPECT_EQ(testkit::list_dir(dir.path()),
              (std::vector<std::string>{"g_mean_current.txt", "g_mean_didv.txt",
                                        "g_mean_norm_coff.txt", "g_mean_norm_exp.txt",
                                        "g_mean_norm_raw.txt"}));
    // The current over the points, the others over the midpoints.
    const auto current = rows_of(testkit::read_file(dir / "g_mean_current.txt"));
    ASSERT_EQ(current.size(), 3u);
    EXPECT_EQ(current[2][0], 1.0);
    EXPECT_EQ(current[2][1], 17.0);
    const auto didv = rows_of(testkit::read_file(dir / "g_mean_didv.txt"));
    ASSERT_EQ(didv.size(), 2u);
    EXPECT_EQ(didv[1][0], 0.5);
    EXPECT_EQ(didv[1][1], 151.0);
    EXPECT_NEAR(didv[1][2], std::sqrt(5000.0), 1e-5);
    // A folder that is not there: the failure is reported.
    EXPECT_FALSE(write_mean_texts(d, dir / "none/g.nc", &c, &error));
    EXPECT_EQ(error, "cannot create a file in " + dir / "none" + ": No such file or directory");
}

}  // namespace
