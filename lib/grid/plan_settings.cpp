// A grid plan's settings by name: see plan_settings.h.  The values and
// messages are stsgrid's options' (its --help describes them).
#include "grid/plan_settings.h"

#include <algorithm>
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
    } else if (key == "lockin-cal") {
        if (value != "fit" && value != "amplitude") {
            *error = "lockin-cal must be fit or amplitude, not '" + value + "'";
            return false;
        }
        o->lockin_cal = value == "fit" ? lockin_cal_mode::fit : lockin_cal_mode::amplitude;
        given->lockin_cal = true;
    } else if (key == "force") {
        o->import.signal_any_unit = true;
    }
    return true;
}

// --lockin-cal and --force need --didv-channel; amplitude is one scale
// for the grid, so not with a line per pixel.
bool check_lockin(const grid_plan* o, const plan_given& given, std::string* error) {
    const bool channel = !o->import.signal_channel.empty();
    if (given.lockin_cal && !channel) {
        *error = "--lockin-cal calibrates the channel of --didv-channel, which is not given";
        return false;
    }
    if (o->import.signal_any_unit && !channel) {
        *error = "--force lets --didv-channel take a channel of any unit; --didv-channel is not "
                 "given";
        return false;
    }
    if (o->lockin_cal == lockin_cal_mode::amplitude && o->lockin_fit == lockin_fit_mode::pixel) {
        *error = "--lockin-cal=amplitude gives one scale for the grid; --lockin-fit=pixel fits "
                 "one for each pixel: choose one";
        return false;
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

// The --fit* settings given, a bit each (fit_request::options_given), so
// that the check after the last setting knows which were given at all.
enum : unsigned {
    given_fit = 1, given_window = 2, given_temperature = 4, given_tip_gap = 8,
    given_modulation = 16, given_free = 32, given_tip_gamma = 64
};

// A fit's value in (0, 1e30): every finite value strtod gives, kept sane.
bool fit_positive(const std::string& text, double* value) {
    return parse_double(text, value) && *value > 0 && *value < 1e30;
}

// V or V:free.
bool value_and_free(const std::string& text, double* value, bool* free) {
    const size_t colon = text.find(':');
    if (colon != std::string::npos && text.substr(colon + 1) != "free") return false;
    *free = colon != std::string::npos;
    return fit_positive(text.substr(0, colon), value);
}

// The message for a value outside (0, 1e30): what, its unit, the range.
std::string out_of_range(const std::string& option, const std::string& form,
                         const std::string& unit, const std::string& value) {
    return option + " must be " + form + " with a value above 0 and below 1e30 " + unit +
           ", not '" + value + "'";
}

// The curves a gap can be fitted to: conductances along the midpoints.
bool fit_quantity(const std::string& name) {
    const pixel_quantity* q = find_pixel_quantity(name);
    return q && q->along == quantity_axis::midpoint && q->unit == quantity_unit::conductance &&
           q->group != quantity_group::fit;
}

std::string fit_quantities() {
    std::string names;
    for (const pixel_quantity& q : pixel_quantities)
        if (fit_quantity(q.name)) names += (names.empty() ? "" : ", ") + std::string(q.name);
    return names;
}

bool parse_fit(const std::string& text, fit_request* f, std::string* error) {
    const size_t colon = text.find(':');
    const std::string model = text.substr(0, colon);
    if (model != "dynes" && model != "dynes-sis") {
        *error = "fit must be dynes or dynes-sis, optionally :VARIABLE, not '" + text + "'";
        return false;
    }
    f->given = true;
    f->settings.model = model == "dynes" ? gap_model::dynes : gap_model::dynes_sis;
    f->variable = colon == std::string::npos ? "" : text.substr(colon + 1);
    if (colon == std::string::npos || fit_quantity(f->variable)) return true;
    *error = "fit variable must be one of " + fit_quantities() + ", not '" + f->variable + "'";
    return false;
}

bool parse_fit_free(const std::string& text, gap_fit_settings* s, std::string* error) {
    size_t at = 0;
    while (at <= text.size()) {
        const size_t comma = std::min(text.find(',', at), text.size());
        const std::string word = text.substr(at, comma - at);
        if (word == "offset") s->fit_offset = true;
        else if (word == "background") s->fit_background = true;
        else {
            *error = "fit-free takes offset and background (comma-separated), not '" + word + "'";
            return false;
        }
        at = comma + 1;
    }
    return true;
}

bool is_fit_setting(const std::string& k) {
    return k == "fit" || k == "fit-window" || k == "fit-temperature" || k == "fit-tip-gap" ||
           k == "fit-tip-gamma" || k == "fit-modulation" || k == "fit-free";
}

// The gap fit: --fit and its --fit-* settings.
bool set_fit(const std::string& key, const std::string& value, grid_plan* o,
             std::string* error) {
    if (!is_fit_setting(key)) return true;
    fit_request& f = o->fit;
    gap_fit_settings& s = f.settings;
    bool ok = true;
    if (key == "fit") {
        f.options_given |= given_fit;
        return parse_fit(value, &f, error);
    } else if (key == "fit-free") {
        f.options_given |= given_free;
        return parse_fit_free(value, &s, error);
    } else if (key == "fit-window") {
        f.options_given |= given_window;
        if (!(ok = fit_positive(value, &s.window)))
            *error = out_of_range(key, "E", "bias units (the half-width around 0)", value);
    } else if (key == "fit-modulation") {
        f.options_given |= given_modulation;
        if (!(ok = fit_positive(value, &s.modulation)))
            *error = out_of_range(key, "V (zero to peak)", "bias units", value);
    } else if (key == "fit-temperature") {
        f.options_given |= given_temperature;
        if (!(ok = value_and_free(value, &s.temperature, &s.fit_temperature)))
            *error = out_of_range(key, "T or T:free", "K", value);
    } else if (key == "fit-tip-gap") {
        f.options_given |= given_tip_gap;
        if (!(ok = value_and_free(value, &s.tip_gap, &s.fit_tip_gap)))
            *error = out_of_range(key, "D or D:free", "meV", value);
    } else {
        f.options_given |= given_tip_gamma;
        if (!(ok = value_and_free(value, &s.tip_gamma, &s.fit_tip_gamma)))
            *error = out_of_range(key, "G or G:free", "meV", value);
    }
    return ok;
}

// The --fit-* settings need --fit, the tip's values dynes-sis; --fit with
// --map (or --map=gap) draws the fit's maps.
bool check_fit(grid_plan* o, std::string* error) {
    const unsigned given = o->fit.options_given;
    if (!o->fit.given && given != 0) {
        *error = "the --fit-* options set the gap fit of --fit=dynes|dynes-sis, which is not given";
        return false;
    }
    if (o->fit.settings.model != gap_model::dynes_sis &&
        (given & (given_tip_gap | given_tip_gamma))) {
        *error = "--fit-tip-gap and --fit-tip-gamma are the superconducting tip's: they need "
                 "--fit=dynes-sis";
        return false;
    }
    o->fit_map = o->fit.given && (!o->maps.empty() || o->gap_map);
    return true;
}

// "X,Y".
bool parse_vector(const std::string& text, double* x, double* y) {
    const size_t comma = text.find(',');
    return comma != std::string::npos && parse_double(text.substr(0, comma), x) &&
           parse_double(text.substr(comma + 1), y);
}

// --bragg: "" or auto to find them, else Q1X,Q1Y:Q2X,Q2Y.
bool parse_bragg(const std::string& value, fourier_request* f, std::string* error) {
    if (value.empty() || value == "auto") {
        f->find_bragg = true;
        f->bragg_given = false;
        return true;
    }
    const size_t colon = value.find(':');
    if (colon == std::string::npos || !parse_vector(value.substr(0, colon), &f->q1x, &f->q1y) ||
        !parse_vector(value.substr(colon + 1), &f->q2x, &f->q2y)) {
        *error = "bragg must be auto or two vectors Q1X,Q1Y:Q2X,Q2Y in nm^-1, not '" + value + "'";
        return false;
    }
    f->bragg_given = true;
    f->find_bragg = false;
    return true;
}

bool is_fourier_setting(const std::string& k) {
    return k == "fft" || k == "fft-window" || k == "symmetrise" || k == "bragg" ||
           k == "drift-correct";
}

// The Fourier maps: --fft[=VARIABLE] and what works on them.
bool set_fourier(const std::string& key, const std::string& value, grid_plan* o,
                 plan_given* given, std::string* error) {
    fourier_request& f = o->fft;
    if (key == "fft") {
        f.given = true;
        f.variable = value;
    } else if (key == "fft-window") {
        if (value != "hann" && value != "none") {
            *error = "fft-window must be hann or none, not '" + value + "'";
            return false;
        }
        f.hann = value == "hann";
        given->fft_window = true;
    } else if (key == "symmetrise") {
        if (value.empty()) {
            *error = "symmetrise needs a point group, like 4mm or 6mm";
            return false;
        }
        f.group = value;  // the group itself is checked by the engine
    } else if (key == "bragg") {
        return parse_bragg(value, &f, error);
    } else if (key == "drift-correct") {
        f.drift = true;
        f.drift_lambda = 0;
        if (!value.empty() && (!parse_double(value, &f.drift_lambda) || !(f.drift_lambda > 0))) {
            *error = "drift-correct takes a positive length LAMBDA in nm, not '" + value + "'";
            return false;
        }
    }
    return true;
}

bool check_fourier(const grid_plan* o, const plan_given& given, std::string* error) {
    const fourier_request& f = o->fft;
    if (f.given) return true;
    const char* needs = !f.group.empty()                ? "--symmetrise"
                        : f.drift                       ? "--drift-correct"
                        : f.bragg_given || f.find_bragg ? "--bragg"
                        : given.fft_window              ? "--fft-window"
                                                        : nullptr;
    if (!needs) return true;
    *error = std::string(needs) + " works on the Fourier maps: give --fft as well";
    return false;
}

bool is_topography_setting(const std::string& k) {
    return k == "topography" || k == "topography-channel" || k == "topography-direction";
}

// The scan image beside the grid: its file, channel and direction.
bool set_topography(const std::string& key, const std::string& value, grid_plan* o,
                    plan_given* given, std::string* error) {
    if (key == "topography") {
        if (value.empty()) {
            *error = "topography needs a Nanonis scan image (.sxm)";
            return false;
        }
        o->topography = value;
    } else if (key == "topography-channel") {
        if (value.find_first_not_of(" \t") == std::string::npos) {
            *error = "topography-channel needs a channel name of the scan, like Z";
            return false;
        }
        o->topography_channel = value;
        given->topography_channel = true;
    } else if (key == "topography-direction") {
        if (value != "forward" && value != "backward") {
            *error = "topography-direction must be forward or backward, not '" + value + "'";
            return false;
        }
        o->topography_backward = value == "backward";
        given->topography_direction = true;
    }
    return true;
}

bool check_topography(const grid_plan* o, const plan_given& given, std::string* error) {
    if (o->topography.empty() && (given.topography_channel || given.topography_direction)) {
        *error = std::string(given.topography_channel ? "--topography-channel"
                                                      : "--topography-direction") +
                 " chooses the image of --topography=FILE.sxm, which is not given";
        return false;
    }
    return true;
}

}  // namespace

bool is_plan_setting(const std::string& name) {
    return name == "output" || name == "jobs" || name == "region" || name == "map" ||
           name == "pointmean" || name == "line" || name == "line-vars" || name == "exp-width" ||
           name == "coff-offset" || name == "smooth" || name == "gap" || name == "gap-window" ||
           name == "didv-channel" || name == "lockin-fit" || name == "lockin-min-r2" ||
           name == "lockin-cal" || name == "force" || is_fit_setting(name) ||
           is_fourier_setting(name) || is_topography_setting(name);
}

bool set_plan_value(const std::string& name, const std::string& value, grid_plan* p,
                    plan_given* given, std::string* error) {
    return set_writing(name, value, p, error) && set_lockin(name, value, p, given, error) &&
           set_computing(name, value, p, error) && set_fit(name, value, p, error) &&
           set_fourier(name, value, p, given, error) &&
           set_topography(name, value, p, given, error);
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
    return check_gap(p, error) && check_lockin(p, given, error) && check_fourier(p, given, error) &&
           check_topography(p, given, error) && check_fit(p, error);
}

}  // namespace sts
