// The store's reads: see grid_store.h.
#include "stsview/grid_store.h"

#include "stsview/library_errors.h"
#include "stsview/line_export.h"

namespace sts {

bool grid_store::open(const std::vector<std::string>& paths, std::string* error) {
    for (const auto& p : paths) {
        grid_file f;
        if (!f.open(p, error)) return false;
        std::vector<pixel_map_variable> maps;
        if (!list_pixel_maps(p, f.ny(), f.nx(), &maps, error)) return false;
        fit_description fit;
        if (!describe_fit(f, maps, &fit, error)) return false;
        files_.push_back(std::move(f));
        maps_.push_back(std::move(maps));
        fits_.push_back(std::move(fit));
    }
    return true;
}

bool grid_store::fill_cache(size_t file, const grid_variable& v, std::string* error) {
    if (!cache_.empty() && cache_file_ == file && cache_variable_ == v.name) return true;
    // The old copy goes first, so that two are never held at once.
    std::vector<float>().swap(cache_);
    cache_variable_.clear();
    grid_file& f = files_[file];
    const size_t pixels = f.pixels(), length = f.length(v), nx = f.nx();
    std::vector<float> copy(pixels * length), row(nx * length);
    // Row by row, and within a row bias by bias: each bias's values of a
    // row are written as one run (pixel by pixel would scatter every
    // value of a record over a different page).
    for (size_t y = 0; y < f.ny(); ++y) {
        if (!f.read_row(v, 0, y, nx, row.data(), error)) return false;
        for (size_t k = 0; k < length; ++k) {
            float* out = copy.data() + k * pixels + y * nx;
            for (size_t x = 0; x < nx; ++x) out[x] = row[x * length + k];
        }
    }
    cache_ = std::move(copy);
    cache_file_ = file;
    cache_variable_ = v.name;
    return true;
}

bool grid_store::pixel_map(size_t file, const std::string& name, std::vector<float>* out,
                           std::string* error) {
    std::lock_guard<std::mutex> hold(lock_);
    quiet_library_errors();
    return files_[file].read_plane(name, out, error);
}

bool grid_store::map(size_t file, const grid_variable& v, size_t k, std::vector<float>* out,
                     std::string* error) {
    std::lock_guard<std::mutex> hold(lock_);
    quiet_library_errors();
    if (!fill_cache(file, v, error)) return false;
    const size_t pixels = files_[file].pixels();
    out->assign(cache_.begin() + static_cast<std::ptrdiff_t>(k * pixels),
                cache_.begin() + static_cast<std::ptrdiff_t>((k + 1) * pixels));
    return true;
}

bool grid_store::curve(size_t file, const grid_variable& v, size_t x, size_t y, pixel_curve* out,
                       std::string* error) {
    std::lock_guard<std::mutex> hold(lock_);
    quiet_library_errors();
    grid_file& f = files_[file];
    out->code = f.status()[y * f.nx() + x];
    out->reason = f.status_word(out->code);
    out->values.resize(f.length(v));
    return f.read_row(v, x, y, 1, out->values.data(), error) &&
           f.read_axis(v, x, y, &out->axis, error);
}

bool grid_store::mean(size_t file, const grid_variable& v, curve_statistics* out,
                      std::string* error) {
    std::lock_guard<std::mutex> hold(lock_);
    quiet_library_errors();
    grid_file& f = files_[file];
    out->axis = f.axis_of(v);
    return f.read_statistics(v, &out->mean, &out->se, &out->pixels, error);
}

bool grid_store::region(size_t file, const grid_variable& v, const pixel_rectangle& r,
                        curve_statistics* out, std::string* error) {
    std::lock_guard<std::mutex> hold(lock_);
    quiet_library_errors();
    grid_file& f = files_[file];
    out->axis = f.axis_of(v);
    region_result result;
    if (!region_statistics(f, v, r, &result, error)) return false;
    out->mean = std::move(result.mean);
    out->se = std::move(result.se);
    out->pixels = result.pixels;
    return true;
}

bool grid_store::line(size_t file, const grid_variable& v, size_t x0, size_t y0, size_t x1,
                      size_t y1, line_records* out, std::string* error) {
    std::lock_guard<std::mutex> hold(lock_);
    quiet_library_errors();
    grid_file& f = files_[file];
    const size_t length = f.length(v);
    out->samples = line_cut(x0, y0, x1, y1, f.x(), f.y());
    out->axis = f.axis_of(v);
    out->values.resize(out->samples.size() * length);
    for (size_t s = 0; s < out->samples.size(); ++s)
        if (!f.read_row(v, out->samples[s].x, out->samples[s].y, 1,
                        out->values.data() + s * length, error))
            return false;
    return true;
}

bool grid_store::line_file(size_t file, size_t x0, size_t y0, size_t x1, size_t y1, std::string* bytes,
                           std::string* error) {
    std::lock_guard<std::mutex> hold(lock_);
    quiet_library_errors();
    return line_file_bytes(files_[file], maps_[file], x0, y0, x1, y1, bytes, error);
}

bool grid_store::pixel_fit(size_t file, size_t x, size_t y, pixel_fit_record* out, std::string* error) {
    std::lock_guard<std::mutex> hold(lock_);
    quiet_library_errors();
    return read_pixel_fit(files_[file], fits_[file], x, y, out, error);
}

void grid_store::warm(size_t file, const std::string& variable) {
    std::lock_guard<std::mutex> hold(lock_);
    quiet_library_errors();
    if (file >= files_.size()) return;
    const grid_variable* v = files_[file].variable(variable);
    std::string error;
    // A failure here shows again, with its message, on the first request.
    if (v) fill_cache(file, *v, &error);
}

size_t grid_store::cached_bytes() {
    std::lock_guard<std::mutex> hold(lock_);
    return cache_.size() * sizeof(float);
}

}  // namespace sts
