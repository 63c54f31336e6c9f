// Where a grid's spectra come from, read in-process: a .3ds file pixel by
// pixel with the codes of pixels that are not there, and a list of spectrum
// files as an N x 1 grid.  The files come from the synthetic instrument
// files; the values expected are what the files state, in V and nA.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grid/grid_source.h"
#include "testkit/instrument_files.h"
#include "testkit/testkit.h"

using namespace sts;

namespace {

// Forward current of pixel p at point k, in A: a multiple of 2^-40 A, so
// that the value in nA is known.
float forward_a(long p, long k) { return std::ldexp(static_cast<float>(p * 8 + k + 1), -40); }
float nanoamperes(float a) { return static_cast<float>(static_cast<double>(a) * 1e9); }

// A 3 x 2 grid of 5-point sweeps from -0.5 V to 0.5 V in a frame 6 nm wide
// and 4 nm high, measured 2 nm apart at the centres of its cells; the
// backward channel holds -1 A everywhere.
testkit::nanonis_grid_layout three_by_two() { return testkit::raster_grid(3, 2, 5); }

std::string grid_bytes(const testkit::nanonis_grid_layout& g,
                       float (*forward)(long, long) = forward_a) {
    return testkit::nanonis_grid(
        g, [forward](long p, int c, long k) { return c == 0 ? forward(p, k) : -1.0f; });
}

std::unique_ptr<grid_source> open_one(const std::string& path, std::string* error) {
    return open_grid_source({path}, sts::import_options{}, error);
}

TEST(GridSourceNanonis, SizesAxesAndPixels) {
    testkit::temp_dir dir;
    testkit::write_file(dir / "g.3ds", grid_bytes(three_by_two()));
    std::string error;
    const auto source = open_one(dir / "g.3ds", &error);
    ASSERT_TRUE(source) << error;
    EXPECT_EQ(source->nx(), 3);
    EXPECT_EQ(source->ny(), 2);
    EXPECT_EQ(source->points(), 5);
    grid_description d;
    source->describe(&d);
    // Cells of 2 nm from the frame's corner, each pixel at its cell's centre.
    EXPECT_EQ(d.x, (std::vector<double>{1, 3, 5}));
    EXPECT_EQ(d.y, (std::vector<double>{1, 3}));
    EXPECT_EQ(d.xy_unit, "nm");
    EXPECT_TRUE(d.has_positions);
    EXPECT_EQ(d.source, dir / "g.3ds");
    EXPECT_TRUE(source->same_bias_everywhere());

    pixel_input in;
    source->read(4, &in);  // x 1, y 1: 2 nm and 2 nm from the raster's origin
    EXPECT_EQ(in.code, PIXEL_PROCESSED);
    EXPECT_EQ(in.bias, (std::vector<float>{-0.5f, -0.25f, 0, 0.25f, 0.5f}));
    std::vector<float> want;
    for (long k = 0; k < 5; ++k) want.push_back(nanoamperes(forward_a(4, k)));
    EXPECT_EQ(in.current, want);
    EXPECT_FLOAT_EQ(in.x_nm, 2.0f);
    EXPECT_FLOAT_EQ(in.y_nm, 2.0f);
    // In the axes: on the pixel's x and y.
    EXPECT_FLOAT_EQ(in.frame_x_nm, 3.0f);
    EXPECT_FLOAT_EQ(in.frame_y_nm, 3.0f);
}

TEST(GridSourceNanonis, EachPixelsRecordedNumbers) {
    // Z as topography (nm), the other parameters under names of their own
    // with the unit their name gives (the sweep's ends: the sweep's).
    testkit::nanonis_grid_layout g = three_by_two();
    g.experiment_parameters = {"X (m)", "Y (m)", "Z (m)", "Settling time (s)", "Z-Ctrl hold"};
    g.experiment_of = [](long p) {
        return std::vector<float>{0, 0, -1.5e-9f * static_cast<float>(p), 2e-3f, 1};
    };
    testkit::temp_dir dir;
    testkit::write_file(dir / "g.3ds", grid_bytes(g));
    std::string error;
    const auto source = open_one(dir / "g.3ds", &error);
    ASSERT_TRUE(source) << error;
    grid_description d;
    source->describe(&d);
    EXPECT_TRUE(d.has_topography);
    std::vector<std::string> names, units;
    for (const recorded_parameter& r : d.recorded) {
        names.push_back(r.name);
        units.push_back(r.unit);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"parameter_sweep_start", "parameter_sweep_end",
                                               "parameter_settling_time",
                                               "parameter_z_ctrl_hold"}));
    EXPECT_EQ(units, (std::vector<std::string>{"V", "V", "s", "1"}));
    pixel_input in;
    source->read(4, &in);
    EXPECT_EQ(in.topography_nm, static_cast<float>(static_cast<double>(-1.5e-9f * 4.0f) * 1e9));
    EXPECT_EQ(in.recorded, (std::vector<float>{-0.5f, 0.5f, 2e-3f, 1.0f}));
}

