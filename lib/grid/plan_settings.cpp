// A grid plan's settings by name: see plan_settings.h.  The values and
// messages are stsgrid's options' (its --help describes them).
#include "grid/plan_settings.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "grid/quantities.h"
#include "spectrum/smoothing.h"

namespace sts {

namespace {

bool parse_double(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    *value = std::strtod(text.c_str(), &end);
    return *end == '\0' && errno == 0 && std::isfinite(*value);
}

bool parse_long(const std::string& text, long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    *value = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' && errno == 0;
}

// "a:b" with a <= b, both from 0 up.
bool parse_range(const std::string& text, long* a, long* b) {
    const size_t colon = text.find(':');
    return colon != std::string::npos && parse_long(text.substr(0, colon), a) &&
           parse_long(text.substr(colon + 1), b) && *a >= 0 && *a <= *b;
}

bool parse_region(const std::string& text, pixel_region* r) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos) return false;
    r->given = parse_range(text.substr(0, comma), &r->x0, &r->x1) &&
               parse_range(text.substr(comma + 1), &r->y0, &r->y1);
    return r->given;
}

// "x,y" with both from 0 up.
bool parse_pixel(const std::string& text, long* x, long* y) {
    const size_t comma = text.find(',');
    return comma != std::string::npos && parse_long(text.substr(0, comma), x) &&
           parse_long(text.substr(comma + 1), y) && *x >= 0 && *y >= 0;
}

// "X0,Y0:X1,Y1".
bool parse_line(const std::string& text, pixel_line* l) {
    const size_t colon = text.find(':');
    l->given = colon != std::string::npos && parse_pixel(text.substr(0, colon), &l->x0, &l->y0) &&
               parse_pixel(text.substr(colon + 1), &l->x1, &l->y1);
    return l->given;
}

// Names from the quantity table, comma-separated; *bad is the first that
// is not one a line cut can draw (a quantity over the bias, not a pixel's
// own axis).
bool parse_line_vars(const std::string& text, std::vector<std::string>* names, std::string* bad) {
    size_t at = 0;
    while (at <= text.size()) {
        size_t comma = text.find(',', at);
        if (comma == std::string::npos) comma = text.size();
        const std::string name = text.substr(at, comma - at);
        const pixel_quantity* q = find_pixel_quantity(name);
        if (!q || q->pixel_axis || q->along == quantity_axis::pixel) {
            *bad = name;
            return false;
        }
        names->push_back(name);
        at = comma + 1;
    }
    return true;
}

// The quantities --line-vars takes, for its message.
std::string line_var_names() {
    std::string names;
    for (const pixel_quantity& q : pixel_quantities)
        if (!q.pixel_axis && q.along != quantity_axis::pixel)
            names += (names.empty() ? "" : ", ") + std::string(q.name);
    return names;
}

// Biases, and the word "gap" for the gap's maps.
bool parse_biases(const std::string& text, std::vector<double>* biases, bool* gap) {
    size_t at = 0;
    while (at <= text.size()) {
        size_t comma = text.find(',', at);
        if (comma == std::string::npos) comma = text.size();
        double v = 0;
        if (text.compare(at, comma - at, "gap") == 0) *gap = true;
        else if (parse_double(text.substr(at, comma - at), &v)) biases->push_back(v);
        else return false;
        at = comma + 1;
    }
    return true;
}

// The curves a gap can be looked for in: the normalised ones (ratios
// along the midpoints), so that the peaks' heights are ratios too.
bool gap_quantity(const std::string& name) {
    const pixel_quantity* q = find_pixel_quantity(name);
    return q && q->along == quantity_axis::midpoint && q->unit == quantity_unit::ratio &&
           !q->pixel_axis;
}

std::string gap_quantities() {
    std::string names;
    for (const pixel_quantity& q : pixel_quantities)
        if (gap_quantity(q.name)) names += (names.empty() ? "" : ", ") + std::string(q.name);
    return names;
}

