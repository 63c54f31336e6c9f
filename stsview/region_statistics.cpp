// A rectangle's statistics through stsgrid's series_statistics, pixels in
// row-major order as stsgrid's collector takes them.
#include "stsview/region_statistics.h"

#include <limits>

#include "grid/grid_statistics.h"

namespace sts {

namespace {

// Every processed pixel's record in the rectangle, in pixel order.
template <typename sink>
bool each_processed(grid_file& f, const grid_variable& v, const pixel_rectangle& r, sink&& take,
                    std::string* error) {
    const size_t width = r.x1 - r.x0 + 1, length = f.length(v);
    std::vector<float> row(width * length);
    for (size_t y = r.y0; y <= r.y1; ++y) {
        if (!f.read_row(v, r.x0, y, width, row.data(), error)) return false;
        for (size_t k = 0; k < width; ++k)
            if (f.status()[y * f.nx() + r.x0 + k] == 0) take(row.data() + k * length);
    }
    return true;
}

}  // namespace

bool region_statistics(grid_file& f, const grid_variable& v, const pixel_rectangle& r,
                       region_result* out, std::string* error) {
    if (r.x0 > r.x1 || r.y0 > r.y1 || r.x1 >= f.nx() || r.y1 >= f.ny()) {
        if (error) *error = "the rectangle is not within the grid";
        return false;
    }
    const size_t length = f.length(v);
    series_statistics s(static_cast<int>(length));
    if (!each_processed(f, v, r, [&](const float* record) { s.add(record); }, error)) return false;
    out->pixels = s.count();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    out->mean.assign(length, nan);
    out->se.assign(length, nan);
    if (s.count() < 2) return true;
    if (!each_processed(f, v, r, [&](const float* record) { s.add_square(record); }, error))
        return false;
    for (size_t i = 0; i < length; ++i) {
        const point_stats p = s.at(i);
        out->mean[i] = p.mean;
        out->se[i] = p.error;
    }
    return true;
}

}  // namespace sts