TEST(GridSourceNanonis, PixelsThatAreNotThere) {
    testkit::temp_dir dir;
    testkit::nanonis_grid_layout g = three_by_two();
    g.written = 5;  // the run stopped before the last pixel
    testkit::write_file(dir / "g.3ds", grid_bytes(g, [](long p, long k) {
                            if (p == 1) return NAN;                   // never measured
                            if (p == 2 && k == 4) return NAN;         // a sweep cut short
                            return forward_a(p, k);
                        }));
    std::string error;
    const auto source = open_one(dir / "g.3ds", &error);
    ASSERT_TRUE(source) << error;
    pixel_input in;
    source->read(1, &in);
    EXPECT_EQ(in.code, PIXEL_NOT_MEASURED);
    EXPECT_TRUE(in.bias.empty());
    source->read(5, &in);
    EXPECT_EQ(in.code, PIXEL_MISSING);
    EXPECT_TRUE(std::isnan(in.x_nm));
    // A partly measured pixel is read; the run marks it by its NaN.
    source->read(2, &in);
    EXPECT_EQ(in.code, PIXEL_PROCESSED);
    ASSERT_EQ(in.current.size(), 5u);
    EXPECT_TRUE(std::isnan(in.current[4]));
    EXPECT_EQ(in.current[3], nanoamperes(forward_a(2, 3)));
}

TEST(GridSourceNanonis, AxesThatDifferPerPixel) {
    testkit::temp_dir dir;
    testkit::nanonis_grid_layout g = three_by_two();
    g.end_of = [](long p) { return p == 3 ? 1.5f : 0.5f; };
    testkit::write_file(dir / "g.3ds", grid_bytes(g));
    std::string error;
    const auto source = open_one(dir / "g.3ds", &error);
    ASSERT_TRUE(source) << error;
    EXPECT_FALSE(source->same_bias_everywhere());
    pixel_input in;
    source->read(3, &in);
    EXPECT_EQ(in.bias, (std::vector<float>{-0.5f, 0, 0.5f, 1, 1.5f}));
}

TEST(GridSourceNanonis, HalvesThatAgreeWithinButNotWithEachOther) {
    // The pixels are scanned in two halves; each half is uniform here, and
    // only their firsts tell the axes apart.
    testkit::temp_dir dir;
    testkit::nanonis_grid_layout g = three_by_two();
    g.end_of = [](long p) { return p >= 3 ? 1.5f : 0.5f; };
    testkit::write_file(dir / "g.3ds", grid_bytes(g));
    std::string error;
    const auto source = open_one(dir / "g.3ds", &error);
    ASSERT_TRUE(source) << error;
    EXPECT_FALSE(source->same_bias_everywhere());
}

TEST(GridSourceNanonis, UnreachedPixelsWithZeroEndsDoNotCount) {
    // A grid that stopped early may hold zeros where its last pixels'
    // sweep ends would be.
    testkit::temp_dir dir;
    testkit::nanonis_grid_layout g = three_by_two();
    g.end_of = [](long p) { return p == 5 ? 0.0f : 0.5f; };
    g.start = 0;  // every pixel starts at 0 V here, so pixel 5's ends are both 0
    testkit::write_file(dir / "g.3ds", grid_bytes(g, [](long p, long k) {
                            return p == 5 ? 0.0f : forward_a(p, k);
                        }));
    std::string error;
    const auto source = open_one(dir / "g.3ds", &error);
    ASSERT_TRUE(source) << error;
    EXPECT_TRUE(source->same_bias_everywhere());
}

