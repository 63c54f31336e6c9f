// A scan image beside a grid: see scan_on_grid.h.
#include "grid/scan_on_grid.h"

#include <cmath>
#include <limits>

#include "readers/byte_source.h"
#include "readers/frame_position.h"

namespace sts {

namespace {

std::string trimmed(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return "";
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

// (u, v) nm from frame f's centre along its axes, in the instrument's
// coordinates (nm): the turn of scan_frame.h undone, exact at angle 0.
void from_frame_nm(const grid_frame& f, double u, double v, double* x, double* y) {
    if (f.angle == 0) {
        *x = f.centre_x + u;
        *y = f.centre_y + v;
        return;
    }
    const double turn = f.angle * std::acos(-1.0) / 180.0;
    const double c = std::cos(turn), s = std::sin(turn);
    *x = f.centre_x + u * c + v * s;
    *y = f.centre_y - u * s + v * c;
}

// The image of the channel named, in the direction asked; nullptr with
// *error listing what the scan has.
const sxm_image* chosen_image(const sxm_scan& scan, const scan_request& r, std::string* error) {
    std::string names;
    for (size_t c = 0; c < scan.channels.size(); ++c) {
        const sxm_channel& ch = scan.channels[c];
        names += (names.empty() ? "" : ", ") + ch.name;
        if (trimmed(ch.name) != trimmed(r.channel)) continue;
        if (const sxm_image* image = scan.image(c, r.backward)) return image;
        *error = "the scan's channel " + ch.name + " was not recorded " +
                 scan_direction_name(r.backward);
        return nullptr;
    }
    *error = "the scan has no channel " + r.channel + " (it has " + names + ")";
    return nullptr;
}

// The whole image in the variable's unit, and each pixel's centre in the
// grid's axes.
void keep_whole(const sxm_scan& scan, const sxm_image& image, const grid_description& d,
                scan_on_grid* out) {
    const sxm_frame& f = scan.frame;
    const bool metres = out->unit == "nm";
    out->x.clear();
    out->y.clear();
    for (long i = 0; i < f.nx; ++i)
        out->x.push_back((static_cast<double>(i) + 0.5) * f.frame.width / static_cast<double>(f.nx));
    for (long i = 0; i < f.ny; ++i)
        out->y.push_back((static_cast<double>(i) + 0.5) * f.frame.height / static_cast<double>(f.ny));
    out->image.resize(image.values.size());
    out->grid_x.resize(image.values.size());
    out->grid_y.resize(image.values.size());
    for (size_t k = 0; k < image.values.size(); ++k) {
        const float v = image.values[k];
        out->image[k] = metres ? static_cast<float>(static_cast<double>(v) * 1e9) : v;
        const size_t ix = k % static_cast<size_t>(f.nx), iy = k / static_cast<size_t>(f.nx);
        double x = 0, y = 0, u = 0, w = 0;
        from_frame_nm(f.frame, out->x[ix] - f.frame.width / 2, out->y[iy] - f.frame.height / 2, &x, &y);
        turn_into_frame_nm(d.frame, x, y, &u, &w);
        out->grid_x[k] = static_cast<float>(u - (d.frame.centre_x - d.frame.width / 2));
        out->grid_y[k] = static_cast<float>(w - (d.frame.centre_y - d.frame.height / 2));
    }
}

// The image at every grid pixel's place; counts the pixels on the scan.
void resample(const sxm_scan& scan, const sxm_image& image, const grid_description& d,
              scan_on_grid* out) {
    const bool metres = out->unit == "nm";
    out->on_grid.assign(static_cast<size_t>(d.nx) * static_cast<size_t>(d.ny),
                        std::numeric_limits<float>::quiet_NaN());
    out->pixels_on_scan = 0;
    for (long iy = 0; iy < d.ny; ++iy)
        for (long ix = 0; ix < d.nx; ++ix) {
            double x = 0, y = 0, value = 0;
            from_frame_nm(d.frame, d.x[static_cast<size_t>(ix)] - d.frame.width / 2,
                          d.y[static_cast<size_t>(iy)] - d.frame.height / 2, &x, &y);
            const frame_place p = place_in_frame(scan.frame, x * 1e-9, y * 1e-9);
            if (!p.inside) continue;
            ++out->pixels_on_scan;
            if (!sample_image(scan.frame, image, p.u, p.v, &value)) continue;
            out->on_grid[static_cast<size_t>(iy * d.nx + ix)] =
                static_cast<float>(metres ? value * 1e9 : value);
        }
}

}  // namespace

const char* scan_direction_name(bool backward) { return backward ? "backward" : "forward"; }

bool place_scan_on_grid(const sxm_scan& scan, const scan_request& r, const grid_description& d,
                        scan_on_grid* out, std::string* error) {
    if (!d.has_frame || d.x.size() != static_cast<size_t>(d.nx) ||
        d.y.size() != static_cast<size_t>(d.ny)) {
        *error = "the grid records no lateral frame to place the scan in (a Nanonis .3ds "
                 "grid's \"Grid settings\"; an RHK map brings its own topography pages)";
        return false;
    }
    const sxm_image* image = chosen_image(scan, r, error);
    if (!image) return false;
    out->path = r.path;
    out->channel = scan.channels[image->channel].name;
    out->unit = trimmed(scan.channels[image->channel].unit) == "m" ? "nm"
                                                                   : scan.channels[image->channel].unit;
    out->backward = r.backward;
    out->frame = scan.frame;
    resample(scan, *image, d, out);
    if (out->pixels_on_scan == 0) {
        *error = "the scan's frame (" + frame_text(scan.frame.frame) +
                 ") does not overlap the grid's frame (" + frame_text(d.frame) +
                 "): no pixel of the grid lies on the scan";
        return false;
    }
    keep_whole(scan, *image, d, out);
    return true;
}

bool place_scan_on_grid(const scan_request& r, const grid_description& d, scan_on_grid* out,
                        bool* refused, std::string* error) {
    *refused = false;
    std::string why;
    const std::unique_ptr<file_source> file = file_source::open(r.path, &why);
    sxm_scan scan;
    if (!file || !read_nanonis_sxm(*file, &scan, &why)) {
        *error = r.path + ": " + why;
        return false;
    }
    if (!place_scan_on_grid(scan, r, d, out, &why)) {
        *refused = true;
        *error = r.path + ": " + why;
        return false;
    }
    return true;
}

}  // namespace sts