// "T" or "T:VARIABLE".
bool parse_gap(const std::string& text, gap_request* g, std::string* error) {
    const size_t colon = text.find(':');
    double t = 0;
    if (!parse_double(text.substr(0, colon), &t) || std::fabs(t) > 1e30) {
        *error = "gap must be a threshold T or T:VARIABLE, not '" + text + "'";
        return false;
    }
    if (!(t > 0)) {
        *error = "the gap threshold T is a value of the normalised curve and must be above 0 "
                 "(like 0.3), not '" + text.substr(0, colon) + "'";
        return false;
    }
    g->given = true;
    g->threshold = static_cast<float>(t);
    g->variable = colon == std::string::npos ? "" : text.substr(colon + 1);
    if (colon == std::string::npos || gap_quantity(g->variable)) return true;
    *error = "gap variable must be one of " + gap_quantities() + ", not '" + g->variable + "'";
    return false;
}

// A float option that must be positive (the broadening constants).
bool parse_positive_float(const std::string& text, float* value) {
    double v = 0;
    if (!parse_double(text, &v) || !(v > 0) || v > 1e30) return false;
    *value = static_cast<float>(v);
    return true;
}

// --smooth=W[:ORDER]: an odd window of points, a polynomial degree below it.
bool parse_smoothing(const std::string& value, grid_plan* o, std::string* error) {
    const size_t colon = value.find(':');
    long window = 0, order = 2;
    if (!parse_long(value.substr(0, colon), &window) ||
        (colon != std::string::npos && !parse_long(value.substr(colon + 1), &order))) {
        *error = "smooth needs a window of points and optionally a polynomial order, like 11 "
                 "or 11:3, not '" + value + "'";
        return false;
    }
    if (window < 1 || window > MAX_SMOOTHING_WINDOW || window % 2 == 0) {
        *error = "the smoothing window must be an odd number of points from 1 to " +
                 std::to_string(MAX_SMOOTHING_WINDOW) +
                 " (so that it is centred on a point), not " +
                 std::to_string(window);
        return false;
    }
    if (order < 0 || order > MAX_SMOOTHING_ORDER || order >= window) {
        *error = "the smoothing order must be from 0 to " + std::to_string(MAX_SMOOTHING_ORDER) +
                 " and below the window of " + std::to_string(window) + " points, not " +
                 std::to_string(order) + "; widen the window or lower the order";
        return false;
    }
    o->smooth_window = static_cast<int>(window);
    o->smooth_order = static_cast<int>(order);
    return true;
}

// The settings of what is written: the file, the statistics' rectangle,
// the maps, the line cut, pointmean's file.
bool set_writing(const std::string& key, const std::string& value, grid_plan* o,
                 std::string* error) {
    if ((key == "output" || key == "pointmean") && value.empty()) {
        // An empty file name would be a request silently dropped.
        *error = "an empty file name: give the file after '=' (like --" + key + "=FILE)";
        return false;
    }
    if (key == "output") {
        o->output = value;
    } else if (key == "region") {
        if (!parse_region(value, &o->region)) {
            *error = "region must be x0:x1,y0:y1 (pixel numbers from 0, inclusive), not '" +
                     value + "'";
            return false;
        }
    } else if (key == "map") {
        if (!parse_biases(value, &o->maps, &o->gap_map)) {
            *error = "map needs biases like 0.01 or -0.5,0,0.5 (or gap), not '" + value + "'";
            return false;
        }
    } else if (key == "line") {
        if (!parse_line(value, &o->line)) {
            *error = "line must be X0,Y0:X1,Y1 (pixel numbers from 0 of its two ends), not '" +
                     value + "'";
            return false;
        }
    } else if (key == "line-vars") {
        std::string bad;
        o->line_vars.clear();
        if (!parse_line_vars(value, &o->line_vars, &bad)) {
            *error = "line-vars takes names from " + line_var_names() + ", not '" + bad + "'";
            return false;
        }
    } else if (key == "pointmean") {
        o->pointmean = value;
    }
    return true;
}