TEST(GridSourceFiles, EachFileOnePixelOfARow) {
    testkit::temp_dir dir;
    testkit::write_file(dir / "a", "-1 -2\n0 0.5\n1 3\n");
    testkit::write_file(dir / "b", "-1 -4\n1 6\n");
    testkit::write_file(
        dir / "c.dat",
        testkit::nanonis_dat({false,
                              {{"Experiment", "bias spectroscopy"}},
                              {"Bias calc (V)", "Current (A)"},
                              {{"-1E+0", "-2E-9"},
                               {"0E+0", "1E-9"},
                               {"1E+0", "4E-9"},
                               {"2E+0", "8E-9"}},
                              false}));
    std::string error;
    const auto source =
        open_grid_source({dir / "a", dir / "b", dir / "c.dat"}, sts::import_options{}, &error);
    ASSERT_TRUE(source) << error;
    EXPECT_EQ(source->nx(), 3);
    EXPECT_EQ(source->ny(), 1);
    EXPECT_EQ(source->points(), 4);  // the longest spectrum
    grid_description d;
    source->describe(&d);
    EXPECT_EQ(d.x, (std::vector<double>{0, 1, 2}));
    EXPECT_EQ(d.xy_unit, "1");
    EXPECT_FALSE(d.has_positions);
    EXPECT_EQ(d.source, dir / "a" + " ... " + dir / "c.dat");
    EXPECT_FALSE(source->same_bias_everywhere());
    pixel_input in;
    source->read(0, &in);
    EXPECT_EQ(in.code, PIXEL_PROCESSED);
    EXPECT_EQ(in.current, (std::vector<float>{-2, 0.5f, 3}));  // plain pairs: as written
    source->read(2, &in);
    EXPECT_EQ(in.bias, (std::vector<float>{-1, 0, 1, 2}));
    EXPECT_EQ(in.current, (std::vector<float>{-2, 1, 4, 8}));  // A to nA, rounded to float
}

TEST(GridSourceFiles, TooLongAndNeverMeasured) {
    testkit::temp_dir dir;
    // Three numbers a line: no format of its own, so read as normspec reads
    // pairs, of which there are 10001.
    std::string numbers;
    for (int k = 0; k < 2 * 10001; ++k)
        numbers += std::to_string(k % 2 ? 1 : k / 2) + (k % 3 == 2 ? "\n" : " ");
    testkit::write_file(dir / "long", numbers);
    testkit::write_file(
        dir / "nan.dat",
        testkit::nanonis_dat({false,
                              {{"Experiment", "bias spectroscopy"}},
                              {"Bias calc (V)", "Current (A)"},
                              {{"-1E+0", "NaN"}, {"1E+0", "NaN"}},
                              false}));
    std::string error;
    const auto source = open_grid_source({dir / "long", dir / "nan.dat"}, {}, &error);
    ASSERT_TRUE(source) << error;
    pixel_input in;
    source->read(0, &in);
    EXPECT_EQ(in.code, PIXEL_TOO_MANY_POINTS);
    EXPECT_TRUE(in.bias.empty());
    source->read(1, &in);
    EXPECT_EQ(in.code, PIXEL_NOT_MEASURED);
}

TEST(GridSourceFiles, RefusalsNameTheFile) {
    testkit::temp_dir dir;
    testkit::write_file(dir / "a", "1 2\n3 4\n");
    testkit::write_file(dir / "g.3ds", grid_bytes(three_by_two()));
    std::string error;
    EXPECT_FALSE(open_grid_source({dir / "a", dir / "g.3ds"}, {}, &error));
    EXPECT_EQ(error, dir / "g.3ds" + ": a grid must be the only input");
    EXPECT_FALSE(open_grid_source({dir / "a", dir / "none"}, {}, &error));
    EXPECT_EQ(error.rfind(dir / "none" + ": ", 0), 0u) << error;
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    // Several sweeps, each wanted on its own: not one spectrum.
    testkit::write_file(
        dir / "s.dat",
        testkit::nanonis_dat({false,
                              {{"Experiment", "bias spectroscopy"}},
                              {"Bias calc (V)", "Current [00001] (A)", "Current [00002] (A)"},
                              {{"-1E+0", "1E-9", "2E-9"}, {"1E+0", "3E-9", "4E-9"}},
                              false}));
    sts::import_options each;
    each.each_sweep = true;
    EXPECT_FALSE(open_grid_source({dir / "s.dat"}, each, &error));
    EXPECT_EQ(error, dir / "s.dat" + ": holds 2 spectra; stsgrid takes one spectrum from each file "
                                     "(a grid must be the only input)");
    // A damaged grid header.
    std::string cut = grid_bytes(three_by_two());
    cut.replace(cut.find("Points=5"), 8, "Points=x");
    testkit::write_file(dir / "cut.3ds", cut);
    EXPECT_FALSE(open_one(dir / "cut.3ds", &error));
    EXPECT_EQ(error.rfind(dir / "cut.3ds" + ": ", 0), 0u) << error;
}

}  // namespace
