// An RHK .sm4 file as stsgrid's grid: the map on its raster with the
// recorded positions, line spectra as N x 1, and the reader's values as the
// floats every tool computes with.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "readers/rhk_sm4.h"
#include "grid/grid_source.h"
#include "testkit/sm4_file.h"
#include "testkit/testkit.h"

namespace {

// A 3 x 2 map 0.25 nm apart from (10, 20) nm, sweeping 0.1 V to -0.1 V.
testkit::sm4_made_page map_page() {
    testkit::sm4_made_page p;
    p.page_type = 16;
    p.x_offset = 0.1f;
    p.x_scale = -0.1f;
    p.grid_x = 3;
    p.grid_y = 2;
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 3; ++i) {
            p.positions.emplace_back((10 + 0.25f * i) * 1e-9f, (20 + 0.25f * j) * 1e-9f);
            p.raw.push_back({-1000 * (i + 1), 10 * j, 1000 * (i + 1)});
        }
    return p;
}

std::unique_ptr<sts::grid_source> open(const std::string& path, std::string* error) {
    return sts::open_grid_source({path}, sts::import_options{}, error);
}

TEST(Sm4Source, MapOnItsRaster) {
    testkit::temp_dir dir;
    testkit::write_file(dir / "map.sm4", testkit::sm4_file({map_page()}));
    std::string error;
    const auto grid = open(dir / "map.sm4", &error);
    ASSERT_TRUE(grid) << error;
    EXPECT_EQ(grid->nx(), 3);
    EXPECT_EQ(grid->ny(), 2);
    EXPECT_EQ(grid->points(), 3);
    EXPECT_TRUE(grid->same_bias_everywhere());
    sts::grid_description d;
    grid->describe(&d);
    EXPECT_EQ(d.xy_unit, "nm");
    EXPECT_TRUE(d.has_positions);
    ASSERT_EQ(d.x.size(), 3u);
    EXPECT_NEAR(d.x[2], 0.5, 1e-5);
    EXPECT_NEAR(d.y[1], 0.25, 1e-5);
    // Pixel 5 = (2, 1): the reader's doubles as floats, its position.
    sts::sm4_spectra read;
    ASSERT_TRUE(sts::read_sm4_spectra("m", testkit::read_file(dir / "map.sm4"), {}, &read, &error));
    sts::pixel_input pixel;
    grid->read(5, &pixel);
    EXPECT_EQ(pixel.code, sts::PIXEL_PROCESSED);
    EXPECT_EQ(pixel.bias, (std::vector<float>{0.1f, 0.0f, -0.1f}));
    ASSERT_EQ(pixel.current.size(), 3u);
    for (size_t k = 0; k < 3; ++k)
        EXPECT_EQ(pixel.current[k], static_cast<float>(read.spectra[5].current[k]));
    EXPECT_NEAR(pixel.x_nm, 10.5f, 1e-4);
    EXPECT_NEAR(pixel.y_nm, 20.25f, 1e-4);
}

TEST(Sm4Source, LineAndRefusals) {
    testkit::temp_dir dir;
    testkit::sm4_made_page line = map_page();
    line.grid_x = line.grid_y = 0xFFFFFFFF;   // as the real line file has it
    for (size_t k = 0; k < line.positions.size(); ++k)
        line.positions[k] = {static_cast<float>(k) * 1e-9f, 0.0f};
    testkit::write_file(dir / "line.sm4", testkit::sm4_file({line}));
    std::string error;
    const auto grid = open(dir / "line.sm4", &error);
    ASSERT_TRUE(grid) << error;
    EXPECT_EQ(grid->nx(), 6);
    EXPECT_EQ(grid->ny(), 1);
    sts::grid_description d;
    grid->describe(&d);
    EXPECT_NEAR(d.x[5], 5.0, 1e-5);
    testkit::sm4_made_page image = line;
    image.data_type = 0;
    testkit::write_file(dir / "image.sm4", testkit::sm4_file({image}));
    EXPECT_FALSE(open(dir / "image.sm4", &error));
    EXPECT_EQ(error, dir / "image.sm4" +
                         ": an RHK .sm4 file without spectral pages (1 page: 1 image)");
}

TEST(Sm4Source, RealMap) {
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << testkit::no_realdata;
    std::string error;
    const auto grid = open(data + "/raw/rhk2020_abc6_didv_map.sm4", &error);
    ASSERT_TRUE(grid) << error;
    EXPECT_EQ(grid->nx(), 32);
    EXPECT_EQ(grid->ny(), 32);
    EXPECT_EQ(grid->points(), 81);
    sts::grid_description d;
    grid->describe(&d);
    EXPECT_NEAR(d.x[31], 31.0 / 32, 1e-4);   // the header's 1 nm frame, 32 pixels
}

}  // namespace
