// The per-pixel quantities of a grid run, in one table: their names, units,
// descriptions and axes, which the netCDF file, the maps, the mean curves
// and the statistics all take from here.
#ifndef GRID_QUANTITIES_H
#define GRID_QUANTITIES_H

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "grid/grid_description.h"
#include "grid/pixel_block.h"

namespace sts {

// One value per point, per midpoint, or a single value per pixel (a map).
enum class quantity_axis { point, midpoint, pixel };
// conductance_per_signal: conductance per unit of a measured channel (the
// lock-in's calibration scale).
// length: nm. millielectronvolt, kelvin: the gap fit's energies and
// temperature; conductance_per_bias: its background slope;
// conductance_squared: its chi^2.
enum class quantity_unit {
    current, conductance, ratio, bias, conductance_per_signal, length,
    millielectronvolt, kelvin, conductance_per_bias, conductance_squared
};

struct pixel_quantity {
    const char* name;       // variable name: "current", "didv", ...
    quantity_axis along;    // one value per point, or per midpoint
    quantity_unit unit;
    const char* long_name;  // what it is, as the file says
    const char* title;      // what it is, as a picture says ("": never drawn)
    std::vector<float> pixel_block::*values;
    bool statistics;        // has mean_, sd_ and se_ over the pixels
    bool pixel_axis;        // a pixel's own axis: only when the axes differ per pixel
    const char* comment;    // a caveat for the reader of the file, or nullptr
    quantity_group group = quantity_group::always;  // when a run writes it
};

// Every per-pixel float quantity, in the order the file defines them.
constexpr size_t pixel_quantity_count = 42;
extern const std::array<pixel_quantity, pixel_quantity_count> pixel_quantities;

// Whether a run described by d writes q: its group is asked for, and a
// pixel's own axis only when the axes differ per pixel.
bool written_in(const pixel_quantity& q, const grid_description& d);

// Those with statistics that a run described by d writes, in table order.
std::vector<const pixel_quantity*> statistics_quantities(const grid_description& d);

// The quantities a map at a bias draws for group g, in table order: those
// along the midpoints with a title.
std::vector<const pixel_quantity*> map_quantities(quantity_group g);

// The group's part of a file name ("lockin", ...); "" for `always`.
std::string group_name(quantity_group g);

// The values one pixel has of q in a grid of `points` points: points,
// points - 1, or 1.
size_t values_per_pixel(const pixel_quantity& q, size_t points);

// The quantity called name, or nullptr.
const pixel_quantity* find_pixel_quantity(const std::string& name);

// The unit's text for a grid in the given bias and current units.
std::string unit_text(quantity_unit u, const std::string& bias_unit,
                      const std::string& current_unit);

}  // namespace sts

#endif
