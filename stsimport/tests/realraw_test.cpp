// The real instrument files beside the project (skipped when absent): the
// imported curves equal the reference conversions to float precision.
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "testkit/testkit.h"
#include "stsimport/tests/run_stsimport.h"

namespace {

using testkit::read_file;
using testkit::temp_dir;

std::vector<float> numbers(const std::string& text) {
    std::vector<float> values;
    const char* p = text.c_str();
    float v;
    int used;
    while (std::sscanf(p, "%f%n", &v, &used) == 1) {
        values.push_back(v);
        p += used;
    }
    return values;
}

void expect_same_floats(const std::string& ours, const std::string& reference, const std::string& what) {
    const auto a = numbers(ours), b = numbers(reference);
    ASSERT_EQ(a.size(), b.size()) << what;
    ASSERT_GT(a.size(), 100u) << what;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::isnan(a[i]) && std::isnan(b[i])) continue;
        ASSERT_LE(std::fabs(a[i] - b[i]), std::fabs(b[i]) * 1.2e-7f) << what << " value " << i;
    }
}

testkit::outcome import(const temp_dir& dir, std::vector<std::string> args) {
    return stsimport_tests::stsimport(dir, std::move(args));
}

TEST(RealRaw, NanonisBiasSpectroscopy) {
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << testkit::no_realdata;
    temp_dir dir;
    auto r = import(dir, {"-o", "a", data + "/raw/nanonis2023_STS_generic_4_5.dat"});
    ASSERT_EQ(r.status, 0) << r.err;
    expect_same_floats(read_file(dir / "a/s1"), read_file(data + "/nanonis2023_pm3V.txt"), "pm3V");
    r = import(dir, {"-o", "b", "-c", "Input 3", data + "/raw/nanonis2015_Bias-Spectroscopy002.dat"});
    ASSERT_EQ(r.status, 0) << r.err;
    expect_same_floats(read_file(dir / "b/s1"), read_file(data + "/nanonis2015_input3.txt"), "input3");
}

TEST(RealRaw, CreatecPointSpectrum) {
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << testkit::no_realdata;
    temp_dir dir;
    // The forward half of the 10000 rows, 20-bit ADC counts through 10^9 V/A.
    const auto r = import(dir, {data + "/raw/createc2018_A180524.133727.VERT"});
    ASSERT_EQ(r.status, 0) << r.err;
    expect_same_floats(read_file(dir / "s1"), read_file(data + "/createc2018_lhe_zramp_1.txt"),
                       "zramp_1");
    EXPECT_EQ(numbers(read_file(dir / "s1")).size(), 2u * 5000);
}

TEST(RealRaw, NanonisGridLine) {
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << testkit::no_realdata;
    temp_dir dir;
    const auto r = import(dir, {"-n", "stxt", data + "/raw/nanonis2025_Grid_Spectroscopy008.3ds"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string index = read_file(dir / "stsimport-index.tsv");
    for (int k = 1; k <= 10; ++k) {
        // reference curve k is pixel 15 + k of the 32 x 1 line
        const int pixel = 15 + k;
        const std::string name = "stxt" + std::to_string(pixel + 1) + "p.txt";
        EXPECT_NE(index.find(name + "\t" + data + "/raw/nanonis2025_Grid_Spectroscopy008.3ds\t" +
                             std::to_string(pixel) + "\t0\t-\tfwd\n"),
                  std::string::npos);
        expect_same_floats(read_file(dir / name),
                           read_file(data + "/nanonis2025_pbline_" + std::to_string(k) + ".txt"),
                           "pbline " + std::to_string(k));
    }
}

TEST(RealRaw, OmicronMatrixCurvesAndExports) {
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << testkit::no_realdata;
    temp_dir dir;
    const std::string session = data + "/raw/omicron_matrix_2014/2014Sep30-111118";
    // 189 points from -10.0009 V to 10.0009 V, some -30 pA at the start.
    auto r = import(dir, {"-o", "a", session + "--1_1.I(V)_mtrx", session + "--4_1.I(V)_mtrx"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto first = numbers(read_file(dir / "a/s1"));
    ASSERT_EQ(first.size(), 2u * 189);
    EXPECT_NEAR(first[0], -10.0009f, 2e-6f);
    EXPECT_NEAR(first[2 * 188], 10.0009f, 2e-6f);
    EXPECT_NEAR(first[1], -0.0303181f, 1e-6f);
    EXPECT_EQ(numbers(read_file(dir / "a/s2")).size(), 2u * 1421);
    // Stopped on the way back: the forward sweep is kept, and the status says so.
    r = import(dir, {"-o", "b", session + "--2_1.I(V)_mtrx"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("506 of its 962 points recorded"), std::string::npos) << r.err;
    EXPECT_EQ(numbers(read_file(dir / "b/s1")).size(), 2u * 481);
    r = import(dir, {"-o", "c", session + "--1_1.I(t)_mtrx"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "stsimport: " + session + "--1_1.I(t)_mtrx: Omicron MATRIX: an I(t) curve, "
                     "current against time: not bias spectroscopy\n");
    r = import(dir, {"-o", "d", "-d", "mean",
                     data + "/raw/omicron_text_2024/default_2024Oct23-151508_STM-STM_Spectroscopy"
                            "--3_1-I(V)_1.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(numbers(read_file(dir / "d/s1")).size(), 2u * 150);
}

}  // namespace
