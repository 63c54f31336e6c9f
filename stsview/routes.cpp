// The data routes: parameters first, then the reads, then JSON or text.
#include "stsview/routes.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "output/pair_format.h"
#include "stsview/fourier_routes.h"
#include "stsview/fit_route.h"
#include "stsview/float_bytes.h"
#include "stsview/json_text.h"
#include "stsview/line_export.h"
#include "stsview/query.h"
#include "stsview/region_statistics.h"

namespace sts {

namespace {

reply json_reply(std::string body) { return {200, "application/json", std::move(body), "", ""}; }

// A text download, offered under the file name download.
reply text_reply(std::string body, std::string download) {
    return {200, "text/plain; charset=utf-8", std::move(body), std::move(download), ""};
}

reply bad(int status, const std::string& message) { return {status, "application/json", json_error(message), "", ""}; }

// The file and variable every data route names, checked.
struct target {
    size_t file = 0;
    const grid_variable* variable = nullptr;
    size_t nx = 0, ny = 0, length = 0;
};

bool find_target(grid_store& store, const query& q, target* t, std::string* error) {
    std::string name;
    if (!q.index("file", store.size(), &t->file, error) || !q.word("variable", &name, error))
        return false;
    const grid_file& f = store.file(t->file);
    t->variable = f.variable(name);
    if (!t->variable) {
        std::string known;
        for (const auto& v : f.variables()) known += (known.empty() ? "" : ", ") + v.name;
        *error = "no variable '" + name + "' in this file (it has " + known + ")";
        return false;
    }
    t->nx = f.nx();
    t->ny = f.ny();
    t->length = f.length(*t->variable);
    return true;
}

std::string g9(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

// Rows of "axis a b ..." columns, "%.9g" each.
std::string columns_text(const std::vector<float>& axis, const std::vector<const std::vector<float>*>& cols) {
    std::string out;
    for (size_t i = 0; i < axis.size(); ++i) {
        out += g9(axis[i]);
        for (const auto* c : cols) out += ' ' + g9((*c)[i]);
        out += '\n';
    }
    return out;
}

reply files_reply(grid_store& store) {
    std::string out = "{";
    json_key(&out, "files");
    out += '[';
    for (size_t i = 0; i < store.size(); ++i) {
        if (i) out += ',';
        {
            const grid_file& f = store.file(i);
            out += '{';
            json_key(&out, "index"); json_number(&out, static_cast<long long>(i));
            json_key(&out, "name"); json_string(&out, f.path().substr(f.path().rfind('/') + 1));
            json_key(&out, "nx"); json_number(&out, static_cast<long long>(f.nx()));
            json_key(&out, "ny"); json_number(&out, static_cast<long long>(f.ny()));
            json_key(&out, "xy_units"); json_string(&out, f.xy_units());
            json_key(&out, "bias_units"); json_string(&out, f.bias_units());
            json_key(&out, "per_pixel_axis"); out += f.per_pixel_axis() ? "true" : "false";
            json_key(&out, "x"); json_array(&out, f.x());
            json_key(&out, "y"); json_array(&out, f.y());
            json_key(&out, "meanings"); json_array(&out, f.status_meanings());
            json_key(&out, "status");
            out += '[';
            for (size_t p = 0; p < f.status().size(); ++p) out += (p ? "," : "") + std::to_string(f.status()[p]);
            out += ']';
            json_key(&out, "maps");
            out += '[';
            for (size_t k = 0; k < store.pixel_maps(i).size(); ++k) {
                const pixel_map_variable& m = store.pixel_maps(i)[k];
                out += k ? ",{" : "{";
                json_key(&out, "name"); json_string(&out, m.name);
                json_key(&out, "units"); json_string(&out, m.units);
                json_key(&out, "long_name"); json_string(&out, m.long_name);
                out += '}';
            }
            out += ']';
            fit_file_json(&out, store.fit(i));
            json_key(&out, "variables");
            out += '[';
            for (size_t k = 0; k < f.variables().size(); ++k) {
                const grid_variable& v = f.variables()[k];
                out += k ? ",{" : "{";
                json_key(&out, "name"); json_string(&out, v.name);
                json_key(&out, "units"); json_string(&out, v.units);
                json_key(&out, "long_name"); json_string(&out, v.long_name);
                json_key(&out, "midpoints"); out += v.midpoints ? "true" : "false";
                json_key(&out, "statistics"); out += v.statistics ? "true" : "false";
                json_key(&out, "bias"); json_array(&out, f.axis_of(v));
                out += '}';
            }
            out += "]}";
        }
    }
    out += "]}";
    return json_reply(out);
}

reply axis_reply(grid_store& store, const query& q) {
    std::string error;
    target t;
    if (!q.only({"file", "variable"}, &error) || !find_target(store, q, &t, &error)) return bad(400, error);
    std::string out = "{";
    {
        const grid_file& f = store.file(t.file);
        json_key(&out, "variable"); json_string(&out, t.variable->name);
        json_key(&out, "xy_units"); json_string(&out, f.xy_units());
        json_key(&out, "bias_units"); json_string(&out, f.bias_units());
        json_key(&out, "x"); json_array(&out, f.x());
        json_key(&out, "y"); json_array(&out, f.y());
        json_key(&out, "bias"); json_array(&out, f.axis_of(*t.variable));
    }
    out += '}';
    return json_reply(out);
}

// The map as nx * ny little-endian floats, row-major: a quarter of the
// JSON's bytes and nothing to parse, for the page's bias steps.
// The map a request names (file, variable, bias index): true with its
// target, index and values, or false with the reply that refuses it.
bool requested_map(grid_store& store, const query& q, target* t, size_t* k,
                   std::vector<float>* values, reply* refusal) {
    std::string error;
    if (!q.only({"file", "variable", "index"}, &error) || !find_target(store, q, t, &error) ||
        !q.index("index", t->length, k, &error)) {
        *refusal = bad(400, error);
        return false;
    }
    if (!store.map(t->file, *t->variable, *k, values, &error)) {
        *refusal = bad(500, error);
        return false;
    }
    return true;
}

// A per-pixel variable without a bias axis (status, gap_*, ...) as floats.
reply pixel_map_binary(grid_store& store, const query& q) {
    std::string error, name;
    size_t file = 0;
    if (!q.only({"file", "variable"}, &error) || !q.index("file", store.size(), &file, &error) ||
        !q.word("variable", &name, &error))
        return bad(400, error);
    bool known = false;
    for (const auto& m : store.pixel_maps(file)) known = known || m.name == name;
    if (!known) return bad(400, "no per-pixel map '" + name + "' in this file");
    std::vector<float> values;
    if (!store.pixel_map(file, name, &values, &error)) return bad(500, error);
    return {200, "application/octet-stream", float_bytes(values), "", ""};
}

reply map_binary(grid_store& store, const query& q) {
    target t;
    size_t k = 0;
    std::vector<float> values;
    reply refusal;
    if (!requested_map(store, q, &t, &k, &values, &refusal)) return refusal;
    std::string out(values.size() * sizeof(float), '\0');
    for (size_t i = 0; i < values.size(); ++i) {
        uint32_t bits;
        std::memcpy(&bits, &values[i], sizeof bits);
        for (int b = 0; b < 4; ++b) out[i * 4 + static_cast<size_t>(b)] = static_cast<char>(bits >> (8 * b));
    }
    return {200, "application/octet-stream", std::move(out), "", ""};
}

reply map_reply(grid_store& store, const query& q, bool text) {
    target t;
    size_t k = 0;
    std::vector<float> values;
    reply refusal;
    if (!requested_map(store, q, &t, &k, &values, &refusal)) return refusal;
    const float bias = store.file(t.file).axis_of(*t.variable)[k];
    if (text) {
        std::string out;
        for (size_t y = 0; y < t.ny; ++y)
            for (size_t x = 0; x < t.nx; ++x) out += g9(values[y * t.nx + x]) + (x + 1 < t.nx ? " " : "\n");
        return text_reply(out, t.variable->name + "_map_" + g9(bias) + ".txt");
    }
    std::string out = "{";
    json_key(&out, "variable"); json_string(&out, t.variable->name);
    json_key(&out, "index"); json_number(&out, static_cast<long long>(k));
    json_key(&out, "bias"); json_number(&out, bias);
    json_key(&out, "nx"); json_number(&out, static_cast<long long>(t.nx));
    json_key(&out, "ny"); json_number(&out, static_cast<long long>(t.ny));
    json_key(&out, "values"); json_array(&out, values);
    out += '}';
    return json_reply(out);
}

reply curve_reply(grid_store& store, const query& q, bool text) {
    std::string error;
    target t;
    size_t x = 0, y = 0;
    size_t fit = 0;  // the export with the file's fit beside (fit_route.h)
    if (!q.only({"file", "variable", "x", "y", "fit"}, &error) || !find_target(store, q, &t, &error) ||
        !q.index("x", t.nx, &x, &error) || !q.index("y", t.ny, &y, &error) ||
        (q.has("fit") && (!text || !q.index("fit", 2, &fit, &error))))
        return bad(400, error.empty() ? "fit=1 is for the text export (export/curve.txt)" : error);
    pixel_curve c;
    if (!store.curve(t.file, *t.variable, x, y, &c, &error)) return bad(500, error);
    if (fit) return fit_curve_text(store, t.file, *t.variable, x, y, c);
    const std::vector<float>& values = c.values;
    const std::vector<float>& axis = c.axis;
    if (text) {
        // The pair format the tools read; points the pixel lacks (NaN) left out.
        std::vector<double> b, v;
        for (size_t i = 0; i < values.size(); ++i)
            if (values[i] == values[i] && axis[i] == axis[i]) {
                b.push_back(axis[i]);
                v.push_back(values[i]);
            }
        bias_text_cache cache;
        return text_reply(format_pairs(b, v, &cache),
                t.variable->name + "_x" + std::to_string(x) + "_y" + std::to_string(y) + ".txt");
    }
    std::string out = "{";
    json_key(&out, "variable"); json_string(&out, t.variable->name);
    json_key(&out, "x"); json_number(&out, static_cast<long long>(x));
    json_key(&out, "y"); json_number(&out, static_cast<long long>(y));
    json_key(&out, "status"); json_number(&out, static_cast<long long>(c.code));
    json_key(&out, "reason"); json_string(&out, c.reason);
    json_key(&out, "bias"); json_array(&out, axis);
    json_key(&out, "values"); json_array(&out, values);
    out += '}';
    return json_reply(out);
}

reply statistics_json(const std::string& name, const std::vector<float>& axis, long long pixels,
                      const std::vector<float>& mean, const std::vector<float>& se) {
    std::string out = "{";
    json_key(&out, "variable"); json_string(&out, name);
    json_key(&out, "pixels"); json_number(&out, pixels);
    json_key(&out, "bias"); json_array(&out, axis);
    json_key(&out, "mean"); json_array(&out, mean);
    json_key(&out, "se"); json_array(&out, se);
    out += '}';
    return json_reply(out);
}

reply mean_reply(grid_store& store, const query& q, bool text) {
    std::string error;
    target t;
    if (!q.only({"file", "variable"}, &error) || !find_target(store, q, &t, &error)) return bad(400, error);
    if (!t.variable->statistics) return bad(404, "the file holds no grid statistics of " + t.variable->name);
    curve_statistics m;
    if (!store.mean(t.file, *t.variable, &m, &error)) return bad(500, error);
    if (text) return text_reply(columns_text(m.axis, {&m.mean, &m.se}), t.variable->name + "_grid_mean.txt");
    return statistics_json(t.variable->name, m.axis, m.pixels, m.mean, m.se);
}

reply region_reply(grid_store& store, const query& q, bool text) {
    std::string error;
    target t;
    pixel_rectangle r;
    if (!q.only({"file", "variable", "x0", "x1", "y0", "y1"}, &error) || !find_target(store, q, &t, &error) ||
        !q.index("x0", t.nx, &r.x0, &error) || !q.index("x1", t.nx, &r.x1, &error) ||
        !q.index("y0", t.ny, &r.y0, &error) || !q.index("y1", t.ny, &r.y1, &error))
        return bad(400, error);
    if (r.x0 > r.x1 || r.y0 > r.y1) return bad(400, "the rectangle needs x0 <= x1 and y0 <= y1");
    curve_statistics result;
    if (!store.region(t.file, *t.variable, r, &result, &error)) return bad(500, error);
    if (text)
        return text_reply(columns_text(result.axis, {&result.mean, &result.se}),
                t.variable->name + "_region_" + std::to_string(r.x0) + "-" + std::to_string(r.x1) + "_" +
                    std::to_string(r.y0) + "-" + std::to_string(r.y1) + ".txt");
    return statistics_json(t.variable->name, result.axis, result.pixels, result.mean, result.se);
}

reply linecut_reply(grid_store& store, const query& q, bool text) {
    std::string error;
    target t;
    size_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (!q.only({"file", "variable", "x0", "x1", "y0", "y1"}, &error) || !find_target(store, q, &t, &error) ||
        !q.index("x0", t.nx, &x0, &error) || !q.index("x1", t.nx, &x1, &error) ||
        !q.index("y0", t.ny, &y0, &error) || !q.index("y1", t.ny, &y1, &error))
        return bad(400, error);
    line_records cut;
    if (!store.line(t.file, *t.variable, x0, y0, x1, y1, &cut, &error)) return bad(500, error);
    const std::vector<line_sample>& samples = cut.samples;
    const std::vector<float>& values = cut.values;
    const std::vector<float>& axis = cut.axis;
    if (text) {
        std::string out = "# distance x y, then the values at bias";
        for (float b : axis) out += ' ' + g9(b);
        out += '\n';
        for (size_t s = 0; s < samples.size(); ++s) {
            out += g9(samples[s].distance) + ' ' + std::to_string(samples[s].x) + ' ' + std::to_string(samples[s].y);
            for (size_t i = 0; i < t.length; ++i) out += ' ' + g9(values[s * t.length + i]);
            out += '\n';
        }
        return text_reply(out, t.variable->name + "_linecut.txt");
    }
    std::string out = "{";
    json_key(&out, "variable"); json_string(&out, t.variable->name);
    json_key(&out, "bias"); json_array(&out, axis);
    std::vector<double> distance;
    std::vector<float> xs, ys;
    for (const auto& s : samples) {
        distance.push_back(s.distance);
        xs.push_back(static_cast<float>(s.x));
        ys.push_back(static_cast<float>(s.y));
    }
    json_key(&out, "distance"); json_array(&out, distance);
    json_key(&out, "x"); json_array(&out, xs);
    json_key(&out, "y"); json_array(&out, ys);
    json_key(&out, "values"); json_array(&out, values);  // [sample][bias]
    out += '}';
    return json_reply(out);
}

// A download name that is safe in a header: letters, digits, '.', '-' and
// '_' kept, anything else (quotes, spaces, bytes beyond ASCII) as '_'.
std::string header_safe(std::string name) {
    for (char& c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_')) c = '_';
    return name;
}

// The line cut as stsgrid's line file: every quantity of the line's pixels.
reply line_file_reply(grid_store& store, const query& q) {
    std::string error;
    size_t file = 0, x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (!q.only({"file", "x0", "x1", "y0", "y1"}, &error) || !q.index("file", store.size(), &file, &error))
        return bad(400, error);
    const grid_file& f = store.file(file);
    if (!q.index("x0", f.nx(), &x0, &error) || !q.index("x1", f.nx(), &x1, &error) ||
        !q.index("y0", f.ny(), &y0, &error) || !q.index("y1", f.ny(), &y1, &error))
        return bad(400, error);
    std::string bytes;
    if (!store.line_file(file, x0, y0, x1, y1, &bytes, &error)) return bad(500, error);
    return {200, "application/x-netcdf", std::move(bytes), header_safe(line_file_download(f.path())), ""};
}

}  // namespace

reply handle_api(grid_store& store, std::string_view path, const query& q) {
    std::string error;
    const std::string_view exports = "/api/export/";
    const bool text = path.substr(0, exports.size()) == exports;
    const std::string_view name = text ? path.substr(exports.size()) : path.substr(0, 5) == "/api/" ? path.substr(5) : "";
    if (!text && name == "files") {
        if (!q.only({}, &error)) return bad(400, error);
        return files_reply(store);
    }
    if (!text && name == "axis") return axis_reply(store, q);
    if (!text && name == "map.f32") return map_binary(store, q);
    if (!text && name == "pixelmap.f32") return pixel_map_binary(store, q);
    if (!text && name == "fit") return fit_reply(store, q);
    if (name == (text ? "map.txt" : "map")) return map_reply(store, q, text);
    if (name == (text ? "curve.txt" : "curve")) return curve_reply(store, q, text);
    if (name == (text ? "mean.txt" : "mean")) return mean_reply(store, q, text);
    if (name == (text ? "region.txt" : "region")) return region_reply(store, q, text);
    if (name == (text ? "linecut.txt" : "linecut")) return linecut_reply(store, q, text);
    if (text && name == "line.nc") return line_file_reply(store, q);
    if (reply r; fourier_api(store, name, text, q, &r)) return r;
    return bad(404, "no such route");
}

}  // namespace sts
