// The table of per-pixel quantities: see quantities.h.
#include "grid/quantities.h"

namespace sts {

namespace {

const char* const gap_comment =
    "NaN where the pixel has no gap; gap_status says why. The curve, threshold and window are "
    "the global attributes gap_curve, gap_threshold and gap_window.";

const char* const fit_comment =
    "NaN unless fit_status is 0 (converged) or 1 (at_bound). The model, curve, window and fixed "
    "values are the global attributes fit_model, fit_curve_of, fit_window, fit_temperature and "
    "fit_tip_gap.";

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
    // --fit (spectrum/gap_fit.h): one value a pixel, and the fitted curve.
    {"fit_gap", quantity_axis::pixel, quantity_unit::millielectronvolt, "fitted gap Delta of the sample", "fit_gap: Delta (meV)",
     &pixel_block::fit_gap, false, false, fit_comment, quantity_group::fit},
    {"fit_gamma", quantity_axis::pixel, quantity_unit::millielectronvolt, "fitted Dynes broadening Gamma", "fit_gamma: Gamma (meV)",
     &pixel_block::fit_gamma, false, false, fit_comment, quantity_group::fit},
    {"fit_temperature", quantity_axis::pixel, quantity_unit::kelvin, "temperature of the fit (fitted with :free, else held)", "",
     &pixel_block::fit_temperature, false, false, fit_comment, quantity_group::fit},
    {"fit_tip_gap", quantity_axis::pixel, quantity_unit::millielectronvolt, "gap of the tip (dynes-sis; fitted with :free, else held)", "",
     &pixel_block::fit_tip_gap, false, false, fit_comment, quantity_group::fit},
    {"fit_scale", quantity_axis::pixel, quantity_unit::conductance, "fitted normal-state conductance G_N", "",
     &pixel_block::fit_scale, false, false, fit_comment, quantity_group::fit},
    {"fit_offset", quantity_axis::pixel, quantity_unit::bias, "fitted bias offset V_0 (0 unless fitted)", "",
     &pixel_block::fit_offset, false, false, fit_comment, quantity_group::fit},
    {"fit_background", quantity_axis::pixel, quantity_unit::conductance_per_bias, "fitted linear background b (0 unless fitted)", "",
     &pixel_block::fit_background, false, false, fit_comment, quantity_group::fit},
    {"fit_se_gap", quantity_axis::pixel, quantity_unit::millielectronvolt, "standard error of fit_gap (0 where held)", "",
     &pixel_block::fit_se_gap, false, false, fit_comment, quantity_group::fit},
    {"fit_se_gamma", quantity_axis::pixel, quantity_unit::millielectronvolt, "standard error of fit_gamma (0 where held)", "",
     &pixel_block::fit_se_gamma, false, false, fit_comment, quantity_group::fit},
    {"fit_se_temperature", quantity_axis::pixel, quantity_unit::kelvin, "standard error of fit_temperature (0 where held)", "",
     &pixel_block::fit_se_temperature, false, false, fit_comment, quantity_group::fit},
    {"fit_se_tip_gap", quantity_axis::pixel, quantity_unit::millielectronvolt, "standard error of fit_tip_gap (0 where held)", "",
     &pixel_block::fit_se_tip_gap, false, false, fit_comment, quantity_group::fit},
    {"fit_se_scale", quantity_axis::pixel, quantity_unit::conductance, "standard error of fit_scale (0 where held)", "",
     &pixel_block::fit_se_scale, false, false, fit_comment, quantity_group::fit},
    {"fit_se_offset", quantity_axis::pixel, quantity_unit::bias, "standard error of fit_offset (0 where held)", "",
     &pixel_block::fit_se_offset, false, false, fit_comment, quantity_group::fit},
    {"fit_se_background", quantity_axis::pixel, quantity_unit::conductance_per_bias, "standard error of fit_background (0 where held)", "",
     &pixel_block::fit_se_background, false, false, fit_comment, quantity_group::fit},
    {"fit_chi2", quantity_axis::pixel, quantity_unit::conductance_squared, "reduced chi^2 of the fit (unweighted)", "",
     &pixel_block::fit_chi2, false, false, fit_comment, quantity_group::fit},
    {"fit_iterations", quantity_axis::pixel, quantity_unit::ratio, "iterations of the fit", "",
     &pixel_block::fit_iterations, false, false, fit_comment, quantity_group::fit},
    {"fit_curve", quantity_axis::midpoint, quantity_unit::conductance,
     "the fitted model over the fit window's midpoints (NaN elsewhere)", "",
     &pixel_block::fit_curve, false, false, fit_comment, quantity_group::fit},
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
