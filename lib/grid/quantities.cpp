// The table of per-pixel quantities: see quantities.h.
#include "grid/quantities.h"

namespace sts {

namespace {

const char* const gap_comment =
    "NaN where the pixel has no gap; gap_status says why. The curve, threshold and window are "
    "the global attributes gap_curve, gap_threshold and gap_window.";

const char* const fit_comment =
    "NaN unless fit_status is 0 (converged), 1 (at_bound) or 7 (poor_fit: the curve misses the "
    "data's dip, or Gamma is at or above Delta; kept to be looked at). The model, curve, window and fixed "
    "values are the global attributes fit_model, fit_curve_of, fit_window, fit_temperature and "
    "fit_tip_gap.";

const char* const frame_comment =
    "The recorded tip position turned into the grid's frame, beside the nominal x and y: "
    "their difference shows drift, and NaN a pixel the scan never reached.";

}  // namespace

const std::array<pixel_quantity, pixel_quantity_count> pixel_quantities = {{
    {.name = "current", .along = quantity_axis::point, .unit = quantity_unit::current,
     .long_name = "offset-corrected tunnel current", .title = "", .values = &pixel_block::current,
     .statistics = true, .pixel_axis = false, .comment = nullptr},
    {.name = "iv", .along = quantity_axis::point, .unit = quantity_unit::conductance,
     .long_name = "I/V", .title = "", .values = &pixel_block::iv, .statistics = false,
     .pixel_axis = false, .comment = nullptr},
    {.name = "didv", .along = quantity_axis::midpoint, .unit = quantity_unit::conductance,
     .long_name = "dI/dV", .title = "dI/dV", .values = &pixel_block::didv, .statistics = true,
     .pixel_axis = false, .comment = nullptr},
    {.name = "norm_raw", .along = quantity_axis::midpoint, .unit = quantity_unit::ratio,
     .long_name = "(dI/dV)/(I/V), I/V untreated", .title = "norm_raw = (dI/dV) / (I/V)",
     .values = &pixel_block::norm_raw, .statistics = true, .pixel_axis = false, .comment = nullptr},
    {.name = "norm_exp", .along = quantity_axis::midpoint, .unit = quantity_unit::ratio,
     .long_name = "(dI/dV)/(I/V), I/V broadened by an exponential convolution",
     .title = "norm_exp = (dI/dV) / (I/V broadened by an exponential; weights not normalised)",
     .values = &pixel_block::norm_exp, .statistics = true, .pixel_axis = false,
     .comment = "The exponential weights are not normalised: the scale of this curve differs from that of " "norm_raw and norm_coff."},
    {.name = "norm_coff", .along = quantity_axis::midpoint, .unit = quantity_unit::ratio,
     .long_name = "(dI/dV)/(I/V), I/V broadened by an offset added in quadrature",
     .title = "norm_coff = (dI/dV) / (I/V broadened by an offset)",
     .values = &pixel_block::norm_coff, .statistics = true, .pixel_axis = false, .comment = nullptr},
    {.name = "pixel_bias", .along = quantity_axis::point, .unit = quantity_unit::bias,
     .long_name = "bias of the pixel's own points", .title = "", .values = &pixel_block::bias,
     .statistics = false, .pixel_axis = true, .comment = nullptr},
    {.name = "pixel_vmid", .along = quantity_axis::midpoint, .unit = quantity_unit::bias,
     .long_name = "midpoint bias of the pixel's own points", .title = "",
     .values = &pixel_block::vmid, .statistics = false, .pixel_axis = true, .comment = nullptr},
    // --gap (spectrum/gap.h): one value a pixel, NaN where it has no gap.
    {.name = "gap_low", .along = quantity_axis::pixel, .unit = quantity_unit::bias,
     .long_name = "lower edge of the gap: where the curve crosses the threshold below 0 V",
     .title = "gap_low: lower edge of the gap", .values = &pixel_block::gap_low,
     .statistics = false, .pixel_axis = false, .comment = gap_comment, .group = quantity_group::gap},
    {.name = "gap_high", .along = quantity_axis::pixel, .unit = quantity_unit::bias,
     .long_name = "upper edge of the gap: where the curve crosses the threshold above 0 V",
     .title = "gap_high: upper edge of the gap", .values = &pixel_block::gap_high,
     .statistics = false, .pixel_axis = false, .comment = gap_comment, .group = quantity_group::gap},
    {.name = "gap_width", .along = quantity_axis::pixel, .unit = quantity_unit::bias,
     .long_name = "width of the gap, gap_high - gap_low", .title = "gap_width: width of the gap",
     .values = &pixel_block::gap_width, .statistics = false, .pixel_axis = false,
     .comment = gap_comment, .group = quantity_group::gap},
    {.name = "peak_low", .along = quantity_axis::pixel, .unit = quantity_unit::bias,
     .long_name = "bias of the largest value of the curve within the window below the gap",
     .title = "peak_low: bias of the peak below the gap", .values = &pixel_block::peak_low,
     .statistics = false, .pixel_axis = false, .comment = gap_comment, .group = quantity_group::gap},
    {.name = "peak_high", .along = quantity_axis::pixel, .unit = quantity_unit::bias,
     .long_name = "bias of the largest value of the curve within the window above the gap",
     .title = "peak_high: bias of the peak above the gap", .values = &pixel_block::peak_high,
     .statistics = false, .pixel_axis = false, .comment = gap_comment, .group = quantity_group::gap},
    {.name = "peak_low_height", .along = quantity_axis::pixel, .unit = quantity_unit::ratio,
     .long_name = "value of the curve at peak_low",
     .title = "peak_low_height: value of the curve at peak_low",
     .values = &pixel_block::peak_low_height, .statistics = false, .pixel_axis = false,
     .comment = gap_comment, .group = quantity_group::gap},
    {.name = "peak_high_height", .along = quantity_axis::pixel, .unit = quantity_unit::ratio,
     .long_name = "value of the curve at peak_high",
     .title = "peak_high_height: value of the curve at peak_high",
     .values = &pixel_block::peak_high_height, .statistics = false, .pixel_axis = false,
     .comment = gap_comment, .group = quantity_group::gap},
    // A measured dI/dV channel (--didv-channel), calibrated by a line fitted
    // to the numerical dI/dV and divided by the same three I/V.
    {.name = "didv_lockin", .along = quantity_axis::midpoint, .unit = quantity_unit::conductance,
     .long_name = "dI/dV from the lock-in channel: its mean at the midpoints, calibrated by the line " "scale * lock-in + offset fitted to the numerical dI/dV",
     .title = "dI/dV (lock-in)", .values = &pixel_block::didv_lockin, .statistics = true,
     .pixel_axis = false, .comment = nullptr, .group = quantity_group::lockin},
    {.name = "norm_raw_lockin", .along = quantity_axis::midpoint, .unit = quantity_unit::ratio,
     .long_name = "(lock-in dI/dV)/(I/V), I/V untreated",
     .title = "norm_raw (lock-in) = (dI/dV) / (I/V)", .values = &pixel_block::norm_raw_lockin,
     .statistics = true, .pixel_axis = false, .comment = nullptr, .group = quantity_group::lockin},
    {.name = "norm_exp_lockin", .along = quantity_axis::midpoint, .unit = quantity_unit::ratio,
     .long_name = "(lock-in dI/dV)/(I/V), I/V broadened by an exponential convolution",
     .title = "norm_exp (lock-in) = (dI/dV) / (exp.-broadened I/V; weights not normalised)",
     .values = &pixel_block::norm_exp_lockin, .statistics = true, .pixel_axis = false,
     .comment = "The exponential weights are not normalised: the scale of this curve differs from that of " "norm_raw_lockin and norm_coff_lockin.",
     .group = quantity_group::lockin},
    {.name = "norm_coff_lockin", .along = quantity_axis::midpoint, .unit = quantity_unit::ratio,
     .long_name = "(lock-in dI/dV)/(I/V), I/V broadened by an offset added in quadrature",
     .title = "norm_coff (lock-in) = (dI/dV) / (I/V broadened by an offset)",
     .values = &pixel_block::norm_coff_lockin, .statistics = true, .pixel_axis = false,
     .comment = nullptr, .group = quantity_group::lockin},
    {.name = "lockin_scale", .along = quantity_axis::pixel,
     .unit = quantity_unit::conductance_per_signal,
     .long_name = "scale of the line from the lock-in channel's stored values to dI/dV",
     .title = "", .values = &pixel_block::lockin_scale, .statistics = false, .pixel_axis = false,
     .comment = nullptr, .group = quantity_group::lockin},
    {.name = "lockin_offset", .along = quantity_axis::pixel, .unit = quantity_unit::conductance,
     .long_name = "offset of the line from the lock-in channel's stored values to dI/dV",
     .title = "", .values = &pixel_block::lockin_offset, .statistics = false, .pixel_axis = false,
     .comment = nullptr, .group = quantity_group::lockin},
    {.name = "lockin_r2", .along = quantity_axis::pixel, .unit = quantity_unit::ratio,
     .long_name = "R^2 of the calibrated lock-in against the numerical dI/dV: 1 - sum of squared " "differences / sum of squared deviations of the numerical dI/dV from its mean",
     .title = "", .values = &pixel_block::lockin_r2, .statistics = false, .pixel_axis = false,
     .comment = nullptr, .group = quantity_group::lockin},
    // Read, not computed: the tip's recorded position in the axes x and y.
    {.name = "position_frame_x", .along = quantity_axis::pixel, .unit = quantity_unit::length,
     .long_name = "measured position of the pixel along the axis x, in the coordinates of x",
     .title = "", .values = &pixel_block::position_frame_x, .statistics = false,
     .pixel_axis = false, .comment = frame_comment, .group = quantity_group::position},
    {.name = "position_frame_y", .along = quantity_axis::pixel, .unit = quantity_unit::length,
     .long_name = "measured position of the pixel along the axis y, in the coordinates of y",
     .title = "", .values = &pixel_block::position_frame_y, .statistics = false,
     .pixel_axis = false, .comment = frame_comment, .group = quantity_group::position},
    {.name = "topography", .along = quantity_axis::pixel, .unit = quantity_unit::length,
     .long_name = "height of the tip over the pixel as recorded (Nanonis \"Z (m)\")",
     .title = "topography (Z)", .values = &pixel_block::topography, .statistics = false,
     .pixel_axis = false, .comment = nullptr, .group = quantity_group::topography},
    // --fit (spectrum/gap_fit.h): one value a pixel, and the fitted curve.
    {.name = "fit_gap", .along = quantity_axis::pixel, .unit = quantity_unit::millielectronvolt,
     .long_name = "fitted gap Delta of the sample",
     .title = "fit_gap: Delta (meV)", .values = &pixel_block::fit_gap, .statistics = false,
     .pixel_axis = false, .comment = fit_comment, .group = quantity_group::fit},
    {.name = "fit_gamma", .along = quantity_axis::pixel, .unit = quantity_unit::millielectronvolt,
     .long_name = "fitted Dynes broadening Gamma",
     .title = "fit_gamma: Gamma (meV)", .values = &pixel_block::fit_gamma, .statistics = false,
     .pixel_axis = false, .comment = fit_comment, .group = quantity_group::fit},
    {.name = "fit_temperature", .along = quantity_axis::pixel, .unit = quantity_unit::kelvin,
     .long_name = "temperature of the fit (fitted with :free, else held)",
     .title = "", .values = &pixel_block::fit_temperature, .statistics = false,
     .pixel_axis = false, .comment = fit_comment, .group = quantity_group::fit},
    {.name = "fit_tip_gap", .along = quantity_axis::pixel, .unit = quantity_unit::millielectronvolt,
     .long_name = "gap of the tip (dynes-sis; fitted with :free, else held)",
     .title = "", .values = &pixel_block::fit_tip_gap, .statistics = false,
     .pixel_axis = false, .comment = fit_comment, .group = quantity_group::fit},
    {.name = "fit_scale", .along = quantity_axis::pixel, .unit = quantity_unit::conductance,
     .long_name = "fitted normal-state conductance G_N",
     .title = "", .values = &pixel_block::fit_scale, .statistics = false,
     .pixel_axis = false, .comment = fit_comment, .group = quantity_group::fit},
    {.name = "fit_offset", .along = quantity_axis::pixel, .unit = quantity_unit::bias,
     .long_name = "fitted bias offset V_0 (0 unless fitted)",
     .title = "", .values = &pixel_block::fit_offset, .statistics = false,
     .pixel_axis = false, .comment = fit_comment, .group = quantity_group::fit},
    {.name = "fit_background", .along = quantity_axis::pixel,
     .unit = quantity_unit::conductance_per_bias,
     .long_name = "fitted linear background b (0 unless fitted)",
     .title = "", .values = &pixel_block::fit_background, .statistics = false,
     .pixel_axis = false, .comment = fit_comment, .group = quantity_group::fit},
    {.name = "fit_se_gap", .along = quantity_axis::pixel, .unit = quantity_unit::millielectronvolt,
     .long_name = "standard error of fit_gap (0 where held)",
     .title = "", .values = &pixel_block::fit_se_gap, .statistics = false,
     .pixel_axis = false, .comment = fit_comment, .group = quantity_group::fit},
    {.name = "fit_se_gamma", .along = quantity_axis::pixel, .unit = quantity_unit::millielectronvolt,
     .long_name = "standard error of fit_gamma (0 where held)",
     .title = "", .values = &pixel_block::fit_se_gamma, .statistics = false,
     .pixel_axis = false, .comment = fit_comment, .group = quantity_group::fit},
    {.name = "fit_se_temperature", .along = quantity_axis::pixel, .unit = quantity_unit::kelvin,
     .long_name = "standard error of fit_temperature (0 where held)",
     .title = "", .values = &pixel_block::fit_se_temperature, .statistics = false,
     .pixel_axis = false, .comment = fit_comment, .group = quantity_group::fit},
    {.name = "fit_se_tip_gap", .along = quantity_axis::pixel, .unit = quantity_unit::millielectronvolt,
     .long_name = "standard error of fit_tip_gap (0 where held)",
     .title = "", .values = &pixel_block::fit_se_tip_gap, .statistics = false,
     .pixel_axis = false, .comment = fit_comment, .group = quantity_group::fit},
    {.name = "fit_se_scale", .along = quantity_axis::pixel, .unit = quantity_unit::conductance,
     .long_name = "standard error of fit_scale (0 where held)",
     .title = "", .values = &pixel_block::fit_se_scale, .statistics = false,
     .pixel_axis = false, .comment = fit_comment, .group = quantity_group::fit},
    {.name = "fit_se_offset", .along = quantity_axis::pixel, .unit = quantity_unit::bias,
     .long_name = "standard error of fit_offset (0 where held)",
     .title = "", .values = &pixel_block::fit_se_offset, .statistics = false,
     .pixel_axis = false, .comment = fit_comment, .group = quantity_group::fit},
    {.name = "fit_se_background", .along = quantity_axis::pixel,
     .unit = quantity_unit::conductance_per_bias,
     .long_name = "standard error of fit_background (0 where held)",
     .title = "", .values = &pixel_block::fit_se_background, .statistics = false,
     .pixel_axis = false, .comment = fit_comment, .group = quantity_group::fit},
    {.name = "fit_chi2", .along = quantity_axis::pixel, .unit = quantity_unit::conductance_squared,
     .long_name = "reduced chi^2 of the fit (unweighted)",
     .title = "", .values = &pixel_block::fit_chi2, .statistics = false,
     .pixel_axis = false, .comment = fit_comment, .group = quantity_group::fit},
    {.name = "fit_iterations", .along = quantity_axis::pixel, .unit = quantity_unit::ratio,
     .long_name = "iterations of the fit",
     .title = "", .values = &pixel_block::fit_iterations, .statistics = false,
     .pixel_axis = false, .comment = fit_comment, .group = quantity_group::fit},
    {.name = "fit_curve", .along = quantity_axis::midpoint, .unit = quantity_unit::conductance,
     .long_name = "the fitted model over the fit window's midpoints (NaN elsewhere)",
     .title = "", .values = &pixel_block::fit_curve, .statistics = false,
     .pixel_axis = false, .comment = fit_comment, .group = quantity_group::fit},
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
        case quantity_group::fit: return "fit";
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
        case quantity_unit::millielectronvolt: return "meV";
        case quantity_unit::kelvin: return "K";
        case quantity_unit::conductance_per_bias: return current_unit + "/" + bias_unit + "^2";
        case quantity_unit::conductance_squared:
            return "(" + current_unit + "/" + bias_unit + ")^2";
        case quantity_unit::ratio: break;
    }
    return "1";
}

}  // namespace sts
