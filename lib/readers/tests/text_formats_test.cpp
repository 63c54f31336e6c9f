// Text files as people export them: which format a file is, blank-separated
// headers, decimal commas, units given on the command line, plain pairs,
// and the hint for a channel that is not there.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "readers/file_format.h"
#include "readers/import_options.h"
#include "readers/number_text.h"
#include "readers/read_spectra.h"

namespace {

using sts::file_format;

std::vector<sts::imported_spectrum> read_ok(const std::string& text, const sts::import_options& o = {}) {
    std::vector<sts::imported_spectrum> out;
    std::string error, warning;
    EXPECT_TRUE(sts::read_spectra("t", text, o, &out, &error, &warning)) << error << "\n" << text;
    return out;
}

std::vector<float> floats(const std::vector<double>& v) { return {v.begin(), v.end()}; }

std::string refusal(const std::string& text, const sts::import_options& o = {}) {
    std::vector<sts::imported_spectrum> out;
    std::string error, warning;
    EXPECT_FALSE(sts::read_spectra("t", text, o, &out, &error, &warning)) << text;
    return error;
}

TEST(FileFormat, FromTheFirstLines) {
    const std::vector<std::pair<std::string, file_format>> cases = {
        {"Grid dim=\"2 x 2\"\r\n", file_format::nanonis_grid},
        {"[ParVERT30]\r\n", file_format::createc_vert},
        {"Experiment\tbias spectroscopy\n", file_format::nanonis_dat},
        {"Date\t1\n\n[DATA]\nBias (V)\tCurrent (A)\n", file_format::nanonis_dat},
        {"# comment\nBias (V),Current (A)\n1,2\n", file_format::delimited_text},
        {"Bias (V)\tCurrent (A)\n1\t2\n", file_format::delimited_text},
        {"Bias (V)   Current (A)\n-1  2\n", file_format::delimited_text},
        {"U/mV I/pA\n-1,5 2,25\n", file_format::delimited_text},
        {"\n-0.1 -5e-11\n0.1 5e-11\n", file_format::plain_pairs},
        {"-0.1\t-5e-11\r\n", file_format::plain_pairs},
        {"1 2 3\n4 5 6\n", file_format::unknown},      // three columns, no names
        {"just some words\nand more\n", file_format::unknown},
        {"Bias Current\n", file_format::unknown},      // names, but no numbers after them
        {"", file_format::unknown},
    };
    for (const auto& [text, format] : cases)
        EXPECT_EQ(sts::format_name(sts::detect_format(text)), sts::format_name(format)) << text;
}

TEST(NumberText, DecimalCommaOnlyWhereAsked) {
    double v = 0;
    EXPECT_TRUE(sts::parse_number(" \"-1.5E-3\"\r", &v));
    EXPECT_EQ(v, -1.5e-3);
    EXPECT_FALSE(sts::parse_number("-1,5E-3", &v));
    EXPECT_TRUE(sts::parse_number("-1,5E-3", &v, true));
    EXPECT_EQ(v, -1.5e-3);
    EXPECT_FALSE(sts::parse_number("1,234,5", &v, true));
    EXPECT_FALSE(sts::parse_number("1.234,5", &v, true));
    EXPECT_FALSE(sts::parse_number("", &v, true));
    EXPECT_FALSE(sts::parse_number(",", &v, true));
}

TEST(DelimitedText, BlankSeparatedHeaders) {
    // One name per word, names parted by wide gaps, names ending in units.
    for (const std::string header : {"V/V I/nA", "Bias calc (V)   Current (nA)",
                                     "Bias calc (V) Current (nA)"}) {
        const auto s = read_ok("# exported\n" + header + "\n\n-0.5 -2\n  0.5\t3  \n");
        ASSERT_EQ(s.size(), 1u) << header;
        EXPECT_EQ(s[0].bias, (std::vector<double>{-0.5, 0.5})) << header;
        EXPECT_EQ(floats(s[0].current), (std::vector<float>{-2, 3})) << header;
    }
    EXPECT_EQ(refusal("Bias calc (V) Current (nA) Extra\n1 2\n"),
              "delimited text: line 2: 2 values where the header names 6");
}

TEST(DelimitedText, DecimalCommasExceptInCommaTables) {
    const auto s = read_ok("Bias (mV);Current (pA)\n-100,5;-50,25\n100;25\n");
    EXPECT_EQ(floats(s[0].bias), (std::vector<float>{-0.1005f, 0.1f}));
    EXPECT_EQ(floats(s[0].current), (std::vector<float>{-0.05025f, 0.025f}));
    EXPECT_EQ(floats(read_ok("V/V I/nA\n-0,5 -2,5\n0,5 1\n")[0].current),
              (std::vector<float>{-2.5f, 1}));
    EXPECT_EQ(refusal("Bias (V),Current (nA)\n\"-0,5\",1\n"),
              "delimited text: line 2: 3 values where the header names 2");
}

TEST(DelimitedText, UnitsFromTheCommandLineWhereTheHeaderHasNone) {
    const std::string text = "V I\n-100 -50\n100 25\n";
    EXPECT_EQ(
        refusal(text),
        "delimited text: the bias column 'V' has no voltage unit (''); give its unit with "
        "--bias-unit=V or mV");
    sts::import_options o;
    o.bias_scale = 1e3;
    o.bias_unit_given = true;
    EXPECT_EQ(refusal(text, o),
              "delimited text: channel 'Current' is in '', not a current unit; give its unit with "
              "--current-unit=nA or pA");
    o.current_scale = 1e12;
    o.current_unit_given = true;
    const auto s = read_ok(text, o);  // in those units already: taken as they are
    EXPECT_EQ(s[0].bias, (std::vector<double>{-100, 100}));
    EXPECT_EQ(s[0].current, (std::vector<double>{-50, 25}));
    // A header unit still wins over the command line's.
    EXPECT_EQ(floats(read_ok("V/V I/nA\n-1 2\n1 3\n", o)[0].current),
              (std::vector<float>{2000, 3000}));
    EXPECT_EQ(refusal("V/V,I,I [bwd] (nA)\n1,2,3\n", o),
              "delimited text: channel 'Current' has columns with and without a unit");
}

// A pre-amplifier's output recorded in volts (as a GXSM export's
// "ADC0-I (V)"): refused with the way on, then taken as volts / gain.
TEST(DelimitedText, CurrentInVoltsNeedsThePreamplifiersGain) {
    const std::string text = "Bias (V)\tADC0-I (V)\n-2\t-0.065\n2\t0.5\n";
    sts::import_options o;
    o.channel = "ADC0-I";
    EXPECT_EQ(refusal(text, o),
              "delimited text: channel 'ADC0-I' is in 'V', not a current unit; if it is a "
              "pre-amplifier's output, give the gain with --current-gain=V/A (1e9 for 1 V per nA)");
    o.current_gain = 1e9;  // 1 V per nA
    EXPECT_EQ(floats(read_ok(text, o)[0].current), (std::vector<float>{-0.065f, 0.5f}));
    o.current_gain = 1e8;  // 0.1 V per nA: ten times the current
    EXPECT_EQ(floats(read_ok(text, o)[0].current), (std::vector<float>{-0.65f, 5.0f}));
    o.current_gain = 1e9;
    EXPECT_EQ(floats(read_ok("Bias (V)\tADC0-I (mV)\n-2\t-65\n2\t500\n", o)[0].current),
              (std::vector<float>{-0.065f, 0.5f}));
    EXPECT_EQ(refusal("Bias (V)\tADC0-I (nA)\n-2\t-1\n2\t1\n", o),
              "delimited text: channel 'ADC0-I' is in 'nA' already: --current-gain is for a "
              "current recorded in volts; leave it out");
}

TEST(DelimitedText, MissingChannelSuggestsTheCurrentOnes) {
    sts::import_options o;
    o.channel = "Curent";
    EXPECT_EQ(refusal("Bias (V),Current (A),Current [bwd] (A),Z (m)\n1,2,3,4\n", o),
              "delimited text: no channel 'Curent' (columns: Bias, Current, Current, Z (m)); "
              "try -c \"Current\"");
    EXPECT_EQ(refusal("Bias (V),Input 2 (A),Input 3 (A),Input 3 (A) [filt]\n1,2,3,4\n"),
              "delimited text: no channel 'Current' (columns: Bias, Input 2, Input 3, Input 3); "
              "the current channels are \"Input 2\", \"Input 3\" (choose one with -c)");
    EXPECT_EQ(refusal("Bias (V),Z (m)\n1,2\n"),
              "delimited text: no channel 'Current' (columns: Bias, Z (m))");
}

TEST(PlainPairs, AsTheCLibraryReadsThem) {
    // "%f%f" up to the first pair that fails: hex, nan and inf included.
    const auto s = read_ok("0x1p-2 1e-3\n  nan inf\n5\n6 garbage 7 8\n");
    ASSERT_EQ(s.size(), 1u);
    ASSERT_EQ(s[0].bias.size(), 3u);
    EXPECT_EQ(s[0].bias[0], 0.25);
    EXPECT_EQ(s[0].current[0], static_cast<double>(1e-3f));
    EXPECT_TRUE(std::isnan(s[0].bias[1]));
    EXPECT_EQ(s[0].current[1], INFINITY);
    EXPECT_EQ(s[0].bias[2], 5.0);
    EXPECT_EQ(s[0].current[2], 6.0);
    sts::import_options o;
    o.format = file_format::plain_pairs;
    EXPECT_EQ(refusal("", o), "plain pairs: no pair of numbers to read");
    o.dir = sts::direction::mean;
    EXPECT_EQ(refusal("1 2\n", o),
              "a file of plain pairs holds one sweep: no backward one, no mean");
}

}  // namespace
