// The gap fit's results over the whole grid (spectrum/gap_fit.h): what the
// run gathers for the fit's maps and the summary's count of statuses.
#ifndef GRID_FIT_MAPS_H
#define GRID_FIT_MAPS_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "spectrum/gap_fit.h"

namespace sts {

struct fit_maps {
    bool given = false;    // --fit
    std::string curve;     // the curve fitted: "didv", ...
    gap_fit_settings settings;
    // Every pixel's values (row-major, ny * nx, NaN where not fitted), meV;
    // only with --fit and --map.
    std::vector<float> gap, gamma;
    std::array<uint64_t, gap_fit_status_count> by_status{};  // pixels seen, by fit_status
};

}  // namespace sts

#endif
