// Omicron MATRIX curves: made-up sessions written byte by byte, the real
// files of 2014 against an independent Python reading, and cut or damaged
// files refused with a reason.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "readers/file_format.h"
#include "readers/omicron_matrix.h"
#include "readers/read_spectra.h"
#include "readers/tests/matrix_bytes.h"
#include "testkit/testkit.h"

namespace {

using matrixtest::session;

struct result {
    bool ok = false;
    std::vector<sts::imported_spectrum> spectra;
    std::string error, warning;
};

result curve(const session& s, uint32_t planned, const std::vector<int32_t>& counts,
             const sts::import_options& o = {}) {
    result r;
    r.ok = sts::read_matrix_curve(s.data_name, matrixtest::data_file(s.key, planned, counts),
                                  matrixtest::parameter_file(s), o, &r.spectra, &r.error,
                                  &r.warning);
    return r;
}

sts::import_options with(sts::direction d, bool each = false) {
    sts::import_options o;
    o.dir = d;
    o.each_sweep = each;
    return o;
}

std::vector<float> as_floats(const std::vector<double>& v) { return {v.begin(), v.end()}; }

// -1, 0, 1 V and back; 1e9 counts an ampere, so counts/1e9 A is counts nA.
const std::vector<int32_t> there_and_back = {-10, 0, 30, 31, 1, -9};

TEST(OmicronMatrix, SweepsThereAndBack) {
    const session s;
    result r = curve(s, 6, there_and_back);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.spectra.size(), 1u);
    EXPECT_EQ(r.spectra[0].bias, (std::vector<double>{-1, 0, 1}));
    EXPECT_EQ(as_floats(r.spectra[0].current), (std::vector<float>{-10, 0, 30}));
    EXPECT_EQ(r.spectra[0].direction, "fwd");
    EXPECT_EQ(r.spectra[0].sweep, "");
    EXPECT_EQ(r.spectra[0].source, s.data_name);
    EXPECT_TRUE(r.warning.empty());
    r = curve(s, 6, there_and_back, with(sts::direction::backward));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.spectra[0].bias, (std::vector<double>{1, 0, -1}));  // as recorded
    EXPECT_EQ(as_floats(r.spectra[0].current), (std::vector<float>{31, 1, -9}));
    r = curve(s, 6, there_and_back, with(sts::direction::mean));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.spectra[0].bias, (std::vector<double>{-1, 0, 1}));
    EXPECT_EQ(as_floats(r.spectra[0].current), (std::vector<float>{-9.5, 0.5, 30.5}));
    EXPECT_EQ(r.spectra[0].direction, "mean");
}

TEST(OmicronMatrix, RepetitionsUnitsAndOneWayRamps) {
    session s;
    s.repetitions = 2;
    const std::vector<int32_t> twice = {-10, 0, 30, 31, 1, -9, -20, 2, 50, 51, 3, -19};
    result r = curve(s, 12, twice, with(sts::direction::forward, true));
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.spectra.size(), 2u);
    EXPECT_EQ(as_floats(r.spectra[1].current), (std::vector<float>{-20, 2, 50}));
    EXPECT_EQ(r.spectra[1].sweep, "2");
    r = curve(s, 12, twice, with(sts::direction::backward));  // the mean of the repetitions
    ASSERT_EQ(r.spectra.size(), 1u);
    EXPECT_EQ(as_floats(r.spectra[0].current), (std::vector<float>{41, 2, -14}));
    sts::import_options units;
    units.bias_scale = 1e3;
    units.current_scale = 1e12;
    r = curve(session(), 6, there_and_back, units);
    EXPECT_EQ(r.spectra[0].bias, (std::vector<double>{-1000, 0, 1000}));
    EXPECT_EQ(as_floats(r.spectra[0].current), (std::vector<float>{-10000, 0, 30000}));
    session one_way;
    one_way.reversal = false;
    r = curve(one_way, 3, {5, 6, 7});
    EXPECT_EQ(as_floats(r.spectra[0].current), (std::vector<float>{5, 6, 7}));
    r = curve(one_way, 3, {5, 6, 7}, with(sts::direction::mean));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "the ramp was not reversed, so there is no backward sweep for the mean");
}