// The lock-in channel and its line.
bool set_lockin(const std::string& key, const std::string& value, grid_plan* o,
                plan_given* given, std::string* error) {
    if (key == "didv-channel") {
        if (value.empty()) {
            *error = "didv-channel needs a channel name, like \"LockinX (V)\"";
            return false;
        }
        o->import.signal_channel = value;
    } else if (key == "lockin-fit") {
        if (value != "pixel" && value != "grid") {
            *error = "lockin-fit must be pixel or grid, not '" + value + "'";
            return false;
        }
        o->lockin_fit = value == "grid" ? lockin_fit_mode::grid : lockin_fit_mode::pixel;
        given->lockin_fit = true;
    } else if (key == "lockin-min-r2") {
        double r2 = -1;
        if (!parse_double(value, &r2) || !(r2 >= 0 && r2 <= 1)) {
            *error = "lockin-min-r2 must be a number from 0 to 1, not '" + value + "'";
            return false;
        }
        o->lockin_min_r2 = static_cast<float>(r2);
        given->lockin_min_r2 = true;
    }
    return true;
}

// The computing settings: threads, broadenings, smoothing, the gap.
bool set_computing(const std::string& key, const std::string& value, grid_plan* o,
                   std::string* error) {
    long number = 0;
    if (key == "jobs") {
        if (!parse_long(value, &number) || number < 1 || number > 1024) {
            *error = "jobs must be a whole number from 1 to 1024, not '" + value + "'";
            return false;
        }
        o->threads = static_cast<int>(number);
    } else if (key == "gap") {
        return parse_gap(value, &o->gap, error);
    } else if (key == "gap-window") {
        if (!parse_positive_float(value, &o->gap.window)) {
            *error = "gap-window must be a positive number of bias units, not '" + value + "'";
            return false;
        }
    } else if (key == "exp-width") {
        if (!parse_positive_float(value, &o->norm.exp_width)) {
            *error = "exp-width must be a positive number of bias units, not '" + value + "'";
            return false;
        }
    } else if (key == "coff-offset") {
        if (!parse_positive_float(value, &o->norm.coff_offset)) {
            *error = "coff-offset must be a positive number, not '" + value + "'";
            return false;
        }
    } else if (key == "smooth") {
        return parse_smoothing(value, o, error);
    }
    return true;
}

// --map=gap and --gap-window need --gap; --gap with --map draws its maps.
bool check_gap(grid_plan* o, std::string* error) {
    if (!o->gap.given && (o->gap_map || o->gap.window > 0)) {
        *error = o->gap_map ? "--map=gap needs --gap=T" : "--gap-window needs --gap=T";
        return false;
    }
    o->gap_map = o->gap.given && (o->gap_map || !o->maps.empty());
    return true;
}

}  // namespace

bool is_plan_setting(const std::string& name) {
    return name == "output" || name == "jobs" || name == "region" || name == "map" ||
           name == "pointmean" || name == "line" || name == "line-vars" || name == "exp-width" ||
           name == "coff-offset" || name == "smooth" || name == "gap" || name == "gap-window" ||
           name == "didv-channel" || name == "lockin-fit" || name == "lockin-min-r2";
}

bool set_plan_value(const std::string& name, const std::string& value, grid_plan* p,
                    plan_given* given, std::string* error) {
    return set_writing(name, value, p, error) && set_lockin(name, value, p, given, error) &&
           set_computing(name, value, p, error);
}

bool finish_plan(grid_plan* p, const plan_given& given, std::string* error) {
    if (!p->line_vars.empty() && !p->line.given) {
        *error = "line-vars chooses the pictures of a line cut: give the line with --line";
        return false;
    }
    if (given.lockin_fit && p->import.signal_channel.empty()) {
        *error = "--lockin-fit calibrates the channel of --didv-channel, which is not given";
        return false;
    }
    if (given.lockin_min_r2 && p->lockin_fit != lockin_fit_mode::pixel) {
        *error = "--lockin-min-r2 marks the pixels of --lockin-fit=pixel, which is not given";
        return false;
    }
    return check_gap(p, error);
}

}  // namespace sts
