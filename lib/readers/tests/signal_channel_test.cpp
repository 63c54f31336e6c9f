// A measured dI/dV channel read beside the current, and one numbered sweep
// picked: the same direction and sweep rule for both, checked on hand-made
// tables and on real files.
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "readers/nanonis_grid.h"
#include "readers/read_spectra.h"
#include "testkit/testkit.h"

namespace {

// Bias, then current and lock-in with two numbered sweeps and an average,
// forward and backward; every value tells its column apart.
const std::string table =
    "Experiment\tbias spectroscopy\n\n[DATA]\n"
    "Bias calc (V)\tCurrent [AVG] (A)\tLockIn [AVG] (V)\tCurrent [00001] (A)\tLockIn [00001] (V)\t"
    "Current [00002] (A)\tLockIn [00002] (V)\tCurrent [AVG] [bwd] (A)\tLockIn [AVG] [bwd] (V)\t"
    "Current [00001] [bwd] (A)\tLockIn [00001] [bwd] (V)\tCurrent [00002] [bwd] (A)\t"
    "LockIn [00002] [bwd] (V)\n"
    "-1\t1E-9\t10\t2E-9\t20\t3E-9\t30\t4E-9\t40\t5E-9\t50\t6E-9\t60\n"
    "1\t7E-9\t70\t8E-9\t80\t9E-9\t90\t10E-9\t100\t11E-9\t110\t12E-9\t120\n";

std::vector<sts::imported_spectrum> read_ok(const std::string& bytes, const sts::import_options& o) {
    std::vector<sts::imported_spectrum> out;
    std::string error, warning;
    EXPECT_TRUE(sts::read_spectra("f", bytes, o, &out, &error, &warning)) << error;
    return out;
}

std::string refusal(const std::string& bytes, const sts::import_options& o) {
    std::vector<sts::imported_spectrum> out;
    std::string error, warning;
    EXPECT_FALSE(sts::read_spectra("f", bytes, o, &out, &error, &warning));
    return error;
}

sts::import_options with_signal(sts::direction d, int sweep = 0) {
    sts::import_options o;
    o.signal_channel = "LockIn (V)";
    o.dir = d;
    o.sweep = sweep;
    return o;
}

TEST(SignalChannel, FollowsTheCurrentsDirectionAndSweep) {
    using sts::direction;
    auto one = [](const sts::import_options& o) { return read_ok(table, o).at(0); };
    // The average column where there is one, forward.
    auto s = one(with_signal(direction::forward));
    EXPECT_NEAR(s.current[0], 1.0, 1e-12);
    EXPECT_EQ(s.signal, (std::vector<double>{10, 70}));
    // Backward: the [bwd] twin.
    s = one(with_signal(direction::backward));
    EXPECT_NEAR(s.current[1], 10.0, 1e-12);
    EXPECT_EQ(s.signal, (std::vector<double>{40, 100}));
    // The mean of both directions: (10 + 40) / 2 and (70 + 100) / 2.
    s = one(with_signal(direction::mean));
    EXPECT_NEAR(s.current[0], 2.5, 1e-12);
    EXPECT_EQ(s.signal, (std::vector<double>{25, 85}));
    // Sweep 2 alone, and its mean with its backward twin.
    s = one(with_signal(direction::forward, 2));
    EXPECT_NEAR(s.current[0], 3.0, 1e-12);
    EXPECT_EQ(s.signal, (std::vector<double>{30, 90}));
    s = one(with_signal(direction::mean, 2));
    EXPECT_NEAR(s.current[1], 10.5, 1e-12);
    EXPECT_EQ(s.signal, (std::vector<double>{45, 105}));
    // Without the channel asked for, no signal is read.
    EXPECT_TRUE(one(sts::import_options{}).signal.empty());
}

TEST(SignalChannel, NumberedSweepsWithoutAnAverageAreAveraged) {
    // The table without its [AVG] columns: the mean of [00001] and [00002].
    std::string no_avg = "Experiment\tbias spectroscopy\n\n[DATA]\n"
                         "Bias calc (V)\tCurrent [00001] (A)\tLockIn [00001] (V)\t"
                         "Current [00002] (A)\tLockIn [00002] (V)\n"
                         "-1\t2E-9\t20\t3E-9\t31\n1\t8E-9\t80\t9E-9\t90\n";
    const auto s = read_ok(no_avg, with_signal(sts::direction::forward)).at(0);
    EXPECT_NEAR(s.current[0], 2.5, 1e-12);
    EXPECT_EQ(s.signal, (std::vector<double>{25.5, 85}));
    sts::import_options each = with_signal(sts::direction::forward);
    each.each_sweep = true;
    const auto both = read_ok(no_avg, each);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[1].signal, (std::vector<double>{31, 90}));
}

