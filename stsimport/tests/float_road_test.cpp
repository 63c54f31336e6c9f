// The two roads from an instrument file to a float: the text that stsimport
// writes, read back by strtof (as normspec reads it), and the reader's
// double cast straight to float (as a tool reading the grid itself does).
// They must meet at the same float for every value.
#include <cmath>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "readers/read_spectra.h"
#include "testkit/instrument_files.h"
#include "testkit/testkit.h"

namespace {

using testkit::read_file;
using testkit::temp_dir;

struct comparison {
    size_t values = 0;
    size_t differing = 0;         // strtof(text) != float(double): must stay 0
    size_t double_road_differs = 0;  // what "%.9g" of the double would have given
};

void compare_file(const std::string& text, const sts::imported_spectrum& s, comparison* c) {
    const char* p = text.c_str();
    for (size_t k = 0; k < s.bias.size(); ++k) {
        for (double v : {s.bias[k], s.current[k]}) {
            char* end = nullptr;
            const float read = std::strtof(p, &end);
            if (end == p) return;
            p = end;
            ++c->values;
            const float direct = static_cast<float>(v);
            if (!(read == direct || (read != read && direct != direct))) ++c->differing;
            if (std::strtof(testkit::format("%.9g", v).c_str(), nullptr) != direct)
                ++c->double_road_differs;
        }
    }
}

// Imports `input` with the arguments into a fresh folder and compares every
// output file with the reader's spectra for the same options.
comparison both_roads(const std::string& input, const std::vector<std::string>& args,
                      const sts::import_options& o) {
    temp_dir dir;
    std::vector<std::string> argv = {STSIMPORT_BIN, "-o", dir / "out"};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(input);
    const auto r = testkit::run(argv);
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<sts::imported_spectrum> spectra;
    std::string error, warning;
    EXPECT_TRUE(sts::read_spectra_file(input, o, &spectra, &error, &warning)) << error;
    comparison c;
    for (size_t k = 0; k < spectra.size(); ++k)
        compare_file(read_file(dir / ("out/s" + std::to_string(k + 1))), spectra[k], &c);
    EXPECT_EQ(c.values, 2 * spectra.size() * (spectra.empty() ? 0 : spectra[0].bias.size()));
    return c;
}

TEST(FloatRoads, RealGridMeetsAtTheSameFloat) {
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << testkit::no_realdata;
    const std::string grid = data + "/raw/nanonis2025_Grid_Spectroscopy008.3ds";
    comparison c = both_roads(grid, {}, {});
    EXPECT_EQ(c.values, 32u * 401 * 2);
    EXPECT_EQ(c.differing, 0u);
    EXPECT_GT(c.double_road_differs, 0u);  // "%.9g" of the double differs here
    sts::import_options o;
    o.dir = sts::direction::mean;
    o.bias_scale = 1e3;
    o.current_scale = 1e12;
    c = both_roads(grid, {"-d", "mean", "--bias-unit", "mV", "--current-unit", "pA"}, o);
    EXPECT_EQ(c.differing, 0u);
}

TEST(FloatRoads, EveryRealFileMeetsAtTheSameFloat) {
    // The shortest text of each float reads back as that float, so normspec
    // reads from every real file the values it read from the nine-digit text.
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << testkit::no_realdata;
    sts::import_options input3, mean, each_bwd;
    input3.channel = "Input 3";
    mean.dir = sts::direction::mean;
    each_bwd.each_sweep = true;
    each_bwd.dir = sts::direction::backward;
    const std::vector<std::tuple<std::string, std::vector<std::string>, sts::import_options>>
        cases = {{"nanonis2015_Bias-Spectroscopy002.dat", {"-c", "Input 3"}, input3},
                 {"nanonis2023_STS_generic_4_5.dat", {}, {}},
                 {"nanonis_sts_15mV_sweeps_avg_bwd.dat", {"--each-sweep", "-d", "bwd"}, each_bwd},
                 {"createc2018_A180524.133727.VERT", {"-d", "mean"}, mean},
                 {"createc2020_A201222.074639_parvert32.VERT", {}, {}},
                 {"nanonis2016_grid_lockin_30x30.3ds", {}, {}},
                 {"nanonis_simulator_grid_bwd_5x6.3ds", {"-d", "mean"}, mean}};
    for (const auto& [file, args, o] : cases) {
        const comparison c = both_roads(data + "/raw/" + file, args, o);
        EXPECT_GT(c.values, 0u) << file;
        EXPECT_EQ(c.differing, 0u) << file;
    }
}

TEST(FloatRoads, GeneratedGridMeetsAtTheSameFloat) {
    // Random float32 currents of every size, an odd sweep, both units.
    const int pixels = 40, points = 257;
    testkit::nanonis_grid_layout g;
    g.nx = pixels;
    g.points = points;
    g.start = -0.0123f;
    g.end = 0.0371f;
    testkit::grid_pixel_values values;
    const auto r = testkit::random_floats(static_cast<size_t>(pixels * points), 5);
    for (int p = 0; p < pixels; ++p) {
        std::vector<float> current;
        for (int k = 0; k < points; ++k)
            current.push_back(r[p * points + k] *
                              std::pow(10.0f, -8.0f - static_cast<float>(p % 5)));
        values.push_back({current});
    }
    temp_dir dir;
    testkit::write_file(dir / "g.3ds", testkit::nanonis_grid(g, values));
    comparison c = both_roads(dir / "g.3ds", {}, {});
    EXPECT_EQ(c.differing, 0u);
    EXPECT_GT(c.double_road_differs, 0u);
    sts::import_options o;
    o.bias_scale = 1e3;
    o.current_scale = 1e12;
    c = both_roads(dir / "g.3ds", {"--bias-unit", "mV", "--current-unit", "pA"}, o);
    EXPECT_EQ(c.differing, 0u);
}

}  // namespace
