// The one table of per-pixel quantities stays consistent with itself: the
// statistics list is exactly its quantities with statistics, in its order,
// and every quantity a block carries is named once.
#include <set>
#include <vector>
#include <string>

#include <gtest/gtest.h>

#include "stsgrid/quantities.h"

using namespace sts;

namespace {

TEST(Quantities, StatisticsAreTheTablesOwnInItsOrder) {
    std::vector<std::string> with_statistics;
    for (const pixel_quantity& q : pixel_quantities)
        if (q.statistics) with_statistics.push_back(q.name);
    std::vector<std::string> listed;
    for (const pixel_quantity* q : statistics_quantities) listed.push_back(q->name);
    EXPECT_EQ(listed, with_statistics);
    EXPECT_EQ(listed, (std::vector<std::string>{"current", "didv", "norm_raw", "norm_exp",
                                                "norm_coff"}));
}

TEST(Quantities, NamesAndBlockMembersOnce) {
    std::set<std::string> names;
    const pixel_block b;
    std::set<const std::vector<float>*> members;
    for (const pixel_quantity& q : pixel_quantities) {
        EXPECT_TRUE(names.insert(q.name).second) << q.name;
        EXPECT_TRUE(members.insert(&(b.*q.values)).second) << q.name;
        EXPECT_EQ(find_pixel_quantity(q.name), &q);
        // A pixel's own axis has no statistics and is never drawn.
        if (q.pixel_axis) EXPECT_FALSE(q.statistics || *q.title) << q.name;
    }
    EXPECT_EQ(find_pixel_quantity("status"), nullptr);
}

TEST(Quantities, UnitsInTheGridsUnits) {
    EXPECT_EQ(unit_text(quantity_unit::current, "mV", "pA"), "pA");
    EXPECT_EQ(unit_text(quantity_unit::conductance, "mV", "pA"), "pA/mV");
    EXPECT_EQ(unit_text(quantity_unit::bias, "mV", "pA"), "mV");
    EXPECT_EQ(unit_text(quantity_unit::ratio, "mV", "pA"), "1");
}

}  // namespace
