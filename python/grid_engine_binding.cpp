// The grid engine for Python: a grid file read pixel by pixel through the
// tools' grid source (its axes from the source's own description), and the
// run over a grid held in arrays, pixel by pixel through the run stsgrid
// makes.  The only file of the module that includes the grid engine's
// headers, so that a move of them is mended here alone.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "python/binding.h"
#include "python/plan_binding.h"
#include "grid/grid_collector.h"
#include "grid/grid_run.h"
#include "grid/grid_setup.h"
#include "grid/grid_statistics.h"
#include "grid/grid_source.h"
#include "grid/lockin_pass.h"
#include "grid/pixel_codes.h"
#include "grid/quantities.h"
#include "grid/side_task.h"
#include "grid/statistics_pass.h"
#include "spectrum/gap.h"
#include "spectrum/gap_fit.h"

namespace sts::python {

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

// A grid file (Nanonis .3ds, RHK .sm4) opened as stsgrid opens it.
class grid_file {
public:
    grid_file(const std::string& path, const std::vector<std::string>& args,
              const std::string& signal_channel, bool force) {
        import_options o = options_from_args(args, signal_channel);
        o.signal_any_unit = force;
        std::string error;
        {
            py::gil_scoped_release free;
            source_ = open_grid_source({path}, o, &error);
        }
        if (!source_) throw py::value_error(keyword_message(error));
    }
    long nx() const { return source_->nx(); }
    long ny() const { return source_->ny(); }
    int points() const { return source_->points(); }
    bool same_bias_everywhere() const {
        py::gil_scoped_release free;
        return source_->same_bias_everywhere();
    }

    py::dict describe() const {
        grid_description d;
        source_->describe(&d);
        py::dict out;
        out["x"] = d.x;
        out["y"] = d.y;
        out["xy_unit"] = d.xy_unit;
        out["source"] = d.source;
        out["has_positions"] = d.has_positions;
        out["attributes"] = d.attributes;
        return out;
    }

    // Rows y0 <= y < y1, columns x0 <= x < x1: one of "current", "signal",
    // "bias" (y, x, point, points k0 <= k < k1 alone; NaN-padded), "code",
    // "position_x", "position_y" (y, x).  The points as imported, as stsgrid
    // reads them, on two threads (the source reads a pixel with its own
    // scratch on each), each over half the rows.
    py::array read(long y0, long y1, long x0, long x1, const std::string& what, long k0,
                   long k1) const {
        if (y0 < 0 || y1 > ny() || y0 > y1 || x0 < 0 || x1 > nx() || x0 > x1)
            throw py::value_error("pixels beyond the grid");
        if (k1 < 0) k1 = points();
        if (k0 < 0 || k1 > points() || k0 > k1) throw py::value_error("points beyond the grid");
        const bool per_point = what == "current" || what == "signal" || what == "bias";
        if (!per_point && what != "code" && what != "position_x" && what != "position_y")
            throw py::value_error("unknown part of a pixel: " + what);
        const pixel_window win{y0, y1, x0, x1, k0, k1};
        const auto h = static_cast<size_t>(y1 - y0), w = static_cast<size_t>(x1 - x0);
        const size_t n = per_point ? static_cast<size_t>(k1 - k0) : 1;
        std::vector<float> values(h * w * n, NaN);
        std::vector<signed char> codes(what == "code" ? h * w : 0);
        {
            py::gil_scoped_release free;
            if (y1 - y0 < 2) {
                read_rows(win, y0, y1, what, &values, &codes);
            } else {
                const long half = y0 + (y1 - y0) / 2;
                side_task lower([&] { read_rows(win, half, y1, what, &values, &codes); });
                read_rows(win, y0, half, what, &values, &codes);
            }
        }
        const auto H = static_cast<py::ssize_t>(h), W = static_cast<py::ssize_t>(w);
        if (what == "code") {
            py::array_t<signed char> a({H, W});
            std::copy(codes.begin(), codes.end(), a.mutable_data());
            return a;
        }
        if (per_point) return owning_array(std::move(values), {H, W, static_cast<py::ssize_t>(n)});
        return owning_array(std::move(values), {H, W});
    }

private:
    struct pixel_window {
        long y0, y1, x0, x1, k0, k1;
    };

