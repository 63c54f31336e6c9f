// Createc channel selections: the columns a selection names, [ParVERT32]
// files with their x column, channels other than the current, and the real
// files of 2019 (a time trace at one bias) and 2020 ([ParVERT32]).
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "readers/createc_columns.h"
#include "readers/read_spectra.h"
#include "testkit/testkit.h"

namespace {

// A [ParVERT32] file of three forward rows with the channels of selection
// 4209 (I, ADC1, ADC2, ADC3, DAC0) after V, Z and X, written as the
// instrument writes them; I is 52428.8 counts a row more.
std::string vert32(const std::string& data_line = "3   -1343   151   4209   7   5   3   1.5   -2") {
    std::string text =
        "[ParVERT32]\r\nDAC-Type=20bit\r\nGainpreamp / GainPre 10^=9\r\nVertSpecBack=0\r\n"
        "Vertchannelselectval=4209\r\n" + std::string(20, '\0') + "\nDATA\r\n     " + data_line +
        "\r\n";
    for (int k = 0; k < 3; ++k)
        text += std::to_string(k) + "\t" + std::to_string(100 * (k + 1)) +
                "\t-2.29E+02\t0.0E+00\t" + std::to_string(52428.8 * k) + "\t-9.6E+03\t" +
                std::to_string(7 + k) + "\t0\t2.6E+05\t\r\n";
    return text;
}

std::vector<sts::imported_spectrum> read_ok(const std::string& bytes,
                                            const sts::import_options& o = {}) {
    std::vector<sts::imported_spectrum> out;
    std::string error, warning;
    EXPECT_TRUE(sts::read_spectra("a.VERT", bytes, o, &out, &error, &warning)) << error;
    return out;
}

std::string refusal(const std::string& bytes, const sts::import_options& o = {}) {
    std::vector<sts::imported_spectrum> out;
    std::string error, warning;
    EXPECT_FALSE(sts::read_spectra("a.VERT", bytes, o, &out, &error, &warning));
    EXPECT_TRUE(out.empty());
    return error;
}

TEST(CreatecColumns, EachSetBitIsAColumnInBitOrder) {
    sts::vert_columns c;
    std::string error;
    ASSERT_TRUE(sts::parse_vert_columns("   10000   -4032   10512        3", &c, &error));
    EXPECT_EQ(c.rows, 10000);
    EXPECT_EQ(c.names, (std::vector<std::string>{"idx", "V", "Z", "I", "dI/dV"}));
    ASSERT_TRUE(
        sts::parse_vert_columns("100 -1343 151 4209 7 5 3 229.62552 -316.68857", &c, &error));
    EXPECT_EQ(c.names, (std::vector<std::string>{"idx", "V", "Z", "X", "I", "ADC1", "ADC2", "ADC3",
                                                 "DAC0"}));
    ASSERT_TRUE(sts::parse_vert_columns("5 0 0 8190 7 5 2 0 0", &c, &error));
    EXPECT_EQ(c.names, (std::vector<std::string>{"idx", "V", "Z", "dI/dV", "d2I/dV2", "ADC0",
                                                 "ADC1", "ADC2", "ADC3", "NA01", "NA02", "NA03",
                                                 "di_q", "di2_q", "DAC0"}));
    for (const char* bad : {"", "10 1 2", "0 1 2 3", "1.5 1 2 3", "10 1 2 x", "10 1 2 3 7 5 4"})
        EXPECT_FALSE(sts::parse_vert_columns(bad, &c, &error)) << bad;
    EXPECT_FALSE(sts::parse_vert_columns("10 1 2 8192", &c, &error));
    EXPECT_EQ(error,
              "Createc channel selection 8192 is not read (a bit set of the channels I, dI/dV, "
              "d2I/dV2, ADC0, ADC1, ADC2, ADC3, NA01, NA02, NA03, di_q, di2_q, DAC0)");
    EXPECT_FALSE(sts::parse_vert_columns("10 1 2 0", &c, &error));
}

TEST(CreatecColumns, ParVert32WithFiveChannels) {
    const auto s = read_ok(vert32());
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(std::vector<float>(s[0].bias.begin(), s[0].bias.end()),
              (std::vector<float>{0.1f, 0.2f, 0.3f}));
    // 52428.8 counts are 1 V at the ADC: 1 nA through 10^9 V/A.
    ASSERT_EQ(s[0].current.size(), 3u);
    EXPECT_FLOAT_EQ(s[0].current[1], 1.0f);
    EXPECT_FLOAT_EQ(s[0].current[2], 2.0f);
    // Another channel, taken as it is when the unit is given.
    sts::import_options o;
    o.channel = "adc2";
    o.current_unit_given = true;
    EXPECT_EQ(read_ok(vert32(), o)[0].current, (std::vector<double>{7, 8, 9}));
    o.channel = "dI/dV";
    EXPECT_EQ(refusal(vert32(), o),
              "no channel 'dI/dV' in this Createc spectrum (channel selection 4209: columns V, Z, "
              "X, I, ADC1, ADC2, ADC3, DAC0)");
    // Without the current, the current is refused by name.
    std::string no_current = vert32("3 0 0 4208 7 5 3 0 0");
    no_current.replace(no_current.find("=4209"), 5, "=4208");
    EXPECT_EQ(refusal(no_current),
              "no channel 'Current' in this Createc spectrum (channel selection 4208: columns V, "
              "Z, X, ADC1, ADC2, ADC3, DAC0)");
    // A row one column short of what the selection names.
    EXPECT_EQ(refusal(vert32("3 0 0 4209 7 5 2 0 0")),
              "Createc .VERT: line 9: not row 0 of 8 numbers (index, V, Z, I, ADC1, ADC2, ADC3, "
              "DAC0)");
}

TEST(CreatecColumns, RealFiles) {
    const std::string data = testkit::realdata_dir();
    if (data.empty()) GTEST_SKIP() << testkit::no_realdata;
    // 2020, [ParVERT32], selection 4209: the values an independent decoder of
    // the rows (Python, the columns by the bit set) gives, as floats.
    auto s = read_ok(testkit::read_file(data + "/raw/createc2020_A201222.074639_parvert32.VERT"));
    ASSERT_EQ(s.size(), 1u);
    ASSERT_EQ(s[0].bias.size(), 100u);
    const std::vector<std::pair<size_t, std::pair<float, float>>> rows = {
        {0, {0.0119500002f, 0.000186458972f}},
        {1, {0.0188999996f, 0.000208633428f}},
        {50, {0.359450012f, 0.00223897933f}},
        {99, {0.699999988f, 0.00412778836f}}};
    for (const auto& [k, v] : rows) {
        EXPECT_EQ(static_cast<float>(s[0].bias[k]), v.first) << k;
        EXPECT_EQ(static_cast<float>(s[0].current[k]), v.second) << k;
    }
    // 2019, selection 4209 too: 985 of its 1024 points at 5 mV, a time trace.
    EXPECT_EQ(refusal(testkit::read_file(data + "/raw/createc2019_A190824.135614_4ch.VERT")),
              "Createc .VERT: not a bias sweep: the bias stays at 0.005 V for 985 of its 1024 "
              "points (a time trace at constant bias)");
}

}  // namespace
