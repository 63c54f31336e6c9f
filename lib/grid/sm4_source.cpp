// An RHK .sm4 file as a grid.
#include "grid/sm4_source.h"

#include <cmath>
#include <cstdio>
#include <string_view>
#include <vector>

#include "readers/byte_source.h"
#include "readers/rhk_sm4.h"
#include "readers/rhk_sm4_image.h"

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
    std::string signal_unit() const override { return spectra_.signal_unit; }
    lockin_modulation modulation() const override {
        lockin_modulation m;
        m.why_not = "an RHK .sm4 file's pages record no modulation amplitude read here";
        return m;
    }

private:
    void raster_basis();
    void place(uint64_t index, double* x, double* y) const;
    void sample_topography(std::string_view bytes);

    std::string path_;
    sm4_spectra spectra_;
    std::vector<float> bias_;   // as every tool computes with it (see grid_source.cpp)
    // The raster's step from pixel to pixel along a row and from row to
    // row (nm, in the instrument's axes; one nm across a line), when the
    // positions lie on a raster.
    double row_[2] = {0, 0}, column_[2] = {0, 0};
    // The topography image pages of the raster's frame sampled at each
    // pixel's place (nm): scanned right (forward) as topography, scanned
    // left as a recorded number; empty without such a page.
    std::vector<float> forward_, backward_;
    std::string topography_note_;  // the global attribute saying where they come from
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
    sample_topography(bytes);
    return true;
}

// Pixel index's place on the raster (nm, the instrument's axes): the first
// position plus whole steps along the row and the column.
void sm4_source::place(uint64_t index, double* x, double* y) const {
    const auto nx = static_cast<uint64_t>(spectra_.nx);
    const auto a = static_cast<double>(index % nx), b = static_cast<double>(index / nx);
    *x = spectra_.x_nm.front() + a * row_[0] + b * column_[0];
    *y = spectra_.y_nm.front() + a * row_[1] + b * column_[1];
}

namespace {

// The image's values at every place, in nm; false when a place lies
// outside its frame (the page is then of another frame).
bool sampled(const sm4_image& im, const std::vector<double>& x, const std::vector<double>& y,
             std::vector<float>* out) {
    out->clear();
    double v = 0;
    for (size_t k = 0; k < x.size(); ++k) {
        if (!sample_sm4_image(im, x[k], y[k], &v)) return false;
        out->push_back(static_cast<float>(v * 1e9));
    }
    return true;
}

std::string image_text(const sm4_image& im) {
    char text[160];
    std::snprintf(text, sizeof text, "%ld x %ld pixels over %.6g x %.6g nm at %.6g degrees",
                  im.nx, im.ny, im.width(), im.height(), im.angle);
    return text;
}

}  // namespace

// The first topographic image page (page type 1, z in m) scanned right and
// the first scanned left whose frame holds every pixel's place, sampled
// bilinearly there (rhk_sm4_image.h).  Only for spectra on a raster or a
// line: without recorded positions a pixel has no place.
void sm4_source::sample_topography(std::string_view bytes) {
    if (!spectra_.raster || (row_[0] == 0 && row_[1] == 0)) return;
    std::vector<sm4_image> images;
    std::string why;
    if (!read_sm4_images(bytes, &images, &why)) {
        topography_note_ = "none: the image pages could not be read (" + why + ")";
        return;
    }
    std::vector<double> x, y;
    for (uint64_t p = 0; p < spectra_.spectra.size(); ++p) {
        x.emplace_back();
        y.emplace_back();
        place(p, &x.back(), &y.back());
    }
    std::string used;
    for (const sm4_image& im : images) {
        if (im.page_type != 1 || im.z_unit != "m" || im.scan_direction > 1) continue;
        std::vector<float>* target = im.scan_direction == 0 ? &forward_ : &backward_;
        std::vector<float> values;
        if (!target->empty() || !sampled(im, x, y, &values)) continue;
        *target = std::move(values);
        used += std::string(used.empty() ? "" : "; ") + "page '" + im.label + "' scanned " +
                (im.scan_direction == 0 ? "right (topography)" : "left (topography_backward)") +
                ", " + image_text(im);
    }
    if (!used.empty())
        topography_note_ = used + "; sampled bilinearly at each pixel's place on the raster";
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
    d->has_topography = !forward_.empty();
    if (d->has_topography)
        d->topography_long_name = "height of the topography image scanned right (forward)";
    if (!backward_.empty())
        d->recorded.push_back({"topography_backward", "nm",
                               "height of the topography image scanned left (backward)"});
    if (!topography_note_.empty()) d->attributes.emplace_back("topography_pages", topography_note_);
}

void sm4_source::read(uint64_t index, pixel_input* out) const {
    const imported_spectrum& s = spectra_.spectra[static_cast<size_t>(index)];
    out->code = PIXEL_PROCESSED;
    out->bias = bias_;
    out->current.resize(s.current.size());
    for (size_t k = 0; k < s.current.size(); ++k) out->current[k] = static_cast<float>(s.current[k]);
    out->signal.resize(s.signal.size());
    for (size_t k = 0; k < s.signal.size(); ++k) out->signal[k] = static_cast<float>(s.signal[k]);
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
    out->topography_nm = forward_.empty() ? NAN : forward_[static_cast<size_t>(index)];
    out->recorded.assign(backward_.empty() ? 0 : 1,
                         backward_.empty() ? NAN : backward_[static_cast<size_t>(index)]);
}

}  // namespace

std::unique_ptr<grid_source> open_sm4_source(const std::string& path, const import_options& o,
                                             std::string* error) {
    auto source = std::make_unique<sm4_source>();
    if (!source->open(path, o, error)) return nullptr;
    return source;
}

}  // namespace sts
