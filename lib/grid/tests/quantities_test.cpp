// The one table of per-pixel quantities stays consistent with itself: the
// statistics list is exactly its quantities with statistics, in its order,
// and every quantity a block carries is named once.
#include <set>
#include <vector>
#include <string>

#include <gtest/gtest.h>

#include "grid/quantities.h"

using namespace sts;

namespace {

std::vector<std::string> names(const std::vector<const pixel_quantity*>& list) {
    std::vector<std::string> out;
    for (const pixel_quantity* q : list) out.push_back(q->name);
    return out;
}

// Every group asked for at once: the statistics are then every quantity
// of the table that has them, in its order.
grid_description every_group() {
    grid_description d;
    d.per_pixel_axis = true;
    d.groups = {quantity_group::lockin, quantity_group::gap, quantity_group::position,
                quantity_group::topography, quantity_group::fit};
    return d;
}

TEST(Quantities, StatisticsAreTheTablesOwnInItsOrder) {
    std::vector<std::string> with_statistics;
    for (const pixel_quantity& q : pixel_quantities)
        if (q.statistics) with_statistics.push_back(q.name);
    EXPECT_EQ(names(statistics_quantities(every_group())), with_statistics);
    // A run without options writes the statistics it always wrote.
    EXPECT_EQ(names(statistics_quantities(grid_description())),
              (std::vector<std::string>{"current", "didv", "norm_raw", "norm_exp", "norm_coff"}));
}

TEST(Quantities, OptionalGroupsOnlyWhenAsked) {
    const grid_description plain;
    const grid_description all = every_group();
    for (const pixel_quantity& q : pixel_quantities) {
        EXPECT_TRUE(written_in(q, all)) << q.name;
        // Without options, only the quantities every run writes, and a
        // pixel's own axis only when the axes differ.
        EXPECT_EQ(written_in(q, plain), q.group == quantity_group::always && !q.pixel_axis)
            << q.name;
    }
}

TEST(Quantities, ValuesPerPixelFollowTheAxis) {
    pixel_quantity q = pixel_quantities[0];
    q.along = quantity_axis::point;
    EXPECT_EQ(values_per_pixel(q, 7), 7u);
    q.along = quantity_axis::midpoint;
    EXPECT_EQ(values_per_pixel(q, 7), 6u);
    q.along = quantity_axis::pixel;
    EXPECT_EQ(values_per_pixel(q, 7), 1u);
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
        if (q.pixel_axis) {
            EXPECT_FALSE(q.statistics || *q.title) << q.name;
        }
        // One value per pixel has no curve to average point by point.
        if (q.along == quantity_axis::pixel) {
            EXPECT_FALSE(q.statistics) << q.name;
        }
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
