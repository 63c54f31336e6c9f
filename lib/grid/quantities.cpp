// The table of per-pixel quantities: see quantities.h.
#include "grid/quantities.h"

namespace sts {

namespace {

const char* const gap_comment =
    "NaN where the pixel has no gap; gap_status says why. The curve, threshold and window are "
    "the global attributes gap_curve, gap_threshold and gap_window.";

const char* const frame_comment =
    "The recorded tip position turned into the grid's frame, beside the nominal x and y: "
    "their difference shows drift, and NaN a pixel the scan never reached.";

}  // namespace

const std::array<pixel_quantity, pixel_quantity_count> pixel_quantities = {{
    {"current", quantity_axis::point, quantity_unit::current, "offset-corrected tunnel current",
     "", &pixel_block::current, true, false, nullptr},
    {"iv", quantity_axis::point, quantity_unit::conductance, "I/V", "", &pixel_block::iv, false,
     false, nullptr},
    {"didv", quantity_axis::midpoint, quantity_unit::conductance, "dI/dV", "dI/dV",
     &pixel_block::didv, true, false, nullptr},
    {"norm_raw", quantity_axis::midpoint, quantity_unit::ratio, "(dI/dV)/(I/V), I/V untreated",
     "norm_raw = (dI/dV) / (I/V)", &pixel_block::norm_raw, true, false, nullptr},
    {"norm_exp", quantity_axis::midpoint, quantity_unit::ratio,
     "(dI/dV)/(I/V), I/V broadened by an exponential convolution",
     "norm_exp = (dI/dV) / (I/V broadened by an exponential; weights not normalised)",
     &pixel_block::norm_exp, true, false,
     "The exponential weights are not normalised: the scale of this curve differs from that of "
     "norm_raw and norm_coff."},
    {"norm_coff", quantity_axis::midpoint, quantity_unit::ratio,
     "(dI/dV)/(I/V), I/V broadened by an offset added in quadrature",
     "norm_coff = (dI/dV) / (I/V broadened by an offset)", &pixel_block::norm_coff, true, false,
     nullptr},
    {"pixel_bias", quantity_axis::point, quantity_unit::bias, "bias of the pixel's own points", "",
     &pixel_block::bias, false, true, nullptr},
    {"pixel_vmid", quantity_axis::midpoint, quantity_unit::bias,
     "midpoint bias of the pixel's own points", "", &pixel_block::vmid, false, true, nullptr},
    // --gap (spectrum/gap.h): one value a pixel, NaN where it has no gap.
    {"gap_low", quantity_axis::pixel, quantity_unit::bias,
     "lower edge of the gap: where the curve crosses the threshold below 0 V",
     "gap_low: lower edge of the gap", &pixel_block::gap_low, false, false, gap_comment,
     quantity_group::gap},
    {"gap_high", quantity_axis::pixel, quantity_unit::bias,
     "upper edge of the gap: where the curve crosses the threshold above 0 V",
     "gap_high: upper edge of the gap", &pixel_block::gap_high, false, false, gap_comment,
     quantity_group::gap},
    {"gap_width", quantity_axis::pixel, quantity_unit::bias, "width of the gap, gap_high - gap_low",
     "gap_width: width of the gap", &pixel_block::gap_width, false, false, gap_comment,
     quantity_group::gap},
    {"peak_low", quantity_axis::pixel, quantity_unit::bias,
     "bias of the largest value of the curve within the window below the gap",
     "peak_low: bias of the peak below the gap", &pixel_block::peak_low, false, false,
     gap_comment, quantity_group::gap},
    {"peak_high", quantity_axis::pixel, quantity_unit::bias,
     "bias of the largest value of the curve within the window above the gap",
     "peak_high: bias of the peak above the gap", &pixel_block::peak_high, false, false,
     gap_comment, quantity_group::gap},
    {"peak_low_height", quantity_axis::pixel, quantity_unit::ratio,
     "value of the curve at peak_low", "peak_low_height: value of the curve at peak_low",
     &pixel_block::peak_low_height, false, false, gap_comment, quantity_group::gap},
    {"peak_high_height", quantity_axis::pixel, quantity_unit::ratio,
     "value of the curve at peak_high", "peak_high_height: value of the curve at peak_high",
     &pixel_block::peak_high_height, false, false, gap_comment, quantity_group::gap},
    // A measured dI/dV channel (--didv-channel), calibrated by a line fitted
    // to the numerical dI/dV and divided by the same three I/V.
    {"didv_lockin", quantity_axis::midpoint, quantity_unit::conductance,
     "dI/dV from the lock-in channel: its mean at the midpoints, calibrated by the line "
     "scale * lock-in + offset fitted to the numerical dI/dV",
     "dI/dV (lock-in)", &pixel_block::didv_lockin, true, false, nullptr, quantity_group::lockin},
    {"norm_raw_lockin", quantity_axis::midpoint, quantity_unit::ratio,
     "(lock-in dI/dV)/(I/V), I/V untreated", "norm_raw (lock-in) = (dI/dV) / (I/V)",
     &pixel_block::norm_raw_lockin, true, false, nullptr, quantity_group::lockin},
    {"norm_exp_lockin", quantity_axis::midpoint, quantity_unit::ratio,
     "(lock-in dI/dV)/(I/V), I/V broadened by an exponential convolution",
     "norm_exp (lock-in) = (dI/dV) / (exp.-broadened I/V; weights not normalised)",
     &pixel_block::norm_exp_lockin, true, false,
     "The exponential weights are not normalised: the scale of this curve differs from that of "
     "norm_raw_lockin and norm_coff_lockin.",
     quantity_group::lockin},
    {"norm_coff_lockin", quantity_axis::midpoint, quantity_unit::ratio,
     "(lock-in dI/dV)/(I/V), I/V broadened by an offset added in quadrature",
     "norm_coff (lock-in) = (dI/dV) / (I/V broadened by an offset)",
     &pixel_block::norm_coff_lockin, true, false, nullptr, quantity_group::lockin},
    {"lockin_scale", quantity_axis::pixel, quantity_unit::conductance_per_signal,
     "scale of the line from the lock-in channel's stored values to dI/dV", "",
     &pixel_block::lockin_scale, false, false, nullptr, quantity_group::lockin},
    {"lockin_offset", quantity_axis::pixel, quantity_unit::conductance,
     "offset of the line from the lock-in channel's stored values to dI/dV", "",
     &pixel_block::lockin_offset, false, false, nullptr, quantity_group::lockin},
    {"lockin_r2", quantity_axis::pixel, quantity_unit::ratio,
     "R^2 of the calibrated lock-in against the numerical dI/dV: 1 - sum of squared "
     "differences / sum of squared deviations of the numerical dI/dV from its mean", "",
     &pixel_block::lockin_r2, false, false, nullptr, quantity_group::lockin},
    // Read, not computed: the tip's recorded position in the axes x and y.
    {"position_frame_x", quantity_axis::pixel, quantity_unit::length,
     "measured position of the pixel along the axis x, in the coordinates of x", "",
     &pixel_block::position_frame_x, false, false, frame_comment, quantity_group::position},
    {"position_frame_y", quantity_axis::pixel, quantity_unit::length,
     "measured position of the pixel along the axis y, in the coordinates of y", "",
     &pixel_block::position_frame_y, false, false, frame_comment, quantity_group::position},
    {"topography", quantity_axis::pixel, quantity_unit::length,
     "height of the tip over the pixel as recorded (Nanonis \"Z (m)\")", "topography (Z)",
     &pixel_block::topography, false, false, nullptr, quantity_group::topography},
}};

bool written_in(const pixel_quantity& q, const grid_description& d) {
    return d.writes(q.group) && (!q.pixel_axis || d.per_pixel_axis);
}

std::vector<const pixel_quantity*> statistics_quantities(const grid_description& d) {
    std::vector<const pixel_quantity*> list;
    for (const pixel_quantity& q : pixel_quantities)
        if (q.statistics && written_in(q, d)) list.push_back(&q);
    return list;
}

std::vector<const pixel_quantity*> map_quantities(quantity_group g) {
    std::vector<const pixel_quantity*> list;
    for (const pixel_quantity& q : pixel_quantities)
        if (q.group == g && q.along == quantity_axis::midpoint && *q.title) list.push_back(&q);
    return list;
}

std::string group_name(quantity_group g) {
    switch (g) {
        case quantity_group::always: break;
        case quantity_group::lockin: return "lockin";
        case quantity_group::gap: return "gap";
        case quantity_group::position: return "position";
        case quantity_group::topography: return "topography";
    }
    return "";
}

size_t values_per_pixel(const pixel_quantity& q, size_t points) {
    switch (q.along) {
        case quantity_axis::point: return points;
        case quantity_axis::midpoint: return points - 1;
        case quantity_axis::pixel: break;
    }
    return 1;
}

const pixel_quantity* find_pixel_quantity(const std::string& name) {
    for (const pixel_quantity& q : pixel_quantities)
        if (name == q.name) return &q;
    return nullptr;
}

std::string unit_text(quantity_unit u, const std::string& bias_unit,
                      const std::string& current_unit) {
    switch (u) {
        case quantity_unit::current: return current_unit;
        case quantity_unit::conductance: return current_unit + "/" + bias_unit;
        case quantity_unit::conductance_per_signal:
            return current_unit + "/" + bias_unit + " per unit of the lock-in channel";
        case quantity_unit::bias: return bias_unit;
        case quantity_unit::length: return "nm";
        case quantity_unit::ratio: break;
    }
    return "1";
}

}  // namespace sts
