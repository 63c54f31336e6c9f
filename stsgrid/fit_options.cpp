// stsgrid's --fit* options: see fit_options.h.
#include "stsgrid/fit_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "grid/quantities.h"

namespace sts {

namespace {

enum : unsigned {
    key_fit = 1, key_window = 2, key_temperature = 4, key_tip_gap = 8, key_modulation = 16,
    key_free = 32, key_tip_gamma = 64
};

struct fit_key {
    const char* name;
    unsigned bit;
};
constexpr fit_key fit_key_list[] = {
    {"--fit", key_fit},           {"--fit-window", key_window},
    {"--fit-temperature", key_temperature}, {"--fit-tip-gap", key_tip_gap},
    {"--fit-modulation", key_modulation},   {"--fit-free", key_free},
    {"--fit-tip-gamma", key_tip_gamma}};

unsigned bit_of(const std::string& key) {
    for (const fit_key& k : fit_key_list)
        if (key == k.name) return k.bit;
    return 0;
}

bool positive(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    *value = std::strtod(text.c_str(), &end);
    return *end == '\0' && errno == 0 && std::isfinite(*value) && *value > 0 && *value < 1e30;
}

// V or V:free.
bool value_and_free(const std::string& text, double* value, bool* free) {
    const size_t colon = text.find(':');
    if (colon != std::string::npos && text.substr(colon + 1) != "free") return false;
    *free = colon != std::string::npos;
    return positive(text.substr(0, colon), value);
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

bool parse_free(const std::string& text, gap_fit_settings* s, std::string* error) {
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

}  // namespace

bool is_fit_key(const std::string& key) { return bit_of(key) != 0; }

bool take_fit_option(const std::string& key, const std::string& value, fit_request* f,
                     fit_keys_seen* seen, std::string* error) {
    const unsigned bit = bit_of(key);
    seen->keys |= bit;
    gap_fit_settings& s = f->settings;
    bool ok = true;
    switch (bit) {
        case key_fit: return parse_fit(value, f, error);
        case key_free: return parse_free(value, &s, error);
        case key_window:
            ok = positive(value, &s.window);
            if (!ok) *error = "fit-window must be a positive number of bias units, not '" + value + "'";
            break;
        case key_modulation:
            ok = positive(value, &s.modulation);
            if (!ok) *error = "fit-modulation must be a positive amplitude (zero to peak) in bias "
                              "units, not '" + value + "'";
            break;
        case key_temperature:
            ok = value_and_free(value, &s.temperature, &s.fit_temperature);
            if (!ok) *error = "fit-temperature must be T or T:free with T > 0 in K, not '" + value + "'";
            break;
        case key_tip_gap:
            ok = value_and_free(value, &s.tip_gap, &s.fit_tip_gap);
            if (!ok) *error = "fit-tip-gap must be D or D:free with D > 0 in meV, not '" + value + "'";
            break;
        case key_tip_gamma:
            ok = value_and_free(value, &s.tip_gamma, &s.fit_tip_gamma);
            if (!ok) *error = "fit-tip-gamma must be G or G:free with G > 0 in meV, not '" + value + "'";
            break;
        default: break;
    }
    return ok;
}

bool check_fit_options(const fit_request& f, const fit_keys_seen& seen, bool maps,
                       bool* fit_map, std::string* error) {
    if (!f.given && seen.keys != 0) {
        *error = "the --fit-* options set the gap fit of --fit=dynes|dynes-sis, which is not given";
        return false;
    }
    if (f.settings.model != gap_model::dynes_sis && (seen.keys & (key_tip_gap | key_tip_gamma))) {
        *error = "--fit-tip-gap and --fit-tip-gamma are the superconducting tip's: they need "
                 "--fit=dynes-sis";
        return false;
    }
    *fit_map = f.given && maps;
    return true;
}

const char* fit_usage() {
    return "      --fit=dynes|dynes-sis[:VARIABLE]\n"
           "                         per pixel, fit a superconducting gap (Dynes) to the\n"
           "                         conductance VARIABLE (didv_lockin with a lock-in channel,\n"
           "                         else didv), through a normal tip (dynes) or a\n"
           "                         superconducting one (dynes-sis): fit_gap, fit_gamma,\n"
           "                         fit_scale, ..., fit_se_*, fit_chi2, fit_status and\n"
           "                         fit_curve in the file; with --map, <output>_map_fit.png\n"
           "      --fit-window=E     fit the points with |V| <= E bias units (default: all)\n"
           "      --fit-temperature=T[:free]  temperature in K, held (default 1) or fitted\n"
           "      --fit-tip-gap=D[:free]      the tip's gap in meV (dynes-sis; default 1.3)\n"
           "      --fit-tip-gamma=G[:free]    the tip's broadening in meV (dynes-sis; 0.01)\n"
           "      --fit-modulation=V the lock-in's amplitude, zero to peak, bias units\n"
           "      --fit-free=offset,background  also fit a bias offset V_0, a linear background\n";
}

}  // namespace sts
