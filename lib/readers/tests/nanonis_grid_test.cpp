// Grid files pixel by pixel: the header read once, each pixel read alone
// (from memory or by pread, from several threads), and the statuses of
// pixels that are missing or were never measured.
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "readers/byte_source.h"
#include "readers/grid_header.h"
#include "readers/nanonis_grid.h"
#include "readers/read_spectra.h"
#include "testkit/instrument_files.h"
#include "testkit/testkit.h"

namespace {

using grid_spec = testkit::nanonis_grid_layout;
using pixel_values = testkit::grid_pixel_values;
using testkit::nanonis_grid;

// nx * ny pixels of two channels, forward and backward, each pixel its own.
pixel_values ramps(int pixels, int points) {
    pixel_values values;
    for (int p = 0; p < pixels; ++p) {
        std::vector<float> fwd, bwd;
        for (int k = 0; k < points; ++k) {
            fwd.push_back(1e-10f * static_cast<float>((p + 1) * (k - 2)));
            bwd.push_back(-1.7e-10f * static_cast<float>(p + k));
        }
        values.push_back({fwd, bwd});
    }
    return values;
}

grid_spec two_channels(int nx, int ny, int points) {
    grid_spec g;
    g.nx = nx;
    g.ny = ny;
    g.points = points;
    g.channels = {"Current (A)", "Current [bwd] (A)"};
    g.start = 0.1f;
    g.end = -0.3f;
    return g;
}

std::shared_ptr<sts::byte_source> in_memory(const std::string& bytes) {
    return std::make_shared<sts::memory_source>(bytes);
}

TEST(GridHeader, SizesChannelsParametersFrame) {
    grid_spec g = two_channels(3, 2, 5);
    g.settings = "1E-9;-2E-9;4E-9;6E-9;30";
    g.extra = "Comment=\"two\nlines\"\r\nBias Spectroscopy>Sweep Start (V)=1E-1\r\n"
              "Bias Spectroscopy>Sweep End (V)=-3E-1\r\n";
    const std::string bytes = testkit::nanonis_grid_header(g);
    sts::grid_header h;
    std::string error;
    ASSERT_TRUE(sts::parse_grid_header(bytes, &h, &error)) << error;
    EXPECT_EQ(h.nx, 3);
    EXPECT_EQ(h.ny, 2);
    EXPECT_EQ(h.points, 5);
    EXPECT_EQ(h.channels, (std::vector<std::string>{"Current (A)", "Current [bwd] (A)"}));
    EXPECT_EQ(h.parameters,
              (std::vector<std::string>{"Sweep Start", "Sweep End", "X (m)", "Y (m)"}));
    EXPECT_EQ(h.x_parameter, 2);
    EXPECT_EQ(h.y_parameter, 3);
    EXPECT_EQ(h.data_offset, bytes.size());
    EXPECT_EQ(h.pixel_bytes, 4u * (4 + 2 * 5));
    EXPECT_EQ(h.pixels(), 6u);
    ASSERT_TRUE(h.has_decimal_sweep);
    EXPECT_EQ(h.sweep_start, 0.1);
    EXPECT_EQ(h.sweep_end, -0.3);
    ASSERT_NE(h.value("Comment"), nullptr);
    EXPECT_EQ(*h.value("Comment"), "two\nlines");
    ASSERT_TRUE(h.has_frame);
    EXPECT_DOUBLE_EQ(h.frame.centre_x, 1.0);
    EXPECT_DOUBLE_EQ(h.frame.height, 6.0);
    EXPECT_DOUBLE_EQ(h.frame.angle, 30.0);
}

TEST(GridHeader, NominalPositionsTurnWithTheFrame) {
    grid_spec g = two_channels(3, 2, 5);
    g.settings = "1E-9;-2E-9;4E-9;6E-9;90";  // turned a quarter clockwise
    sts::grid_header h;
    std::string error;
    ASSERT_TRUE(sts::parse_grid_header(testkit::nanonis_grid_header(g), &h, &error)) << error;
    double x, y;
    // Along a row: the frame's x axis turned to -y; pixel 0 at -width/2.
    ASSERT_TRUE(sts::nominal_position_nm(h, 0, 0, &x, &y));
    EXPECT_NEAR(x, 1.0 - 3.0, 1e-12);
    EXPECT_NEAR(y, -2.0 + 2.0, 1e-12);
    ASSERT_TRUE(sts::nominal_position_nm(h, 2, 1, &x, &y));
    EXPECT_NEAR(x, 1.0 + 3.0, 1e-12);
    EXPECT_NEAR(y, -2.0 - 2.0, 1e-12);
    h.has_frame = false;
    EXPECT_FALSE(sts::nominal_position_nm(h, 0, 0, &x, &y));
}

TEST(GridPixels, EachPixelAsTheWholeGridReadsIt) {
    const grid_spec g = two_channels(3, 2, 7);
    const std::string bytes = nanonis_grid(g, ramps(6, 7));
    for (const auto dir :
         {sts::direction::forward, sts::direction::backward, sts::direction::mean}) {
        sts::import_options o;
        o.dir = dir;
        std::vector<sts::imported_spectrum> whole;
        std::string error, warning;
        ASSERT_TRUE(sts::read_spectra("g.3ds", bytes, o, &whole, &error, &warning)) << error;
        ASSERT_EQ(whole.size(), 6u);
        sts::nanonis_grid grid;
        ASSERT_TRUE(grid.open(in_memory(bytes), "g.3ds", o, &error)) << error;
        EXPECT_EQ(grid.spectra_per_pixel(), 1u);
        sts::grid_pixel pixel;
        for (uint64_t p = 0; p < 6; ++p) {
            ASSERT_EQ(grid.read_pixel(p, &pixel), sts::pixel_status::measured);
            const sts::imported_spectrum& s = pixel.spectra.at(0);
            EXPECT_EQ(s.bias, whole[p].bias);
            EXPECT_EQ(s.current, whole[p].current);
            EXPECT_EQ(s.pixel_x, static_cast<int>(p % 3));
            EXPECT_EQ(s.pixel_y, static_cast<int>(p / 3));
            EXPECT_EQ(s.direction, whole[p].direction);
            EXPECT_DOUBLE_EQ(pixel.x_nm, static_cast<double>(static_cast<float>(p) * 1e-9f) * 1e9);
            EXPECT_EQ(pixel.y_nm, 0.0);
        }
    }
}

TEST(GridPixels, SweepAxisAndUnits) {
    grid_spec g = two_channels(1, 1, 5);
    g.extra = "Bias Spectroscopy>Sweep Start (V)=1E-1\r\nBias Spectroscopy>Sweep End (V)=-3E-1\r\n";
    const std::string bytes = nanonis_grid(g, ramps(1, 5));
    sts::import_options o;
    o.bias_scale = 1e3;
    o.current_scale = 1e12;
    sts::nanonis_grid grid;
    std::string error;
    ASSERT_TRUE(grid.open(in_memory(bytes), "g", o, &error)) << error;
    sts::grid_pixel pixel;
    ASSERT_EQ(grid.read_pixel(0, &pixel), sts::pixel_status::measured);
    // The header's decimal ends, not the float32 ones, in even steps.
    std::vector<double> bias;
    for (int k = 0; k < 5; ++k) bias.push_back((0.1 + (-0.3 - 0.1) * k / 4) * 1e3);
    EXPECT_EQ(pixel.spectra[0].bias, bias);
    EXPECT_NE(bias[0], static_cast<double>(0.1f) * 1e3);
    EXPECT_EQ(pixel.spectra[0].current[0], static_cast<double>(1e-10f * -2) * 1.0 * 1e12);
}

TEST(GridPixels, MissingAndUnmeasured) {
    const grid_spec g = two_channels(2, 2, 3);
    pixel_values values = ramps(4, 3);
    values[1][0] = {NAN, NAN, NAN};  // forward never measured; backward is
    values[2][0] = {NAN, NAN, NAN};
    values[2][1] = {NAN, NAN, NAN};
    std::string bytes = nanonis_grid(g, values);
    bytes.resize(bytes.size() - 5);  // the last pixel cut short
    sts::nanonis_grid grid;
    std::string error;
    ASSERT_TRUE(grid.open(in_memory(bytes), "g", {}, &error)) << error;
    EXPECT_EQ(grid.complete_pixels(), 3u);
    sts::grid_pixel pixel;
    EXPECT_EQ(grid.read_pixel(0, &pixel), sts::pixel_status::measured);
    EXPECT_EQ(grid.read_pixel(1, &pixel), sts::pixel_status::unmeasured);
    EXPECT_EQ(grid.read_pixel(2, &pixel), sts::pixel_status::unmeasured);
    EXPECT_EQ(grid.read_pixel(3, &pixel), sts::pixel_status::missing);
    EXPECT_EQ(grid.read_pixel(99, &pixel), sts::pixel_status::missing);
    sts::import_options mean;
    mean.dir = sts::direction::mean;
    ASSERT_TRUE(grid.open(in_memory(bytes), "g", mean, &error)) << error;
    // A mean with one half NaN is NaN at every point: not measured either.
    EXPECT_EQ(grid.read_pixel(1, &pixel), sts::pixel_status::unmeasured);
}

TEST(GridPixels, ThreadsShareOneOpenFile) {
    const int nx = 16, ny = 8, points = 64;
    testkit::temp_dir dir;
    testkit::write_file(dir / "g.3ds",
                        nanonis_grid(two_channels(nx, ny, points), ramps(nx * ny, points)));
    std::string error;
    auto file = sts::file_source::open(dir / "g.3ds", &error);
    ASSERT_NE(file, nullptr) << error;
    sts::nanonis_grid grid;
    ASSERT_TRUE(grid.open(std::move(file), "g.3ds", {}, &error)) << error;
    std::vector<sts::imported_spectrum> expected;
    std::string warning;
    ASSERT_TRUE(sts::read_spectra_file(dir / "g.3ds", {}, &expected, &error, &warning)) << error;
    ASSERT_EQ(expected.size(), static_cast<size_t>(nx * ny));
    // Every thread reads every pixel, in its own order, and compares.
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            sts::grid_pixel pixel;
            for (int i = 0; i < nx * ny; ++i) {
                const int p = (i * (2 * t + 1) + t) % (nx * ny);
                if (grid.read_pixel(p, &pixel) != sts::pixel_status::measured ||
                    pixel.spectra[0].current != expected[p].current ||
                    pixel.spectra[0].bias != expected[p].bias)
                    ++mismatches[t];
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

TEST(GridPixels, RealLinePositionsAndHeader) {
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << testkit::no_realdata;
    std::string error;
    auto file = sts::file_source::open(data + "/raw/nanonis2025_Grid_Spectroscopy008.3ds", &error);
    ASSERT_NE(file, nullptr) << error;
    sts::nanonis_grid grid;
    ASSERT_TRUE(grid.open(std::move(file), "line", {}, &error)) << error;
    const sts::grid_header& h = grid.header();
    EXPECT_EQ(h.nx, 32);
    EXPECT_EQ(h.ny, 1);
    EXPECT_EQ(h.points, 401);
    EXPECT_EQ(h.channels.size(), 12u);
    EXPECT_EQ(h.parameter_count, 10);
    EXPECT_EQ(grid.complete_pixels(), 32u);
    ASSERT_NE(h.value("Ext. VI 1>Condition"), nullptr);
    EXPECT_EQ(*h.value("Ext. VI 1>Condition"),
              "17nA depoed for 3min40s\nanneal ramp up to 300 twice.\n");
    // The frame puts each pixel where its measured X and Y say (1.73 nm apart).
    sts::grid_pixel pixel;
    for (long ix = 0; ix < 32; ++ix) {
        ASSERT_EQ(grid.read_pixel(ix, &pixel), sts::pixel_status::measured);
        double x, y;
        ASSERT_TRUE(sts::nominal_position_nm(h, ix, 0, &x, &y));
        EXPECT_NEAR(x, pixel.x_nm, 2e-3) << ix;
        EXPECT_NEAR(y, pixel.y_nm, 2e-3) << ix;
    }
}

TEST(GridPixels, OldSquareGridTurnedIntoItsAxes) {
    // The 30 x 30 grid of 2016 (short header, 45 degrees): its measured
    // positions, turned into the grid's axes, lie on the lattice the header's
    // frame spans, w / nx apart from its corner (within 0.01 nm of drift).
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << testkit::no_realdata;
    std::string error;
    auto file = sts::file_source::open(data + "/raw/nanonis2016_grid_lockin_30x30.3ds", &error);
    ASSERT_NE(file, nullptr) << error;
    sts::nanonis_grid grid;
    ASSERT_TRUE(grid.open(std::move(file), "old", {}, &error)) << error;
    const sts::grid_header& h = grid.header();
    EXPECT_EQ(h.nx, 30);
    EXPECT_EQ(h.ny, 30);
    EXPECT_EQ(h.points, 200);
    EXPECT_EQ(grid.complete_pixels(), 900u);
    EXPECT_DOUBLE_EQ(h.frame.angle, 45.0);
    sts::grid_pixel pixel;
    for (uint64_t p = 0; p < 900; p += 7) {
        ASSERT_EQ(grid.read_pixel(p, &pixel), sts::pixel_status::measured) << p;
        double u = 0, v = 0;
        sts::frame_position_nm(h, pixel.x_nm, pixel.y_nm, &u, &v);
        const double ix = static_cast<double>(p % 30), iy = static_cast<double>(p / 30);
        EXPECT_NEAR(u, h.frame.centre_x - h.frame.width / 2 + ix * h.frame.width / 30, 0.01) << p;
        EXPECT_NEAR(v, h.frame.centre_y - h.frame.height / 2 + iy * h.frame.height / 30, 0.01)
            << p;
    }
    // Without a turn the position stays as measured.
    sts::grid_header flat = h;
    flat.frame.angle = 0;
    double u = 0, v = 0;
    sts::frame_position_nm(flat, 1.25, -3.5, &u, &v);
    EXPECT_EQ(u, 1.25);
    EXPECT_EQ(v, -3.5);
}

// read_pixel_floats against read_pixel rounded to float, pixel by pixel,
// with one scratch space for the whole grid (so that a kept axis must follow
// the pixels' own ends).
void expect_floats_as_read(const std::string& bytes, const sts::import_options& o) {
    sts::nanonis_grid grid;
    std::string error;
    ASSERT_TRUE(grid.open(in_memory(bytes), "g", o, &error)) << error;
    sts::grid_pixel doubles, floats;
    std::vector<float> bias, current, signal;
    for (uint64_t p = 0; p < grid.header().pixels() + 1; ++p) {
        const sts::pixel_status expected = grid.read_pixel(p, &doubles);
        ASSERT_EQ(grid.read_pixel_floats(p, &floats, &bias, &current, &signal), expected) << p;
        if (expected == sts::pixel_status::unreadable) {
            EXPECT_EQ(floats.error, doubles.error);
        }
        if (expected != sts::pixel_status::measured) {
            EXPECT_TRUE(bias.empty() && current.empty());
            continue;
        }
        EXPECT_EQ(floats.x_nm, doubles.x_nm);
        EXPECT_EQ(floats.y_nm, doubles.y_nm);
        const sts::imported_spectrum& s = doubles.spectra.front();
        ASSERT_EQ(signal.size(), s.signal.size());
        for (size_t k = 0; k < signal.size(); ++k)
            EXPECT_EQ(signal[k], static_cast<float>(s.signal[k])) << p << " " << k;
        ASSERT_EQ(bias.size(), s.bias.size());
        ASSERT_EQ(current.size(), s.current.size());
        for (size_t k = 0; k < bias.size(); ++k) {
            EXPECT_EQ(bias[k], static_cast<float>(s.bias[k])) << p << " " << k;
            const float c = static_cast<float>(s.current[k]);
            EXPECT_TRUE(current[k] == c || (std::isnan(current[k]) && std::isnan(c))) << p << " " << k;
        }
    }
}

TEST(GridPixelFloats, EveryDirectionAndUnit) {
    grid_spec g = two_channels(3, 3, 9);
    g.extra = "Bias Spectroscopy>Sweep Start (V)=1E-1\r\nBias Spectroscopy>Sweep End (V)=-3E-1\r\n";
    pixel_values values = ramps(9, 9);
    values[4][0][3] = NAN;                           // a sweep cut short
    values[5][0] = std::vector<float>(9, NAN);       // forward never measured
    const std::string bytes = nanonis_grid(g, values);
    for (const auto dir : {sts::direction::forward, sts::direction::backward, sts::direction::mean})
        for (const double scale : {1.0, 1e3}) {
            sts::import_options o;
            o.dir = dir;
            o.bias_scale = scale;
            o.current_scale = scale * 1e9;
            expect_floats_as_read(bytes, o);
        }
}

TEST(GridPixelFloats, PixelsWithAxesOfTheirOwn) {
    grid_spec g = two_channels(4, 2, 7);
    // Ends that change, come back and repeat; one pixel that does not sweep
    // between two that do on the same ends as it.
    const std::vector<float> ends = {1.0f, 1.0f, -0.5f, 1.0f, 0.0f, 0.0f, 0.25f, 0.0f};
    g.end_of = [ends](long p) { return ends[static_cast<size_t>(p)]; };
    g.start = 0.0f;
    g.written = 7;  // the last pixel missing
    const std::string bytes = nanonis_grid(g, ramps(8, 7));
    expect_floats_as_read(bytes, {});
    sts::import_options mean;
    mean.dir = sts::direction::mean;
    expect_floats_as_read(bytes, mean);
}

TEST(GridPixelFloats, AMeasuredSignalTakesTheGeneralRoad) {
    grid_spec g = two_channels(2, 2, 5);
    g.channels = {"Current (A)", "LockIn (V)"};
    const std::string bytes = nanonis_grid(g, ramps(4, 5));
    sts::import_options o;
    o.signal_channel = "LockIn";
    expect_floats_as_read(bytes, o);
}

TEST(GridPixelFloats, NumberedSweepsAveragedOrEach) {
    grid_spec g;
    g.nx = 2;
    g.ny = 2;
    g.points = 6;
    g.channels = {"Current [00001] (A)", "Current [00002] (A)", "Current [00003] (A)"};
    g.start = -0.2f;
    g.end = 0.7f;
    pixel_values values;
    for (int p = 0; p < 4; ++p) {
        std::vector<std::vector<float>> channels;
        for (int c = 0; c < 3; ++c) {
            std::vector<float> v;
            for (int k = 0; k < 6; ++k) v.push_back(1.1e-10f * static_cast<float>((c + 1) * k - p) / 3.0f);
            channels.push_back(v);
        }
        values.push_back(channels);
    }
    const std::string bytes = nanonis_grid(g, values);
    expect_floats_as_read(bytes, {});
    sts::import_options each;
    each.each_sweep = true;  // three spectra a pixel: the first is taken
    expect_floats_as_read(bytes, each);
}

TEST(GridPixels, APixelThatDoesNotSweepIsRefused) {
    testkit::nanonis_grid_layout g;
    g.nx = 2;
    g.start = g.end = 0.5f;
    const std::vector<std::vector<float>> pixel = {{1e-9f, 2e-9f, 3e-9f}};
    const std::string bytes = nanonis_grid(g, testkit::grid_pixel_values{pixel, pixel});
    std::vector<sts::imported_spectrum> out;
    std::string error, warning;
    EXPECT_FALSE(sts::read_spectra("g", bytes, {}, &out, &error, &warning));
    EXPECT_EQ(error, "Nanonis .3ds: pixel 0: not a bias sweep: the bias is 0.5 V at all 3 points");
}

}  // namespace
