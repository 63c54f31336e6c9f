// The gap's quantities over the whole grid (spectrum/gap.h): what the run
// gathers for the gap's maps, and what their picture shows.
#ifndef GRID_GAP_MAPS_H
#define GRID_GAP_MAPS_H

#include <string>
#include <vector>

namespace sts {

// Every pixel's values (row-major, ny * nx, NaN where it has no gap), in
// the bias unit.
struct gap_maps {
    std::string curve;     // the curve looked at: "norm_coff", ...
    float threshold = 0;   // T
    float window = 0;      // the peaks' window; 0 = the gap's width
    std::vector<float> low, high, width, peak_low, peak_high;
};

}  // namespace sts

#endif
