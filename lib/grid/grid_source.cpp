// The two kinds of grid source: a Nanonis .3ds file and a list of files.
#include "grid/grid_source.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "readers/binary_content.h"
#include "readers/byte_source.h"
#include "readers/file_format.h"
#include "readers/format_drivers.h"
#include "readers/plain_pairs.h"
#include "readers/read_spectra.h"
#include "spectrum/spectrum.h"
#include "grid/grid_frame.h"
#include "grid/side_task.h"
#include "grid/sm4_source.h"

namespace sts {

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

// Readers deliver doubles; every tool computes with their float values
// (the text path writes the same floats, so both give the same results).
void to_floats(const std::vector<double>& from, std::vector<float>* to) {
    to->resize(from.size());
    for (size_t j = 0; j < from.size(); ++j) (*to)[j] = static_cast<float>(from[j]);
}

std::string number_text(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

// Pixel numbers, for grids without a frame.
std::vector<double> axis(long count) {
    std::vector<double> v;
    for (long k = 0; k < count; ++k) v.push_back(static_cast<double>(k));
    return v;
}

class nanonis_source final : public grid_source {
public:
    bool open(const std::string& path, const sts::import_options& o, std::string* error) {
        path_ = path;
        std::unique_ptr<sts::file_source> file = sts::file_source::open(path, error);
        if (!file) return false;
        file_ = std::move(file);
        if (!grid_.open(file_, path, o, error) || !holds_a_spectrum(error)) return false;
        layout_ = recorded_layout();
        list_parameters();
        return true;
    }
    long nx() const override { return grid_.header().nx; }
    long ny() const override { return grid_.header().ny; }
    int points() const override { return static_cast<int>(grid_.header().points); }
    void describe(grid_description* d) const override;
    void read(uint64_t index, pixel_input* out) const override;
    bool same_bias_everywhere() const override;

private:
    bool holds_a_spectrum(std::string* error) const;
    pixel_layout recorded_layout() const;
    void list_parameters();
    void record_parameters(pixel_input* out) const;
    void in_frame(double x, double y, double* u, double* v) const;
    struct ends_scan {
        bool found = false;
        unsigned char first[8] = {};
    };
    ends_scan scan_ends(uint64_t from, uint64_t to, std::atomic<bool>* differ) const;

    std::string path_;
    std::shared_ptr<sts::file_source> file_;
    sts::nanonis_grid grid_;
    pixel_layout layout_ = pixel_layout::centre;
    int z_parameter_ = -1;                // "Z (m)", or -1
    std::vector<size_t> recorded_index_;  // the other parameters written
    std::vector<recorded_parameter> recorded_;
};

// "Z offset (m)" -> name "z_offset", unit "m"; "Z-Ctrl hold" -> "z_ctrl_hold", "".
void split_parameter(const std::string& text, std::string* name, std::string* unit) {
    std::string base = text;
    unit->clear();
    const size_t open = text.rfind(" (");
    if (open != std::string::npos && text.back() == ')') {
        base = text.substr(0, open);
        *unit = text.substr(open + 2, text.size() - open - 3);
    }
    name->clear();
    for (char c : base) {
        const bool word = std::isalnum(static_cast<unsigned char>(c)) != 0;
        if (word) name->push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        else if (!name->empty() && name->back() != '_') name->push_back('_');
    }
    while (!name->empty() && name->back() == '_') name->pop_back();
}

// A grid without a single measured pixel is refused before anything is
// written; the search ends at the first measured pixel, as a rule the first.
bool nanonis_source::holds_a_spectrum(std::string* error) const {
    sts::grid_pixel pixel;
    std::string why = "every pixel's values are missing";
    for (uint64_t p = 0; p < grid_.complete_pixels(); ++p) {
        const sts::pixel_status status = grid_.read_pixel(p, &pixel);
        if (status == sts::pixel_status::measured) return true;
        if (status == sts::pixel_status::unreadable)
            why = "pixel " + std::to_string(p) + ": " + pixel.error;
    }
    *error = "no pixel of the grid holds a spectrum (" + why + ")";
    return false;
}

// A measured position (nm) in the grid's axes: turned about the frame's
// centre, then from the frame's corner; NaN without a frame.
void nanonis_source::in_frame(double x, double y, double* u, double* v) const {
    const sts::grid_header& h = grid_.header();
    if (!h.has_frame) {
        *u = *v = NaN;
        return;
    }
    sts::frame_position_nm(h, x, y, u, v);
    *u -= h.frame.centre_x - h.frame.width / 2;
    *v -= h.frame.centre_y - h.frame.height / 2;
}

// The layout (grid_frame.h) that the measured positions of up to 64
// measured pixels, spread over the grid, fit best.
pixel_layout nanonis_source::recorded_layout() const {
    const sts::grid_header& h = grid_.header();
    const bool line = h.ny == 1 && h.has_frame && h.frame.height == 0;
    const pixel_layout fallback = line ? pixel_layout::ends : pixel_layout::centre;
    if (!h.has_frame || h.x_parameter < 0 || h.y_parameter < 0) return fallback;
    const uint64_t pixels = grid_.complete_pixels();
    const uint64_t tries = std::min<uint64_t>(pixels, 64);
    std::vector<frame_sample> samples;
    sts::grid_pixel pixel;
    for (uint64_t k = 0; k < tries; ++k) {
        const uint64_t p = tries > 1 ? k * (pixels - 1) / (tries - 1) : 0;
        if (grid_.read_pixel(p, &pixel) != sts::pixel_status::measured) continue;
        frame_sample s;
        s.ix = static_cast<long>(p % static_cast<uint64_t>(h.nx));
        s.iy = static_cast<long>(p / static_cast<uint64_t>(h.nx));
        in_frame(pixel.x_nm, pixel.y_nm, &s.u, &s.v);
        samples.push_back(s);
    }
    return fitted_layout(samples, h.nx, h.ny, h.frame.width, h.frame.height, fallback);
}

// Every parameter a pixel records but its position (position_x, _y) and
// height (topography): the sweep's ends in the sweep signal's unit, the
// others in the unit their name gives.
void nanonis_source::list_parameters() {
    const sts::grid_header& h = grid_.header();
    std::string name, unit, sweep_unit;
    split_parameter(h.sweep_signal, &name, &sweep_unit);
    for (size_t i = 0; i < h.parameters.size(); ++i) {
        const std::string& p = h.parameters[i];
        if (static_cast<int>(i) == h.x_parameter || static_cast<int>(i) == h.y_parameter) continue;
        if (p == "Z (m)" && z_parameter_ < 0) {
            z_parameter_ = static_cast<int>(i);
            continue;
        }
        split_parameter(p, &name, &unit);
        if (i < 2) unit = sweep_unit;  // Sweep Start, Sweep End
        if (name.empty()) name = std::to_string(i);
        name = "parameter_" + name;
        for (const recorded_parameter& r : recorded_)
            if (r.name == name) name += "_" + std::to_string(i);
        recorded_index_.push_back(i);
        recorded_.push_back({name, unit.empty() ? "1" : unit, p});
    }
}

// The pixel's parameters as read (none for a pixel whose bytes are not there).
void nanonis_source::record_parameters(pixel_input* out) const {
    const std::vector<float>& p = out->scratch.parameters;
    if (p.size() != grid_.header().parameters.size()) return;
    if (z_parameter_ >= 0)
        out->topography_nm = static_cast<float>(static_cast<double>(p[static_cast<size_t>(z_parameter_)]) * 1e9);
    for (size_t k = 0; k < recorded_index_.size(); ++k) out->recorded[k] = p[recorded_index_[k]];
}

void nanonis_source::describe(grid_description* d) const {
    const sts::grid_header& h = grid_.header();
    d->nx = h.nx;
    d->ny = h.ny;
    d->source = path_;
    d->x = h.has_frame ? layout_axis(h.nx, h.frame.width, layout_) : axis(h.nx);
    d->y = h.has_frame ? layout_axis(h.ny, h.frame.height, layout_) : axis(h.ny);
    d->xy_unit = h.has_frame ? "nm" : "1";
    d->has_positions = h.x_parameter >= 0 && h.y_parameter >= 0;
    // The measured positions are turned into the grid's axes (read below).
    if (h.has_frame && h.frame.angle != 0)
        d->attributes.emplace_back("scan_angle", number_text(h.frame.angle) + " degrees");
    if (h.has_frame) d->attributes.emplace_back("pixel_layout", layout_name(layout_));
    d->has_topography = z_parameter_ >= 0;
    d->recorded = recorded_;
}

void nanonis_source::read(uint64_t index, pixel_input* out) const {
    out->bias.clear();
    out->current.clear();
    out->signal.clear();
    out->x_nm = out->y_nm = out->frame_x_nm = out->frame_y_nm = out->topography_nm = NaN;
    out->recorded.assign(recorded_.size(), NaN);
    if (index >= grid_.complete_pixels()) {
        out->code = PIXEL_MISSING;
        return;
    }
    const sts::pixel_status status =
        grid_.read_pixel_floats(index, &out->scratch, &out->bias, &out->current, &out->signal);
    double x = 0, y = 0;
    sts::frame_position_nm(grid_.header(), out->scratch.x_nm, out->scratch.y_nm, &x, &y);
    out->x_nm = static_cast<float>(x);
    out->y_nm = static_cast<float>(y);
    in_frame(out->scratch.x_nm, out->scratch.y_nm, &x, &y);
    out->frame_x_nm = static_cast<float>(x);
    out->frame_y_nm = static_cast<float>(y);
    record_parameters(out);
    switch (status) {
        case sts::pixel_status::measured: break;
        case sts::pixel_status::missing: out->code = PIXEL_MISSING; return;
        case sts::pixel_status::unmeasured: out->code = PIXEL_NOT_MEASURED; return;
        case sts::pixel_status::unreadable: out->code = PIXEL_UNREADABLE; return;
    }
    out->code = PIXEL_PROCESSED;
}

// A pixel's bias axis follows from its sweep's two ends (its first two
// parameters) alone, so eight bytes a pixel tell whether the axes differ.
// The reads are many and small, the system's time per read most of their
// cost, so two threads share them, each over half the pixels.
bool nanonis_source::same_bias_everywhere() const {
    const uint64_t pixels = grid_.complete_pixels();
    std::atomic<bool> differ{false};
    ends_scan low, high;
    {
        side_task upper([&] { high = scan_ends(pixels / 2, pixels, &differ); });
        low = scan_ends(0, pixels / 2, &differ);
    }
    if (differ) return false;
    return !low.found || !high.found || std::memcmp(low.first, high.first, sizeof low.first) == 0;
}

// The sweep ends of pixels [from, to): the first that are not all zeros,
// compared with every later one; *differ is set (and the scan stops) at
// the first that differ, and the other half's scan setting it stops this
// one too.
nanonis_source::ends_scan nanonis_source::scan_ends(uint64_t from, uint64_t to,
                                                    std::atomic<bool>* differ) const {
    const sts::grid_header& h = grid_.header();
    ends_scan scan;
    for (uint64_t p = from; p < to && !differ->load(std::memory_order_relaxed); ++p) {
        unsigned char ends[8];
        std::string error;
        if (!file_->read_at(h.data_offset + p * h.pixel_bytes, sizeof ends, ends, &error)) continue;
        // A pixel the grid never reached may hold zeros or NaN ends.
        static const unsigned char zeros[8] = {};
        if (std::memcmp(ends, zeros, sizeof ends) == 0) continue;
        if (!scan.found) {
            std::memcpy(scan.first, ends, sizeof ends);
            scan.found = true;
        } else if (std::memcmp(scan.first, ends, sizeof ends) != 0) {
            differ->store(true);
        }
    }
    return scan;
}

// One spectrum per file: instrument files through the readers, anything
// else as plain pairs, read exactly as normspec reads them.
struct file_pixel {
    pixel_code code = PIXEL_PROCESSED;
    std::vector<float> bias, current, signal;
};

bool read_plain(const std::string& path, file_pixel* p, std::string* error) {
    std::FILE* in = std::fopen(path.c_str(), "r");
    if (in == nullptr) {
        *error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    p->bias.resize(MAX_POINTS);
    p->current.resize(MAX_POINTS);
    int n = 0;
    bool more = false, read_error = false;
    sts::read_pairs(in, p->bias.data(), p->current.data(), MAX_POINTS, &n, &more, &read_error);
    std::fclose(in);
    if (read_error) {
        *error = path + ": read error";
        return false;
    }
    p->bias.resize(more ? 0 : static_cast<size_t>(n));
    p->current.resize(more ? 0 : static_cast<size_t>(n));
    if (more) p->code = PIXEL_TOO_MANY_POINTS;
    return true;
}

bool read_instrument(const std::string& path, const sts::import_options& o, file_pixel* p,
                     std::string* error) {
    std::vector<sts::imported_spectrum> spectra;
    std::string warning;
    if (!sts::read_spectra_file(path, o, &spectra, error, &warning)) {
        *error = path + ": " + *error;
        return false;
    }
    if (spectra.size() != 1) {
        *error = path + ": holds " + std::to_string(spectra.size()) +
                 " spectra; stsgrid takes one spectrum from each file (a grid must be the only "
                 "input)";
        return false;
    }
    to_floats(spectra.front().bias, &p->bias);
    to_floats(spectra.front().current, &p->current);
    to_floats(spectra.front().signal, &p->signal);
    bool measured = false;
    for (float v : p->current) measured = measured || !std::isnan(v);
    if (!measured) p->code = PIXEL_NOT_MEASURED;
    return true;
}

// The format of a file from its first bytes, as the options ask.
bool format_of(const std::string& path, const sts::import_options& o, sts::file_format* f,
               std::string* error, std::string* kind = nullptr) {
    if (o.format != sts::file_format::automatic) {
        *f = o.format;
        return true;
    }
    std::unique_ptr<sts::file_source> file = sts::file_source::open(path, error);
    std::string head;
    if (!file || !sts::read_head(*file, 4096, &head, error)) {
        *error = path + ": " + *error;
        return false;
    }
    *f = sts::detect_format(head);
    if (kind && *f == sts::file_format::unknown) *kind = sts::unreadable_kind(head);
    return true;
}

class file_list_source final : public grid_source {
public:
    bool open(const std::vector<std::string>& inputs, const sts::import_options& o,
              std::string* error);
    long nx() const override { return static_cast<long>(pixels_.size()); }
    long ny() const override { return 1; }
    int points() const override { return points_; }
    void describe(grid_description* d) const override {
        d->nx = nx();
        d->ny = 1;
        d->source = source_;
        d->x = axis(nx());
        d->y = axis(1);
        d->xy_unit = "1";
        d->has_positions = false;
    }
    void read(uint64_t index, pixel_input* out) const override {
        const file_pixel& p = pixels_[static_cast<size_t>(index)];
        out->code = p.code;
        out->bias = p.bias;
        out->current = p.current;
        out->signal = p.signal;
        out->x_nm = out->y_nm = out->frame_x_nm = out->frame_y_nm = out->topography_nm = NaN;
    }
    bool same_bias_everywhere() const override {
        for (const auto& p : pixels_)
            if (p.bias != pixels_.front().bias) return false;
        return true;
    }

private:
    bool any_spectrum(const std::vector<std::string>& inputs, std::string* error) const;

    std::vector<file_pixel> pixels_;
    std::string source_;
    int points_ = 0;
};

bool file_list_source::open(const std::vector<std::string>& inputs, const sts::import_options& o,
                            std::string* error) {
    for (const auto& path : inputs) {
        sts::file_format f = sts::file_format::unknown;
        std::string kind;
        if (!format_of(path, o, &f, error, &kind)) return false;
        if (f == sts::file_format::nanonis_grid) {
            *error = path + ": a grid must be the only input";
            return false;
        }
        if (!kind.empty()) {
            *error = path + ": " + kind;  // binary data is never read as pairs of numbers
            return false;
        }
        if (f == sts::file_format::unknown && !o.signal_channel.empty()) {
            *error = path + ": plain pairs of numbers hold no channel '" + o.signal_channel +
                     "' (only a bias and a current)";
            return false;
        }
        file_pixel p;
        const bool ok = f == sts::file_format::unknown ? read_plain(path, &p, error)
                                                       : read_instrument(path, o, &p, error);
        if (!ok) return false;
        points_ = std::max(points_, static_cast<int>(p.bias.size()));
        pixels_.push_back(std::move(p));
    }
    if (!any_spectrum(inputs, error)) return false;
    source_ = inputs.front();
    if (inputs.size() > 1) source_ += " ... " + inputs.back();
    return true;
}

// Files of which none holds a spectrum (text without a pair of numbers,
// spectra whose values are all missing) are refused, not written as a grid
// of unprocessed pixels.
bool file_list_source::any_spectrum(const std::vector<std::string>& inputs,
                                    std::string* error) const {
    for (const auto& p : pixels_)
        if ((p.code == PIXEL_PROCESSED && !p.bias.empty()) || p.code == PIXEL_TOO_MANY_POINTS)
            return true;
    const char* formats = readable_formats();
    *error = inputs.size() > 1 ? std::string()
             : pixels_.front().code == PIXEL_NOT_MEASURED
                 ? inputs.front() + ": every value of its spectrum is missing"
                 : inputs.front() + ": holds no spectrum (it is not " + formats + ")";
    if (inputs.size() > 1)
        *error = "none of the " + std::to_string(inputs.size()) +
                       " inputs holds a spectrum (" + formats + ")";
    return false;
}

}  // namespace

namespace {

// The one opener of each format whose driver row says it opens as a grid
// (readers/format_drivers.h): the grid's interface lives here, above the
// readers.
std::unique_ptr<grid_source> open_format_grid(sts::file_format f, const std::string& path,
                                              const sts::import_options& o, std::string* error) {
    if (f == sts::file_format::rhk_sm4) return open_sm4_source(path, o, error);
    auto grid = std::make_unique<nanonis_source>();
    if (!grid->open(path, o, error)) return nullptr;
    return grid;
}

}  // namespace

std::unique_ptr<grid_source> open_grid_source(const std::vector<std::string>& inputs,
                                              const sts::import_options& o, std::string* error) {
    sts::file_format f = sts::file_format::unknown;
    if (!format_of(inputs.front(), o, &f, error)) return nullptr;
    const sts::format_driver* driver = sts::find_driver(f);
    if (driver && driver->can.grid && inputs.size() == 1) {
        auto grid = open_format_grid(f, inputs.front(), o, error);
        if (!grid) *error = inputs.front() + ": " + *error;
        return grid;
    }
    auto list = std::make_unique<file_list_source>();
    if (!list->open(inputs, o, error)) return nullptr;
    return list;
}

}  // namespace sts
