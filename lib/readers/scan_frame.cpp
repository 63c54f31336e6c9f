// The frame of a Nanonis scan or grid.
#include "readers/scan_frame.h"

#include <cmath>
#include <cstdio>

namespace sts {

void turn_into_frame_nm(const grid_frame& f, double x, double y, double* u, double* v) {
    if (f.angle == 0) {
        *u = x;
        *v = y;
        return;
    }
    // The frame's axes (cos, -sin) and (sin, cos): the inverse turn.
    const double turn = f.angle * std::acos(-1.0) / 180.0;
    const double c = std::cos(turn), s = std::sin(turn);
    const double dx = x - f.centre_x, dy = y - f.centre_y;
    *u = f.centre_x + dx * c - dy * s;
    *v = f.centre_y + dx * s + dy * c;
}

namespace {

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

}  // namespace

std::string frame_text(const grid_frame& f) {
    return "centre (" + number(f.centre_x) + ", " + number(f.centre_y) + ") nm, " +
           number(f.width) + " x " + number(f.height) + " nm, angle " + number(f.angle) +
           " degrees";
}

}  // namespace sts
