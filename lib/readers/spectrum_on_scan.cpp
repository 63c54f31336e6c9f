// A point spectrum on a scan image: see spectrum_on_scan.h.
#include "readers/spectrum_on_scan.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "readers/byte_source.h"
#include "readers/file_format.h"
#include "readers/header_entries.h"
#include "readers/number_text.h"

namespace sts {

namespace {

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

}  // namespace

bool recorded_tip_position(std::string_view bytes, double* x_m, double* y_m, std::string* error) {
    bool has_x = false, has_y = false;
    if (detect_format(bytes) == file_format::nanonis_dat)
        for (const header_entry& e : header_entries(file_format::nanonis_dat, bytes)) {
            if (e.first == "X (m)") has_x = parse_number(e.second, x_m) && std::isfinite(*x_m);
            if (e.first == "Y (m)") has_y = parse_number(e.second, y_m) && std::isfinite(*y_m);
        }
    if (has_x && has_y) return true;
    *error = "the file records no tip position (a Nanonis .dat's \"X (m)\" and \"Y (m)\")";
    return false;
}

bool read_scan_file(const std::string& path, sxm_scan* scan, std::string* error) {
    std::string why;
    const std::unique_ptr<file_source> file = file_source::open(path, &why);
    if (file && read_nanonis_sxm(*file, scan, &why)) return true;
    *error = path + ": " + why;
    return false;
}

bool place_spectrum_on_scan(std::string_view bytes, const sxm_scan& scan, scan_spot* out,
                            std::string* error) {
    if (!recorded_tip_position(bytes, &out->x_m, &out->y_m, error)) return false;
    const frame_place p = place_in_frame(scan.frame, out->x_m, out->y_m);
    if (!p.inside) {
        *error = "the spectrum, taken at (" + number(out->x_m * 1e9) + ", " +
                 number(out->y_m * 1e9) + ") nm, lies outside the scan's frame (" +
                 frame_text(scan.frame.frame) + ")";
        return false;
    }
    out->column = p.ix;
    out->row = p.iy;
    out->x_nm = p.u + scan.frame.frame.width / 2;
    out->y_nm = p.v + scan.frame.frame.height / 2;
    return true;
}

}  // namespace sts
