// Column headings and their units, as instruments and spreadsheets write them.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "readers/column_name.h"
#include "readers/units.h"

namespace {

TEST(ColumnNames, PartsAndUnits) {
    const auto a = sts::parse_column_name("Current [00002] [bwd] (A)");
    EXPECT_EQ(a.name, "Current");
    EXPECT_EQ(a.tags, (std::vector<std::string>{"00002", "bwd"}));
    EXPECT_EQ(a.unit, "A");
    const auto b = sts::parse_column_name("Input 3 (A) [filt]");
    EXPECT_EQ(b.name, "Input 3");
    EXPECT_EQ(b.tags, std::vector<std::string>{"filt"});
    const auto c = sts::parse_column_name("Bias(AI5) [bwd] (V)");
    EXPECT_EQ(c.name, "Bias(AI5)");
    EXPECT_EQ(c.unit, "V");
    EXPECT_EQ(sts::parse_column_name("7280DSP Lockin-X (%)").unit, "");
    EXPECT_EQ(sts::parse_column_name("7280DSP Lockin-X (%)").name, "7280DSP Lockin-X (%)");
}

TEST(ColumnNames, UnitAsTagOrAfterSlashAndFoldedBlanks) {
    const auto a = sts::parse_column_name("Current [pA]");
    EXPECT_EQ(a.name, "Current");
    EXPECT_TRUE(a.tags.empty());
    EXPECT_EQ(a.unit, "pA");
    const auto b = sts::parse_column_name("I/nA");
    EXPECT_EQ(b.name, "I");
    EXPECT_EQ(b.unit, "nA");
    EXPECT_EQ(sts::parse_column_name("  Bias   calc  (V) ").name, "Bias calc");
    // A slash that is not followed by a unit stays in the name.
    EXPECT_EQ(sts::parse_column_name("dI/dV (a.u.)").name, "dI/dV (a.u.)");
}

TEST(Units, PrefixesAndKinds) {
    EXPECT_DOUBLE_EQ(sts::amperes_per("pA"), 1e-12);
    EXPECT_DOUBLE_EQ(sts::amperes_per(" A "), 1.0);
    EXPECT_DOUBLE_EQ(sts::volts_per("\xc2\xb5V"), 1e-6);
    EXPECT_DOUBLE_EQ(sts::volts_per("mV"), 1e-3);
    EXPECT_EQ(sts::volts_per("A"), 0.0);
    EXPECT_EQ(sts::volts_per("MV"), 0.0);  // no megavolts in a tunnel junction
    EXPECT_EQ(sts::amperes_per(""), 0.0);
}

}  // namespace
