// Statistics as text in pointmean's layout: one row per point, "%f %f %f
// %f %f" of the axis value, the mean, the sample standard deviation, the
// standard error and twice it.
#ifndef GRID_TEXT_OUTPUTS_H
#define GRID_TEXT_OUTPUTS_H

#include <string>
#include <vector>

#include "grid/grid_statistics.h"

namespace sts {

// The rows of the statistics against axis; a point whose statistics are
// undefined (fewer than two pixels) prints as nan.
std::string statistics_rows(const std::vector<float>& axis, const series_statistics& s);

}  // namespace sts

#endif
