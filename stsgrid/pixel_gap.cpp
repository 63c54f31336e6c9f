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

}  // namespace sts
