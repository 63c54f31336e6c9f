// --gap for one pixel: see pixel_gap.h.
#include "grid/pixel_gap.h"

#include <cmath>
#include <limits>

namespace sts {

gap_result pixel_gap(const gap_settings& s, const grid_description& d, const pixel_block& b,
                     int k) {
    const auto pixel = static_cast<size_t>(k);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const gap_result none{gap_reason::not_computed, nan, nan, nan, nan, nan, nan, nan};
    if (b.status[pixel] != PIXEL_PROCESSED) return none;
    const auto m = static_cast<size_t>(b.points - 1);
    const std::vector<float>& record = b.*s.curve->values;
    if (record.size() < (pixel + 1) * m) return none;  // a curve this run does not compute
    const float* vmid = d.per_pixel_axis ? b.vmid.data() + pixel * m : d.vmid.data();
    const float* curve = record.data() + pixel * m;
    // Records are NaN-padded beyond a pixel's own midpoints.
    int own = 0;
    while (static_cast<size_t>(own) < m && std::isfinite(vmid[own])) ++own;
    return find_gap(vmid, curve, own, s.options);
}

void prepare_gap(const gap_settings& s, int count, pixel_block* b) {
    const size_t n = s.curve ? static_cast<size_t>(count) : 0;
    b->gap_status.assign(n, static_cast<signed char>(gap_reason::not_computed));
}

void record_gap(const gap_settings& s, const grid_description& d, int k, pixel_block* b) {
    if (!s.curve) return;
    const gap_result r = pixel_gap(s, d, *b, k);
    const auto pixel = static_cast<size_t>(k);
    b->gap_low[pixel] = r.low;
    b->gap_high[pixel] = r.high;
    b->gap_width[pixel] = r.width;
    b->peak_low[pixel] = r.peak_low;
    b->peak_high[pixel] = r.peak_high;
    b->peak_low_height[pixel] = r.peak_low_height;
    b->peak_high_height[pixel] = r.peak_high_height;
    b->gap_status[pixel] = static_cast<signed char>(r.reason);
}

}  // namespace sts
