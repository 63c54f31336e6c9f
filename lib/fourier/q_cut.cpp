// A line cut through Fourier maps: see q_cut.h.
#include "fourier/q_cut.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sts {

namespace {

// Where q sits on a uniform axis, in pixels from its first value; -1 when
// it lies beyond either end (by more than a rounding margin).
double pixel_of(const std::vector<double>& axis, double q) {
    const double step = axis[1] - axis[0];
    const double at = (q - axis.front()) / step;
    const double last = static_cast<double>(axis.size() - 1);
    if (!(at >= -1e-9 && at <= last + 1e-9)) return -1;
    return std::clamp(at, 0.0, last);
}

std::string range_text(const std::vector<double>& axis) {
    char text[80];
    std::snprintf(text, sizeof text, "[%.6g, %.6g]", axis.front(), axis.back());
    return text;
}

}  // namespace

std::string q_cut_points(const std::vector<double>& qx, const std::vector<double>& qy, double q0x,
                         double q0y, double q1x, double q1y, std::vector<q_cut_point>& out) {
    out.clear();
    if (qx.size() < 2 || qy.size() < 2) return "the map needs at least 2 x 2 q-pixels for a cut";
    if (!(std::isfinite(q0x) && std::isfinite(q0y) && std::isfinite(q1x) && std::isfinite(q1y)))
        return "the cut's ends must be finite";
    const double ends[2][2] = {{q0x, q0y}, {q1x, q1y}};
    for (const auto& e : ends)
        if (pixel_of(qx, e[0]) < 0 || pixel_of(qy, e[1]) < 0)
            return "the cut's ends must lie within the map: qx in " + range_text(qx) +
                   ", qy in " + range_text(qy) + " nm^-1";
    const double dq = std::min(qx[1] - qx[0], qy[1] - qy[0]);
    const double length = std::hypot(q1x - q0x, q1y - q0y);
    const size_t steps = static_cast<size_t>(std::ceil(length / dq - 1e-9));
    out.resize(steps + 1);
    for (size_t i = 0; i <= steps; ++i) {
        const double t = steps ? static_cast<double>(i) / static_cast<double>(steps) : 0.0;
        q_cut_point& p = out[i];
        p.qx = q0x + t * (q1x - q0x);
        p.qy = q0y + t * (q1y - q0y);
        p.distance = t * length;
        p.taps = bilinear_at(qx.size(), qy.size(), pixel_of(qx, p.qx), pixel_of(qy, p.qy));
    }
    return "";
}

void q_cut_read(const float* stack, size_t nslices, size_t pixels,
                const std::vector<q_cut_point>& points, float* out) {
    for (size_t k = 0; k < nslices; ++k)
        for (size_t i = 0; i < points.size(); ++i)
            out[k * points.size() + i] =
                static_cast<float>(bilinear_read(stack + k * pixels, points[i].taps));
}

}  // namespace sts
