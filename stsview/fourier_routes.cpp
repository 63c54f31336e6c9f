// The reciprocal-space routes: see fourier_routes.h.
#include "stsview/fourier_routes.h"

#include <stdlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fourier/q_cut.h"
#include "grid/q_cut_file.h"
#include "stsview/fourier_query.h"
#include "stsview/float_bytes.h"
#include "stsview/fourier_view.h"
#include "stsview/json_text.h"
#include "stsview/private_folder.h"

namespace sts {

namespace {

reply refuse(int status, const std::string& message) { return {status, "application/json", json_error(message), "", ""}; }

std::string g9(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

// A download name: letters, digits, '.', '-', '_' kept, the rest '_'.
std::string safe_name(std::string name) {
    for (char& c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_')) c = '_';
    return name;
}

// What every route here takes, checked: file, variable, window, group,
// then the request as stsgrid --fft would check it and the lattice.
struct q_target {
    q_request r;
    q_lattice lattice;
};

bool find_q_target(grid_store& store, const query& q, q_target* t, int* status, std::string* error) {
    *status = 400;
    std::string name;
    if (!q.index("file", store.size(), &t->r.file, error) || !q.word("variable", &name, error) ||
        !query_window(q, &t->r.hann, error) || !query_group(q, &t->r.group, error))
        return false;
    const grid_file& f = store.file(t->r.file);
    t->r.variable = f.variable(name);
    if (!t->r.variable) {
        std::string known;
        for (const auto& v : f.variables()) known += (known.empty() ? "" : ", ") + v.name;
        *error = "'" + name + "' is not a map at every bias of this file: give one of " + known;
        return false;
    }
    if (!check_q_request(store, t->r, error)) return false;
    *status = 500;
    if (!file_lattice(store, t->r.file, t->r.hann, &t->lattice, error)) return false;
    if (!t->r.group.empty() && !t->lattice.known) {
        *status = 400;
        *error = "--symmetrise finds the Bragg peaks in the grid's topography: " + t->lattice.why +
                 "; leave group out, or symmetrise with stsgrid --fft --bragg=Q1X,Q1Y:Q2X,Q2Y";
        return false;
    }
    return true;
}

void bragg_json(std::string* out, const q_lattice& l) {
    json_key(out, "bragg");
    if (!l.known) {
        *out += "null";
    } else {
        *out += '[';
        json_array(out, std::vector<double>{l.q1x, l.q1y});
        *out += ',';
        json_array(out, std::vector<double>{l.q2x, l.q2y});
        *out += ']';
    }
    json_key(out, "bragg_note"); json_string(out, l.known ? "found in the transform of the topography" : l.why);
}

// The text's header: what the numbers are.
std::string header(const grid_file& f, const q_target& t) {
    const grid_variable& v = *t.r.variable;
    return "# variable fft_" + v.name + ": |F| of " + v.long_name + " (" + v.units +
           "), the unnormalised 2-D DFT with the mean removed, window " + (t.r.hann ? "hann" : "none") +
           (t.r.group.empty() ? "" : ", symmetrised by " + t.r.group) + "\n# q in nm^-1, bias in " +
           f.bias_units() + "\n";
}

// form: "json", "txt" or "f32" (the values alone, for the page's bias steps:
// the axes and the Bragg vectors stay those of the last JSON reply).
reply qmap_reply(grid_store& store, const query& q, const std::string_view form) {
    const bool text = form == "txt";
    std::string error;
    q_target t;
    size_t k = 0;
    int status = 400;
    if (!q.only({"file", "variable", "index", "group", "window"}, &error)) return refuse(400, error);
    if (!find_q_target(store, q, &t, &status, &error)) return refuse(status, error);
    const grid_file& f = store.file(t.r.file);
    if (!q.index("index", f.length(*t.r.variable), &k, &error)) return refuse(400, error);
    q_map m;
    if (!q_slice(store, t.r, k, t.lattice, &m, &error)) return refuse(500, error);
    const float bias = f.axis_of(*t.r.variable)[k];
    if (form == "f32") return {200, "application/octet-stream", float_bytes(m.values), "", ""};
    if (text) {
        std::string out = header(f, t) + "# bias " + g9(bias) + " " + f.bias_units() + "\n# qx qy |F|\n";
        for (size_t y = 0; y < m.ny; ++y)
            for (size_t x = 0; x < m.nx; ++x)
                out += g9(m.qx[x]) + ' ' + g9(m.qy[y]) + ' ' + g9(m.values[y * m.nx + x]) + '\n';
        return {200, "text/plain; charset=utf-8", std::move(out),
                safe_name("fft_" + t.r.variable->name + "_qmap_" + g9(bias) + ".txt"), ""};
    }
    std::string out = "{";
    json_key(&out, "variable"); json_string(&out, t.r.variable->name);
    json_key(&out, "units"); json_string(&out, t.r.variable->units);
    json_key(&out, "q_units"); json_string(&out, "nm^-1");
    json_key(&out, "index"); json_number(&out, static_cast<long long>(k));
    json_key(&out, "bias"); json_number(&out, bias);
    json_key(&out, "bias_units"); json_string(&out, f.bias_units());
    json_key(&out, "window"); json_string(&out, t.r.hann ? "hann" : "none");
    json_key(&out, "group"); json_string(&out, t.r.group);
    json_key(&out, "nx"); json_number(&out, static_cast<long long>(m.nx));
    json_key(&out, "ny"); json_number(&out, static_cast<long long>(m.ny));
    json_key(&out, "missing"); json_number(&out, static_cast<long long>(m.missing));
    json_key(&out, "qx"); json_array(&out, m.qx);
    json_key(&out, "qy"); json_array(&out, m.qy);
    bragg_json(&out, t.lattice);
    json_key(&out, "values"); json_array(&out, m.values);  // qy rows
    out += '}';
    return {200, "application/json", std::move(out), "", ""};
}

// The cut's numbers: the points and |F| at every bias (bias x sample).
struct q_cut {
    double q0x = 0, q0y = 0, q1x = 0, q1y = 0;
    std::vector<q_cut_point> points;
    std::vector<float> values;
};

bool requested_cut(grid_store& store, const query& q, q_target* t, q_cut* c, reply* refusal) {
    std::string error;
    int status = 400;
    if (!q.only({"file", "variable", "q0x", "q0y", "q1x", "q1y", "group", "window"}, &error) ||
        !query_number(q, "q0x", &c->q0x, &error) || !query_number(q, "q0y", &c->q0y, &error) ||
        !query_number(q, "q1x", &c->q1x, &error) || !query_number(q, "q1y", &c->q1y, &error) ||
        !find_q_target(store, q, t, &status, &error)) {
        *refusal = refuse(status, error);
        return false;
    }
    std::shared_ptr<const q_stack> s;
    if (!q_slices(store, t->r, t->lattice, &s, &error)) {
        *refusal = refuse(500, error);
        return false;
    }
    const std::string why = q_cut_points(s->qx, s->qy, c->q0x, c->q0y, c->q1x, c->q1y, c->points);
    if (!why.empty()) {
        *refusal = refuse(400, why);
        return false;
    }
    c->values.resize(s->slices * c->points.size());
    q_cut_read(s->values.data(), s->slices, s->qx.size() * s->qy.size(), c->points, c->values.data());
    return true;
}

std::string cut_text(const grid_file& f, const q_target& t, const q_cut& c) {
    const std::vector<float>& bias = f.axis_of(*t.r.variable);
    std::string out = header(f, t) + "# cut q0 = (" + g9(c.q0x) + ", " + g9(c.q0y) + ") -> q1 = (" + g9(c.q1x) +
                      ", " + g9(c.q1y) + ") nm^-1, bilinear between q-pixels\n" +
                      "# distance (nm^-1) qx qy (nm^-1), then |F| at bias (" + f.bias_units() + ")";
    for (float b : bias) out += ' ' + g9(b);
    out += '\n';
    const size_t n = c.points.size();
    for (size_t i = 0; i < n; ++i) {
        out += g9(c.points[i].distance) + ' ' + g9(c.points[i].qx) + ' ' + g9(c.points[i].qy);
        for (size_t k = 0; k < bias.size(); ++k) out += ' ' + g9(c.values[k * n + i]);
        out += '\n';
    }
    return out;
}

bool cut_file_bytes(grid_store& store, const q_target& t, const q_cut& c, std::string* bytes, std::string* error) {
    const grid_file& f = store.file(t.r.file);
    q_cut_facts facts;
    facts.grid_file = f.path().substr(f.path().rfind('/') + 1);
    facts.variable = t.r.variable->name;
    facts.units = t.r.variable->units;
    facts.long_name = t.r.variable->long_name;
    facts.bias_unit = f.bias_units();
    facts.bias_long_name = t.r.variable->midpoints ? "bias midway between neighbouring points" : "bias";
    facts.bias = f.axis_of(*t.r.variable);
    for (const auto& p : c.points) {
        facts.distance.push_back(p.distance);
        facts.qx.push_back(p.qx);
        facts.qy.push_back(p.qy);
    }
    facts.q0x = c.q0x, facts.q0y = c.q0y, facts.q1x = c.q1x, facts.q1y = c.q1y;
    facts.hann = t.r.hann;
    facts.group = t.r.group;
    private_folder folder;
    if (!folder.make("stsview-qcut", "the cut's file", error)) return false;
    const std::string path = folder.path + "/cut.nc";
    {
        // The netCDF library is not thread-safe: the store's lock while it writes.
        const auto hold = store.library_lock();
        if (!write_q_cut_file(path, facts, c.values.data(), error)) return false;
    }
    std::ifstream in(path, std::ios::binary);
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad() || !in.is_open()) {
        *error = "cannot read back the cut's file " + path;
        return false;
    }
    return true;
}

reply qcut_reply(grid_store& store, const query& q, const std::string_view form) {
    q_target t;
    q_cut c;
    reply refusal;
    if (!requested_cut(store, q, &t, &c, &refusal)) return refusal;
    const grid_file& f = store.file(t.r.file);
    const std::string stem = "fft_" + t.r.variable->name + "_qcut";
    if (form == "txt") return {200, "text/plain; charset=utf-8", cut_text(f, t, c), safe_name(stem + ".txt"), ""};
    if (form == "nc") {
        std::string bytes, error;
        if (!cut_file_bytes(store, t, c, &bytes, &error)) return refuse(500, error);
        return {200, "application/x-netcdf", std::move(bytes), safe_name(stem + ".nc"), ""};
    }
    std::vector<double> distance, qx, qy;
    for (const auto& p : c.points) {
        distance.push_back(p.distance);
        qx.push_back(p.qx);
        qy.push_back(p.qy);
    }
    std::string out = "{";
    json_key(&out, "variable"); json_string(&out, t.r.variable->name);
    json_key(&out, "units"); json_string(&out, t.r.variable->units);
    json_key(&out, "q_units"); json_string(&out, "nm^-1");
    json_key(&out, "bias_units"); json_string(&out, f.bias_units());
    json_key(&out, "q0"); json_array(&out, std::vector<double>{c.q0x, c.q0y});
    json_key(&out, "q1"); json_array(&out, std::vector<double>{c.q1x, c.q1y});
    json_key(&out, "bias"); json_array(&out, f.axis_of(*t.r.variable));
    json_key(&out, "distance"); json_array(&out, distance);
    json_key(&out, "qx"); json_array(&out, qx);
    json_key(&out, "qy"); json_array(&out, qy);
    json_key(&out, "values"); json_array(&out, c.values);  // [bias][sample]
    out += '}';
    return {200, "application/json", std::move(out), "", ""};
}

}  // namespace

bool fourier_api(grid_store& store, std::string_view name, bool text, const query& q, reply* out) {
    if (name == (text ? "qmap.txt" : "qmap")) *out = qmap_reply(store, q, text ? "txt" : "json");
    else if (!text && name == "qmap.f32") *out = qmap_reply(store, q, "f32");
    else if (!text && name == "qcut") *out = qcut_reply(store, q, "");
    else if (text && name == "qcut.txt") *out = qcut_reply(store, q, "txt");
    else if (text && name == "qcut.nc") *out = qcut_reply(store, q, "nc");
    else return false;
    return true;
}

}  // namespace sts
