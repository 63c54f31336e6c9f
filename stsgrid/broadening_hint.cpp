// Whether the exponential broadening's width suits the sweep.
#include "stsgrid/broadening_hint.h"

#include <cmath>
#include <cstdio>

namespace sts {

namespace {

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", v);
    return text;
}

}  // namespace

std::string broadening_warning(const norm_options& norm, const grid_description& d) {
    double lo = INFINITY, hi = -INFINITY;
    for (float v : d.bias)
        if (std::isfinite(v)) {
            lo = std::fmin(lo, v);
            hi = std::fmax(hi, v);
        }
    const double span = hi - lo, width = norm.exp_width;
    if (!(span > 0) || !(width > span)) return "";
    const std::string& unit = d.bias_unit;
    return "warning: --exp-width " + number(width) + " " + unit + " is wider than the sweep (" +
           number(lo) + " to " + number(hi) + " " + unit + ", a span of " + number(span) + " " +
           unit + "): norm_exp then broadens I/V over more than the whole sweep and means "
           "little; set --exp-width to the energy scale of the spectra";
}

}  // namespace sts
