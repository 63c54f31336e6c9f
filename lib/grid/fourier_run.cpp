// The Fourier pass over a gathered stack: the lattice, the drift
// correction, the transforms and their symmetrisation, a few slices at a
// time so that beyond the stack the pass holds a chunk of slices (four
// per thread) and one slice of scratch per thread.  See fourier_pass.h.
#include <algorithm>
#include <cmath>
#include <thread>

#include "fourier/bragg_peaks.h"
#include "fourier/drift_correction.h"
#include "fourier/fft_map.h"
#include "fourier/lattice.h"
#include "fourier/point_group.h"
#include "fourier/symmetrise.h"
#include "grid/fourier_files.h"
#include "grid/fourier_pass.h"
#include "grid/grid_engine.h"

namespace sts {

namespace {

struct pass {
    const grid_plan& p;
    const grid_description& d;
    fourier_gatherer& g;
    fourier_outcome* out;
    size_t nx = 0, ny = 0;
    double dx = 0, dy = 0;
    fft_options options;
    unsigned threads = 1;
    std::vector<point_operation> group;
    size_t chunk() const { return 4 * static_cast<size_t>(threads); }
    size_t pixels() const { return nx * ny; }
    fourier_file_facts facts(const std::string& grid_file) const {
        return {&d, &g.quantity(), out, options.window == fft_window::hann,
                !g.topography().empty(), grid_file};
    }
};

// The Bragg vectors, given or found in the topography's transform.
bool find_lattice(pass& s, const q_map* topography, std::string* error) {
    const fourier_request& f = s.p.fft;
    fourier_outcome& o = *s.out;
    bragg_vector q1{f.q1x, f.q1y}, q2{f.q2x, f.q2y};
    if (!f.bragg_given) {
        bragg_pair pair;
        const std::string why = find_bragg_peaks(*topography, {}, pair);
        if (!why.empty()) {
            *error = "no lattice in the transform of the topography (" + why +
                     "): give the Bragg vectors with --bragg=Q1X,Q1Y:Q2X,Q2Y (nm^-1)";
            return false;
        }
        q1 = pair.first.q;
        q2 = pair.second.q;
        o.lattice_found = true;
    }
    std::string why;
    const lattice_geometry geometry = lattice_from_bragg(q1, q2, why);
    if (!why.empty()) {
        *error = "the Bragg vectors: " + why;
        return false;
    }
    o.lattice = true;
    o.q1x = q1.qx, o.q1y = q1.qy, o.q2x = q2.qx, o.q2y = q2.qy;
    o.a1 = geometry.a1, o.a2 = geometry.a2;
    o.lattice_angle = geometry.lattice_angle;
    o.q1_angle = geometry.q1_angle;
    return true;
}

double rms_length(const drift_field& field) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = 0; i < field.ux.size(); ++i)
        if (std::isfinite(field.ux[i]) && std::isfinite(field.uy[i])) {
            sum += static_cast<double>(field.ux[i]) * field.ux[i] +
                   static_cast<double>(field.uy[i]) * field.uy[i];
            ++n;
        }
    return n ? std::sqrt(sum / static_cast<double>(n)) : 0.0;
}

// Every map read at r + u(r), the stack in place, into <out>_corrected.nc;
// the topography's transform then of the corrected topography.
bool correct_drift(pass& s, const std::string& grid_file, q_map& topography,
                   std::string* error) {
    fourier_outcome& o = *s.out;
    const bragg_vector q1{o.q1x, o.q1y}, q2{o.q2x, o.q2y};
    std::vector<float>& topo = s.g.topography();
    drift_field field;
    std::string why = drift_field_of(topo.data(), s.nx, s.ny, s.dx, s.dy, q1, q2,
                                     s.p.fft.drift_lambda, field);
    std::vector<float> corrected(s.pixels());
    if (why.empty()) why = drift_correct(field, topo.data(), 1, s.threads, corrected.data());
    if (!why.empty()) {
        *error = "drift correction: " + why;
        return false;
    }
    o.drift_lambda = field.lambda;
    o.drift_rms = rms_length(field);
    o.width_before = measure_bragg_peak(topography, q1).width;
    topo = std::move(corrected);
    why = fft_map(topo.data(), s.nx, s.ny, s.dx, s.dy, s.options, topography);
    o.width_after = measure_bragg_peak(topography, q1).width;
    corrected_file file(o.corrected);
    if (!why.empty() || !file.open(s.facts(grid_file), error)) {
        if (!why.empty()) *error = "drift correction: " + why;
        return false;
    }
    std::vector<float>& stack = s.g.stack();
    std::vector<float> buffer(std::min(s.chunk(), o.slices) * s.pixels());
    for (size_t k = 0; k < o.slices; k += s.chunk()) {
        const size_t n = std::min(s.chunk(), o.slices - k);
        float* slices = stack.data() + k * s.pixels();
        why = drift_correct(field, slices, n, s.threads, buffer.data());
        if (!why.empty()) {
            *error = "drift correction: " + why;
            return false;
        }
        file.put_slices(k, n, buffer.data());
        std::copy(buffer.begin(), buffer.begin() + static_cast<long>(n * s.pixels()), slices);
    }
    file.put_field(topo.data(), field.ux.data(), field.uy.data());
    return file.finish(error);
}

