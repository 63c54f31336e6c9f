// Omicron MATRIX text exports: found by their header, the two halves of a
// reversed ramp, and what is refused; the real exports of 2024 against
// their own rows and the ramp their header states.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "readers/file_format.h"
#include "readers/omicron_text.h"
#include "readers/read_spectra.h"
#include "testkit/testkit.h"

namespace {

std::string header(const std::string& reversal, const std::string& channel = "I(V) [A]",
                   const std::string& ramp = "[V]") {
    return "# Single Point Spectroscopy       \r\n# \r\n# Sample                          x\r\n"
           "# Ramp start value                -1.000e+000 V\r\n"
           "# Ramp end value                  1.000e+000 V\r\n"
           "# Automatic ramp reversal         " + reversal + "\r\n"
           "# Channel name and data unit      " + channel + "\r\n# \r\n"
           "# Ramp value " + ramp + "                             I(V)\r\n"
           "# --------------             --------------------\r\n";
}

const std::string rows = "    -1.0000e+000             -2.0e-009\r\n"
                         "     0.0000e+000              1.0e-010\r\n"
                         "     1.0000e+000              3.0e-009\r\n"
                         "     1.0000e+000              2.0e-009\r\n"
                         "     1.1102e-016              3.0e-010\r\n"
                         "    -1.0000e+000             -1.0e-009\r\n";

sts::import_options with(sts::direction d) {
    sts::import_options o;
    o.dir = d;
    return o;
}

std::vector<float> as_floats(const std::vector<double>& v) { return {v.begin(), v.end()}; }

TEST(OmicronText, HalvesOfAReversedRamp) {
    const std::string text = header("Yes") + rows;
    EXPECT_EQ(sts::detect_format(text), sts::file_format::omicron_text);
    std::vector<sts::imported_spectrum> out;
    std::string error, warning;
    ASSERT_TRUE(sts::read_spectra("e.txt", text, {}, &out, &error, &warning)) << error;
    EXPECT_EQ(as_floats(out[0].bias), (std::vector<float>{-1, 0, 1}));
    EXPECT_EQ(as_floats(out[0].current), (std::vector<float>{-2, 0.1f, 3}));
    EXPECT_EQ(out[0].direction, "fwd");
    ASSERT_TRUE(
        sts::read_omicron_text("e.txt", text, with(sts::direction::backward), &out, &error));
    EXPECT_EQ(as_floats(out[1].bias), (std::vector<float>{1, 1.1102e-16f, -1}));  // as recorded
    EXPECT_EQ(as_floats(out[1].current), (std::vector<float>{2, 0.3f, -1}));
    sts::import_options mean = with(sts::direction::mean);
    mean.current_scale = 1e12;
    ASSERT_TRUE(sts::read_omicron_text("e.txt", text, mean, &out, &error)) << error;
    EXPECT_EQ(as_floats(out[2].bias), (std::vector<float>{-1, 0, 1}));
    EXPECT_EQ(as_floats(out[2].current), (std::vector<float>{-1500, 200, 2500}));
    EXPECT_EQ(out[2].direction, "mean");
    // Without reversal every row is the forward sweep.
    ASSERT_TRUE(sts::read_omicron_text("e.txt", header("No") + rows, {}, &out, &error));
    EXPECT_EQ(out[3].bias.size(), 6u);
}

TEST(OmicronText, RefusedWithAReason) {
    auto refused = [](const std::string& text, const sts::import_options& o = {}) {
        std::vector<sts::imported_spectrum> out;
        std::string error;
        EXPECT_FALSE(sts::read_omicron_text("e", text, o, &out, &error));
        EXPECT_TRUE(out.empty());
        return error;
    };
    EXPECT_EQ(refused(header("Yes", "I(t) [A]", "[s]") + rows),
              "the export's ramp is in 's', not a bias voltage: not bias spectroscopy");
    EXPECT_EQ(refused(header("Yes", "Aux2(V) [V]") + rows),
              "the export's channel Aux2(V) is in 'V', not a current");
    EXPECT_EQ(refused(header("No") + rows, with(sts::direction::backward)),
              "no backward sweep: the ramp was not reversed (\"Automatic ramp reversal No\")");
    EXPECT_EQ(refused(header("Yes") + rows.substr(0, rows.rfind("\r\n", rows.size() - 3) + 2)),
              "an odd number of rows cannot be a forward and a backward sweep");
    EXPECT_EQ(refused(header("Maybe") + rows),
              "the export's \"Automatic ramp reversal\" is 'Maybe', not Yes or No");
    EXPECT_EQ(refused(header("Yes") + rows + "     2.0 oops\r\n"),
              "line 17: not a row of two numbers (bias, current)");
    EXPECT_EQ(refused(header("Yes")), "the Omicron export holds no rows");
    std::string skewed = header("Yes") + rows;
    skewed.replace(skewed.find("1.1102e-016"), 11, "2.0000e-001");
    EXPECT_EQ(refused(skewed, with(sts::direction::mean)),
              "the backward sweep does not retrace the forward bias points, so they have no "
              "point-by-point mean");
    sts::import_options lockin;
    lockin.channel = "dI";
    EXPECT_EQ(refused(header("Yes") + rows, lockin),
              "no channel 'dI' (an Omicron I(V) curve holds the current only)");
}

// The real exports (skipped when absent): the rows read as the C library
// reads them, in nA, and the ramp the header states.
TEST(OmicronText, RealExports) {
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << testkit::no_realdata;
    const std::string folder = data + "/raw/omicron_text_2024/default_2024";
    struct expected {
        const char* name;
        size_t points;
        double start, end;
        bool reversal;
    };
    for (const expected e :
         {expected{"Jan18-091342_STM-STM_Spectroscopy--11_1-I(V)_10.txt", 200, -4, 4, false},
          expected{"Jan24-121905_STM-STM_Spectroscopy--13_1-I(V)_10.txt", 200, -3, 3, true},
          expected{"Oct23-151508_STM-STM_Spectroscopy--3_1-I(V)_1.txt", 150, 0, 3, true}}) {
        const std::string path = folder + e.name;
        std::vector<double> bias, current;
        {
            const std::string text = testkit::read_file(path);
            size_t at = 0;
            while ((at = text.find('\n', at)) != std::string::npos) {
                ++at;
                double v, i;
                if (text[at] != '#' && std::sscanf(text.c_str() + at, "%lf %lf", &v, &i) == 2) {
                    bias.push_back(v);
                    current.push_back(i);
                }
            }
        }
        ASSERT_EQ(bias.size(), e.points * (e.reversal ? 2 : 1)) << e.name;
        for (auto d : {sts::direction::forward, sts::direction::backward, sts::direction::mean}) {
            if (!e.reversal && d != sts::direction::forward) continue;
            std::vector<sts::imported_spectrum> out;
            std::string error, warning;
            ASSERT_TRUE(sts::read_spectra_file(path, with(d), &out, &error, &warning)) << error;
            const auto& s = out.at(0);
            ASSERT_EQ(s.bias.size(), e.points) << e.name;
            EXPECT_EQ(s.bias.front(), d == sts::direction::backward ? e.end : e.start) << e.name;
            for (size_t k = 0; k < e.points; ++k) {
                const size_t row = d == sts::direction::backward ? e.points + k : k;
                const double nA = d == sts::direction::mean
                                      ? (current[k] + current[2 * e.points - 1 - k]) / 2 * 1e9
                                      : current[row] * 1e9;
                ASSERT_EQ(s.bias[k], bias[row]) << e.name << " " << k;
                ASSERT_EQ(s.current[k], nA) << e.name << " " << k;
            }
        }
    }
}

}  // namespace
