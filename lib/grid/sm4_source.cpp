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
    void raster_basis();

    std::string path_;
    sm4_spectra spectra_;
    std::vector<float> bias_;   // as every tool computes with it (see grid_source.cpp)
    // The raster's step from pixel to pixel along a row and from row to
    // row (nm, in the instrument's axes; one nm across a line), when the
    // positions lie on a raster.
    double row_[2] = {0, 0}, column_[2] = {0, 0};
};

// The raster spanned by the first row and column, as the reader found it
// (rhk_sm4.cpp evenly_spaced); a line's column is a nanometre across it.
void sm4_source::raster_basis() {
    const auto& x = spectra_.x_nm;
    const auto& y = spectra_.y_nm;
    const auto nx = static_cast<size_t>(spectra_.nx), ny = static_cast<size_t>(spectra_.ny);
    if (!spectra_.raster || nx < 2) return;
    row_[0] = (x[nx - 1] - x[0]) / static_cast<double>(nx - 1);
    row_[1] = (y[nx - 1] - y[0]) / static_cast<double>(nx - 1);
    const size_t last = (ny - 1) * nx;
    if (ny > 1) {
        column_[0] = (x[last] - x[0]) / static_cast<double>(ny - 1);
        column_[1] = (y[last] - y[0]) / static_cast<double>(ny - 1);
    } else {
        const double r = std::hypot(row_[0], row_[1]);
        column_[0] = -row_[1] / r;
        column_[1] = row_[0] / r;
    }
}

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
    raster_basis();
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
    // The position from the first one in the raster's steps (solving
    // d = a row + b column), times the axes' steps.
    const double det = row_[0] * column_[1] - row_[1] * column_[0];
    const double dx = spectra_.x_nm[static_cast<size_t>(index)] - spectra_.x_nm.front();
    const double dy = spectra_.y_nm[static_cast<size_t>(index)] - spectra_.y_nm.front();
    const double a = (dx * column_[1] - dy * column_[0]) / det;
    const double b = (row_[0] * dy - row_[1] * dx) / det;
    const bool known = spectra_.raster && det != 0;
    out->frame_x_nm = known ? static_cast<float>(a * spectra_.step_x) : NAN;
    out->frame_y_nm = known ? static_cast<float>(spectra_.ny > 1 ? b * spectra_.step_y : b) : NAN;
}

}  // namespace

std::unique_ptr<grid_source> open_sm4_source(const std::string& path, const import_options& o,
                                             std::string* error) {
    auto source = std::make_unique<sm4_source>();
    if (!source->open(path, o, error)) return nullptr;
    return source;
}

}  // namespace sts
