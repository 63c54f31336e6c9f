// The lock-in settings of a run and the first pass of a grid-wide fit.
#include "grid/lockin_pass.h"

#include <cstdio>

#include "readers/units.h"

namespace sts {

namespace {

std::string number(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
    return text;
}

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

// Every pixel computed for its sums alone, merged in pixel order.
bool grid_line(const grid_source& src, const grid_description& d, const grid_plan& o,
               int threads, lockin_fit* line, std::string* error) {
    run_settings rs;
    rs.threads = threads;
    rs.norm = o.norm;
    // The pairs the run will calibrate: smoothed as it smooths them.
    rs.smooth_window = o.smooth_window;
    rs.smooth_order = o.smooth_order;
    rs.lockin.use = lockin_use::sums;
    lockin_moments all;
    const auto sink = [&](const pixel_block& b, const input_block&, std::string*) {
        for (int k = 0; k < b.count; ++k)
            if (b.status[static_cast<size_t>(k)] == PIXEL_PROCESSED)
                merge_moments(&all, b.moments[static_cast<size_t>(k)]);
        return true;
    };
    if (!run_grid(src, d, rs, sink, error)) return false;
    *line = fit_line(all);
    if (line->status == lockin_status::ok) return true;
    *error = "--lockin-fit=grid: no line fits channel '" + o.import.signal_channel +
             "' to the numerical dI/dV over the grid (" + describe_lockin_status(line->status) +
             ")";
    return false;
}

// What the recorded modulation gives, into *r.
void read_modulation(const grid_source& src, const grid_plan& o, lockin_report* r) {
    r->used = true;
    r->modulation = src.modulation();
    r->unit = src.signal_unit();
    r->amplitude_scale = amplitude_scale(r->modulation, r->unit, o.import.current_scale,
                                         o.import.bias_scale, &r->why_not);
    r->from_amplitude = r->amplitude_scale > 0;
}

// The run's line from the modulation; the fitted one stays in the report.
bool amplitude_line(const grid_plan& o, const lockin_report& r, grid_description* d,
                    lockin_settings* ls, std::string* error) {
    if (!r.from_amplitude) {
        *error = "--lockin-cal=amplitude cannot calibrate channel '" + o.import.signal_channel +
                 "': " + r.why_not + "; calibrate it by the fit (--lockin-cal=fit)";
        return false;
    }
    ls->line.status = lockin_status::ok;
    ls->line.scale = static_cast<float>(r.amplitude_scale);
    ls->line.offset = 0;
    d->attributes.emplace_back("lockin_calibration", "amplitude");
    d->attributes.emplace_back("lockin_modulation",
                               number(r.modulation.amplitude_v) + " V zero to peak (" +
                                   r.modulation.key + ")");
    if (r.fitted) d->attributes.emplace_back("lockin_fitted_scale", number(r.fitted_scale));
    return true;
}

}  // namespace

double amplitude_scale(const lockin_modulation& m, const std::string& unit,
                       double current_scale, double bias_scale, std::string* why_not) {
    if (!m.known) {
        *why_not = m.why_not;
        return 0;
    }
    const double amperes = amperes_per(unit);
    if (!(amperes > 0)) {
        *why_not = (unit.empty() ? std::string("the channel gives no unit")
                                 : "the channel is in '" + unit + "', no current") +
                   ": its amperes per unit (the lock-in's sensitivity, the pre-amplifier's "
                   "gain) are not recorded";
        return 0;
    }
    return amperes * current_scale / (m.amplitude_v * bias_scale);
}

bool plan_lockin(const grid_source& src, const grid_plan& o, int threads,
                 grid_description* d, lockin_settings* ls, std::string* error,
                 lockin_report* report) {
    *ls = lockin_settings{};
    lockin_report local;
    lockin_report* r = report ? report : &local;
    *r = lockin_report{};
    if (o.import.signal_channel.empty()) return true;
    read_modulation(src, o, r);
    if (!d->writes(quantity_group::lockin)) d->groups.push_back(quantity_group::lockin);
    if (o.lockin_fit == lockin_fit_mode::pixel && o.lockin_cal == lockin_cal_mode::fit) {
        ls->use = lockin_use::per_pixel;
        ls->min_r2 = o.lockin_min_r2;
        d->attributes.emplace_back("lockin_min_r2", number(o.lockin_min_r2));
        return true;
    }
    if (o.lockin_cal == lockin_cal_mode::amplitude && !r->from_amplitude)
        return amplitude_line(o, *r, d, ls, error);
    ls->use = lockin_use::fixed;
    if (o.lockin_cal == lockin_cal_mode::amplitude) {
        // The fit is only compared: a channel no line fits is calibrated all the same.
        std::string unfitted;
        r->fitted = grid_line(src, *d, o, threads, &ls->line, &unfitted);
        r->fitted_scale = r->fitted ? ls->line.scale : 0;
        return amplitude_line(o, *r, d, ls, error);
    }
    if (!grid_line(src, *d, o, threads, &ls->line, error)) return false;
    r->fitted = true;
    r->fitted_scale = ls->line.scale;
    d->attributes.emplace_back("lockin_grid_scale", number(ls->line.scale));
    d->attributes.emplace_back("lockin_grid_offset", number(ls->line.offset));
    return true;
}

}  // namespace sts
