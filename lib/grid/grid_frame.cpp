// Pixels in a grid's lateral frame: see grid_frame.h.
#include "grid/grid_frame.h"

#include <cmath>
#include <limits>

namespace sts {

const char* layout_name(pixel_layout l) {
    switch (l) {
        case pixel_layout::centre: return "centre";
        case pixel_layout::corner: return "corner";
        case pixel_layout::ends: break;
    }
    return "ends";
}

std::vector<double> layout_axis(long count, double length, pixel_layout l) {
    std::vector<double> v;
    const auto n = static_cast<double>(count);
    for (long k = 0; k < count; ++k) {
        const auto i = static_cast<double>(k);
        if (l == pixel_layout::ends)
            v.push_back(count > 1 ? i * length / (n - 1) : length / 2);
        else
            v.push_back((i + (l == pixel_layout::centre ? 0.5 : 0.0)) * length / n);
    }
    return v;
}

namespace {

// Sum of squared distances, in steps of length / count, of the samples'
// coordinates from the layout's; an axis without extent counts nothing.
double misfit(const std::vector<frame_sample>& samples, long nx, long ny, double width,
              double height, pixel_layout l) {
    const std::vector<double> xs = layout_axis(nx, width, l), ys = layout_axis(ny, height, l);
    const double sx = width / static_cast<double>(nx), sy = height / static_cast<double>(ny);
    double sum = 0;
    for (const frame_sample& s : samples) {
        if (nx > 1 && sx > 0) sum += std::pow((s.u - xs[static_cast<size_t>(s.ix)]) / sx, 2);
        if (ny > 1 && sy > 0) sum += std::pow((s.v - ys[static_cast<size_t>(s.iy)]) / sy, 2);
    }
    return sum;
}

}  // namespace

pixel_layout fitted_layout(const std::vector<frame_sample>& samples, long nx, long ny,
                           double width, double height, pixel_layout fallback) {
    pixel_layout best = fallback;
    double least = std::numeric_limits<double>::infinity();
    std::vector<frame_sample> usable;
    for (const frame_sample& s : samples)
        if (s.ix >= 0 && s.ix < nx && s.iy >= 0 && s.iy < ny && std::isfinite(s.u) &&
            std::isfinite(s.v))
            usable.push_back(s);
    if (usable.empty()) return fallback;
    // The fallback first, so that a tie (a single pixel) keeps it.
    for (pixel_layout l : {fallback, pixel_layout::centre, pixel_layout::corner, pixel_layout::ends}) {
        const double m = misfit(usable, nx, ny, width, height, l);
        if (m < least) {
            least = m;
            best = l;
        }
    }
    return best;
}

}  // namespace sts
