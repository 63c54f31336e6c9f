// --gap for one pixel: see pixel_gap.h.
#include "stsgrid/pixel_gap.h"

#include <cmath>
#include <limits>

namespace sts {

gap_result pixel_gap(const gap_settings& s, const grid_description& d, const pixel_block& b,
                     int k) {
    const auto pixel = static_cast<size_t>(k);
    if (b.status[pixel] != PIXEL_PROCESSED) {
        const float nan = std::numeric_limits<float>::quiet_NaN();
        return {gap_reason::not_computed, nan, nan, nan, nan, nan, nan, nan};
    }
    const auto m = static_cast<size_t>(b.points - 1);
    const float* vmid = d.per_pixel_axis ? b.vmid.data() + pixel * m : d.vmid.data();
    const float* curve = (b.*s.curve->values).data() + pixel * m;
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
