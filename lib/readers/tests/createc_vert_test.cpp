// Createc point spectra: the two halves of the sweep, the current scale from
// the ADC and preamplifier, and refusals of what is not read.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "readers/createc_vert.h"
#include "readers/read_spectra.h"
#include "testkit/instrument_files.h"

namespace {

using row = testkit::createc_vert_row;
using testkit::createc_vert;

// Forward -100, 0, 100 mV; backward 100, 0, -100 mV.  524288 counts are
// 10 V at the ADC: 10 nA through 10^9 V/A.
const std::vector<row> both_ways = {{-100, -262144}, {0, 0},   {100, 524288},
                                    {100, 524288 / 2}, {0, 52428.8}, {-100, -524288}};

std::vector<sts::imported_spectrum> read(const std::string& bytes, const sts::import_options& o,
                                std::string* error) {
    std::vector<sts::imported_spectrum> out;
    EXPECT_TRUE(sts::read_createc_vert("a.VERT", bytes, o, &out, error)) << *error;
    return out;
}

std::vector<float> as_floats(const std::vector<double>& v) { return {v.begin(), v.end()}; }

TEST(CreatecVert, ForwardBackwardAndMean) {
    std::string error;
    sts::import_options o;
    auto s = read(createc_vert(both_ways), o, &error);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(as_floats(s[0].bias), (std::vector<float>{-0.1f, 0.0f, 0.1f}));
    EXPECT_EQ(as_floats(s[0].current), (std::vector<float>{-5.0f, 0.0f, 10.0f}));
    EXPECT_EQ(s[0].direction, "fwd");
    EXPECT_EQ(s[0].source, "a.VERT");
    o.dir = sts::direction::backward;
    s = read(createc_vert(both_ways), o, &error);
    EXPECT_EQ(as_floats(s[0].bias), (std::vector<float>{0.1f, 0.0f, -0.1f}));  // as recorded
    EXPECT_EQ(as_floats(s[0].current), (std::vector<float>{5.0f, 1.0f, -10.0f}));
    o.dir = sts::direction::mean;
    o.bias_scale = 1e3;
    o.current_scale = 1e12;
    s = read(createc_vert(both_ways), o, &error);
    EXPECT_EQ(as_floats(s[0].bias), (std::vector<float>{-100.0f, 0.0f, 100.0f}));
    EXPECT_EQ(as_floats(s[0].current), (std::vector<float>{-7500.0f, 500.0f, 7500.0f}));
    EXPECT_EQ(s[0].direction, "mean");
}

TEST(CreatecVert, GainAndForwardOnlyFiles) {
    std::string error;
    auto s = read(createc_vert(both_ways, "DAC-Type=20bit\r\nGainpreamp / GainPre 10^=10\r\n"
                                  "VertSpecBack=0\r\nVertchannelselectval=3\r\n"),
                  {}, &error);
    // Without a backward sweep all six rows are the forward one, at 10^10 V/A.
    EXPECT_EQ(as_floats(s[0].current), (std::vector<float>{-0.5f, 0, 1, 0.5f, 0.1f, -1}));
    std::vector<sts::imported_spectrum> out;
    sts::import_options o;
    o.dir = sts::direction::backward;
    const std::string forward_only = createc_vert(both_ways,
                                          "DAC-Type=20bit\r\nGainpreamp / GainPre 10^=9\r\n"
                                          "VertSpecBack=0\r\nVertchannelselectval=3\r\n");
    EXPECT_FALSE(sts::read_createc_vert("a", forward_only, o, &out, &error));
    EXPECT_EQ(error, "no backward sweep of channel 'Current'");
    // Found from its first bytes.
    ASSERT_TRUE(sts::read_spectra("a.VERT", createc_vert(both_ways), {}, &out, &error, &error))
        << error;
    EXPECT_EQ(out.size(), 1u);
}

TEST(CreatecVert, VariantsRefusedWithAReason) {
    const std::string good = createc_vert(both_ways);
    auto refused = [](std::string bytes, const sts::import_options& o = {}) {
        std::vector<sts::imported_spectrum> out;
        std::string error;
        EXPECT_FALSE(sts::read_createc_vert("a", bytes, o, &out, &error));
        EXPECT_TRUE(out.empty());
        return error;
    };
    auto with = [&](const std::string& from, const std::string& to) {
        std::string bytes = good;
        bytes.replace(bytes.find(from), from.size(), to);
        return bytes;
    };
    EXPECT_EQ(refused(with("[ParVERT30]", "[ParVERT31]")),
              "Createc header [ParVERT31] is not read (only [ParVERT30] and [ParVERT32])");
    EXPECT_EQ(refused(with("DAC-Type=20bit", "DAC-Type=16bit")),
              "Createc DAC-Type 16bit is not read (only 20bit, whose current scale is known)");
    EXPECT_EQ(refused(with("DAC-Type=20bit\r\n", "")),
              "Createc DAC-Type (none) is not read (only 20bit, whose current scale is known)");
    EXPECT_EQ(refused(with("Vertchannelselectval=3", "Vertchannelselectval=1")),
              "Createc channel selection Vertchannelselectval=1 differs from the DATA line's 3");
    EXPECT_EQ(refused(with("GainPre 10^=9", "GainPre 10^=x")),
              "Createc preamplifier gain \"GainPre 10^=x\" is not a power of ten");
    // Beyond int's range: converting it to int would be undefined behaviour.
    EXPECT_EQ(refused(with("GainPre 10^=9", "GainPre 10^=9.4e35")),
              "Createc preamplifier gain \"GainPre 10^=9.4e35\" is not a power of ten");
    // A file cut short, a damaged row, a row count the halves cannot share.
    EXPECT_EQ(refused(good.substr(0, good.rfind("\n5\t") + 1)),
              "the DATA section holds 5 rows where it announces 6");
    EXPECT_EQ(refused(good.substr(0, good.size() - 30)),
              "line 17: not row 5 of 5 numbers (index, V, Z, I, dI/dV)");
    EXPECT_EQ(refused(with("\r\n2\t", "\r\n7\t")),
              "line 14: not row 2 of 5 numbers (index, V, Z, I, dI/dV)");
    std::vector<row> odd = both_ways;
    odd.pop_back();
    EXPECT_EQ(refused(createc_vert(odd)),
              "an odd number of rows cannot be a forward and a backward sweep");
    std::vector<row> skewed = both_ways;
    skewed[3].bias_mV = 99;
    sts::import_options mean;
    mean.dir = sts::direction::mean;
    EXPECT_EQ(refused(createc_vert(skewed), mean),
              "the backward sweep does not retrace the forward bias points, so they have no "
              "point-by-point mean");
    sts::import_options lockin;
    lockin.channel = "dI";
    EXPECT_EQ(refused(good, lockin),
              "Createc channel 'dI/dV' is in instrument units, not a current; give "
              "--current-unit=nA or pA to take its values as they are");
    lockin.channel = "ADC1";
    EXPECT_EQ(refused(good, lockin),
              "no channel 'ADC1' in this Createc spectrum (channel selection 3: columns V, Z, I, "
              "dI/dV)");
}

}  // namespace
