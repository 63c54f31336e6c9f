// stsgrid's --fit* options: see fit_options.h.
#include "stsgrid/fit_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "grid/quantities.h"
#include "stsgrid/options.h"

namespace sts {

namespace {

// The options given, a bit each (fit_request::options_given), so that the
// check after the last option knows which were given at all.
enum : unsigned {
    given_fit = 1, given_window = 2, given_temperature = 4, given_tip_gap = 8,
    given_modulation = 16, given_free = 32, given_tip_gamma = 64
};

// Below this every value is accepted (strtod's finite range, kept sane).
constexpr double largest = 1e30;

bool positive(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    *value = std::strtod(text.c_str(), &end);
    return *end == '\0' && errno == 0 && std::isfinite(*value) && *value > 0 && *value < largest;
}

// V or V:free.
bool value_and_free(const std::string& text, double* value, bool* free) {
    const size_t colon = text.find(':');
    if (colon != std::string::npos && text.substr(colon + 1) != "free") return false;
    *free = colon != std::string::npos;
    return positive(text.substr(0, colon), value);
}

// The message for a value outside (0, largest): what, its unit, the range.
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

bool parse_fit(const std::string& text, grid_options* o, std::string* error) {
    o->fit.options_given |= given_fit;
    const size_t colon = text.find(':');
    const std::string model = text.substr(0, colon);
    if (model != "dynes" && model != "dynes-sis") {
        *error = "fit must be dynes or dynes-sis, optionally :VARIABLE, not '" + text + "'";
        return false;
    }
    o->fit.given = true;
    o->fit.settings.model = model == "dynes" ? gap_model::dynes : gap_model::dynes_sis;
    o->fit.variable = colon == std::string::npos ? "" : text.substr(colon + 1);
    if (colon == std::string::npos || fit_quantity(o->fit.variable)) return true;
    *error = "fit variable must be one of " + fit_quantities() + ", not '" + o->fit.variable + "'";
    return false;
}

bool parse_free(const std::string& text, grid_options* o, std::string* error) {
    o->fit.options_given |= given_free;
    size_t at = 0;
    while (at <= text.size()) {
        const size_t comma = std::min(text.find(',', at), text.size());
        const std::string word = text.substr(at, comma - at);
        if (word == "offset") o->fit.settings.fit_offset = true;
        else if (word == "background") o->fit.settings.fit_background = true;
        else {
            *error = "fit-free takes offset and background (comma-separated), not '" + word + "'";
            return false;
        }
        at = comma + 1;
    }
    return true;
}

bool parse_window(const std::string& text, grid_options* o, std::string* error) {
    o->fit.options_given |= given_window;
    if (positive(text, &o->fit.settings.window)) return true;
    *error = out_of_range("fit-window", "E", "bias units (the half-width around 0)", text);
    return false;
}

bool parse_modulation(const std::string& text, grid_options* o, std::string* error) {
    o->fit.options_given |= given_modulation;
    if (positive(text, &o->fit.settings.modulation)) return true;
    *error = out_of_range("fit-modulation", "V (zero to peak)", "bias units", text);
    return false;
}

bool parse_temperature(const std::string& text, grid_options* o, std::string* error) {
    gap_fit_settings& s = o->fit.settings;
    o->fit.options_given |= given_temperature;
    if (value_and_free(text, &s.temperature, &s.fit_temperature)) return true;
    *error = out_of_range("fit-temperature", "T or T:free", "K", text);
    return false;
}

bool parse_tip_gap(const std::string& text, grid_options* o, std::string* error) {
    gap_fit_settings& s = o->fit.settings;
    o->fit.options_given |= given_tip_gap;
    if (value_and_free(text, &s.tip_gap, &s.fit_tip_gap)) return true;
    *error = out_of_range("fit-tip-gap", "D or D:free", "meV", text);
    return false;
}

bool parse_tip_gamma(const std::string& text, grid_options* o, std::string* error) {
    gap_fit_settings& s = o->fit.settings;
    o->fit.options_given |= given_tip_gamma;
    if (value_and_free(text, &s.tip_gamma, &s.fit_tip_gamma)) return true;
    *error = out_of_range("fit-tip-gamma", "G or G:free", "meV", text);
    return false;
}

}  // namespace

const option_table<grid_options>& fit_option_rows() {
    static const option_table<grid_options> rows = {
        {{"--fit"}, true,
         {"      --fit=dynes|dynes-sis[:VARIABLE]",
          "                         per pixel, fit a superconducting gap (Dynes) to the",
          "                         conductance VARIABLE (didv_lockin with a lock-in channel,",
          "                         else didv), through a normal tip (dynes) or a",
          "                         superconducting one (dynes-sis): fit_gap, fit_gamma,",
          "                         fit_scale, ..., fit_se_*, fit_chi2, fit_status and",
          "                         fit_curve in the file; with --map, <output>_map_fit.png"},
         parse_fit},
        {{"--fit-window"}, true,
         {"      --fit-window=E     fit the points with |V| <= E bias units (default: all)"},
         parse_window},
        {{"--fit-temperature"}, true,
         {"      --fit-temperature=T[:free]  temperature in K, held (default 1) or fitted"},
         parse_temperature},
        {{"--fit-tip-gap"}, true,
         {"      --fit-tip-gap=D[:free]      the tip's gap in meV (dynes-sis; default 1.3)"},
         parse_tip_gap},
        {{"--fit-tip-gamma"}, true,
         {"      --fit-tip-gamma=G[:free]    the tip's broadening in meV (dynes-sis; 0.01)"},
         parse_tip_gamma},
        {{"--fit-modulation"}, true,
         {"      --fit-modulation=V the lock-in's amplitude, zero to peak, bias units"},
         parse_modulation},
        {{"--fit-free"}, true,
         {"      --fit-free=offset,background  also fit a bias offset V_0, a linear background"},
         parse_free},
    };
    return rows;
}

bool check_fit_options(grid_options* o, std::string* error) {
    const unsigned given = o->fit.options_given;
    if (!o->fit.given && given != 0) {
        *error = "the --fit-* options set the gap fit of --fit=dynes|dynes-sis, which is not given";
        return false;
    }
    if (o->fit.settings.model != gap_model::dynes_sis && (given & (given_tip_gap | given_tip_gamma))) {
        *error = "--fit-tip-gap and --fit-tip-gamma are the superconducting tip's: they need "
                 "--fit=dynes-sis";
        return false;
    }
    o->fit_map = o->fit.given && (!o->maps.empty() || o->gap_map);
    return true;
}

}  // namespace sts