    // Rows from <= y < to of the window into its place in *values (or *codes).
    void read_rows(const pixel_window& win, long from, long to, const std::string& what,
                   std::vector<float>* values, std::vector<signed char>* codes) const {
        const auto w = static_cast<size_t>(win.x1 - win.x0);
        const auto k0 = static_cast<size_t>(win.k0), n = static_cast<size_t>(win.k1 - win.k0);
        pixel_input in;
        std::vector<float> some;
        for (long y = from; y < to; ++y)
            for (long x = win.x0; x < win.x1; ++x) {
                const uint64_t index =
                    static_cast<uint64_t>(y) * static_cast<uint64_t>(nx()) + static_cast<uint64_t>(x);
                const size_t k =
                    static_cast<size_t>(y - win.y0) * w + static_cast<size_t>(x - win.x0);
                // A few points of the current: only their bytes, where the
                // reader can (the same values as the whole pixel's).
                if (what == "current" && n < static_cast<size_t>(points()) &&
                    source_->read_current_points(index, static_cast<int>(win.k0),
                                                 static_cast<int>(win.k1), &in, &some)) {
                    std::copy(some.begin(), some.end(),
                              values->begin() + static_cast<std::ptrdiff_t>(k * n));
                    continue;
                }
                source_->read(index, &in);
                if (what == "code") {
                    (*codes)[k] = in.code;
                } else if (what == "position_x" || what == "position_y") {
                    (*values)[k] = what == "position_x" ? in.x_nm : in.y_nm;
                } else {
                    const auto& v = what == "current" ? in.current
                                    : what == "signal" ? in.signal
                                                       : in.bias;
                    if (v.size() > k0)
                        std::copy_n(v.begin() + static_cast<std::ptrdiff_t>(k0),
                                    std::min(v.size() - k0, n),
                                    values->begin() + static_cast<std::ptrdiff_t>(k * n));
                }
            }
    }

    std::unique_ptr<grid_source> source_;
};

// A grid held in arrays, read as the run reads a file: a pixel's points
// are its values up to the last where bias or current is there; a pixel
// whose currents are all missing was never measured.
class array_source final : public grid_source {
public:
    long nx_ = 0, ny_ = 0;
    int points_ = 0;
    const float* bias_ = nullptr;  // points, or nx * ny * points
    bool bias_per_pixel_ = false;
    const float* current_ = nullptr;
    const float* signal_ = nullptr;  // or nullptr
    const signed char* codes_ = nullptr;
    const float* position_x_ = nullptr;
    const float* position_y_ = nullptr;
    std::vector<double> x_, y_;
    std::string xy_unit_, source_;
    std::vector<std::pair<std::string, std::string>> attributes_;

