// What the pictures and the run say in words: a map's title in the
// sweep's own scale, and the warning for an --exp-width wider than the
// sweep.  Hand-worked cases.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "stsgrid/broadening_hint.h"
#include "stsgrid/plots.h"

using namespace sts;

namespace {

grid_description sweep(float lo, float hi) {
    grid_description d;
    d.source = "g.3ds";
    d.bias_unit = "V";
    d.bias = {lo, 0.5f * (lo + hi), hi, NAN};
    d.vmid = {0.75f * lo + 0.25f * hi, 0.25f * lo + 0.75f * hi, NAN};
    return d;
}

std::string title(const grid_description& d, double bias, float vmid) {
    bias_map m;
    m.bias = bias;
    m.vmid = vmid;
    return map_title(d, m);
}

TEST(Titles, MapBiasInTheSweepsOwnScale) {
    // A -4 ... +2 mV sweep is shown in mV, whole millivolts without an
    // exponent: 0.01 V is "10 mV", 0.1 V "100 mV".
    const grid_description mv = sweep(-0.004f, 0.002f);
    EXPECT_EQ(title(mv, 0.002, 0.00199f), "g.3ds\nat 1.99 mV (the midpoint nearest 2 mV)");
    EXPECT_EQ(title(mv, 0.01, 0.0099f), "g.3ds\nat 9.9 mV (the midpoint nearest 10 mV)");
    EXPECT_EQ(title(mv, 0.1, 0.00199f), "g.3ds\nat 1.99 mV (the midpoint nearest 100 mV)");
    EXPECT_EQ(title(mv, 0.0125, 0.0125f), "g.3ds\nat 12.5 mV (the midpoint nearest 12.5 mV)");
    // A sweep beyond +-0.1 V stays in volts, as it was.
    const grid_description v = sweep(-0.5f, 0.5f);
    EXPECT_EQ(title(v, 0.3, 0.3f), "g.3ds\nat 0.3 V (the midpoint nearest 0.3 V)");
    EXPECT_EQ(title(v, 20, 0.5f), "g.3ds\nat 0.5 V (the midpoint nearest 20 V)");
}

TEST(Titles, BroadeningWiderThanTheSweep) {
    norm_options norm;  // the default 1.33
    EXPECT_EQ(broadening_warning(norm, sweep(-0.004f, 0.002f)),
              "warning: --exp-width 1.33 V is wider than the sweep (-0.004 to 0.002 V, a span of "
              "0.006 V): norm_exp then broadens I/V over more than the whole sweep and means "
              "little; set --exp-width to the energy scale of the spectra");
    EXPECT_EQ(broadening_warning(norm, sweep(-1.0f, 1.0f)), "");
    norm.exp_width = 1.0f;
    EXPECT_EQ(broadening_warning(norm, sweep(-0.5f, 0.5f)), "");  // equal to the span
    // No axis, one point: nothing to compare.
    grid_description none;
    none.bias = {NAN, 0.1f};
    EXPECT_EQ(broadening_warning(norm, none), "");
}

}  // namespace
