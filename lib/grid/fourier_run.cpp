// The Fourier pass over a gathered stack: the lattice and the drift field
// from the topography, then every slice streamed once from the scratch
// file through its thread's buffers (read, corrected, transformed,
// symmetrised) and written in order to <out>_corrected.nc and
// <out>_fft.nc, so that the pass holds two to four slices per thread (and,
// with drift correction, the field's taps) whatever the count of slices.
// See fourier_pass.h.
#include <algorithm>
#include <cmath>
#include <memory>

#include "fourier/bragg_peaks.h"
#include "fourier/drift_correction.h"
#include "fourier/fft_map.h"
#include "fourier/lattice.h"
#include "fourier/point_group.h"
#include "fourier/symmetrise.h"
#include "grid/fourier_files.h"
#include "grid/fourier_pass.h"
#include "grid/fourier_stream.h"
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

// The field from the topography, the topography corrected and its
// transform made again of it; the widths of Q1's peak before and after.
bool drift_field_for(pass& s, q_map& topography, drift_field& field, std::string* error) {
    fourier_outcome& o = *s.out;
    const bragg_vector q1{o.q1x, o.q1y}, q2{o.q2x, o.q2y};
    std::vector<float>& topo = s.g.topography();
    std::string why = drift_field_of(topo.data(), s.nx, s.ny, s.dx, s.dy, q1, q2,
                                     s.p.fft.drift_lambda, field);
    std::vector<float> corrected(s.pixels());
    if (why.empty()) why = drift_correct(field, topo.data(), 1, 1, corrected.data());
    if (!why.empty()) {
        *error = "drift correction: " + why;
        return false;
    }
    o.drift_lambda = field.lambda;
    o.drift_rms = rms_length(field);
    o.width_before = measure_bragg_peak(topography, q1).width;
    topo = std::move(corrected);
    why = fft_map(topo.data(), s.nx, s.ny, s.dx, s.dy, s.options, topography);
    if (!why.empty()) {
        *error = "drift correction: " + why;
        return false;
    }
    o.width_after = measure_bragg_peak(topography, q1).width;
    return true;
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

// One thread's buffers: the slice as read (then its transform), the
// corrected slice, the symmetrised transform.
struct lane {
    map_transform fft;
    std::vector<float> out, corrected, symmetrised;
    size_t missing = 0;
    std::string error;
};

// Slice k read, corrected, transformed and symmetrised in l's buffers.
bool work_slice(const pass& s, const drift_resampler* drift, size_t k, lane& l) {
    if (!s.g.read_slice(k, l.out.data(), &l.error)) return false;
    const float* map = l.out.data();
    if (drift) {
        drift->correct(l.out.data(), l.corrected.data());
        map = l.corrected.data();
    }
    l.missing = l.fft.run(map, l.out.data());
    if (!s.group.empty()) {
        const fourier_outcome& o = *s.out;
        symmetrise_values(l.out.data(), s.nx, s.ny, o.qx[1] - o.qx[0], o.qy[1] - o.qy[0],
                          o.q1_angle, s.group, l.symmetrised.data());
    }
    return true;
}

// Every slice through the lanes into the files (corrected: nullptr
// without drift correction), in order.
bool stream_slices(pass& s, const drift_resampler* drift, fft_file& file, corrected_file* corrected,
                   std::string* error) {
    fourier_outcome& o = *s.out;
    const std::vector<float>& axis =
        s.g.quantity().along == quantity_axis::point ? s.d.bias : s.d.vmid;
    const std::vector<size_t> at = picture_slices(s, axis);
    std::vector<lane> lanes(std::clamp<size_t>(s.threads, 1, std::max<size_t>(o.slices, 1)));
    for (lane& l : lanes) {
        if (std::string why = l.fft.make(s.nx, s.ny, s.options); !why.empty()) {
            *error = "--fft: " + why;
            return false;
        }
        l.out.resize(s.pixels());
        l.corrected.resize(drift ? s.pixels() : 0);
        l.symmetrised.resize(s.group.empty() ? 0 : s.pixels());
    }
    // The symmetrised slices go to the file in groups of four per thread,
    // each after its group's transforms: the order of chunks in the file
    // that it has had since --symmetrise came (its bytes depend on it).
    const size_t group = std::min<size_t>(4 * static_cast<size_t>(s.threads), o.slices);
    std::vector<float> held(s.group.empty() ? 0 : group * s.pixels());
    std::vector<int> missing;
    auto work = [&](size_t k, unsigned w) { return work_slice(s, drift, k, lanes[w]); };
    auto deliver = [&](size_t k, unsigned w) {
        const lane& l = lanes[w];
        if (corrected) corrected->put_slices(k, 1, l.corrected.data());
        const float* sym = s.group.empty() ? nullptr : l.symmetrised.data();
        file.put_slices(k, 1, l.out.data(), nullptr);
        if (sym) {
            std::copy(l.symmetrised.begin(), l.symmetrised.end(),
                      held.begin() + static_cast<long>((k % group) * s.pixels()));
            if ((k + 1) % group == 0 || k + 1 == o.slices)
                file.put_symmetrised(k - k % group, k % group + 1, held.data());
        }
        keep_pictures(s, at, k, 1, l.out.data(), sym);
        missing.push_back(static_cast<int>(l.missing));
        o.slices_with_missing += l.missing > 0;
        o.most_missing = std::max(o.most_missing, l.missing);
        return true;
    };
    if (!ordered_slices(o.slices, static_cast<unsigned>(lanes.size()), work, deliver)) {
        for (const lane& l : lanes)
            if (!l.error.empty()) *error = "--fft: " + l.error;
        return false;
    }
    file.put_missing(missing);
    return true;
}

// The files: <out>_corrected.nc with drift correction (completed first)
// and <out>_fft.nc, written together as the slices stream.
bool write_files(pass& s, const std::string& grid_file, const q_map* topography,
                 const drift_field* field, std::string* error) {
    fourier_outcome& o = *s.out;
    drift_resampler resampler;
    std::unique_ptr<corrected_file> corrected;
    if (field) {
        if (std::string why = resampler.make(*field); !why.empty()) {
            *error = "drift correction: " + why;
            return false;
        }
        corrected = std::make_unique<corrected_file>(o.corrected);
        if (!corrected->open(s.facts(grid_file), error)) return false;
    }
    fft_file file(o.file);
    if (!file.open(s.facts(grid_file), error) ||
        !stream_slices(s, field ? &resampler : nullptr, file, corrected.get(), error))
        return false;
    if (corrected) {
        corrected->put_field(s.g.topography().data(), field->ux.data(), field->uy.data());
        if (!corrected->finish(error)) return false;
    }
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
    if (!g.problem().empty()) {
        *error = "--fft: " + g.problem();
        return false;
    }
    drift_field field;
    if (p.fft.drift && !drift_field_for(s, topography, field, error)) return false;
    return write_files(s, output, topo ? &topography : nullptr, p.fft.drift ? &field : nullptr,
                       error);
}

}  // namespace sts
