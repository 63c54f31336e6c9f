#include "fourier/symmetrise.h"

#include <cmath>
#include <limits>
#include <numbers>

#include "fourier/bilinear.h"

namespace sts {

namespace {

point_operation in_map_frame(const point_operation& g, double degrees) {
    const double a = degrees * std::numbers::pi / 180.0, c = std::cos(a), s = std::sin(a);
    // R(a) g R(-a).
    const double gxx = g.xx * c - g.xy * s, gxy = g.xx * s + g.xy * c;  // g R(-a)
    const double gyx = g.yx * c - g.yy * s, gyy = g.yx * s + g.yy * c;
    return {c * gxx - s * gyx, c * gxy - s * gyy, s * gxx + c * gyx, s * gxy + c * gyy};
}

}  // namespace

std::string symmetrise_values(const float* in, size_t nx, size_t ny, double dqx, double dqy,
                              double frame_angle, const std::vector<point_operation>& group,
                              float* out) {
    if (nx == 0 || ny == 0) return "the map has no pixels";
    if (!(dqx > 0 && dqy > 0 && std::isfinite(dqx) && std::isfinite(dqy)))
        return "the q axes must increase";
    if (!std::isfinite(frame_angle)) return "the lattice's angle is not finite";
    if (group.empty()) return "the group has no operations";
    std::vector<point_operation> ops;
    for (const point_operation& g : group) ops.push_back(in_map_frame(g, frame_angle));
    const double cx = static_cast<double>(nx / 2), cy = static_cast<double>(ny / 2);
    for (size_t y = 0; y < ny; ++y)
        for (size_t x = 0; x < nx; ++x) {
            const double qx = (static_cast<double>(x) - cx) * dqx;
            const double qy = (static_cast<double>(y) - cy) * dqy;
            double sum = 0;
            int count = 0;
            for (const point_operation& g : ops) {
                const double v = bilinear(in, nx, ny, (g.xx * qx + g.xy * qy) / dqx + cx,
                                          (g.yx * qx + g.yy * qy) / dqy + cy);
                if (std::isnan(v)) continue;
                sum += v;
                ++count;
            }
            out[y * nx + x] = count ? static_cast<float>(sum / count)
                                    : std::numeric_limits<float>::quiet_NaN();
        }
    return "";
}

std::string symmetrise(const q_map& in, double frame_angle,
                       const std::vector<point_operation>& group, q_map& out) {
    if (in.values.size() != in.nx * in.ny || in.qx.size() != in.nx || in.qy.size() != in.ny)
        return "the map's axes do not fit its values";
    if (in.nx < 2 || in.ny < 2) return "the map needs two pixels along each axis";
    std::vector<float> values(in.values.size());
    if (std::string problem = symmetrise_values(in.values.data(), in.nx, in.ny, in.dqx(),
                                                in.dqy(), frame_angle, group, values.data());
        !problem.empty())
        return problem;
    q_map result = in;
    result.values = std::move(values);
    out = std::move(result);
    return "";
}

}  // namespace sts
