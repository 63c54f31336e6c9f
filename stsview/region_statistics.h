// The mean and standard error of a rectangle of pixels, point by point,
// computed by stsgrid's own statistics (stsgrid/grid_statistics.h) over the
// same pixels in the same order: so the result equals stsgrid --region's
// mean_<name> and se_<name> for that rectangle bit for bit.
#ifndef STSVIEW_REGION_STATISTICS_H
#define STSVIEW_REGION_STATISTICS_H

#include <string>
#include <vector>

#include "stsview/grid_file.h"

namespace sts {

// A rectangle of pixels, 0-based and inclusive, as stsgrid's --region.
struct pixel_rectangle {
    size_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
};

struct region_result {
    int pixels = 0;               // processed pixels in the rectangle
    std::vector<float> mean, se;  // NaN throughout when fewer than 2
};

// Reads the rectangle's rows twice (nothing of it is held between the
// passes); the processed pixels (status 0) count.  The rectangle must lie
// within the grid.  false with *error when the file cannot be read.
bool region_statistics(grid_file& f, const grid_variable& v, const pixel_rectangle& r,
                       region_result* out, std::string* error);

}  // namespace sts

#endif
