// What is not a bias spectrum is refused with the reason: spectra whose
// bias does not sweep, Nanonis experiments other than bias spectroscopy,
// and binary data, which is never read as text.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "readers/bias_sweep.h"
#include "readers/binary_content.h"
#include "readers/file_format.h"
#include "readers/read_spectra.h"

namespace {

using namespace std::string_literals;

std::vector<sts::imported_spectrum> read_ok(const std::string& bytes,
                                            const sts::import_options& o = {}) {
    std::vector<sts::imported_spectrum> out;
    std::string error, warning;
    EXPECT_TRUE(sts::read_spectra("f", bytes, o, &out, &error, &warning)) << error;
    return out;
}

std::string refusal(const std::string& bytes, const sts::import_options& o = {}) {
    std::vector<sts::imported_spectrum> out;
    std::string error, warning;
    EXPECT_FALSE(sts::read_spectra("f", bytes, o, &out, &error, &warning)) << bytes;
    EXPECT_TRUE(out.empty());
    return error;
}

TEST(BiasSweep, OnlyASweptBiasPasses) {
    std::string error;
    EXPECT_TRUE(sts::is_bias_sweep({-1, 0, 1}, "V", &error));
    // Steps coarser than the points repeat a value for a few neighbours.
    EXPECT_TRUE(sts::is_bias_sweep({0, 0, 1, 1, 2, 2}, "V", &error));
    EXPECT_FALSE(sts::is_bias_sweep({0.5, 0.5, 0.5}, "V", &error));
    EXPECT_EQ(error, "not a bias sweep: the bias is 0.5 V at all 3 points");
    EXPECT_FALSE(sts::is_bias_sweep({200, 5, 5, 5, 5, 200}, "mV", &error));
    EXPECT_EQ(error, "not a bias sweep: the bias stays at 5 mV for 4 of its 6 points (a time "
                     "trace at constant bias)");
    EXPECT_FALSE(sts::is_bias_sweep({0.1}, "V", &error));
    EXPECT_EQ(error, "not a bias sweep: a single point (at 0.1 V)");
    EXPECT_FALSE(sts::is_bias_sweep({}, "V", &error));
    EXPECT_TRUE(sts::is_bias_sweep({NAN, NAN, NAN}, "V", &error));  // nothing equal
}

TEST(BiasSweep, EveryReaderRefusesAConstantBias) {
    EXPECT_EQ(refusal("Bias (V),Current (nA)\n0.1,1\n0.1,2\n0.1,3\n"),
              "delimited text: not a bias sweep: the bias is 0.1 V at all 3 points");
    EXPECT_EQ(refusal("0.1 1\n0.1 2\n"),
              "plain pairs: not a bias sweep: the bias is 0.1 V at all 2 points");
    sts::import_options mv;
    mv.bias_scale = 1e3;
    EXPECT_EQ(refusal("Date\t1\n[DATA]\nBias calc (V)\tCurrent (A)\n0.1\t1E-9\n0.1\t2E-9\n", mv),
              "Nanonis .dat: not a bias sweep: the bias is 100 mV at all 2 points");
}

// A Nanonis .dat of an experiment, its table's columns and rows.
std::string dat(const std::string& experiment, const std::string& table) {
    return "Experiment\t" + experiment + "\t\r\nDate\t04.08.2015 08:49:41\t\r\n\r\n[DATA]\r\n" +
           table;
}

TEST(NanonisExperiment, OnlyBiasSpectroscopyUnlessABiasColumnIsNamed) {
    const std::string z = dat("Z spectroscopy",
                              "Z rel (m)\tCurrent (A)\tBias (V)\r\n-1E-10\t1E-9\t0.1\r\n"
                              "0\t2E-9\t0.1\r\n1E-10\t4E-9\t0.1\r\n");
    EXPECT_EQ(refusal(z),
              "Nanonis experiment \"Z spectroscopy\" is not bias spectroscopy: it sweeps "
              "Z rel (m), not the bias; to read it all the same, name its bias column with -b");
    sts::import_options b;
    b.bias_channel = "Bias";
    EXPECT_EQ(refusal(z, b),
              "Nanonis experiment \"Z spectroscopy\" is not a bias sweep: the bias is 0.1 V at all "
              "3 points");
    const std::string clam = dat("CLAM", "Bias (V)\tCurrent (A)\r\n0.2\t1E-9\r\n0.2\t1E-9\r\n");
    EXPECT_EQ(refusal(clam),
              "Nanonis experiment \"CLAM\" is not a bias sweep: the bias is 0.2 V at all 2 points");
    EXPECT_EQ(refusal(dat("Spectrum", "Frequency (Hz)\tCurrent (A)\r\n1\t1E-9\r\n2\t1E-9\r\n")),
              "Nanonis experiment \"Spectrum\" is not bias spectroscopy: it sweeps Frequency (Hz), "
              "not the bias; to read it all the same, name its bias column with -b");
    // A generic sweep of the bias is a bias sweep; so is a named bias column
    // that sweeps.
    EXPECT_EQ(read_ok(dat("Sweep", "Bias (V)\tCurrent (A)\r\n-0.5\t1E-9\r\n0.5\t2E-9\r\n"))[0].bias,
              (std::vector<double>{-0.5, 0.5}));
    const std::string swept = dat("Z spectroscopy",
                                  "Z rel (m)\tCurrent (A)\tBias (V)\r\n0\t1E-9\t-0.1\r\n"
                                  "1E-10\t2E-9\t0.1\r\n");
    EXPECT_EQ(read_ok(swept, b)[0].bias, (std::vector<double>{-0.1, 0.1}));
}

TEST(NanonisExperiment, ByteOrderMarkCrLfAndLatin1Comments) {
    const std::string text =
        "\xef\xbb\xbf" "Experiment\tbias spectroscopy\t\r\nComment\tGr\xfc\xdf" "e \xb5V\t\r\n"
        "\r\n[DATA]\r\nBias calc (V)\tCurrent (A)\tCurrent [AVG] (A)\tCurrent [00001] (A)\t"
        "Current (A) [filt]\r\n-1\t1E-9\t2E-9\t3E-9\t4E-9\r\n1\t5E-9\t6E-9\t7E-9\t8E-9\r\n";
    EXPECT_EQ(sts::format_name(sts::detect_format(text)), std::string("dat"));
    const auto s = read_ok(text);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].current, (std::vector<double>{1, 5}));  // the plain column, not [filt]
    sts::import_options each;
    each.each_sweep = true;
    EXPECT_EQ(read_ok(text, each)[0].current, (std::vector<double>{3, 7}));
    sts::import_options filtered;
    filtered.channel = "current [filt]";  // by name, tag included
    EXPECT_EQ(read_ok(text, filtered)[0].current, (std::vector<double>{4, 8}));
    sts::import_options avg;
    avg.channel = "Current";
    EXPECT_EQ(read_ok(text.substr(0, text.find("Current (A)\t")) + "Current [AVG] (A)\tX (A)\r\n"
                      "-1\t2E-9\t9E-9\r\n1\t6E-9\t9E-9\r\n",
                  avg)[0]
                  .current,
              (std::vector<double>{2, 6}));  // the average where there is no plain column
}

