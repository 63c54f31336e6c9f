// The description of a run and the names of its files.
#include "grid/grid_setup.h"
#include "grid/quantities.h"
#include "output/atomic_file.h"
#include "output/input_guard.h"
#include "grid/grid_collector.h"
#include "sts/version.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace sts {

namespace {

// The sorted, merged axis of the first pixel that computes, and its
// midpoints, NaN-padded to the dimensions' lengths.
void common_axis(const grid_source& src, const grid_plan& o, grid_description* d) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    d->bias.assign(static_cast<size_t>(d->points), nan);
    d->vmid.assign(static_cast<size_t>(d->points - 1), nan);
    const int capacity = std::max(1, std::min(d->points, MAX_POINTS));
    spectrum_workspace w;
    spectrum_arrays a;
    if (!reserve_workspace(&w, capacity) || !reserve_arrays(&a, capacity)) return;
    pixel_input in;
    const uint64_t pixels = static_cast<uint64_t>(d->nx) * static_cast<uint64_t>(d->ny);
    for (uint64_t p = 0; p < pixels; ++p) {
        src.read(p, &in);
        const int n = static_cast<int>(in.bias.size());
        if (in.code != PIXEL_PROCESSED || n > capacity) continue;
        std::copy_n(in.bias.begin(), n, a.bias.begin());
        std::copy_n(in.current.begin(), n, a.current.begin());
        const spectrum_report r = compute_spectrum(n, o.norm, &w, &a);
        if (r.status != spectrum_status::ok) continue;
        std::copy_n(a.bias.begin(), r.n, d->bias.begin());
        std::copy_n(a.vmid.begin(), r.n - 1, d->vmid.begin());
        return;
    }
}

std::string number(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}


// --fit's settings, as global attributes (none without it).
void fit_attributes(const grid_plan& o, const std::string& bias_unit,
                    std::vector<std::pair<std::string, std::string>>* a) {
    if (!o.fit.given) return;
    const gap_fit_settings& s = o.fit.settings;
    const bool sis = s.model == gap_model::dynes_sis;
    a->emplace_back("fit_model", sis ? "dynes-sis (superconducting tip)" : "dynes (normal tip)");
    a->emplace_back("fit_curve_of", o.fit.variable);
    a->emplace_back("fit_window", s.window > 0 ? "|V| <= " + number(s.window) + " " + bias_unit
                                               : "the whole sweep");
    a->emplace_back("fit_temperature",
                    number(s.temperature) + " K" + (s.fit_temperature ? ", fitted from" : ", held"));
    if (sis)
        a->emplace_back("fit_tip_gap",
                        number(s.tip_gap) + " meV" + (s.fit_tip_gap ? ", fitted from" : ", held"));
    a->emplace_back("fit_modulation", s.modulation > 0 ? number(s.modulation) + " " + bias_unit +
                                                              " zero to peak"
                                                        : "none");
    a->emplace_back("fit_offset", s.fit_offset ? "fitted" : "0");
    a->emplace_back("fit_background", s.fit_background ? "fitted" : "0");
}

}  // namespace

std::vector<std::pair<std::string, std::string>> run_attributes(const grid_plan& o,
                                                                const std::string& bias_unit,
                                                                const std::string& current_unit) {
    std::vector<std::pair<std::string, std::string>> a;
    a.emplace_back("program", "stsgrid " STS_VERSION);
    a.emplace_back("channel", o.import.channel);
    a.emplace_back("direction", direction_name(o.import.dir));
    a.emplace_back("exp_width", number(o.norm.exp_width) + " " + bias_unit);
    a.emplace_back("coff_offset", number(o.norm.coff_offset) + " " + current_unit + "/" +
                                      bias_unit);
    if (!o.import.signal_channel.empty()) {
        a.emplace_back("didv_channel", o.import.signal_channel);
        a.emplace_back("lockin_fit", o.lockin_fit == lockin_fit_mode::grid
                                         ? "grid: one line scale * lock-in + offset fitted to "
                                           "the numerical dI/dV of every processed pixel"
                                         : "pixel: a line scale * lock-in + offset fitted to "
                                           "each pixel's numerical dI/dV");
    }
    if (o.import.sweep > 0) a.emplace_back("sweep", std::to_string(o.import.sweep));
    if (!o.topography.empty()) {
        a.emplace_back("topography_scan", o.topography);
        a.emplace_back("topography_channel", o.topography_channel + " (" +
                                                 (o.topography_backward ? "backward" : "forward") +
                                                 ")");
    }
    a.emplace_back("statistics_region",
                   o.region.given ? "x " + std::to_string(o.region.x0) + ":" +
                                        std::to_string(o.region.x1) + ", y " +
                                        std::to_string(o.region.y0) + ":" +
                                        std::to_string(o.region.y1)
                                  : "all pixels");
    if (o.smooth_window > 0)
        a.emplace_back("smoothing", "Savitzky-Golay, window " + std::to_string(o.smooth_window) +
                                        " points, order " + std::to_string(o.smooth_order) +
                                        ", on the current as measured; ends from the fits over "
                                        "the first and last windows");
    fit_attributes(o, bias_unit, &a);
    if (!o.gap.given) return a;
    a.emplace_back("gap_curve", o.gap.variable);
    a.emplace_back("gap_threshold", number(o.gap.threshold));
    a.emplace_back("gap_window", o.gap.window > 0 ? number(o.gap.window) + " " + bias_unit
                                                  : "the gap's width");
    return a;
}

