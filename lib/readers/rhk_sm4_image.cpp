// The image pages of an RHK .sm4 file: see rhk_sm4_image.h.
#include "readers/rhk_sm4_image.h"

#include <algorithm>
#include <cmath>

namespace sts {

double sm4_image::width() const { return std::fabs(x_scale) * static_cast<double>(nx); }
double sm4_image::height() const { return std::fabs(y_scale) * static_cast<double>(ny); }

bool read_sm4_images(std::string_view bytes, std::vector<sm4_image>* out, std::string* error) {
    std::vector<sm4_page> pages;
    if (!read_sm4_pages(bytes, &pages, error)) return false;
    out->clear();
    std::vector<double> row;
    for (const sm4_page& p : pages) {
        if (p.data_type != 0) continue;
        if (!check_sm4_spectra(bytes, p, error)) return false;
        sm4_image im;
        im.label = p.label;
        im.z_unit = p.z_unit;
        im.page_type = p.page_type;
        im.scan_direction = p.scan_direction;
        im.nx = static_cast<long>(p.points);
        im.ny = static_cast<long>(p.spectra);
        im.x_scale = static_cast<double>(p.x_scale) * 1e9;
        im.y_scale = static_cast<double>(p.y_scale) * 1e9;
        im.centre_x = static_cast<double>(p.x_offset) * 1e9;
        im.centre_y = static_cast<double>(p.y_offset) * 1e9;
        im.angle = static_cast<double>(p.angle);
        for (uint32_t i = 0; i < p.spectra; ++i) {
            sm4_values(bytes, p, i, &row);
            im.values.insert(im.values.end(), row.begin(), row.end());
        }
        out->push_back(std::move(im));
    }
    return true;
}

namespace {

// A stored pixel coordinate (column or row, centres at whole numbers) from
// a distance along the frame's axis; inside when within half a pixel of
// the outermost centres.
bool pixel_coordinate(double along, double scale, long n, double* at) {
    if (scale == 0 || n < 1) return false;
    *at = along / scale + static_cast<double>(n) / 2 - 0.5;
    const double slack = 0.5 + 0.01;
    return *at >= -slack && *at <= static_cast<double>(n - 1) + slack;
}

}  // namespace

bool sample_sm4_image(const sm4_image& im, double x_nm, double y_nm, double* value) {
    if (im.values.size() != static_cast<size_t>(im.nx) * static_cast<size_t>(im.ny)) return false;
    const double turn = im.angle * std::acos(-1.0) / 180.0;
    const double c = std::cos(turn), s = std::sin(turn);
    const double dx = x_nm - im.centre_x, dy = y_nm - im.centre_y;
    double pj = 0, pi = 0;
    if (!pixel_coordinate(dx * c + dy * s, im.x_scale, im.nx, &pj) ||
        !pixel_coordinate(-dx * s + dy * c, im.y_scale, im.ny, &pi))
        return false;
    pj = std::clamp(pj, 0.0, static_cast<double>(im.nx - 1));
    pi = std::clamp(pi, 0.0, static_cast<double>(im.ny - 1));
    const long j0 = static_cast<long>(pj), i0 = static_cast<long>(pi);
    const long j1 = std::min(j0 + 1, im.nx - 1), i1 = std::min(i0 + 1, im.ny - 1);
    const double tj = pj - static_cast<double>(j0), ti = pi - static_cast<double>(i0);
    auto at = [&](long i, long j) { return im.values[static_cast<size_t>(i * im.nx + j)]; };
    const double first = at(i0, j0) * (1 - tj) + at(i0, j1) * tj;
    const double second = at(i1, j0) * (1 - tj) + at(i1, j1) * tj;
    *value = first * (1 - ti) + second * ti;
    return true;
}

}  // namespace sts