// The current's transfer function as the real files give it:
// (Raw_1 - PreOffset) * (counts - Offset) / (NeutralFactor * PreFactor).
TEST(OmicronMatrix, MultiLinearTransfer) {
    session s;
    s.transfer = "TFF_MultiLinear1D";
    const std::vector<int32_t> counts = {-19747334, 0, 2147483647, 5, -2147483647 - 1, 7};
    sts::import_options o;
    o.current_scale = 1.0;
    const result r = curve(s, 6, counts, o);
    ASSERT_TRUE(r.ok) << r.error;
    for (size_t k = 0; k < 3; ++k)
        EXPECT_EQ(r.spectra[0].current[k], 0.01 * counts[k] / (6.4489e15 * 1.01)) << k;
    EXPECT_FLOAT_EQ(r.spectra[0].current[0], -3.0318063e-11f);
}

TEST(OmicronMatrix, StoppedCurves) {
    const session s;
    result r = curve(s, 6, {-10, 0, 30, 31});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(as_floats(r.spectra[0].current), (std::vector<float>{-10, 0, 30}));
    EXPECT_EQ(r.warning, "a cut curve: 4 of its 6 points recorded (the measurement was stopped); "
                         "its complete forward sweep is read");
    r = curve(s, 6, {-10, 0, 30, 31}, with(sts::direction::backward));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "a cut curve: 4 of its 6 points recorded (the measurement was stopped), "
                       "no complete backward sweep");
    r = curve(s, 6, {-10});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "an almost empty curve: 1 of its 6 points recorded (the measurement was "
                       "stopped), no complete forward sweep");
    EXPECT_TRUE(r.spectra.empty());
}

TEST(OmicronMatrix, WhatIsNotBiasSpectroscopy) {
    auto refused = [](session s, const std::string& data = "",
                      const std::string& parameters = "") {
        std::vector<sts::imported_spectrum> out;
        std::string error, warning;
        EXPECT_FALSE(sts::read_matrix_curve(
            s.data_name, data.empty() ? matrixtest::data_file(s.key, 6, there_and_back) : data,
            parameters.empty() ? matrixtest::parameter_file(s) : parameters, {}, &out, &error,
            &warning));
        EXPECT_TRUE(out.empty());
        return error;
    };
    session time;
    time.data_name = "s--1_1.I(t)_mtrx";
    EXPECT_EQ(refused(time), "an I(t) curve, current against time: not bias spectroscopy");
    time.data_name = "renamed--1_1.curve_mtrx.bin";  // the dictionary knows it all the same
    time.channel = "I(t)";
    time.axis = "Default::Clock2::t2";
    EXPECT_EQ(refused(time), "channel I(t) is recorded against Default::Clock2::t2, not the "
                             "bias: not bias spectroscopy");
    session aux;
    aux.channel = "Aux2(V)";
    aux.unit = "V";
    EXPECT_EQ(refused(aux), "channel Aux2(V) is in V, not a current");
    session image;
    image.data_name = "s--1_1.Z_mtrx";
    EXPECT_EQ(refused(image), "an Omicron MATRIX image (Z), not a spectroscopy curve");
    session other;
    other.data_name = "s--2_1.I(V)_mtrx";
    EXPECT_EQ(refused(other, "", matrixtest::parameter_file(session())),
              "the parameter file s_0001.mtrx records no data file s--2_1.I(V)_mtrx (none of "
              "its BREF blocks names it)");
    session wrong_count;
    EXPECT_EQ(refused(wrong_count, matrixtest::data_file(wrong_count.key, 8, there_and_back)),
              "the data file announces 8 points where its settings make 6 (3 a sweep, there "
              "and back, 1 repetitions)");
    session odd_function;
    odd_function.transfer = "TFF_Polynomial";
    EXPECT_EQ(refused(odd_function), "the current's transfer function TFF_Polynomial is not read");
    EXPECT_EQ(refused(session(), matrixtest::parameter_file(session())),
              "an Omicron MATRIX parameter file: it holds a session's settings, not its curves; "
              "give the session's data files (*.I(V)_mtrx) instead");
    sts::import_options lockin;
    lockin.channel = "dI";
    std::vector<sts::imported_spectrum> out;
    std::string error, warning;
    EXPECT_FALSE(
        sts::read_matrix_curve("s--1_1.I(V)_mtrx", "", "", lockin, &out, &error, &warning));
    EXPECT_EQ(error, "no channel 'dI' (an Omicron I(V) curve holds the current only)");
}

