// The values of the per-pixel quantities at one bias over the whole grid:
// what the run gathers for a map, and what a map picture shows.
#ifndef GRID_BIAS_MAP_H
#define GRID_BIAS_MAP_H

#include <string>
#include <vector>

#include "grid/grid_description.h"

namespace sts {

// One panel of a map: a quantity of the table (quantities.h) by name, with
// the value of every pixel (row-major, ny * nx, NaN where not processed).
struct map_panel {
    std::string name;
    std::vector<float> values;
};

// The panels of one picture at the midpoint nearest one requested bias:
// the drawn quantities of one group (dI/dV and the three normalised curves
// of the numerical derivative, or of a lock-in channel).
struct bias_map {
    double bias = 0;  // as requested, in the bias unit
    float vmid = 0;   // the midpoint used (of the reference axis)
    quantity_group group = quantity_group::always;
    std::vector<map_panel> panels;

    // The values of the panel called name; an empty list when there is none.
    const std::vector<float>& values(const std::string& name) const {
        static const std::vector<float> none;
        for (const map_panel& p : panels)
            if (p.name == name) return p.values;
        return none;
    }
};

}  // namespace sts

#endif
