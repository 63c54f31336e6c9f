// The lock-in calibrated from the recorded modulation (--lockin-cal), the
// summary's comparison of the scales, a channel in a unit that is no
// current or voltage (--force) and the warning for an --exp-width wider
// than the sweep, end to end.  Values against NumPy
// (tests/lockin_check.py's amplitude mode) and hand-worked figures.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stsgrid/tests/run_in.h"
#include "testkit/instrument_files.h"
#include "testkit/testkit.h"

namespace {

using stsgrid_tests::run_in;
using stsgrid_tests::stsgrid;
using testkit::temp_dir;

constexpr double modulation = 2e-3;  // V, zero to peak

// A 3 x 2 grid of I = (V + V^3) nA (1 + p / 10) from -0.5 to 0.5 V, whose
// lock-in "LI Demod 1 X (A)" is that dI/dV times the 2 mV modulation the
// header records, beside a phase channel in degrees.
std::string lockin_grid(const std::string& header_lines) {
    testkit::nanonis_grid_layout g = testkit::raster_grid(3, 2, 101);
    g.channels = {"Current (A)", "LI Demod 1 X (A)", "Phase (deg)"};
    g.extra = header_lines;
    return testkit::nanonis_grid(g, [](long p, int c, long k) {
        const double v = -0.5 + static_cast<double>(k) / 100.0;
        const double size = 1.0 + static_cast<double>(p) / 10.0;
        if (c == 0) return static_cast<float>(1e-9 * (v + v * v * v) * size);
        if (c == 1) return static_cast<float>(modulation * 1e-9 * (1 + 3 * v * v) * size);
        return static_cast<float>(10.0 * static_cast<double>(k));
    });
}

const std::string recorded =
    "Lock-in>Lock-in status=ON\r\nLock-in>Modulated signal=\"Bias (V)\"\r\n"
    "Lock-in>Amplitude=2E-3\r\nLock-in>Demodulated signal=\"Current (A)\"\r\n"
    "Lock-in>Harmonic D1=1\r\n";

// The figure after `key` in text ("ratio 1.03" -> 1.03), NaN without it.
double figure(const std::string& text, const std::string& key) {
    const size_t at = text.find(key + " ");
    return at == std::string::npos ? NAN : std::stod(text.substr(at + key.size() + 1));
}

bool have_numpy() {
    return testkit::python_imports("numpy") && testkit::python_imports("netCDF4");
}

TEST(LockinCal, AmplitudeGivesTheScaleAndTheSummaryComparesTheFit) {
    if (!have_numpy()) GTEST_FAIL() << testkit::missing_package("python3-numpy, python3-netcdf4");
    temp_dir dir;
    testkit::write_file(dir / "g.3ds", lockin_grid(recorded));
    const std::string channel = "--didv-channel=LI Demod 1 X (A)";
    const auto a = stsgrid(dir, {"--no-progress", channel, "--lockin-cal=amplitude", "-o", "a.nc",
                                 "g.3ds"});
    ASSERT_EQ(a.status, 0) << a.err;
    // 1e9 nA/A over 2 mV: 5e11 nA/V per A; the numerical dI/dV of the cubic
    // agrees with its exact derivative to a part in 1e4 or so.
    EXPECT_NE(a.out.find("stsgrid: lock-in scale (nA/V per A): fitted "), std::string::npos) << a.out;
    EXPECT_NE(a.out.find(", from the 2 mV zero-to-peak modulation (Lock-in>Amplitude) 5e+11: ratio "),
              std::string::npos)
        << a.out;
    EXPECT_NEAR(figure(a.out, "ratio"), 1.0, 1e-3) << a.out;
    const auto c = run_in(dir, {"/usr/bin/python3", LOCKIN_CHECK, "g.3ds", "a.nc",
                                "LI Demod 1 X (A)", "fwd", "amplitude"});
    EXPECT_EQ(c.status, 0) << c.out << c.err;
    EXPECT_NEAR(figure(c.out, "amplitude"), 5e11, 1) << c.out;
    // The fit's run says the same of the two scales, and writes what it always did.
    const auto f = stsgrid(dir, {"--no-progress", channel, "--lockin-cal=fit", "-o", "f.nc", "g.3ds"});
    ASSERT_EQ(f.status, 0) << f.err;
    EXPECT_NEAR(figure(f.out, "ratio"), figure(a.out, "ratio"), 1e-6) << f.out;
    const auto plain = stsgrid(dir, {"--no-progress", channel, "-o", "p.nc", "g.3ds"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out.find("lock-in scale"), std::string::npos) << plain.out;
    EXPECT_TRUE(testkit::read_file(dir / "p.nc") == testkit::read_file(dir / "f.nc"));
    // A fit per pixel is compared by the median of its six scales.
    const auto px = stsgrid(dir, {"--no-progress", channel, "--lockin-fit=pixel", "--lockin-min-r2=0",
                                  "--lockin-cal=fit", "-o", "x.nc", "g.3ds"});
    EXPECT_NE(px.out.find("fitted per pixel, median "), std::string::npos) << px.out;
    EXPECT_NE(px.out.find(" over 6 pixels), from the 2 mV"), std::string::npos) << px.out;
    EXPECT_NEAR(figure(px.out, "ratio of the median"), 1.0, 1e-3) << px.out;
}

TEST(LockinCal, WithoutAUsableModulationAmplitudeIsRefused) {
    temp_dir dir;
    const std::string channel = "--didv-channel=LI Demod 1 X (A)";
    std::string second = recorded;
    second.replace(second.find("Harmonic D1=1"), 13, "Harmonic D1=2");
    testkit::write_file(dir / "none.3ds", lockin_grid(""));
    testkit::write_file(dir / "h2.3ds", lockin_grid(second));
    auto r = stsgrid(dir, {"--no-progress", channel, "--lockin-cal=amplitude", "none.3ds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--lockin-cal=amplitude cannot calibrate channel 'LI Demod 1 X (A)': the "
                         "header records no Lock-in>Amplitude"),
              std::string::npos)
        << r.err;
    r = stsgrid(dir, {"--no-progress", channel, "--lockin-cal=amplitude", "h2.3ds"});
    EXPECT_NE(r.err.find("detects harmonic 2"), std::string::npos) << r.err;
    // The fit's summary says why there is nothing to compare.
    r = stsgrid(dir, {"--no-progress", channel, "--lockin-cal=fit", "-o", "n.nc", "none.3ds"});
    EXPECT_NE(r.out.find("; none from the modulation: the header records no"), std::string::npos)
        << r.out;
}

// The options' needs, a phase refused unless forced (and never calibrated
// by the modulation), and the warning for the default --exp-width, 1.33 V,
// against this sweep's 1 V: the run goes on.
TEST(LockinCal, OptionsPhaseAndBroadening) {
    temp_dir dir;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--lockin-cal=amplitude", "g.3ds"},
          {"--didv-channel=L", "--lockin-cal=peak", "g.3ds"},
          {"--force", "g.3ds"},
          {"--didv-channel=L", "--force=yes", "g.3ds"},
          {"--didv-channel=L", "--lockin-cal=amplitude", "--lockin-fit=pixel", "g.3ds"}})
        EXPECT_EQ(stsgrid(dir, args).status, 2) << args.front() << " " << args[1];
    testkit::write_file(dir / "g.3ds", lockin_grid(recorded));
    auto r = stsgrid(dir, {"--no-progress", "--didv-channel=Phase (deg)", "g.3ds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("channel 'Phase (deg)' is in 'deg', neither a current nor a voltage"),
              std::string::npos)
        << r.err;
    const std::string phase = "--didv-channel=Phase (deg)";
    EXPECT_EQ(stsgrid(dir, {"--no-progress", "--force", phase, "-o", "p.nc", "g.3ds"}).status, 0);
    r = stsgrid(dir, {"--no-progress", "--force", phase, "--lockin-cal=amplitude", "g.3ds"});
    EXPECT_NE(r.err.find("the channel is in 'deg', no current"), std::string::npos) << r.err;
    r = stsgrid(dir, {"--no-progress", "-o", "d.nc", "g.3ds"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("stsgrid: warning: --exp-width 1.33 V is wider than the sweep (-0.5 to "
                         "0.5 V, a span of 1 V)"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(stsgrid(dir, {"--no-progress", "--exp-width=0.5", "-o", "e.nc", "g.3ds"}).err, "");
}

std::string raw_file(const char* name) { return testkit::realdata_dir() + "/raw/" + name; }

// The real grids: the Pb line's header records a 10 mV modulation with the
// lock-in OFF, 168 times the fitted scale's; the 30 x 30 grid of 2016
// records none.
TEST(LockinCal, RealGrids) {
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << testkit::no_realdata;
    if (!have_numpy()) GTEST_FAIL() << testkit::missing_package("python3-numpy, python3-netcdf4");
    temp_dir dir;
    const std::string line = raw_file("nanonis2025_Grid_Spectroscopy008.3ds");
    auto r = stsgrid(dir, {"--no-progress", "-d", "mean", "--didv-channel=LIR 1 omega (A)",
                           "--lockin-cal=amplitude", "-o", "pb.nc", line});
    ASSERT_EQ(r.status, 0) << r.err;
    std::printf("%s", r.out.c_str());
    EXPECT_NE(r.out.find("from the 10 mV zero-to-peak modulation (Lock-in>Amplitude) 1e+11: ratio "
                         "168; the header records the lock-in as OFF"),
              std::string::npos)
        << r.out;
    auto c = run_in(dir, {"/usr/bin/python3", LOCKIN_CHECK, line, "pb.nc", "LIR 1 omega (A)",
                          "mean", "amplitude"});
    EXPECT_EQ(c.status, 0) << c.out << c.err;
    EXPECT_NEAR(figure(c.out, "ratio"), 168.349, 0.01) << c.out;
    const std::string sim = raw_file("nanonis_simulator_grid_bwd_5x6.3ds");
    r = stsgrid(dir, {"--no-progress", "-d", "mean", "--didv-channel=LI Demod 1 X (A)",
                      "--lockin-cal=amplitude", "-o", "sim.nc", sim});
    ASSERT_EQ(r.status, 0) << r.err;
    c = run_in(dir, {"/usr/bin/python3", LOCKIN_CHECK, sim, "sim.nc", "LI Demod 1 X (A)", "mean",
                     "amplitude"});
    EXPECT_EQ(c.status, 0) << c.out << c.err;
    EXPECT_NEAR(figure(r.out, "ratio"), figure(c.out, "ratio"), 2e-3) << r.out << c.out;
    r = stsgrid(dir, {"--no-progress", "--didv-channel=LockinX (V)", "--lockin-cal=amplitude",
                      raw_file("nanonis2016_grid_lockin_30x30.3ds")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the header records no Lock-in>Amplitude"), std::string::npos) << r.err;
}

}  // namespace