// Every cut of either file and every damaged byte gives spectra or a
// reason, never a crash (the sanitizer build watches the reads).
TEST(OmicronMatrix, CutAndDamagedFiles) {
    const session s;
    const std::string data = matrixtest::data_file(s.key, 6, there_and_back);
    const std::string parameters = matrixtest::parameter_file(s);
    auto read = [&](const std::string& d, const std::string& p) {
        std::vector<sts::imported_spectrum> out;
        std::string error, warning;
        const bool ok = sts::read_matrix_curve(s.data_name, d, p, with(sts::direction::mean),
                                               &out, &error, &warning);
        EXPECT_TRUE(ok || (!error.empty() && out.empty()));
        return ok;
    };
    for (size_t n = 0; n < data.size(); ++n) EXPECT_FALSE(read(data.substr(0, n), parameters)) << n;
    for (size_t n = 0; n < parameters.size(); ++n) {
        // Cut after its BREF, the parameter file still says all there is.
        if (n < parameters.find(matrixtest::tag("PMOD"))) {
            EXPECT_FALSE(read(data, parameters.substr(0, n))) << n;
        }
    }
    for (size_t n = 0; n < data.size(); ++n)
        for (unsigned char v : {0x00, 0x7f, 0xff}) {
            std::string d = data;
            d[n] = static_cast<char>(v);
            read(d, parameters);
        }
    for (size_t n = 0; n < parameters.size(); ++n) {
        std::string p = parameters;
        p[n] = static_cast<char>(p[n] ^ 0xa5);
        read(data, p);
    }
    std::vector<sts::imported_spectrum> out;
    std::string error, warning;
    EXPECT_FALSE(sts::read_matrix_curve(s.data_name, data.substr(0, data.size() - 2), parameters,
                                        {}, &out, &error, &warning));
    EXPECT_EQ(error, "the data file is cut short: " + std::to_string(data.size() - 2) +
                         " bytes, fewer than its BKLT block announces");
}

TEST(OmicronMatrix, FoundByItsBytesWithItsParameterFile) {
    const session s;
    testkit::temp_dir dir;
    testkit::write_file(dir / s.data_name, matrixtest::data_file(s.key, 6, there_and_back));
    EXPECT_EQ(sts::detect_format(testkit::read_file(dir / s.data_name)),
              sts::file_format::omicron_matrix);
    std::vector<sts::imported_spectrum> out;
    std::string error, warning;
    EXPECT_FALSE(sts::read_spectra_file(dir / s.data_name, {}, &out, &error, &warning));
    EXPECT_EQ(error, "Omicron MATRIX: needs its parameter file s_0001.mtrx from the same folder (" +
                         (dir / "s_0001.mtrx") + ": cannot open: No such file or directory)");
    testkit::write_file(dir / "s_0001.mtrx", matrixtest::parameter_file(s));
    ASSERT_TRUE(sts::read_spectra_file(dir / s.data_name, {}, &out, &error, &warning)) << error;
    EXPECT_EQ(as_floats(out.at(0).current), (std::vector<float>{-10, 0, 30}));
    EXPECT_EQ(sts::matrix_parameter_path("a/b--c/x--2_1.I(V)_mtrx"), "a/b--c/x_0001.mtrx");
    EXPECT_EQ(sts::matrix_parameter_path("a--b/x.I(V)_mtrx"), "");
    testkit::write_file(dir / "x.I(V)_mtrx", matrixtest::data_file(s.key, 6, there_and_back));
    EXPECT_FALSE(sts::read_spectra_file(dir / "x.I(V)_mtrx", {}, &out, &error, &warning));
    EXPECT_NE(error.find("this name has no \"--\""), std::string::npos) << error;
}

