// The gap of a spectrum and the peaks beside it: see gap.h.
#include "spectrum/gap.h"

#include <cmath>
#include <limits>

#include "numlib/extended.h"

namespace sts {

const char* const gap_reason_names =
    "found not_below_threshold reaches_sweep_end undefined_value no_zero_bias not_computed";

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

// The midpoint nearest 0 V, of two equally near the one with the smaller
// value; -1 when 0 V is outside the midpoints.
int start_of(const float* vmid, const float* curve, int m) {
    if (m < 1 || !(vmid[0] <= 0.0f) || !(vmid[m - 1] >= 0.0f)) return -1;
    int best = 0;
    for (int i = 1; i < m; ++i) {
        const float here = std::fabs(vmid[i]), there = std::fabs(vmid[best]);
        if (here < there || (here == there && curve[i] < curve[best])) best = i;
    }
    return best;
}

// Where the curve crosses t between midpoint `in` (below t) and `out` (at
// or above it), by linear interpolation.
float crossing(const float* vmid, const float* curve, int in, int out, float t) {
    const xf fraction = (xf(t) - xf(curve[in])) / (xf(curve[out]) - xf(curve[in]));
    return static_cast<float>(xf(vmid[in]) + fraction * (xf(vmid[out]) - xf(vmid[in])));
}

// The largest finite value from midpoint `from` outwards by `step` (-1 or
// +1) while within `reach` of `edge`; the first one always counts.
void peak(const float* vmid, const float* curve, int m, int from, int step, float edge,
          xf reach, float* where, float* value) {
    *where = vmid[from];
    *value = curve[from];
    for (int i = from + step; i >= 0 && i < m; i += step) {
        if (xf_fabs(xf(vmid[i]) - xf(edge)) > reach) break;
        if (std::isfinite(curve[i]) && curve[i] > *value) {
            *where = vmid[i];
            *value = curve[i];
        }
    }
}

}  // namespace

gap_result find_gap(const float* vmid, const float* curve, int m, const gap_options& o) {
    gap_result r{gap_reason::found, NaN, NaN, NaN, NaN, NaN, NaN, NaN};
    const int start = start_of(vmid, curve, m);
    const float t = o.threshold;
    if (start < 0) {
        r.reason = gap_reason::no_zero_bias;
        return r;
    }
    const auto below = [&](int i) { return std::isfinite(curve[i]) && curve[i] < t; };
    if (!std::isfinite(curve[start])) r.reason = gap_reason::undefined_value;
    else if (!below(start)) r.reason = gap_reason::not_below;
    if (r.reason != gap_reason::found) return r;
    int first = start, last = start;
    while (first > 0 && below(first - 1)) --first;
    while (last < m - 1 && below(last + 1)) ++last;
    if (first == 0 || last == m - 1) r.reason = gap_reason::reaches_end;
    else if (!std::isfinite(curve[first - 1]) || !std::isfinite(curve[last + 1]))
        r.reason = gap_reason::undefined_value;
    if (r.reason != gap_reason::found) return r;
    const float low = crossing(vmid, curve, first, first - 1, t);
    const float high = crossing(vmid, curve, last, last + 1, t);
    const float width = subtract_floats(high, low);
    const xf reach = o.window > 0 ? xf(o.window) : xf(width);
    r.low = low;
    r.high = high;
    r.width = width;
    peak(vmid, curve, m, first - 1, -1, low, reach, &r.peak_low, &r.peak_low_height);
    peak(vmid, curve, m, last + 1, +1, high, reach, &r.peak_high, &r.peak_high_height);
    return r;
}

}  // namespace sts
