// The reciprocal-space pane's numbers: see fourier_view.h.
#include "stsview/fourier_view.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>

#include "fourier/bragg_peaks.h"
#include "fourier/fft_map.h"
#include "fourier/lattice.h"
#include "fourier/point_group.h"
#include "fourier/symmetrise.h"
#include "grid/fourier_pass.h"
#include "grid/grid_description.h"
#include "grid/grid_plan.h"

namespace sts {

namespace {

double step(const std::vector<double>& c) { return c.size() > 1 ? std::fabs(c[1] - c[0]) : 0.0; }

fft_options options_of(bool hann) {
    fft_options o;
    o.window = hann ? fft_window::hann : fft_window::none;
    return o;
}

// The caches: keyed by the file's path (files never change under a running
// viewer: the store refuses reads of a changed file), shared by all stores
// of the process (the tests make several).
struct caches {
    std::mutex lock;
    std::map<std::pair<std::string, bool>, q_lattice> lattices;
    std::string stack_key;
    std::shared_ptr<const q_stack> stack;
};

caches& shared() {
    static caches c;
    return c;
}

std::string stack_key(const grid_file& f, const q_request& r) {
    return f.path() + '\n' + r.variable->name + '\n' + (r.hann ? "hann" : "none") + '\n' + r.group;
}

}  // namespace

bool has_topography(grid_store& store, size_t file) {
    for (const auto& m : store.pixel_maps(file))
        if (m.name == "topography") return true;
    return false;
}

bool check_q_request(grid_store& store, const q_request& r, std::string* error) {
    const grid_file& f = store.file(r.file);
    grid_plan p;
    p.output = f.path();
    p.fft.given = true;
    p.fft.hann = r.hann;
    p.fft.group = r.group;
    grid_description d;
    d.nx = static_cast<long>(f.nx());
    d.ny = static_cast<long>(f.ny());
    d.x = f.x();
    d.y = f.y();
    d.xy_unit = f.xy_units();
    d.has_topography = has_topography(store, r.file);
    std::string why;
    if (!check_fourier_plan(p, &why) || !check_fourier_against_grid(p, d, &why)) {
        *error = "the q-map is refused as stsgrid --fft refuses it: " + why;
        return false;
    }
    return true;
}

bool file_lattice(grid_store& store, size_t file, bool hann, q_lattice* out, std::string* error) {
    const grid_file& f = store.file(file);
    caches& c = shared();
    const auto key = std::make_pair(f.path(), hann);
    {
        std::lock_guard<std::mutex> hold(c.lock);
        if (auto it = c.lattices.find(key); it != c.lattices.end()) {
            *out = it->second;
            return true;
        }
    }
    q_lattice l;
    if (has_topography(store, file)) {
        std::vector<float> topography;
        if (!store.pixel_map(file, "topography", &topography, error)) return false;
        q_map t;
        std::string why = fft_map(topography.data(), f.nx(), f.ny(), step(f.x()), step(f.y()),
                                  options_of(hann), t);
        bragg_pair pair;
        if (why.empty()) why = find_bragg_peaks(t, {}, pair);
        lattice_geometry g;
        if (why.empty()) g = lattice_from_bragg(pair.first.q, pair.second.q, why);
        if (why.empty()) {
            l.known = true;
            l.q1x = pair.first.q.qx, l.q1y = pair.first.q.qy;
            l.q2x = pair.second.q.qx, l.q2y = pair.second.q.qy;
            l.q1_angle = g.q1_angle;
        } else {
            l.why = "no lattice in the transform of the topography (" + why + ")";
        }
    }
    std::lock_guard<std::mutex> hold(c.lock);
    c.lattices[key] = l;
    *out = l;
    return true;
}

namespace {

// The group's operations (checked already by check_q_request).
bool group_of(const q_request& r, const q_lattice& lattice, std::vector<point_operation>* ops,
              std::string* error) {
    if (r.group.empty()) return true;
    if (!lattice.known) {
        *error = "--symmetrise: " + lattice.why + ": symmetrise the maps with stsgrid --fft --bragg";
        return false;
    }
    const std::string why = point_group(r.group, *ops);
    if (!why.empty()) *error = "--symmetrise=" + r.group + ": " + why;
    return why.empty();
}

}  // namespace

bool q_slice(grid_store& store, const q_request& r, size_t k, const q_lattice& lattice, q_map* out,
             std::string* error) {
    const grid_file& f = store.file(r.file);
    std::vector<point_operation> ops;
    if (!group_of(r, lattice, &ops, error)) return false;
    std::vector<float> slice;
    if (!store.map(r.file, *r.variable, k, &slice, error)) return false;
    std::string why = fft_map(slice.data(), f.nx(), f.ny(), step(f.x()), step(f.y()), options_of(r.hann), *out);
    if (why.empty() && !ops.empty()) {
        std::vector<float> plain = out->values;
        why = symmetrise_values(plain.data(), out->nx, out->ny, out->dqx(), out->dqy(), lattice.q1_angle, ops,
                                out->values.data());
    }
    if (!why.empty()) *error = "the transform: " + why;
    return why.empty();
}

bool q_slices(grid_store& store, const q_request& r, const q_lattice& lattice,
              std::shared_ptr<const q_stack>* out, std::string* error) {
    const grid_file& f = store.file(r.file);
    caches& c = shared();
    const std::string key = stack_key(f, r);
    {
        std::lock_guard<std::mutex> hold(c.lock);
        if (c.stack && c.stack_key == key) {
            *out = c.stack;
            return true;
        }
        c.stack.reset();  // one stack at a time: the old one goes before the new is made
    }
    std::vector<point_operation> ops;
    if (!group_of(r, lattice, &ops, error)) return false;
    auto s = std::make_shared<q_stack>();
    const size_t pixels = f.pixels(), n = f.length(*r.variable);
    s->slices = n;
    s->qx = q_axis(f.nx(), step(f.x()));
    s->qy = q_axis(f.ny(), step(f.y()));
    s->values.assign(n * pixels, 0.0f);
    // A few slices at a time through one small buffer: the memory beyond
    // the kept stack is that buffer, not a second stack.
    const size_t chunk = 16;
    std::vector<float> maps(std::min(chunk, n) * pixels), slice;
    std::string why;
    for (size_t k = 0; why.empty() && k < n; k += chunk) {
        const size_t count = std::min(chunk, n - k);
        for (size_t i = 0; i < count; ++i) {
            if (!store.map(r.file, *r.variable, k + i, &slice, error)) return false;
            std::copy(slice.begin(), slice.end(), maps.begin() + static_cast<long>(i * pixels));
        }
        why = fft_maps(maps.data(), count, f.nx(), f.ny(), options_of(r.hann), 0, s->values.data() + k * pixels);
    }
    const double dqx = s->qx[1] - s->qx[0], dqy = s->qy[1] - s->qy[0];
    for (size_t k = 0; why.empty() && !ops.empty() && k < n; ++k) {
        std::copy(s->values.begin() + static_cast<long>(k * pixels),
                  s->values.begin() + static_cast<long>((k + 1) * pixels), maps.begin());
        why = symmetrise_values(maps.data(), f.nx(), f.ny(), dqx, dqy, lattice.q1_angle, ops,
                                s->values.data() + k * pixels);
    }
    if (!why.empty()) {
        *error = "the transforms: " + why;
        return false;
    }
    *out = s;
    std::lock_guard<std::mutex> hold(c.lock);
    c.stack_key = key;
    c.stack = std::move(s);
    return true;
}

}  // namespace sts