// The real files (skipped when absent): every value equals the Python
// reading of the same bytes (matrix_decode.py, struct only), and the
// figures agree with what the parameter file states.
struct reference {
    std::map<std::string, std::string> figures;
    std::vector<double> bias, amperes;   // in recorded order
};

reference python_reading(const std::string& data, const std::string& parameters) {
    const auto r =
        testkit::run({"/usr/bin/python3", std::string(READERS_TEST_DIR) + "/matrix_decode.py", data,
                      parameters});
    EXPECT_EQ(r.status, 0) << r.err;
    reference ref;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string first, second, third;
        fields >> first >> second;
        std::getline(fields, third);
        if (!first.empty() && std::isdigit(static_cast<unsigned char>(first[0]))) {
            ref.bias.push_back(std::strtod(second.c_str(), nullptr));
            ref.amperes.push_back(std::strtod(third.c_str(), nullptr));
        } else {
            ref.figures[first] = second;
        }
    }
    return ref;
}

TEST(OmicronMatrix, RealCurvesAgainstThePythonReading) {
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << testkit::no_realdata;
    if (!testkit::file_exists("/usr/bin/python3"))
        GTEST_FAIL() << testkit::missing_package("python3");
    const std::string folder = data + "/raw/omicron_matrix_2014/";
    const std::string parameters = folder + "2014Sep30-111118_0001.mtrx";
    for (const char* name :
         {"2014Sep30-111118--1_1.I(V)_mtrx", "2014Sep30-111118--4_1.I(V)_mtrx"}) {
        const reference ref = python_reading(folder + name, parameters);
        const size_t points = std::stoul(ref.figures.at("points"));
        ASSERT_EQ(ref.bias.size(), 2 * points) << name;
        ASSERT_EQ(ref.figures.at("reversal"), "1");
        for (auto d : {sts::direction::forward, sts::direction::backward, sts::direction::mean}) {
            sts::import_options o = with(d);
            o.current_scale = 1.0;   // amperes, as Python gives them
            std::vector<sts::imported_spectrum> out;
            std::string error, warning;
            ASSERT_TRUE(sts::read_spectra_file(folder + name, o, &out, &error, &warning)) << error;
            ASSERT_EQ(out.size(), 1u);
            const auto& s = out[0];
            ASSERT_EQ(s.bias.size(), points);
            for (size_t k = 0; k < points; ++k) {
                const size_t fwd = k, bwd = 2 * points - 1 - k;
                if (d == sts::direction::forward) {
                    ASSERT_EQ(s.bias[k], ref.bias[fwd]) << name << k;
                    ASSERT_EQ(s.current[k], ref.amperes[fwd]) << name << k;
                } else if (d == sts::direction::backward) {
                    ASSERT_EQ(s.bias[k], ref.bias[points + k]) << name << k;
                    ASSERT_EQ(s.current[k], ref.amperes[points + k]) << name << k;
                } else {
                    ASSERT_EQ(s.current[k], (ref.amperes[fwd] + ref.amperes[bwd]) / 2) << name << k;
                }
            }
            // The sweep ends the parameter file states.
            const char* end = d == sts::direction::backward ? "end" : "start";
            EXPECT_EQ(s.bias.front(), std::strtod(ref.figures.at(end).c_str(), nullptr)) << name;
        }
    }
    // 1_1 was set to 189 points from -10.0009 V to 10.0009 V (a PMOD before its BREF).
    const reference first = python_reading(folder + "2014Sep30-111118--1_1.I(V)_mtrx", parameters);
    EXPECT_EQ(first.figures.at("points"), "189");
}