    long nx() const override { return nx_; }
    long ny() const override { return ny_; }
    int points() const override { return points_; }
    void describe(grid_description* d) const override {
        d->nx = nx_;
        d->ny = ny_;
        d->source = source_;
        d->x = x_;
        d->y = y_;
        d->xy_unit = xy_unit_;
        d->has_positions = position_x_ != nullptr && position_y_ != nullptr;
        d->attributes.insert(d->attributes.end(), attributes_.begin(), attributes_.end());
    }
    const float* bias_of(uint64_t index) const {
        return bias_ + (bias_per_pixel_ ? index * static_cast<uint64_t>(points_) : 0);
    }
    void read(uint64_t index, pixel_input* out) const override {
        out->bias.clear();
        out->current.clear();
        out->signal.clear();
        const bool known = position_x_ && position_y_;
        out->x_nm = known ? position_x_[index] : NaN;
        out->y_nm = known ? position_y_[index] : NaN;
        out->code = codes_ ? static_cast<pixel_code>(codes_[index]) : PIXEL_PROCESSED;
        if (out->code != PIXEL_PROCESSED) return;
        const float* b = bias_of(index);
        const float* c = current_ + index * static_cast<uint64_t>(points_);
        int n = points_;
        while (n > 0 && std::isnan(b[n - 1]) && std::isnan(c[n - 1])) --n;
        if (std::all_of(c, c + n, [](float v) { return std::isnan(v); })) {
            out->code = PIXEL_NOT_MEASURED;
            return;
        }
        out->bias.assign(b, b + n);
        out->current.assign(c, c + n);
        if (signal_) {
            const float* s = signal_ + index * static_cast<uint64_t>(points_);
            out->signal.assign(s, s + n);
        }
    }
    bool same_bias_everywhere() const override {
        if (!bias_per_pixel_) return true;
        const auto n = static_cast<size_t>(points_);
        const float* first = nullptr;
        for (uint64_t p = 0; p < static_cast<uint64_t>(nx_ * ny_); ++p) {
            const float* b = bias_of(p);
            if (std::all_of(b, b + n, [](float v) { return std::isnan(v); })) continue;
            if (!first)
                first = b;
            else if (!std::equal(b, b + n, first, [](float u, float v) {
                         return u == v || (std::isnan(u) && std::isnan(v));
                     }))
                return false;
        }
        return true;
    }
};

// The plan of compute()'s settings, with the gap's curve named as the
// run names it.
grid_plan array_plan(const py::dict& settings) {
    grid_plan o = plan_from_settings(settings, plan_use::arrays);
    std::string error;
    const bool lockin = !o.import.signal_channel.empty();
    if (o.gap.given) o.gap.variable = gap_curve(o.gap, lockin);
    if (o.fit.given) o.fit.variable = fit_curve_of(o.fit, lockin);
    if (!check_gap_curve(o, &error) || !check_fit_curve(o, &error))
        throw py::value_error(keyword_message(error));
    return o;
}

// What the run gives: every written quantity's values over the grid, the
// statuses and the statistics.
struct run_result {
    grid_description d;
    std::vector<std::vector<float>> values;  // per pixel_quantities entry (empty: not written)
    std::vector<signed char> status, gap_status, fit_status;
    std::vector<float> position_x, position_y;
    struct stats {
        std::string name;
        std::vector<float> mean, sd, se;
        long pixels = 0;
    };
    std::vector<stats> statistics;
};

// The blocks into the result, each at its pixels.
void store_block(const pixel_block& b, run_result* r) {
    const auto first = static_cast<size_t>(b.first), count = static_cast<size_t>(b.count);
    for (size_t q = 0; q < pixel_quantities.size(); ++q) {
        auto& to = r->values[q];
        if (to.empty()) continue;
        const auto& from = b.*pixel_quantities[q].values;
        const size_t per = values_per_pixel(pixel_quantities[q], static_cast<size_t>(b.points));
        std::copy_n(from.begin(), count * per,
                    to.begin() + static_cast<std::ptrdiff_t>(first * per));
    }
    std::copy_n(b.status.begin(), count, r->status.begin() + static_cast<std::ptrdiff_t>(first));
    if (!r->gap_status.empty())
        std::copy_n(b.gap_status.begin(), count,
                    r->gap_status.begin() + static_cast<std::ptrdiff_t>(first));
    if (!r->fit_status.empty())
        std::copy_n(b.fit_status.begin(), count,
                    r->fit_status.begin() + static_cast<std::ptrdiff_t>(first));
    if (r->d.has_positions) {
        std::copy_n(b.position_x.begin(), count,
                    r->position_x.begin() + static_cast<std::ptrdiff_t>(first));
        std::copy_n(b.position_y.begin(), count,
                    r->position_y.begin() + static_cast<std::ptrdiff_t>(first));
    }
}

// The run of stsgrid's write_grid, with the blocks kept instead of written.
bool run_arrays(const array_source& src, const grid_plan& o, const std::string& scratch,
                run_result* r, std::string* error) {
    describe_run(src, o, &r->d);
    // Arrays carry no recorded positions in the frame's axes: the CLI's
    // position_frame_x/y come from the instrument's file, not from arrays.
    auto& groups = r->d.groups;
    groups.erase(std::remove(groups.begin(), groups.end(), quantity_group::position), groups.end());
    const int threads = o.threads > 0
                            ? o.threads
                            : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    lockin_settings ls;
    if (!plan_lockin(src, o, threads, &r->d, &ls, error)) return false;
    const grid_description& d = r->d;
    const auto pixels = static_cast<size_t>(d.nx * d.ny);
    r->values.resize(pixel_quantities.size());
    for (size_t q = 0; q < pixel_quantities.size(); ++q)
        if (written_in(pixel_quantities[q], d))
            r->values[q].assign(
                pixels * values_per_pixel(pixel_quantities[q], static_cast<size_t>(d.points)), NaN);
    r->status.assign(pixels, PIXEL_MISSING);
    if (d.writes(quantity_group::gap)) r->gap_status.assign(pixels, 0);
    if (d.writes(quantity_group::fit)) r->fit_status.assign(pixels, 0);
    if (d.has_positions) {
        r->position_x.assign(pixels, NaN);
        r->position_y.assign(pixels, NaN);
    }
    run_settings rs;
    rs.threads = threads;
    rs.norm = o.norm;
    rs.lockin = ls;
    if (o.gap.given) {
        rs.gap.curve = find_pixel_quantity(o.gap.variable);
        rs.gap.options.threshold = o.gap.threshold;
        rs.gap.options.window = o.gap.window;
    }
    if (o.fit.given) {
        // As the file's run sets it (grid_engine.cpp): the bias in mV or V.
        rs.fit.curve = find_pixel_quantity(o.fit.variable);
        rs.fit.options = o.fit.settings;
        rs.fit.options.bias_to_meV = o.import.bias_scale == 1e3 ? 1 : 1000;
    }
    rs.smooth_window = o.smooth_window;
    rs.smooth_order = o.smooth_order;
    grid_collector c(d, o);
    if (!c.open_spills(scratch, error)) return false;
    const auto keep = [&](const pixel_block& b, const input_block&, std::string*) {
        store_block(b, r);
        return true;
    };
    const auto gather = [&](const pixel_block& b, const input_block& in, std::string*) {
        c.add(b, in);
        return true;
    };
    if (!run_grid(src, d, rs, {gather, keep}, error)) return false;
    if (!second_pass(std::max(threads, 2), &c, error)) return false;
    c.close_spills();
    for (size_t q = 0; q < c.quantities().size(); ++q) {
        const series_statistics& s = c.statistics(q);
        run_result::stats st;
        st.name = c.quantities()[q]->name;
        st.pixels = s.count();
        for (size_t i = 0; i < s.length(); ++i) {
            // NaN where fewer than two pixels count, as the file has it.
            const point_stats p = s.count() >= 2 ? s.at(i) : point_stats{NaN, NaN, NaN, NaN, NaN};
            st.mean.push_back(p.mean);
            st.sd.push_back(p.deviation);
            st.se.push_back(p.error);
        }
        r->statistics.push_back(std::move(st));
    }
    return true;
}

py::array bytes_array(const std::vector<signed char>& v, const std::vector<py::ssize_t>& shape) {
    py::array_t<signed char> a(shape);
    std::copy(v.begin(), v.end(), a.mutable_data());
    return a;
}

py::dict result_dict(run_result& r) {
    const grid_description& d = r.d;
    const auto ny = static_cast<py::ssize_t>(d.ny), nx = static_cast<py::ssize_t>(d.nx);
    py::dict out, variables, statistics;
    for (size_t q = 0; q < pixel_quantities.size(); ++q) {
        if (r.values[q].empty()) continue;
        const auto per = static_cast<py::ssize_t>(
            values_per_pixel(pixel_quantities[q], static_cast<size_t>(d.points)));
        const bool map = pixel_quantities[q].along == quantity_axis::pixel;
        variables[pixel_quantities[q].name] =
            map ? owning_array(std::move(r.values[q]), {ny, nx})
                : owning_array(std::move(r.values[q]), {ny, nx, per});
    }
    variables["status"] = bytes_array(r.status, {ny, nx});
    if (!r.gap_status.empty()) variables["gap_status"] = bytes_array(r.gap_status, {ny, nx});
    if (!r.fit_status.empty()) variables["fit_status"] = bytes_array(r.fit_status, {ny, nx});
    if (d.has_positions) {
        variables["position_x"] = owning_array(std::move(r.position_x), {ny, nx});
        variables["position_y"] = owning_array(std::move(r.position_y), {ny, nx});
    }
    for (auto& s : r.statistics) {
        const auto n = static_cast<py::ssize_t>(s.mean.size());
        statistics[s.name.c_str()] =
            py::make_tuple(owning_array(std::move(s.mean), {n}), owning_array(std::move(s.sd), {n}),
                           owning_array(std::move(s.se), {n}), s.pixels);
    }
    out["variables"] = variables;
    out["statistics"] = statistics;
    out["x"] = d.x;
    out["y"] = d.y;
    out["xy_unit"] = d.xy_unit;
    std::vector<float> bias = d.bias, vmid = d.vmid;
    out["bias"] = owning_array(std::move(bias), {static_cast<py::ssize_t>(d.points)});
    out["vmid"] = owning_array(std::move(vmid), {static_cast<py::ssize_t>(d.points - 1)});
    out["bias_unit"] = d.bias_unit;
    out["current_unit"] = d.current_unit;
    out["per_pixel_axis"] = d.per_pixel_axis;
    out["lockin"] = d.writes(quantity_group::lockin);
    out["source"] = d.source;
    out["attributes"] = d.attributes;
    return out;
}

const char* const compute_doc =
    "Runs stsgrid's computation over a grid held in arrays: bias (points,) or (ny, nx, "
    "points), current and signal (ny, nx, points), codes (ny, nx) int8 or None, positions "
    "(ny, nx) or None; attributes the grid source's own (name, value) pairs; every array "
    "C-contiguous float32 (int8 for codes), else TypeError "
    "or ValueError, never a copy.  settings are stsgrid's settings by name "
    "({'smooth': 11, 'exp_width': 0.002, ...}); scratch a folder for the statistics' "
    "scratch files.  Runs "
    "without the GIL.  A dict of the variables, statistics, axes and attributes.";

// The arrays of a call, checked and held for as long as the run reads them.
struct held_arrays {
    py::ssize_t ny = 0, nx = 0, n = 0;
    bool bias_per_pixel = false;
    float_array bias, current, signal, position_x, position_y;
    py::array_t<signed char, py::array::c_style> codes;
};

held_arrays checked_inputs(const py::object& bias, const py::object& current,
                           const py::object& signal, const py::object& codes,
                           const py::object& position_x, const py::object& position_y) {
    if (!py::isinstance<py::array>(current))
        throw py::type_error("current: a numpy array of float32 is needed");
    const auto shape = py::reinterpret_borrow<py::array>(current);
    if (shape.ndim() != 3) throw py::value_error("current: an array over (y, x, point) is needed");
    held_arrays h;
    h.ny = shape.shape(0), h.nx = shape.shape(1), h.n = shape.shape(2);
    if (h.ny < 1 || h.nx < 1 || h.n < 1) throw py::value_error("current: an empty grid");
    h.current = checked_floats(current, "current", {h.ny, h.nx, h.n});
    h.bias_per_pixel =
        !(py::isinstance<py::array>(bias) && py::reinterpret_borrow<py::array>(bias).ndim() == 1);
    h.bias = checked_floats(bias, "bias",
                            h.bias_per_pixel ? std::vector<py::ssize_t>{h.ny, h.nx, h.n}
                                             : std::vector<py::ssize_t>{h.n});
    if (!signal.is_none()) h.signal = checked_floats(signal, "signal", {h.ny, h.nx, h.n});
    if (!position_x.is_none())
        h.position_x = checked_floats(position_x, "position_x", {h.ny, h.nx});
    if (!position_y.is_none())
        h.position_y = checked_floats(position_y, "position_y", {h.ny, h.nx});
    if (!codes.is_none()) {
        if (!py::isinstance<py::array>(codes) ||
            !py::reinterpret_borrow<py::array>(codes).dtype().is(py::dtype::of<signed char>()))
            throw py::type_error("codes: an int8 array is needed");
        const auto k = py::reinterpret_borrow<py::array>(codes);
        if (!(k.flags() & py::array::c_style) || k.ndim() != 2 || k.shape(0) != h.ny ||
            k.shape(1) != h.nx)
            throw py::value_error("codes: a C-contiguous (y, x) array is needed");
        h.codes = py::reinterpret_borrow<py::array_t<signed char, py::array::c_style>>(codes);
    }
    return h;
}

// The values of an optional array (None: not given).
template <class T>
const T* data_or_null(const py::object& given, const py::array_t<T, py::array::c_style>& a) {
    return given.is_none() ? nullptr : a.data();
}

py::dict compute(const py::object& bias, const py::object& current, const py::object& signal,
                 const py::object& codes, const py::object& position_x,
                 const py::object& position_y, const std::vector<double>& x,
                 const std::vector<double>& y, const std::string& xy_unit,
                 const std::string& source,
                 const std::vector<std::pair<std::string, std::string>>& attributes,
                 const py::dict& settings, const std::string& scratch) {
    const grid_plan o = array_plan(settings);
    const held_arrays h = checked_inputs(bias, current, signal, codes, position_x, position_y);
    if (static_cast<py::ssize_t>(x.size()) != h.nx || static_cast<py::ssize_t>(y.size()) != h.ny)
        throw py::value_error("x and y: one coordinate per column and per row are needed");
    if (!o.import.signal_channel.empty() && signal.is_none())
        throw py::value_error("didv_channel needs the channel's values (signal)");
    array_source src;
    src.nx_ = static_cast<long>(h.nx);
    src.ny_ = static_cast<long>(h.ny);
    src.points_ = static_cast<int>(h.n);
    src.bias_ = h.bias.data();
    src.bias_per_pixel_ = h.bias_per_pixel;
    src.current_ = h.current.data();
    src.signal_ = data_or_null(signal, h.signal);
    src.codes_ = data_or_null(codes, h.codes);
    src.position_x_ = data_or_null(position_x, h.position_x);
    src.position_y_ = data_or_null(position_y, h.position_y);
    src.x_ = x;
    src.y_ = y;
    src.xy_unit_ = xy_unit;
    src.source_ = source;
    src.attributes_ = attributes;
    run_result r;
    std::string error;
    bool ok = false;
    {
        py::gil_scoped_release free;
        ok = run_arrays(src, o, scratch, &r, &error);
    }
    if (!ok) throw py::value_error(keyword_message(error));
    return result_dict(r);
}

// The statistics over records (pixels, length) as the run takes them over
// its pixels, in this order: the same two passes (grid/grid_statistics.h),
// NaN where fewer than two records count.
py::tuple record_statistics(const py::object& records) {
    if (!py::isinstance<py::array>(records) || py::reinterpret_borrow<py::array>(records).ndim() != 2)
        throw py::type_error("records: a float32 array over (pixel, value) is needed");
    const auto shape = py::reinterpret_borrow<py::array>(records);
    const py::ssize_t n = shape.shape(0), length = shape.shape(1);
    const float_array r = checked_floats(records, "records", {n, length});
    const auto len = static_cast<size_t>(length);
    std::vector<float> mean(len), sd(len), se(len);
    int count = 0;
    {
        py::gil_scoped_release free;
        series_statistics s(static_cast<int>(length));
        for (py::ssize_t i = 0; i < n; ++i) s.add(r.data() + static_cast<size_t>(i) * len);
        for (py::ssize_t i = 0; i < n; ++i) s.add_square(r.data() + static_cast<size_t>(i) * len);
        count = s.count();
        for (size_t i = 0; i < len; ++i) {
            const point_stats p = count >= 2 ? s.at(i) : point_stats{NaN, NaN, NaN, NaN, NaN};
            mean[i] = p.mean;
            sd[i] = p.deviation;
            se[i] = p.error;
        }
    }
    return py::make_tuple(owning_array(std::move(mean), {length}),
                          owning_array(std::move(sd), {length}),
                          owning_array(std::move(se), {length}), count);
}

py::list quantity_table() {
    py::list list;
    for (const pixel_quantity& q : pixel_quantities) {
        py::dict d;
        d["name"] = q.name;
        d["along"] = q.along == quantity_axis::point      ? "point"
                     : q.along == quantity_axis::midpoint ? "midpoint"
                                                          : "pixel";
        d["long_name"] = q.long_name;
        d["comment"] = q.comment ? py::object(py::str(q.comment)) : py::object(py::none());
        d["statistics"] = q.statistics;
        d["pixel_axis"] = q.pixel_axis;
        d["group"] = group_name(q.group);
        list.append(d);
    }
    return list;
}

std::string unit_of(const std::string& name, const std::string& bias_unit,
                    const std::string& current_unit) {
    const pixel_quantity* q = find_pixel_quantity(name);
    if (!q) throw py::value_error("no quantity " + name);
    return unit_text(q->unit, bias_unit, current_unit);
}

}  // namespace

