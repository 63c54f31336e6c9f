// The fit's routes: see fit_route.h.
#include "stsview/fit_route.h"

#include <cmath>

#include "stsview/json_text.h"

namespace sts {

namespace {

reply refuse(int status, const std::string& message) { return {status, "application/json", json_error(message), "", ""}; }

// The shortest text that reads back as v ("NaN" for NaN), as the page's
// JSON writes it.
std::string float_text(float v) {
    if (!std::isfinite(v)) return std::isnan(v) ? "NaN" : v > 0 ? "inf" : "-inf";
    std::string out;
    json_number(&out, v);
    return out;
}

void fit_values_json(std::string* out, const fit_description& d, const std::vector<float>* values) {
    json_key(out, "values");
    *out += '[';
    for (size_t i = 0; i < d.values.size(); ++i) {
        *out += i ? ",{" : "{";
        json_key(out, "name"); json_string(out, d.values[i].name);
        json_key(out, "units"); json_string(out, d.values[i].units);
        json_key(out, "long_name"); json_string(out, d.values[i].long_name);
        if (values) { json_key(out, "value"); json_number(out, (*values)[i]); }
        *out += '}';
    }
    *out += ']';
}

// The fit a route names: the file, then a fit in it, then the pixel.
bool fit_target(grid_store& store, const query& q, size_t* file, size_t* x, size_t* y, std::string* error) {
    if (!q.only({"file", "x", "y"}, error) || !q.index("file", store.size(), file, error)) return false;
    const fit_description& d = store.fit(*file);
    if (!d.present) {
        *error = d.problem.empty() ? "this file holds no fit (stsgrid --fit writes one)" : d.problem;
        return false;
    }
    const grid_file& f = store.file(*file);
    return q.index("x", f.nx(), x, error) && q.index("y", f.ny(), y, error);
}

}  // namespace

void fit_file_json(std::string* out, const fit_description& d) {
    json_key(out, "fit");
    if (!d.present && d.problem.empty()) {
        *out += "null";
        return;
    }
    *out += '{';
    json_key(out, "present"); *out += d.present ? "true" : "false";
    json_key(out, "problem"); json_string(out, d.problem);
    json_key(out, "variable"); json_string(out, d.curve_of);
    json_key(out, "model"); json_string(out, d.model);
    json_key(out, "window"); json_string(out, d.window);
    json_key(out, "settings");
    *out += '[';
    for (size_t i = 0; i < d.settings.size(); ++i) {
        *out += i ? ",[" : "[";
        json_string(out, d.settings[i].first);
        *out += ',';
        json_string(out, d.settings[i].second);
        *out += ']';
    }
    *out += ']';
    json_key(out, "meanings"); json_array(out, d.meanings);
    fit_values_json(out, d, nullptr);
    *out += '}';
}

reply fit_reply(grid_store& store, const query& q) {
    std::string error;
    size_t file = 0, x = 0, y = 0;
    if (!fit_target(store, q, &file, &x, &y, &error)) return refuse(400, error);
    pixel_fit_record r;
    if (!store.pixel_fit(file, x, y, &r, &error)) return refuse(500, error);
    const fit_description& d = store.fit(file);
    std::string out = "{";
    json_key(&out, "x"); json_number(&out, static_cast<long long>(x));
    json_key(&out, "y"); json_number(&out, static_cast<long long>(y));
    json_key(&out, "variable"); json_string(&out, d.curve_of);
    json_key(&out, "model"); json_string(&out, d.model);
    json_key(&out, "window"); json_string(&out, d.window);
    json_key(&out, "status"); json_number(&out, static_cast<long long>(r.code));
    json_key(&out, "word"); json_string(&out, r.word);
    json_key(&out, "meaning"); json_string(&out, fit_status_sentence(r.word));
    json_key(&out, "why"); json_string(&out, r.why);
    json_key(&out, "pixel_reason"); json_string(&out, r.pixel_reason);
    json_key(&out, "drawn"); out += r.drawn ? "true" : "false";
    fit_values_json(&out, d, &r.values);
    json_key(&out, "bias"); json_array(&out, r.axis);
    json_key(&out, "curve"); json_array(&out, r.curve);
    out += '}';
    return {200, "application/json", std::move(out), "", ""};
}

reply fit_curve_text(grid_store& store, size_t file, const grid_variable& v, size_t x, size_t y,
                     const pixel_curve& c) {
    const fit_description& d = store.fit(file);
    if (!d.present)
        return refuse(400, d.problem.empty() ? "fit=1: this file holds no fit (stsgrid --fit writes one)" : d.problem);
    if (v.name != d.curve_of)
        return refuse(400, "fit=1: the fit is of " + d.curve_of + ", not " + v.name + "; ask for variable=" +
                               d.curve_of);
    std::string error;
    pixel_fit_record r;
    if (!store.pixel_fit(file, x, y, &r, &error)) return refuse(500, error);
    if (r.curve.size() != c.values.size()) return refuse(500, "fit_curve and " + v.name + " differ in length");
    // The rows of the plain export (points the pixel lacks left out), the
    // fit beside each: NaN outside the window and where the fit failed.
    std::string out;
    for (size_t i = 0; i < c.values.size(); ++i)
        if (c.values[i] == c.values[i] && c.axis[i] == c.axis[i])
            out += float_text(c.axis[i]) + ' ' + float_text(c.values[i]) + ' ' + float_text(r.curve[i]) + '\n';
    return {200, "text/plain; charset=utf-8", std::move(out),
            v.name + "_fit_x" + std::to_string(x) + "_y" + std::to_string(y) + ".txt", ""};
}

}  // namespace sts
