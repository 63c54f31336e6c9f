// Nanonis grid-spectroscopy files (.3ds), pixel by pixel.
#include "readers/nanonis_grid.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "readers/bias_sweep.h"
#include "readers/grid_size_check.h"

namespace sts {

namespace {

float big_endian_float(const unsigned char* p) {
    const uint32_t bits = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) |
                          uint32_t(p[3]);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

std::string no_pixel(uint64_t pixels) {
    return "the grid holds no complete pixel (" + std::to_string(pixels) + " missing)";
}

bool any_measured(const std::vector<imported_spectrum>& spectra) {
    for (const auto& s : spectra)
        for (double v : s.current)
            if (!std::isnan(v)) return true;
    return false;
}

}  // namespace

bool read_grid_head(const byte_source& source, std::string* head, std::string* error) {
    // Real headers are a few kB; the marker and the line end after it must
    // be inside what is read.
    for (size_t want = 65536;; want *= 4) {
        if (!read_head(source, want, head, error)) return false;
        const size_t end = head->find(":HEADER_END:");
        const bool whole = head->size() == source.size();
        if (end != std::string::npos && (end + 14 <= head->size() || whole)) return true;
        if (whole || want >= (size_t{16} << 20)) return true;  // the parser says what is wrong
    }
}

bool nanonis_grid::open(std::shared_ptr<const byte_source> source, const std::string& label,
                        const import_options& o, std::string* error) {
    std::string head;
    if (!read_grid_head(*source, &head, error) || !parse_grid_header(head, &header_, error))
        return false;
    const uint64_t available = source->size() - header_.data_offset;
    complete_ = std::min(header_.pixels(), available / header_.pixel_bytes);
    if (complete_ == 0) {
        *error = no_pixel(header_.pixels());
        return false;
    }
    if (!check_grid_size(header_.pixels(), header_.pixel_bytes, available, o.partial, error))
        return false;
    columns_.clear();
    const std::string sweep_unit = parse_column_name(header_.sweep_signal).unit;
    columns_.push_back(parse_column_name("Bias calc (" + sweep_unit + ")"));
    for (const auto& name : header_.channels) columns_.push_back(parse_column_name(name));
    if (!plan_selection(columns_, o, &plan_, error)) return false;
    used_channels_.clear();
    auto use = [&](int column) {
        if (column > 0 && std::find(used_channels_.begin(), used_channels_.end(), column - 1) ==
                              used_channels_.end())
            used_channels_.push_back(column - 1);
    };
    use(plan_.bias_column);
    for (const auto* planned : {&plan_.spectra, &plan_.signals})
        for (const auto& s : *planned)
            for (const auto* part : {&s.first, &s.second})
                for (int c : part->columns) use(c);
    source_ = std::move(source);
    label_ = label;
    bias_unit_ = o.bias_scale == 1.0 ? "V" : "mV";
    return true;
}

void nanonis_grid::sweep_axis(const grid_pixel& p, std::vector<double>* bias) const {
    // The sweep's ends as the header writes them in decimal: where the
    // pixel's float32 ends are those values, the decimal ones give a clean
    // axis.
    double start = p.parameters[0];
    double stop = p.parameters[1];
    if (header_.has_decimal_sweep &&
        static_cast<float>(header_.sweep_start) == static_cast<float>(start) &&
        static_cast<float>(header_.sweep_end) == static_cast<float>(stop)) {
        start = header_.sweep_start;
        stop = header_.sweep_end;
    }
    const long points = header_.points;
    bias->resize(static_cast<size_t>(points));
    for (long k = 0; k < points; ++k)
        (*bias)[k] = points == 1 ? start : start + (stop - start) * k / (points - 1);
}

// The pixel's bytes into out->raw and its parameters; false with out->error.
bool nanonis_grid::read_bytes(uint64_t index, grid_pixel* out) const {
    const size_t count = static_cast<size_t>(header_.pixel_bytes);
    out->raw.resize(count);
    if (!source_->read_at(header_.data_offset + index * header_.pixel_bytes, count,
                          out->raw.data(), &out->error))
        return false;
    const size_t parameters = static_cast<size_t>(header_.parameter_count);
    out->parameters.resize(parameters);
    for (size_t i = 0; i < parameters; ++i)
        out->parameters[i] = big_endian_float(out->raw.data() + 4 * i);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    out->x_nm = header_.x_parameter >= 0 ? out->parameters[header_.x_parameter] * 1e9 : nan;
    out->y_nm = header_.y_parameter >= 0 ? out->parameters[header_.y_parameter] * 1e9 : nan;
    return true;
}

pixel_status nanonis_grid::read_pixel(uint64_t index, grid_pixel* out) const {
    if (index >= complete_) return pixel_status::missing;
    if (!read_bytes(index, out)) return pixel_status::unreadable;
    const unsigned char* pixel = out->raw.data();
    const size_t parameters = static_cast<size_t>(header_.parameter_count);
    out->table.resize(columns_.size());
    sweep_axis(*out, &out->table[0]);
    const size_t points = static_cast<size_t>(header_.points);
    for (int c : used_channels_) {
        std::vector<double>& column = out->table[c + 1];
        column.resize(points);
        const unsigned char* values = pixel + 4 * (parameters + static_cast<size_t>(c) * points);
        for (size_t k = 0; k < points; ++k) column[k] = big_endian_float(values + 4 * k);
    }
    out->spectra.resize(plan_.spectra.size());
    apply_selection(plan_, out->table, label_, out->spectra.data());
    const int x = static_cast<int>(index % static_cast<uint64_t>(header_.nx));
    const int y = static_cast<int>(index / static_cast<uint64_t>(header_.nx));
    for (auto& s : out->spectra) {
        s.pixel_x = x;
        s.pixel_y = y;
    }
    if (!any_measured(out->spectra)) return pixel_status::unmeasured;
    // A pixel whose sweep starts where it ends has no current-voltage curve.
    if (!is_bias_sweep(out->spectra.front().bias, bias_unit_, &out->error))
        return pixel_status::unreadable;
    return pixel_status::measured;
}

// The axis of out's sweep ends in the output unit, as read_pixel forms it,
// rounded to float, and the sweep check's verdict on the unrounded one.
void nanonis_grid::keep_axis(grid_pixel* out) const {
    grid_pixel::kept_axis& a = out->axis;
    std::memcpy(&a.ends[0], &out->parameters[0], sizeof(float));
    std::memcpy(&a.ends[1], &out->parameters[1], sizeof(float));
    std::vector<double> bias;
    sweep_axis(*out, &bias);
    for (double& v : bias) v = v * plan_.bias_multiplier;
    a.bias.resize(bias.size());
    for (size_t k = 0; k < bias.size(); ++k) a.bias[k] = static_cast<float>(bias[k]);
    a.error.clear();
    a.sweeps = is_bias_sweep(bias, bias_unit_, &a.error);
    a.valid = true;
}

// in_amperes of channel_selection.cpp, reading the stored floats directly.
double nanonis_grid::current_at(const unsigned char* channels, const selection_plan::source& s,
                                size_t k) const {
    const size_t points = static_cast<size_t>(header_.points);
    auto value = [&](int c) {
        const double v = big_endian_float(channels + 4 * (static_cast<size_t>(c - 1) * points + k));
        return v * plan_.amperes[static_cast<size_t>(c)];
    };
    if (!s.averaged) return value(s.columns.front());
    double sum = 0.0;
    for (int c : s.columns) sum += value(c);
    return sum / static_cast<double>(s.columns.size());
}

pixel_status nanonis_grid::read_pixel_floats(uint64_t index, grid_pixel* out,
                                             std::vector<float>* bias,
                                             std::vector<float>* current,
                                             std::vector<float>* signal) const {
    bias->clear();
    current->clear();
    if (signal) signal->clear();
    // A bias measured as a channel, several spectra a pixel or a measured
    // dI/dV channel take the general road.
    if (plan_.bias_column != 0 || plan_.spectra.size() != 1 || !plan_.signals.empty() ||
        header_.parameter_count < 2) {
        const pixel_status status = read_pixel(index, out);
        if (status != pixel_status::measured) return status;
        const imported_spectrum& s = out->spectra.front();
        for (double v : s.bias) bias->push_back(static_cast<float>(v));
        for (double v : s.current) current->push_back(static_cast<float>(v));
        if (signal)
            for (double v : s.signal) signal->push_back(static_cast<float>(v));
        return status;
    }
    if (index >= complete_) return pixel_status::missing;
    if (!read_bytes(index, out)) return pixel_status::unreadable;
    const size_t points = static_cast<size_t>(header_.points);
    const unsigned char* channels =
        out->raw.data() + 4 * static_cast<size_t>(header_.parameter_count);
    const selection_plan::planned& p = plan_.spectra.front();
    current->resize(points);
    bool measured = false;
    for (size_t k = 0; k < points; ++k) {
        double value = current_at(channels, p.first, k);
        if (!p.second.columns.empty()) {
            double both = 0.0;
            both += value;
            both += current_at(channels, p.second, k);
            value = both / 2.0;
        }
        value = value * plan_.current_scale;
        measured = measured || !std::isnan(value);
        (*current)[k] = static_cast<float>(value);
    }
    if (!measured) {
        current->clear();
        return pixel_status::unmeasured;
    }
    uint32_t ends[2];
    std::memcpy(&ends[0], &out->parameters[0], sizeof(float));
    std::memcpy(&ends[1], &out->parameters[1], sizeof(float));
    if (!out->axis.valid || ends[0] != out->axis.ends[0] || ends[1] != out->axis.ends[1])
        keep_axis(out);
    if (!out->axis.sweeps) {
        out->error = out->axis.error;
        current->clear();
        return pixel_status::unreadable;
    }
    *bias = out->axis.bias;
    return pixel_status::measured;
}

bool read_nanonis_grid(const std::string& path, std::shared_ptr<const byte_source> source,
                       const import_options& o, std::vector<imported_spectrum>* out, std::string* error,
                       std::string* warning) {
    nanonis_grid grid;
    if (!grid.open(std::move(source), path, o, error)) return false;
    const uint64_t pixels = grid.header().pixels();
    uint64_t unmeasured = 0;
    grid_pixel pixel;
    for (uint64_t p = 0; p < grid.complete_pixels(); ++p) {
        const pixel_status status = grid.read_pixel(p, &pixel);
        if (status == pixel_status::unreadable) {
            *error = "pixel " + std::to_string(p) + ": " + pixel.error;
            return false;
        }
        if (status == pixel_status::unmeasured) ++unmeasured;
        if (status != pixel_status::measured) continue;
        for (auto& s : pixel.spectra) out->push_back(std::move(s));
    }
    const uint64_t missing = pixels - grid.complete_pixels() + unmeasured;
    if (missing == pixels) {
        *error = no_pixel(pixels);
        return false;
    }
    if (missing > 0)
        *warning = "the grid is incomplete: " + std::to_string(missing) + " of " +
                   std::to_string(pixels) + " pixels missing (" + std::to_string(pixels - missing) +
                   " complete pixels imported)";
    return true;
}

}  // namespace sts