void bind_grid_engine(py::module_& m) {
    py::class_<grid_file>(m, "GridFile",
                          "A grid file (Nanonis .3ds, RHK .sm4) opened as stsgrid opens it, "
                          "read pixel by pixel; args are stsimport's import options.")
        .def(py::init<const std::string&, const std::vector<std::string>&, const std::string&,
                      bool>(),
             py::arg("path"), py::arg("args") = std::vector<std::string>{},
             py::arg("signal_channel") = "", py::arg("force") = false)
        .def_property_readonly("nx", &grid_file::nx)
        .def_property_readonly("ny", &grid_file::ny)
        .def_property_readonly("points", &grid_file::points)
        .def("same_bias_everywhere", &grid_file::same_bias_everywhere)
        .def("describe", &grid_file::describe,
             "The grid's x, y (as stsgrid's file has them), xy_unit, source, has_positions "
             "and attributes.")
        .def("read", &grid_file::read, py::arg("y0"), py::arg("y1"), py::arg("x0"), py::arg("x1"),
             py::arg("what"), py::arg("k0") = 0, py::arg("k1") = -1,
             "Pixels [y0, y1) x [x0, x1): 'current', 'signal', 'bias' as float32 (y, x, point) "
             "NaN-padded, points [k0, k1) (k1 -1: to the end), or 'code' (int8), "
             "'position_x', 'position_y' (y, x).  Without the GIL, on two threads.");
    m.def("compute", &compute, py::arg("bias"), py::arg("current"), py::arg("signal"),
          py::arg("codes"), py::arg("position_x"), py::arg("position_y"), py::arg("x"),
          py::arg("y"), py::arg("xy_unit"), py::arg("source"), py::arg("attributes"),
          py::arg("settings"), py::arg("scratch"), compute_doc);
    m.attr("gap_reason_names") = gap_reason_names;
    // The pixel codes' words, from the engine's one table: all of them, and
    // those of a run without a lock-in channel.
    m.attr("pixel_flag_meanings") = pixel_flag_meanings(PIXEL_CODES);
    m.attr("pixel_flag_meanings_without_lockin") = pixel_flag_meanings(PIXEL_CODES_WITHOUT_LOCKIN);
    m.attr("gap_reason_count") = gap_reason_count;
    m.attr("fit_status_names") = gap_fit_status_names;
    m.attr("fit_status_count") = gap_fit_status_count;
    m.def("record_statistics", &record_statistics, py::arg("records"),
          "mean, sd, se (float32) and the count of records (pixel, value) float32, as the run "
          "computes its statistics over its pixels' records in this order.  Without the GIL.");
    m.def("quantities", &quantity_table, "The per-pixel quantities stsgrid writes, in file order.");
    m.def("unit_text", &unit_of, py::arg("name"), py::arg("bias_unit"), py::arg("current_unit"));
}

}  // namespace sts::python
