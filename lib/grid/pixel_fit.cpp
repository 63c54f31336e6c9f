// --fit for one pixel: see pixel_fit.h.
#include "grid/pixel_fit.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace sts {

namespace {

// A pixel's own midpoints and its curve: records are NaN-padded beyond them.
struct pixel_curve {
    const float* vmid = nullptr;
    const float* values = nullptr;
    int own = 0;
};

bool curve_of(const fit_settings& s, const grid_description& d, const pixel_block& b, int k,
              pixel_curve* c) {
    const auto pixel = static_cast<size_t>(k);
    if (b.status[pixel] != PIXEL_PROCESSED) return false;
    const auto m = static_cast<size_t>(b.points - 1);
    const std::vector<float>& record = b.*s.curve->values;
    if (record.size() < (pixel + 1) * m) return false;  // a curve this run does not compute
    c->vmid = d.per_pixel_axis ? b.vmid.data() + pixel * m : d.vmid.data();
    c->values = record.data() + pixel * m;
    c->own = 0;
    while (static_cast<size_t>(c->own) < m && std::isfinite(c->vmid[c->own])) ++c->own;
    return true;
}

}  // namespace

gap_fit_result pixel_fit(const fit_settings& s, const grid_description& d, const pixel_block& b,
                         int k, gap_fit_workspace* w) {
    pixel_curve c;
    if (!curve_of(s, d, b, k, &c)) return gap_fit_result{};
    return fit_gap(c.vmid, c.values, c.own, s.options, w);
}

void prepare_fit(const fit_settings& s, int count, pixel_block* b) {
    const size_t n = s.curve ? static_cast<size_t>(count) : 0;
    b->fit_status.assign(n, static_cast<signed char>(gap_fit_status::not_computed));
}

void record_fit(const fit_settings& s, const grid_description& d, int k, pixel_block* b,
                gap_fit_workspace* w) {
    if (!s.curve) return;
    pixel_curve c;
    const auto pixel = static_cast<size_t>(k);
    gap_fit_result r;  // not_computed
    if (curve_of(s, d, *b, k, &c)) r = fit_gap(c.vmid, c.values, c.own, s.options, w);
    b->fit_status[pixel] = static_cast<signed char>(r.status);
    // A poor fit keeps its numbers and curve, to be looked at beside the
    // data; its status marks them.
    const bool fitted = r.status == gap_fit_status::converged ||
                        r.status == gap_fit_status::at_bound || r.status == gap_fit_status::poor_fit;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float values[] = {r.gap,       r.gamma,          r.temperature,  r.tip_gap,
                            r.scale,     r.offset,         r.background,   r.se_gap,
                            r.se_gamma,  r.se_temperature, r.se_tip_gap,   r.se_scale,
                            r.se_offset, r.se_background,  r.chi2,
                            static_cast<float>(r.iterations)};
    std::vector<float> pixel_block::*const records[] = {
        &pixel_block::fit_gap,        &pixel_block::fit_gamma,       &pixel_block::fit_temperature,
        &pixel_block::fit_tip_gap,    &pixel_block::fit_scale,       &pixel_block::fit_offset,
        &pixel_block::fit_background, &pixel_block::fit_se_gap,      &pixel_block::fit_se_gamma,
        &pixel_block::fit_se_temperature, &pixel_block::fit_se_tip_gap,
        &pixel_block::fit_se_scale,   &pixel_block::fit_se_offset,   &pixel_block::fit_se_background,
        &pixel_block::fit_chi2,       &pixel_block::fit_iterations};
    for (size_t i = 0; i < std::size(records); ++i)
        if ((b->*records[i]).size() > pixel) (b->*records[i])[pixel] = fitted ? values[i] : nan;
    // The fitted curve over the window's midpoints only (NaN elsewhere).
    const auto m = static_cast<size_t>(b->points - 1);
    if (b->fit_curve.size() < (pixel + 1) * m) return;
    float* out = b->fit_curve.data() + pixel * m;
    std::fill(out, out + m, nan);
    if (!fitted) return;
    fitted_gap_curve(s.options, r, c.vmid, c.own, out, w);
    const double window = s.options.window;
    for (int i = 0; i < c.own; ++i)
        if (window > 0 && std::fabs(static_cast<double>(c.vmid[i])) > window) out[i] = nan;
}

}  // namespace sts
