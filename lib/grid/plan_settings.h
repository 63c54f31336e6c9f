// A grid plan's settings by name and value, as text: stsgrid's options and
// the Python module's keyword arguments both fill a plan through here, so
// that the values taken and the messages of a wrong one are the same.
#ifndef GRID_PLAN_SETTINGS_H
#define GRID_PLAN_SETTINGS_H

#include <string>

#include "grid/grid_plan.h"

namespace sts {

// Which settings were given, for the checks between them (finish_plan).
struct plan_given {
    bool lockin_fit = false;
    bool lockin_min_r2 = false;
    bool lockin_cal = false;            // the summary then compares the scales
    bool fft_window = false;
    bool topography_channel = false;
    bool topography_direction = false;
};

// Whether name (an option's long name without its dashes: "smooth",
// "gap-window", "jobs", ...) is a plan setting.  Those without a value
// ("force") or with an optional one ("fft", "bragg", "drift-correct") take
// "" for none.
bool is_plan_setting(const std::string& name);

// Sets the plan's setting name to value (stsgrid's option value, as text);
// false with *error (stsgrid's message) for a wrong value.  The import
// options (channel, direction, ...) are not here: readers/import_option_parser.h.
bool set_plan_value(const std::string& name, const std::string& value, grid_plan* p,
                    plan_given* given, std::string* error);

// The checks between settings once all are given (--line-vars needs
// --line, --lockin-fit, --lockin-cal and --force a lock-in channel,
// --lockin-min-r2 the per-pixel fit, --map=gap and --gap-window a gap, the
// Fourier maps' settings --fft, the scan's --topography, the --fit-*
// settings --fit), and --gap or --fit with --map asking for their maps.
// false with *error.
bool finish_plan(grid_plan* p, const plan_given& given, std::string* error);

}  // namespace sts

#endif