TEST(OmicronMatrix, RealCutEmptyAndTimeCurves) {
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << testkit::no_realdata;
    const std::string folder = data + "/raw/omicron_matrix_2014/2014Sep30-111118";
    auto read = [](const std::string& path, sts::direction d, std::string* warning) {
        std::vector<sts::imported_spectrum> out;
        std::string error;
        const bool ok = sts::read_spectra_file(path, with(d), &out, &error, warning);
        return ok ? "read " + std::to_string(out.at(0).bias.size()) : error;
    };
    std::string warning;
    EXPECT_EQ(read(folder + "--2_1.I(V)_mtrx", sts::direction::forward, &warning), "read 481");
    EXPECT_EQ(warning, "a cut curve: 506 of its 962 points recorded (the measurement was "
                       "stopped); its complete forward sweep is read");
    EXPECT_EQ(read(folder + "--2_1.I(V)_mtrx", sts::direction::backward, &warning),
              "Omicron MATRIX: a cut curve: 506 of its 962 points recorded (the measurement was "
              "stopped), no complete backward sweep");
    EXPECT_EQ(read(folder + "--3_1.I(V)_mtrx", sts::direction::forward, &warning),
              "Omicron MATRIX: an almost empty curve: 1 of its 962 points recorded (the "
              "measurement was stopped), no complete forward sweep");
    for (const char* n : {"--1_1.I(t)_mtrx", "--2_1.I(t)_mtrx", "--3_1.I(t)_mtrx"})
        EXPECT_EQ(read(folder + n, sts::direction::forward, &warning),
                  "Omicron MATRIX: an I(t) curve, current against time: not bias spectroscopy");
    EXPECT_EQ(read(folder + "_0001.mtrx", sts::direction::forward, &warning),
              "an Omicron MATRIX parameter file: it holds a session's settings, not its curves; "
              "give the session's data files (*.I(V)_mtrx) instead");
}

// The real files cut and damaged at spots across their length: a reason,
// never a crash.
TEST(OmicronMatrix, RealFilesCutAndDamaged) {
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << testkit::no_realdata;
    const std::string folder = data + "/raw/omicron_matrix_2014/2014Sep30-111118";
    const std::string name = "2014Sep30-111118--1_1.I(V)_mtrx";
    const std::string curve = testkit::read_file(folder + "--1_1.I(V)_mtrx");
    const std::string parameters = testkit::read_file(folder + "_0001.mtrx");
    auto read = [&](const std::string& d, const std::string& p) {
        std::vector<sts::imported_spectrum> out;
        std::string error, warning;
        const bool ok = sts::read_matrix_curve(name, d, p, {}, &out, &error, &warning);
        EXPECT_TRUE(ok || (!error.empty() && out.empty()));
        return ok;
    };
    ASSERT_TRUE(read(curve, parameters));
    for (size_t k = 1; k < 64; ++k) {
        EXPECT_FALSE(read(curve.substr(0, curve.size() * k / 64), parameters)) << k;
        // The BREF of this curve lies 57 % into the parameter file.
        if (k < 36) {
            EXPECT_FALSE(read(curve, parameters.substr(0, parameters.size() * k / 64))) << k;
        }
        std::string damaged = parameters;
        damaged[parameters.size() * k / 64] ^= 0x5a;
        read(curve, damaged);
        damaged = curve;
        damaged[curve.size() * k / 64] ^= 0x5a;
        read(damaged, parameters);
    }
}

}  // namespace
