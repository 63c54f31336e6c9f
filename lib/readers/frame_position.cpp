// Where a position falls in a scan's frame.
#include "readers/frame_position.h"

#include <algorithm>
#include <cmath>

namespace sts {

namespace {

// Distance from the frame's lower left corner in pixels (0 at the edge,
// n at the far edge); inside when within [0, n].
bool in_pixels(double from_centre, double size, long n, double* pixels) {
    *pixels = (from_centre + size / 2) / size * static_cast<double>(n);
    return *pixels >= 0 && *pixels <= static_cast<double>(n);
}

long pixel_of(double pixels, long n) { return std::min(static_cast<long>(pixels), n - 1); }

}  // namespace

frame_place place_in_frame(const sxm_frame& f, double x_m, double y_m) {
    frame_place p;
    double u = 0, v = 0;
    turn_into_frame_nm(f.frame, x_m * 1e9, y_m * 1e9, &u, &v);
    p.u = u - f.frame.centre_x;
    p.v = v - f.frame.centre_y;
    double px = 0, py = 0;
    p.inside = in_pixels(p.u, f.frame.width, f.nx, &px) && in_pixels(p.v, f.frame.height, f.ny, &py);
    if (p.inside) {
        p.ix = pixel_of(px, f.nx);
        p.iy = pixel_of(py, f.ny);
    }
    return p;
}

bool sample_image(const sxm_frame& f, const sxm_image& image, double u, double v, double* value) {
    double px = 0, py = 0;
    if (image.values.size() != static_cast<size_t>(f.nx) * static_cast<size_t>(f.ny)) return false;
    if (!in_pixels(u, f.frame.width, f.nx, &px) || !in_pixels(v, f.frame.height, f.ny, &py))
        return false;
    // From pixel centres: centre i is at i + 1/2.
    const double cx = std::clamp(px - 0.5, 0.0, static_cast<double>(f.nx - 1));
    const double cy = std::clamp(py - 0.5, 0.0, static_cast<double>(f.ny - 1));
    const long x0 = static_cast<long>(cx), y0 = static_cast<long>(cy);
    const long x1 = std::min(x0 + 1, f.nx - 1), y1 = std::min(y0 + 1, f.ny - 1);
    const double tx = cx - static_cast<double>(x0), ty = cy - static_cast<double>(y0);
    auto at = [&](long ix, long iy) {
        return static_cast<double>(image.values[static_cast<size_t>(iy * f.nx + ix)]);
    };
    const double bottom = at(x0, y0) * (1 - tx) + at(x1, y0) * tx;
    const double top = at(x0, y1) * (1 - tx) + at(x1, y1) * tx;
    *value = bottom * (1 - ty) + top * ty;
    return true;
}

}  // namespace sts
