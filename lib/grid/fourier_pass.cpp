// The Fourier maps of a run: see fourier_pass.h.
#include "grid/fourier_pass.h"

#include <algorithm>
#include <cmath>

#include "fourier/fft_map.h"
#include "fourier/lattice.h"
#include "fourier/point_group.h"
#include "grid/grid_setup.h"

namespace sts {

namespace {

// The quantities --fft takes: a value at every point or midpoint of a
// pixel, on the common axis.
bool per_bias(const pixel_quantity& q) {
    return q.along != quantity_axis::pixel && !q.pixel_axis;
}

std::string per_bias_names(const grid_description& d) {
    std::string names;
    for (const pixel_quantity& q : pixel_quantities)
        if (per_bias(q) && d.writes(q.group)) names += (names.empty() ? "" : ", ") + std::string(q.name);
    return names;
}

double step(const std::vector<double>& c) { return c.size() > 1 ? std::fabs(c[1] - c[0]) : 0.0; }

}  // namespace

std::string fft_variable(const fourier_request& f, bool lockin) {
    if (!f.variable.empty()) return f.variable;
    return lockin ? "didv_lockin" : "didv";
}

const pixel_quantity* fourier_quantity(const grid_plan& p) {
    return find_pixel_quantity(fft_variable(p.fft, !p.import.signal_channel.empty()));
}

std::string fourier_file_name(const std::string& output) { return companion(output, "_fft.nc"); }

std::string corrected_file_name(const std::string& output) {
    return companion(output, "_corrected.nc");
}

bool check_fourier_plan(const grid_plan& p, std::string* error) {
    const fourier_request& f = p.fft;
    if (!f.given) return true;
    if (p.output.empty()) {
        *error = "--fft writes <output>_fft.nc beside the run's file: give the run an output";
        return false;
    }
    grid_description d;
    d.groups = quantity_groups(p);
    const pixel_quantity* q = fourier_quantity(p);
    if (!q || !per_bias(*q) || !written_in(*q, d)) {
        *error = "--fft=" + fft_variable(f, !p.import.signal_channel.empty()) +
                 " is not a map at every bias of this run: give one of " + per_bias_names(d) +
                 " (the topography's transform comes with any of them)";
        return false;
    }
    std::vector<point_operation> ops;
    if (!f.group.empty()) {
        const std::string why = point_group(f.group, ops);
        if (!why.empty()) {
            *error = "--symmetrise=" + f.group + ": " + why;
            return false;
        }
    }
    if (f.bragg_given) {
        std::string why;
        lattice_from_bragg({f.q1x, f.q1y}, {f.q2x, f.q2y}, why);
        if (!why.empty()) {
            *error = "--bragg: " + why + "; give two independent vectors Q1X,Q1Y:Q2X,Q2Y in nm^-1";
            return false;
        }
    }
    if (!(f.drift_lambda >= 0 && std::isfinite(f.drift_lambda))) {
        *error = "--drift-correct needs a positive length in nm";
        return false;
    }
    return true;
}

bool check_fourier_against_grid(const grid_plan& p, const grid_description& d,
                                std::string* error) {
    const fourier_request& f = p.fft;
    if (!f.given) return true;
    const std::string size = std::to_string(d.nx) + " x " + std::to_string(d.ny);
    if (d.nx < 2 || d.ny < 2) {
        *error = "--fft transforms maps of at least 2 x 2 pixels, and this grid is " + size +
                 " (a line or a set of spectra): leave --fft out, or use --line for a cut";
        return false;
    }
    if (d.xy_unit != "nm") {
        *error = "--fft needs the pixels' spacing in nm, and this grid has no frame (its x and y "
                 "are pixel numbers): leave --fft out";
        return false;
    }
    const std::string why = fft_problem(static_cast<size_t>(d.nx), static_cast<size_t>(d.ny),
                                        step(d.x), step(d.y));
    if (!why.empty()) {
        *error = "--fft: " + why;
        return false;
    }
    if (!d.has_topography && f.drift) {
        *error = "--drift-correct reads the lattice's phase in the grid's topography, which this "
                 "grid does not record: leave --drift-correct out";
        return false;
    }
    if (!d.has_topography && !f.bragg_given && f.lattice_wanted()) {
        *error = std::string(f.group.empty() ? "--bragg" : "--symmetrise") +
                 " finds the Bragg peaks in the grid's topography, which this grid does not "
                 "record: give them with --bragg=Q1X,Q1Y:Q2X,Q2Y (nm^-1)";
        return false;
    }
    return true;
}

fourier_gatherer::fourier_gatherer(const grid_description& d, const pixel_quantity& q)
    : q_(q),
      slices_(values_per_pixel(q, static_cast<size_t>(d.points))),
      pixels_(static_cast<size_t>(d.nx * d.ny)),
      stack_(slices_ * pixels_, std::nanf("")) {
    if (d.has_topography) topography_.assign(pixels_, std::nanf(""));
}

void fourier_gatherer::add(const pixel_block& b) {
    const std::vector<float>& v = b.*(q_.values);
    const size_t count = static_cast<size_t>(b.count);
    const size_t record = values_per_pixel(q_, static_cast<size_t>(std::max(b.points, 2)));
    const size_t taken = std::min(record, slices_);
    if (v.size() >= count * record)
        for (size_t i = 0; i < count; ++i) {
            const size_t pixel = static_cast<size_t>(b.first) + i;
            if (pixel >= pixels_) break;
            const float* values = v.data() + i * record;
            for (size_t k = 0; k < taken; ++k) stack_[k * pixels_ + pixel] = values[k];
        }
    if (!topography_.empty() && b.topography.size() >= count)
        for (size_t i = 0; i < count && b.first + i < pixels_; ++i)
            topography_[static_cast<size_t>(b.first) + i] = b.topography[i];
}

}  // namespace sts
