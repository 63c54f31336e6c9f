// Header lines as (key, value), against hand-written headers.
#include "readers/header_entries.h"

#include <gtest/gtest.h>

namespace sts {
namespace {

TEST(HeaderEntries, NanonisKeysAndValuesBeforeData) {
    const std::string text =
        "Experiment\tbias spectroscopy\t\r\n"
        "User\t\t\r\n"
        "Bias Spectroscopy>Sweep Start (V)\t-2E-3\t\r\n"
        "Comment\tline one\tmore\t\r\n"
        "\t\t\r\n"
        "\r\n"
        "[DATA]\r\n"
        "Bias calc (V)\tCurrent (A)\r\n"
        "0\t1\r\n";
    const std::vector<header_entry> want = {{"Experiment", "bias spectroscopy"},
                                            {"User", ""},
                                            {"Bias Spectroscopy>Sweep Start (V)", "-2E-3"},
                                            {"Comment", "line one\tmore"}};
    EXPECT_EQ(header_entries(file_format::nanonis_dat, text), want);
}

TEST(HeaderEntries, CreatecKeysSplitAtTheFirstEquals) {
    const std::string text =
        "[ParVERT30]\r\n"
        "DAC-Type=20bit\r\n"
        "BiasVoltage / BiasVolt.[mV]=-1500.10\r\n"
        "  /  = \r\n"
        "Memo=a=b\r\n"
        "no equals here\r\n"
        "DATA\r\n"
        "    1024    0    0\r\n"
        "Late=ignored\r\n";
    const std::vector<header_entry> want = {{"DAC-Type", "20bit"},
                                            {"BiasVoltage / BiasVolt.[mV]", "-1500.10"},
                                            {"Memo", "a=b"}};
    EXPECT_EQ(header_entries(file_format::createc_vert, text), want);
}

TEST(HeaderEntries, OtherFormatsAndEmptyInputGiveNone) {
    EXPECT_TRUE(header_entries(file_format::plain_pairs, "0 1\n1 2\n").empty());
    EXPECT_TRUE(header_entries(file_format::rhk_sm4, std::string(64, '\0')).empty());
    EXPECT_TRUE(header_entries(file_format::nanonis_dat, "").empty());
    EXPECT_TRUE(header_entries(file_format::createc_vert, "").empty());
}

}  // namespace
}  // namespace sts