TEST(BinaryData, NeverReadAsText) {
    const std::string floats = "\x3f\x80\x00\x00\x40\x00\x00\x00\t\n[DATA]\n1\t2\n"s;
    EXPECT_TRUE(sts::looks_binary(floats));
    EXPECT_FALSE(sts::looks_binary("Bias (V)\tCurrent (A)\r\n1\t2\r\n\f"));
    EXPECT_FALSE(sts::looks_binary("Gr\xfc\xdf" "e \xc2\xb5V\n"));  // Latin-1 and UTF-8
    std::string controls(100, 'a');
    for (int k = 0; k < 7; ++k) controls[static_cast<size_t>(k) * 10] = '\x01';
    EXPECT_TRUE(sts::looks_binary(controls));
    EXPECT_EQ(sts::format_name(sts::detect_format(floats)), std::string("unknown"));
    EXPECT_EQ(refusal(floats), "binary data of an unknown format");
    for (const char* format : {"dat", "csv", "pairs"}) {
        sts::import_options o;
        sts::format_from_name(format, &o.format);
        EXPECT_EQ(refusal(floats, o).rfind("binary data of an unknown format, not ", 0), 0u)
            << format;
    }
    EXPECT_EQ(refusal("\x1f\x8b\x08\x00\x00\x00"s),
              "gzip-compressed data; uncompress it first");
    EXPECT_EQ(refusal(":NANONIS_VERSION:\n2\n:SCANIT_TYPE:\n"),
              "a Nanonis image (.sxm), not a spectrum");
    EXPECT_EQ(refusal("\x89HDF\r\n\x1a\n"),
              "an HDF5 or netCDF-4 file (as stsgrid writes), not a spectrum");
    // Text of no known kind keeps its message.
    EXPECT_EQ(refusal("just some words\nand more\n").rfind("not a Nanonis .dat or .3ds file", 0),
              0u);
}

}  // namespace
