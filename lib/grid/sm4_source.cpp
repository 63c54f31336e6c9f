// An RHK .sm4 file as a grid.
#include "grid/sm4_source.h"

#include <cmath>
#include <vector>

#include "readers/byte_source.h"
#include "readers/rhk_sm4.h"

namespace sts {

namespace {

class sm4_source final : public grid_source {
public:
    bool open(const std::string& path, const import_options& o, std::string* error);
    long nx() const override { return spectra_.nx; }
    long ny() const override { return spectra_.ny; }
    int points() const override { return static_cast<int>(bias_.size()); }
    void describe(grid_description* d) const override;
    void read(uint64_t index, pixel_input* out) const override;
    // Every spectrum of a page has the page's bias axis.
    bool same_bias_everywhere() const override { return true; }

private:
    std::string path_;
    sm4_spectra spectra_;
    std::vector<float> bias_;   // as every tool computes with it (see grid_source.cpp)
};

bool sm4_source::open(const std::string& path, const import_options& o, std::string* error) {
    std::unique_ptr<file_source> file = file_source::open(path, error);
    std::string bytes;
    if (!file || !file->read_all(&bytes, error) || !read_sm4_spectra(path, bytes, o, &spectra_, error))
        return false;
    if (spectra_.per_position != 1) {
        *error = "stsgrid takes one spectrum a position (--each-sweep is stsimport's alone)";
        return false;
    }
    path_ = path;
    for (double v : spectra_.spectra.front().bias) bias_.push_back(static_cast<float>(v));
    return true;
}

// Coordinates along the raster's axes from its first position (nm) when the
// positions lie on it, pixel numbers otherwise.
void sm4_source::describe(grid_description* d) const {
    d->nx = spectra_.nx;
    d->ny = spectra_.ny;
    d->source = path_;
    d->x.clear();
    d->y.clear();
    for (long i = 0; i < spectra_.nx; ++i)
        d->x.push_back(static_cast<double>(i) * (spectra_.raster ? spectra_.step_x : 1.0));
    for (long j = 0; j < spectra_.ny; ++j)
        d->y.push_back(static_cast<double>(j) * (spectra_.raster && spectra_.ny > 1 ? spectra_.step_y : 1.0));
    d->xy_unit = spectra_.raster ? "nm" : "1";
    d->has_positions = !std::isnan(spectra_.x_nm.front());
}

void sm4_source::read(uint64_t index, pixel_input* out) const {
    const imported_spectrum& s = spectra_.spectra[static_cast<size_t>(index)];
    out->code = PIXEL_PROCESSED;
    out->bias = bias_;
    out->current.resize(s.current.size());
    for (size_t k = 0; k < s.current.size(); ++k) out->current[k] = static_cast<float>(s.current[k]);
    out->x_nm = static_cast<float>(spectra_.x_nm[static_cast<size_t>(index)]);
    out->y_nm = static_cast<float>(spectra_.y_nm[static_cast<size_t>(index)]);
}

}  // namespace

std::unique_ptr<grid_source> open_sm4_source(const std::string& path, const import_options& o,
                                             std::string* error) {
    auto source = std::make_unique<sm4_source>();
    if (!source->open(path, o, error)) return nullptr;
    return source;
}

}  // namespace sts
