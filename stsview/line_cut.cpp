#include "stsview/line_cut.h"

#include <algorithm>
#include <cmath>

namespace sts {

namespace {

// The coordinate at a fractional pixel index, linear between pixels.
double coordinate(const std::vector<double>& axis, double index) {
    if (axis.size() < 2) return axis.empty() ? index : axis[0];
    const size_t i = std::min(static_cast<size_t>(index), axis.size() - 2);
    return axis[i] + (index - static_cast<double>(i)) * (axis[i + 1] - axis[i]);
}

}  // namespace

std::vector<line_sample> line_cut(size_t x0, size_t y0, size_t x1, size_t y1,
                                  const std::vector<double>& xs, const std::vector<double>& ys) {
    const double dx = static_cast<double>(x1) - static_cast<double>(x0);
    const double dy = static_cast<double>(y1) - static_cast<double>(y0);
    const size_t steps = static_cast<size_t>(std::max(std::fabs(dx), std::fabs(dy)));
    const double cx0 = coordinate(xs, static_cast<double>(x0)), cy0 = coordinate(ys, static_cast<double>(y0));
    std::vector<line_sample> samples;
    for (size_t k = 0; k <= steps; ++k) {
        const double t = steps == 0 ? 0.0 : static_cast<double>(k) / static_cast<double>(steps);
        const double fx = static_cast<double>(x0) + t * dx, fy = static_cast<double>(y0) + t * dy;
        line_sample s;
        s.x = static_cast<size_t>(std::lround(fx));
        s.y = static_cast<size_t>(std::lround(fy));
        s.distance = std::hypot(coordinate(xs, fx) - cx0, coordinate(ys, fy) - cy0);
        samples.push_back(s);
    }
    return samples;
}

}  // namespace sts