const std::vector<std::string>& run_attribute_names() {
    static const std::vector<std::string> names = {
        "program", "channel", "direction", "exp_width", "coff_offset", "didv_channel",
        "lockin_fit", "sweep", "topography_scan", "topography_channel", "statistics_region",
        "smoothing", "gap_curve", "gap_threshold", "gap_window", "fit_model", "fit_curve_of",
        "fit_window", "fit_temperature", "fit_tip_gap", "fit_modulation", "fit_offset",
        "fit_background"};
    return names;
}

namespace {

// Every file the run writes, with the option that names it: all known
// before the first pixel, so that a name that cannot be written fails
// before the work rather than after it.
std::vector<std::pair<std::string, const char*>> output_names(const grid_plan& o,
                                                               const std::string& out) {
    std::vector<std::pair<std::string, const char*>> names = {{out, "-o"}};
    grid_description d;
    d.groups = quantity_groups(o);
    if (!o.pointmean.empty()) names.emplace_back(o.pointmean, "--pointmean");
    if (o.mean_texts || o.mean_plot)
        for (const pixel_quantity* q : statistics_quantities(d))
            names.emplace_back(companion(out, std::string("_mean_") + q->name + ".txt"), "-o");
    for (double bias : o.maps) {
        names.emplace_back(map_name(out, quantity_group::always, bias), "-o");
        for (quantity_group g : d.groups)
            if (!map_quantities(g).empty()) names.emplace_back(map_name(out, g, bias), "-o");
    }
    if (o.gap_map) names.emplace_back(companion(out, "_map_gap.png"), "-o");
    if (o.fit_map) names.emplace_back(companion(out, "_map_fit.png"), "-o");
    if (o.mean_plot) names.emplace_back(companion(out, "_mean.png"), "-o");
    if (o.line.given) {
        names.emplace_back(companion(out, "_line.nc"), "-o");
        if (o.line_picture) names.emplace_back(companion(out, "_line.png"), "-o");
    }
    if (o.fft.given) {
        names.emplace_back(companion(out, "_fft.nc"), "-o");
        if (o.fft.drift) names.emplace_back(companion(out, "_corrected.nc"), "-o");
        for (double bias : o.maps) names.emplace_back(companion(out, "_fft_" + bias_text(bias) + ".png"), "-o");
    }
    return names;
}

}  // namespace

void describe_run(const grid_source& src, const grid_plan& o, grid_description* d) {
    src.describe(d);
    d->points = std::max(2, src.points());  // a point axis of at least one interval
    d->bias_unit = o.import.bias_scale == 1e3 ? "mV" : "V";
    d->current_unit = o.import.current_scale == 1e12 ? "pA" : "nA";
    d->per_pixel_axis = !src.same_bias_everywhere();
    d->groups = quantity_groups(o);
    if (d->has_positions) d->groups.push_back(quantity_group::position);
    if (d->has_topography) d->groups.push_back(quantity_group::topography);
    common_axis(src, o, d);
    for (auto& a : run_attributes(o, d->bias_unit, d->current_unit))
        d->attributes.push_back(std::move(a));
}

std::vector<quantity_group> quantity_groups(const grid_plan& o) {
    std::vector<quantity_group> groups;
    if (!o.import.signal_channel.empty()) groups.push_back(quantity_group::lockin);
    if (o.gap.given) groups.push_back(quantity_group::gap);
    if (o.fit.given) groups.push_back(quantity_group::fit);
    return groups;
}

