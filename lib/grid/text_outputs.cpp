// Statistics rows in pointmean's layout.
#include "grid/text_outputs.h"

#include <cstdio>
#include <limits>

namespace sts {

std::string statistics_rows(const std::vector<float>& axis, const series_statistics& s) {
    std::string text;
    char row[5 * 64];
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (size_t i = 0; i < s.length(); ++i) {
        const point_stats p = s.count() >= 2 ? s.at(i) : point_stats{nan, nan, nan, nan, nan};
        // The same three pieces pointmean writes its summary lines in.
        int used = std::snprintf(row, sizeof row, "%f %f %f ", axis[i], p.mean, p.deviation);
        used += std::snprintf(row + used, sizeof row - static_cast<size_t>(used), "%f ", p.error);
        used += std::snprintf(row + used, sizeof row - static_cast<size_t>(used), "%f\n",
                              p.twice_error);
        text.append(row, static_cast<size_t>(used));
    }
    return text;
}

}  // namespace sts