TEST(SignalChannel, MissingChannelsAndSweepsAreRefusedWithWhatThereIs) {
    sts::import_options o = with_signal(sts::direction::forward);
    o.signal_channel = "LockinX (V)";
    EXPECT_EQ(refusal(table, o),
              "Nanonis .dat: no channel 'LockinX (V)' for dI/dV (the channels are "
              "\"Current (A)\", \"LockIn (V)\")");
    o.signal_channel = "LockIn (A)";  // the unit, when given, must agree
    EXPECT_NE(refusal(table, o).find("no channel 'LockIn (A)'"), std::string::npos);
    EXPECT_EQ(refusal(table, with_signal(sts::direction::forward, 3)),
              "Nanonis .dat: no forward sweep 3 of channel 'Current' (its numbered sweeps are "
              "1, 2)");
    sts::import_options both = with_signal(sts::direction::forward, 1);
    both.each_sweep = true;
    EXPECT_NE(refusal(table, both).find("exclude each other"), std::string::npos);
    sts::import_options pairs;
    pairs.signal_channel = "LockIn";
    EXPECT_NE(refusal("1 2\n3 4\n", pairs).find("is read from Nanonis .dat and .3ds files"),
              std::string::npos);
}

// The simulator's grid: both demodulators have [bwd] twins; -d mean gives
// the mean of the two float32 values of each point, as stored.
TEST(SignalChannel, RealGridBackwardAndMean) {
    const std::string path = testkit::realdata_dir() + "/raw/nanonis_simulator_grid_bwd_5x6.3ds";
    std::ifstream in(path, std::ios::binary);
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << testkit::no_realdata;
    ASSERT_TRUE(in) << "no " << path;
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string held = bytes.str();  // the source views these bytes
    auto source = std::make_shared<sts::memory_source>(held);
    sts::grid_pixel fwd, bwd, mean;
    for (auto [d, p] : {std::pair{sts::direction::forward, &fwd},
                        std::pair{sts::direction::backward, &bwd},
                        std::pair{sts::direction::mean, &mean}}) {
        sts::nanonis_grid grid;
        std::string error;
        ASSERT_TRUE(grid.open(source, "g", with_signal(d), &error) == false);
        EXPECT_NE(error.find("\"LI Demod 1 X (A)\""), std::string::npos) << error;
        sts::import_options o = with_signal(d);
        o.signal_channel = "LI Demod 1 X (A)";
        ASSERT_TRUE(grid.open(source, "g", o, &error)) << error;
        ASSERT_EQ(grid.read_pixel(7, p), sts::pixel_status::measured);
    }
    const auto& f = fwd.spectra.at(0);
    const auto& b = bwd.spectra.at(0);
    const auto& m = mean.spectra.at(0);
    ASSERT_EQ(f.signal.size(), 256u);
    bool differ = false;
    for (size_t k = 0; k < 256; ++k) {
        EXPECT_EQ(m.signal[k], (f.signal[k] + b.signal[k]) / 2.0);
        differ = differ || f.signal[k] != b.signal[k];
        EXPECT_EQ(static_cast<double>(static_cast<float>(f.signal[k])), f.signal[k]);
    }
    EXPECT_TRUE(differ);
}

TEST(SignalChannel, OtherFormatsNameTheirChannels) {
    const std::string data = testkit::realdata_dir() + "/raw/";
    sts::import_options o;
    o.signal_channel = "LIA Current";
    for (const char* name : {"createc2019_A190824.135614_4ch.VERT", "rhk2020_abc6_didv_map.sm4"}) {
        std::vector<sts::imported_spectrum> out;
        std::string error, warning;
        if (testkit::realdata_dir().empty()) GTEST_SKIP() << testkit::no_realdata;
        ASSERT_TRUE(std::ifstream(data + name)) << "no " << data + name;
        EXPECT_FALSE(sts::read_spectra_file(data + name, o, &out, &error, &warning)) << name;
        EXPECT_NE(error.find("is not read from"), std::string::npos) << error;
        // The channels there are.
        EXPECT_TRUE(error.find("columns:") != std::string::npos ||
                    error.find("spectral pages are") != std::string::npos)
            << error;
    }
}

}  // namespace