bool check_plan_against_grid(const grid_plan& o, const grid_description& d, std::string* error) {
    float low = 0, high = 0;
    bool any = false;
    for (float v : d.bias)
        if (std::isfinite(v)) {
            low = any ? std::min(low, v) : v;
            high = any ? std::max(high, v) : v;
            any = true;
        }
    for (double v : o.maps)
        if (any && !(v >= low && v <= high)) {
            *error = "--map=" + bias_text(v) + " lies outside the sweep: give a bias from " +
                     bias_text(low) + " to " + bias_text(high) + " " + d.bias_unit;
            return false;
        }
    const pixel_region& r = o.region;
    if (r.given && (r.x0 < 0 || r.y0 < 0 || r.x1 >= d.nx || r.y1 >= d.ny || r.x0 > r.x1 ||
                    r.y0 > r.y1)) {
        *error = "--region=" + std::to_string(r.x0) + ":" + std::to_string(r.x1) + "," +
                 std::to_string(r.y0) + ":" + std::to_string(r.y1) +
                 " is not a rectangle of the grid of " + std::to_string(d.nx) + " x " +
                 std::to_string(d.ny) + " pixels: give x from 0 to " + std::to_string(d.nx - 1) +
                 " and y from 0 to " + std::to_string(d.ny - 1) + ", each start at most its end";
        return false;
    }
    return true;
}

bool check_gap_curve(const grid_plan& o, std::string* error) {
    if (!o.gap.given) return true;
    grid_description d;
    d.groups = quantity_groups(o);
    const pixel_quantity* q = find_pixel_quantity(o.gap.variable);
    if (q && written_in(*q, d)) return true;
    *error = "gap variable " + o.gap.variable + " is not computed in this run";
    return false;
}

bool check_output_name(const grid_plan& o, const std::string& out, std::string* error) {
    const input_guard inputs(o.inputs);
    for (const auto& [name, option] : output_names(o, out)) {
        const std::string input = inputs.replaced_input(name);
        if (!input.empty()) {
            *error = name + ": the output would replace the input " + input +
                     "; name another with " + option;
            return false;
        }
        if (output_target(name, error).empty()) return false;
    }
    return true;
}

std::string companion(const std::string& output, const std::string& suffix) {
    const bool nc = output.size() > 3 && output.compare(output.size() - 3, 3, ".nc") == 0;
    return (nc ? output.substr(0, output.size() - 3) : output) + suffix;
}

std::string map_name(const std::string& output, quantity_group g, double bias) {
    const std::string group = group_name(g);
    return companion(output, "_map_" + (group.empty() ? "" : group + "_") + bias_text(bias) + ".png");
}

std::string fit_curve_of(const fit_request& f, bool lockin) {
    if (!f.variable.empty()) return f.variable;
    return lockin ? "didv_lockin" : "didv";
}

bool check_fit_curve(const grid_plan& o, std::string* error) {
    if (!o.fit.given) return true;
    const gap_fit_settings& s = o.fit.settings;
    if (!(s.window >= 0) || !(s.temperature > 0) || !(s.modulation >= 0) ||
        (s.model == gap_model::dynes_sis && !(s.tip_gap > 0))) {
        *error = "fit settings out of range: the window, modulation >= 0, T and the tip's gap > 0";
        return false;
    }
    grid_description d;
    d.groups = quantity_groups(o);
    const pixel_quantity* q = find_pixel_quantity(o.fit.variable);
    if (q && q->along == quantity_axis::midpoint && q->unit == quantity_unit::conductance &&
        q->group != quantity_group::fit && written_in(*q, d))
        return true;
    *error = "fit variable " + o.fit.variable +
             " is not a midpoint conductance computed in this run";
    return false;
}

std::string gap_curve(const gap_request& g, bool lockin) {
    if (!g.variable.empty()) return g.variable;
    return lockin ? "norm_coff_lockin" : "norm_coff";
}

std::string default_output(const std::string& input) {
    const size_t slash = input.rfind('/');
    const size_t dot = input.rfind('.');
    const bool has_extension = dot != std::string::npos && dot > 0 &&
                               (slash == std::string::npos || dot > slash + 1);
    return (has_extension ? input.substr(0, dot) : input) + ".nc";
}

std::string bias_text(double bias) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", bias);
    return text;
}

}  // namespace sts
