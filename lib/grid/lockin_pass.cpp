// The lock-in settings of a run and the first pass of a grid-wide fit.
#include "grid/lockin_pass.h"

#include <cstdio>

namespace sts {

namespace {

std::string number(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
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

}  // namespace

bool plan_lockin(const grid_source& src, const grid_plan& o, int threads,
                 grid_description* d, lockin_settings* ls, std::string* error) {
    *ls = lockin_settings{};
    if (o.import.signal_channel.empty()) return true;
    if (!d->writes(quantity_group::lockin)) d->groups.push_back(quantity_group::lockin);
    if (o.lockin_fit == lockin_fit_mode::pixel) {
        ls->use = lockin_use::per_pixel;
        ls->min_r2 = o.lockin_min_r2;
        d->attributes.emplace_back("lockin_min_r2", number(o.lockin_min_r2));
        return true;
    }
    if (!grid_line(src, *d, o, threads, &ls->line, error)) return false;
    ls->use = lockin_use::fixed;
    d->attributes.emplace_back("lockin_grid_scale", number(ls->line.scale));
    d->attributes.emplace_back("lockin_grid_offset", number(ls->line.offset));
    return true;
}

}  // namespace sts