// n slices symmetrised, on the pass's threads.
void symmetrise_slices(const pass& s, const float* in, size_t n, float* out) {
    const fourier_outcome& o = *s.out;
    const double dqx = o.qx[1] - o.qx[0], dqy = o.qy[1] - o.qy[0];
    auto work = [&](size_t first) {
        for (size_t k = first; k < n; k += s.threads)
            symmetrise_values(in + k * s.pixels(), s.nx, s.ny, dqx, dqy, o.q1_angle, s.group,
                              out + k * s.pixels());
    };
    std::vector<std::thread> team;
    for (size_t t = 1; t < std::min<size_t>(s.threads, n); ++t) team.emplace_back(work, t);
    work(0);
    for (std::thread& t : team) t.join();
}

// The slice whose bias lies nearest each of --map's biases.
std::vector<size_t> picture_slices(const pass& s, const std::vector<float>& axis) {
    std::vector<size_t> at;
    for (double bias : s.p.maps) {
        size_t best = 0;
        double distance = INFINITY;
        for (size_t k = 0; k < axis.size(); ++k)
            if (std::isfinite(axis[k]) && std::fabs(axis[k] - bias) < distance) {
                distance = std::fabs(axis[k] - bias);
                best = k;
            }
        at.push_back(best);
        s.out->pictures.push_back({bias, axis.empty() ? NAN : axis[best], {}, {}});
    }
    return at;
}

void keep_pictures(pass& s, const std::vector<size_t>& at, size_t first, size_t n,
                   const float* fft, const float* symmetrised) {
    for (size_t i = 0; i < at.size(); ++i) {
        if (at[i] < first || at[i] >= first + n) continue;
        const size_t offset = (at[i] - first) * s.pixels();
        fourier_picture& picture = s.out->pictures[i];
        picture.values.assign(fft + offset, fft + offset + s.pixels());
        if (symmetrised) picture.symmetrised.assign(symmetrised + offset, symmetrised + offset + s.pixels());
    }
}

// The transforms into <out>_fft.nc.
bool transform(pass& s, const std::string& grid_file, const q_map* topography,
               std::string* error) {
    fourier_outcome& o = *s.out;
    fft_file file(o.file);
    if (!file.open(s.facts(grid_file), error)) return false;
    const std::vector<float>& axis =
        s.g.quantity().along == quantity_axis::point ? s.d.bias : s.d.vmid;
    const std::vector<size_t> at = picture_slices(s, axis);
    const size_t chunk = std::min(s.chunk(), o.slices);
    std::vector<float> fft(chunk * s.pixels()), symmetrised(s.group.empty() ? 0 : fft.size());
    std::vector<int> missing;
    for (size_t k = 0; k < o.slices; k += chunk) {
        const size_t n = std::min(chunk, o.slices - k);
        std::vector<size_t> filled;
        const std::string why = fft_maps(s.g.stack().data() + k * s.pixels(), n, s.nx, s.ny,
                                         s.options, s.threads, fft.data(), &filled);
        if (!why.empty()) {
            *error = "--fft: " + why;
            return false;
        }
        for (size_t m : filled) {
            missing.push_back(static_cast<int>(m));
            o.slices_with_missing += m > 0;
            o.most_missing = std::max(o.most_missing, m);
        }
        if (!s.group.empty()) symmetrise_slices(s, fft.data(), n, symmetrised.data());
        const float* sym = s.group.empty() ? nullptr : symmetrised.data();
        file.put_slices(k, n, fft.data(), sym);
        keep_pictures(s, at, k, n, fft.data(), sym);
    }
    file.put_missing(missing);
    if (topography) file.put_topography(topography->values.data());
    return file.finish(error);
}

}  // namespace

bool run_fourier_pass(const grid_plan& p, const grid_description& d, fourier_gatherer& g,
                      const std::string& output, fourier_outcome* out, std::string* error) {
    pass s{p, d, g, out, 0, 0, 0, 0, {}, 1, {}};
    s.nx = static_cast<size_t>(d.nx);
    s.ny = static_cast<size_t>(d.ny);
    s.dx = std::fabs(d.x[1] - d.x[0]);
    s.dy = std::fabs(d.y[1] - d.y[0]);
    s.options.window = p.fft.hann ? fft_window::hann : fft_window::none;
    s.threads = static_cast<unsigned>(thread_count(p));
    out->file = fourier_file_name(output);
    out->corrected = p.fft.drift ? corrected_file_name(output) : "";
    out->variable = g.quantity().name;
    out->bias_unit = d.bias_unit;
    out->slices = g.slices();
    out->nx = s.nx;
    out->ny = s.ny;
    out->qx = q_axis(s.nx, s.dx);
    out->qy = q_axis(s.ny, s.dy);
    out->group = p.fft.group;
    if (!p.fft.group.empty()) point_group(p.fft.group, s.group);  // checked before the run
    q_map topography;
    const bool topo = !g.topography().empty();
    if (topo) {
        const std::string why = fft_map(g.topography().data(), s.nx, s.ny, s.dx, s.dy,
                                        s.options, topography);
        if (!why.empty()) {
            *error = "the topography's transform: " + why;
            return false;
        }
        out->topography_missing = topography.missing;
    }
    if (p.fft.lattice_wanted() && !find_lattice(s, topo ? &topography : nullptr, error))
        return false;
    if (p.fft.drift && !correct_drift(s, output, topography, error)) return false;
    return transform(s, output, topo ? &topography : nullptr, error);
}

}  // namespace sts
