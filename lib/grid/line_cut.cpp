// The line's pixels and distances: see line_cut.h.
#include "grid/line_cut.h"

#include <algorithm>
#include <cmath>
#include <tuple>

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

std::string line_problem(long x0, long y0, long x1, long y1, long nx, long ny) {
    const auto inside = [&](long x, long y) { return x >= 0 && x < nx && y >= 0 && y < ny; };
    for (const auto& [x, y, which] : {std::tuple{x0, y0, "start"}, std::tuple{x1, y1, "end"}}) {
        if (inside(x, y)) continue;
        return "the line's " + std::string(which) + " (" + std::to_string(x) + ", " +
               std::to_string(y) + ") is outside the grid of " + std::to_string(nx) + " x " +
               std::to_string(ny) + " pixels; give pixel numbers from 0 to " +
               std::to_string(nx - 1) + " for x and from 0 to " + std::to_string(ny - 1) + " for y";
    }
    return "";
}

}  // namespace sts
