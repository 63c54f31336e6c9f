// stsgrid --fit's results for the page: see fit_records.h.
#include "stsview/fit_records.h"

#include <cmath>
#include <sstream>

namespace sts {

namespace {

constexpr const char* fit_curve_name = "fit_curve";
constexpr const char* fit_status_name = "fit_status";

bool has_map(const std::vector<pixel_map_variable>& maps, const std::string& name) {
    for (const auto& m : maps)
        if (m.name == name) return true;
    return false;
}

// The fit's global attributes (fit_model, fit_curve_of, ...), in the file's order.
bool fit_globals(grid_file& f, fit_description* d, std::string* error) {
    std::vector<std::pair<std::string, std::string>> globals;
    if (!f.read_globals(&globals, error)) return false;
    for (auto& [name, value] : globals) {
        if (name.rfind("fit_", 0) != 0) continue;
        if (name == "fit_curve_of") d->curve_of = value;
        if (name == "fit_model") d->model = value;
        if (name == "fit_window") d->window = value;
        d->settings.emplace_back(name, value);
    }
    return true;
}

// "" when the fitted variable is one the page can draw the fit over.
std::string fitted_variable_problem(const grid_file& f, const fit_description& d) {
    const grid_variable* curve = f.variable(fit_curve_name);
    if (!curve || !curve->midpoints) return "its fit_curve is not a curve over the midpoints";
    if (d.curve_of.empty()) return "it names no fitted variable (the global attribute fit_curve_of)";
    const grid_variable* fitted = f.variable(d.curve_of);
    if (!fitted) return "the fitted variable '" + d.curve_of + "' (fit_curve_of) is not in the file";
    if (!fitted->midpoints) return "the fitted variable '" + d.curve_of + "' is not over the midpoints";
    return "";
}

}  // namespace

bool describe_fit(grid_file& f, const std::vector<pixel_map_variable>& maps, fit_description* out,
                  std::string* error) {
    *out = fit_description{};
    if (!f.variable(fit_curve_name)) return true;
    if (!fit_globals(f, out, error)) return false;
    out->problem = fitted_variable_problem(f, *out);
    if (out->problem.empty() && !has_map(maps, fit_status_name))
        out->problem = "it holds no fit_status over (y, x)";
    if (!out->problem.empty()) {
        out->problem = "the file's fit cannot be drawn: " + out->problem;
        return true;
    }
    std::istringstream words(f.variable_text(fit_status_name, "flag_meanings"));
    for (std::string w; words >> w;) out->meanings.push_back(w);
    for (const auto& m : maps)
        if (m.name.rfind("fit_", 0) == 0 && m.name != fit_status_name) out->values.push_back(m);
    out->present = true;
    return true;
}

bool read_pixel_fit(grid_file& f, const fit_description& d, size_t x, size_t y, pixel_fit_record* out,
                    std::string* error) {
    *out = pixel_fit_record{};
    const grid_variable* curve = f.variable(fit_curve_name);
    if (!d.present || !curve) {
        *error = "the file holds no fit to draw";
        return false;
    }
    float code = NAN;
    if (!f.read_point(fit_status_name, x, y, &code, error)) return false;
    // A hostile file's status may be any number: only a small whole one is a code.
    out->code = code >= 0 && code < 128 && code == std::floor(code) ? static_cast<int>(code) : -1;
    out->word = out->code >= 0 && static_cast<size_t>(out->code) < d.meanings.size()
                    ? d.meanings[static_cast<size_t>(out->code)]
                    : "code " + std::to_string(out->code);
    out->pixel_reason = f.status_word(f.status()[y * f.nx() + x]);
    out->values.resize(d.values.size());
    for (size_t i = 0; i < d.values.size(); ++i)
        if (!f.read_point(d.values[i].name, x, y, &out->values[i], error)) return false;
    out->curve.resize(f.length(*curve));
    if (!f.read_row(*curve, x, y, 1, out->curve.data(), error) || !f.read_axis(*curve, x, y, &out->axis, error))
        return false;
    for (float v : out->curve) out->drawn = out->drawn || std::isfinite(v);
    if (!out->drawn) {
        const std::string sentence = fit_status_sentence(out->word);
        out->why = "no fit: " + out->word + (sentence.empty() ? "" : " (" + sentence + ")");
        if (out->word == "not_computed") out->why += "; the pixel is " + out->pixel_reason;
    }
    return true;
}

std::string fit_status_sentence(const std::string& word) {
    // man/stsgrid.1, FITS: the meaning of each fit_status.
    static const std::pair<const char*, const char*> sentences[] = {
        {"converged", "the fit met its tolerances inside the bounds"},
        {"at_bound", "converged with a parameter at a bound; that parameter's error means nothing"},
        {"no_gap", "the curve in the window has no dip below its outer conductance with rises on both "
                   "sides; not fitted"},
        {"too_few_points", "the window holds no more points than free parameters"},
        {"bad_input", "a value that is not finite among the pixel's biases or within the window, or "
                      "settings out of range"},
        {"not_converged", "the iteration limit, or no step would lower chi^2"},
        {"not_computed", "the pixel was not processed, so not fitted"},
        {"poor_fit", "converged, but the curve misses the data's dip, or Gamma is at or above "
                     "Delta: the best the model allows, not a measurement of the gap"},
    };
    for (const auto& [w, s] : sentences)
        if (word == w) return s;
    return "";
}

}  // namespace sts
