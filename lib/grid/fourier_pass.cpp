// The Fourier maps of a run: see fourier_pass.h.
#include "grid/fourier_pass.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <unistd.h>

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

fourier_gatherer::fourier_gatherer(const grid_description& d, const pixel_quantity& q,
                                   const std::string& folder, scratch_disk* disk)
    : q_(q),
      slices_(values_per_pixel(q, static_cast<size_t>(d.points))),
      pixels_(static_cast<size_t>(d.nx * d.ny)),
      folder_(folder),
      disk_(disk),
      seen_(pixels_, 0) {
    if (d.has_topography) topography_.assign(pixels_, std::nanf(""));
    fd_ = disk_->make_nameless(folder_);
    if (fd_ < 0)
        problem_ = "cannot make the maps' scratch file in " + folder_ + ": " + std::strerror(errno) +
                   " (it needs " + std::to_string(slices_ * pixels_ * sizeof(float) / (1 << 20) + 1) +
                   " MiB there)";
}

fourier_gatherer::~fourier_gatherer() {
    if (fd_ >= 0) close(fd_);
}

// count floats at float index at of the file, whole.
bool fourier_gatherer::put(size_t at, const float* values, size_t count) {
    const char* from = reinterpret_cast<const char*>(values);
    size_t left = count * sizeof(float);
    off_t offset = static_cast<off_t>(at * sizeof(float));
    while (left > 0) {
        const ssize_t n = disk_->pwrite(fd_, from, left, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            problem_ = "cannot write the maps' scratch file in " + folder_ + ": " +
                       (n < 0 ? std::strerror(errno) : "the disk took nothing");
            return false;
        }
        from += n, left -= static_cast<size_t>(n), offset += n;
    }
    return true;
}

void fourier_gatherer::add(const pixel_block& b) {
    const std::vector<float>& v = b.*(q_.values);
    const size_t count = static_cast<size_t>(b.count), first = static_cast<size_t>(b.first);
    const size_t record = values_per_pixel(q_, static_cast<size_t>(std::max(b.points, 2)));
    const size_t taken = std::min(record, slices_);
    if (problem_.empty() && v.size() >= count * record && first < pixels_) {
        const size_t n = std::min(count, pixels_ - first);
        transposed_.assign(n * slices_, std::nanf(""));
        for (size_t i = 0; i < n; ++i)
            for (size_t k = 0; k < taken; ++k) transposed_[k * n + i] = v[i * record + k];
        for (size_t k = 0; k < slices_ && put(k * pixels_ + first, &transposed_[k * n], n); ++k) {}
        std::fill(seen_.begin() + static_cast<long>(first), seen_.begin() + static_cast<long>(first + n), 1);
    }
    if (!topography_.empty() && b.topography.size() >= count)
        for (size_t i = 0; i < count && b.first + i < pixels_; ++i)
            topography_[static_cast<size_t>(b.first) + i] = b.topography[i];
}

bool fourier_gatherer::read_slice(size_t k, float* out, std::string* error) const {
    if (!problem_.empty()) {
        *error = problem_;
        return false;
    }
    char* to = reinterpret_cast<char*>(out);
    size_t left = pixels_ * sizeof(float);
    off_t offset = static_cast<off_t>(k * pixels_ * sizeof(float));
    while (left > 0) {
        const ssize_t n = disk_->pread(fd_, to, left, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = "cannot read the maps' scratch file in " + folder_ + ": " + std::strerror(errno);
            return false;
        }
        if (n == 0) {  // beyond the last pixel written: those never came
            std::fill(to, to + left, 0);
            break;
        }
        to += n, left -= static_cast<size_t>(n), offset += n;
    }
    for (size_t p = 0; p < pixels_; ++p)
        if (!seen_[p]) out[p] = std::nanf("");
    return true;
}

}  // namespace sts
