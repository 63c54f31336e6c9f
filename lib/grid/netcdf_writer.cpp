// The grid's netCDF-4 file.  Layout and names: netcdf_writer.h.
//
// Memory: the per-pixel variables are chunked (1, cx, record) with chunks
// of at most chunk_limit bytes, and each variable's chunk cache holds two
// chunks, so the library keeps a bounded amount whatever the grid's size.
// Determinism: nothing time-dependent goes into the file (netCDF-4 turns
// HDF5's object time stamps off), and the order of the library calls is
// fixed by the order of the calls to this class.
// Failures: once HDF5 has failed to write (a full disk), closing the file
// fails as well and leaves HDF5 with a half-closed file that crashes the
// process in nc_abort or at exit (netCDF 4.9.0, HDF5 1.10.8).  Two guards,
// both in netcdf_file.h: create() reserves the file's room on disk before
// HDF5 writes, so that a disk too full fails there, cleanly; and after a
// failure of HDF5 itself the file's descriptor is pointed at /dev/null, so
// that the doomed file closes without error and is removed.
#include "grid/netcdf_writer.h"
#include "grid/file_layout.h"
#include "grid/netcdf_file.h"
#include "spectrum/gap.h"
#include "spectrum/gap_fit.h"
#include "grid/quantities.h"
#include "grid/scan_on_grid.h"
#include "sts/version.h"

#include <fcntl.h>
#include <netcdf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace sts {

namespace {

// At most this many bytes in one chunk: a whole row of a 64-pixel-wide grid
// of 1000-point spectra, so that larger grids need no more memory.
constexpr size_t chunk_limit = 256 * 1024;

// The chunk of a variable over (y, x[, record]) with elements of `element`
// bytes (record 0: one element per pixel): whole records along a row,
// long records split.  A row is cut into pieces of equal width, as few as
// chunk_limit allows: HDF5 stores edge chunks whole, so a last piece that
// were mostly beyond the grid's edge would be written as padding (a
// 200-pixel row in 163 + 37 pixels took 326 pixels of room).  Equal pieces
// reach past the edge by less than one pixel each.
struct chunk_shape {
    size_t x = 1, record = 1;
    size_t bytes(size_t element) const { return x * record * element; }
};

size_t equal_piece(size_t count, size_t most) {
    const size_t pieces = (count + most - 1) / most;
    return (count + pieces - 1) / pieces;
}

chunk_shape chunk_for(size_t nx, size_t record, size_t element) {
    chunk_shape c;
    c.record = std::max<size_t>(record, 1);
    if (c.record * element > chunk_limit)
        c.record = equal_piece(c.record, chunk_limit / element);
    else
        c.x = equal_piece(nx, std::min(nx, chunk_limit / (c.record * element)));
    return c;
}

}  // namespace

struct netcdf_writer::impl {
    int ncid = -1;
    std::string path;
    netcdf_file nc;  // the temporary file until it takes its name
    bool committed = false;
    size_t nx = 0, ny = 0, points = 0;
    bool per_pixel_axis = false, has_positions = false;
    grid_description written_by;  // of the run's description, what says which quantities it writes
    std::string bias_unit, current_unit;
    uint64_t written = 0;  // pixels written so far, from pixel 0 on
    int dim_y = -1, dim_x = -1, dim_point = -1, dim_midpoint = -1;
    int var_quantity[pixel_quantity_count] = {};  // -1 where not defined
    int var_status = -1, var_position_x = -1, var_position_y = -1;
    int var_gap_status = -1;  // with --gap
    int var_fit_status = -1;  // with --fit
    std::vector<int> var_recorded;  // grid_description::recorded's variables
    std::shared_ptr<const scan_on_grid> scan;  // --topography's scan, or none
    std::string topography_long_name;          // grid_description's

    // Runs one library call unless an earlier one failed (netcdf_file.h).
    template <typename call>
    bool run(call&& c) {
        return nc.run(c);
    }
    bool fail(const std::string& what, std::string* error) { return nc.fail(what, error); }
    // Values per pixel as the file's dimensions count them: 0 for a
    // variable over (y, x) alone.
    size_t record(const pixel_quantity& q) const {
        return q.along == quantity_axis::pixel ? 0 : values_per_pixel(q, points);
    }
    int record_dim(const pixel_quantity& q) const {
        return q.along == quantity_axis::point      ? dim_point
               : q.along == quantity_axis::midpoint ? dim_midpoint
                                                    : -1;
    }
    bool writes(const pixel_quantity& q) const { return written_in(q, written_by); }
    std::string unit(quantity_unit u) const;
    void abandon();
    bool define(const grid_description& d);
    void define_globals(const grid_description& d);
    void define_coordinates(const grid_description& d);
    void define_pixel_variables();
    void define_scan();
    void write_scan();
    int define_flags(const char* name, const char* long_name, int count, const char* meanings);
    void define_statistics(const pixel_quantity& q);
    int define_chunked(const char* name, nc_type type, int record_dim, size_t record);
    void text(int var, const char* name, const std::string& value) { nc.text(var, name, value); }
    void describe_variable(int var, const std::string& units, const std::string& long_name);
    void write_coordinates(const grid_description& d);
    bool put_rows(int var, uint64_t first, uint64_t count, size_t record, const void* data,
                  size_t element);
    bool get_rows(int var, uint64_t first, uint64_t count, size_t record, float* out);
    bool mark_missing();
    bool fill_rows(int var, uint64_t from, signed char value);
    uint64_t chunked_bytes(size_t record, size_t element) const;
    uint64_t size_bound() const;
    bool reserve(std::string* error);
    void start_writeback(uint64_t pixels);
    uint64_t unsynced = 0;  // pixels written since the disk was last asked to catch up
};

std::string netcdf_writer::impl::unit(quantity_unit u) const {
    return unit_text(u, bias_unit, current_unit);
}

void netcdf_writer::impl::abandon() {
    nc.abandon();
    ncid = -1;
}

// The bytes of a chunked variable's chunks, edge chunks whole, with room
// for their index entries.
uint64_t netcdf_writer::impl::chunked_bytes(size_t record, size_t element) const {
    const chunk_shape c = chunk_for(nx, record, element);
    const uint64_t chunks = static_cast<uint64_t>(ny) * ((nx + c.x - 1) / c.x) *
                            ((std::max<size_t>(record, 1) + c.record - 1) / c.record);
    return chunks * (c.bytes(element) + 64);
}

// An upper bound of the file's size; a mebibyte covers headers, attributes
// and the library's own records.
uint64_t netcdf_writer::impl::size_bound() const {
    uint64_t bytes = uint64_t{1} << 20;
    for (const pixel_quantity& q : pixel_quantities)
        if (writes(q)) {
            bytes += chunked_bytes(record(q), sizeof(float));
            if (q.statistics) bytes += 3 * record(q) * sizeof(float);
        }
    bytes += chunked_bytes(0, 1) + (has_positions ? 2 * chunked_bytes(0, sizeof(float)) : 0);
    if (written_by.writes(quantity_group::gap)) bytes += chunked_bytes(0, 1);  // gap_status
    if (written_by.writes(quantity_group::fit)) bytes += chunked_bytes(0, 1);  // fit_status
    bytes += written_by.recorded.size() * chunked_bytes(0, sizeof(float));
    if (scan)
        bytes += chunked_bytes(0, sizeof(float)) + 3 * scan->image.size() * sizeof(float) +
                 (scan->x.size() + scan->y.size()) * sizeof(double);
    return bytes + (nx + ny) * sizeof(double) + (2 * points) * sizeof(float);
}

// Takes the file's room on disk before HDF5 writes a byte of it: a disk
// too full (or a file size limit too small) shows here as a clear failure,
// not later inside HDF5, which cannot give up a file cleanly (see the top).
// Unused room goes back when the file is complete.  File systems without
// fallocate are written without the reservation.
bool netcdf_writer::impl::reserve(std::string* error) { return nc.reserve(size_bound(), error); }

void netcdf_writer::impl::describe_variable(int var, const std::string& units,
                                            const std::string& long_name) {
    text(var, layout::att_units, units);
    text(var, layout::att_long_name, long_name);
}

// A variable over (y, x) or (y, x, record_dim), chunked by rows of pixels,
// its cache bounded to two chunks.  Floats get NaN as their fill value.
int netcdf_writer::impl::define_chunked(const char* name, nc_type type, int record_dim,
                                        size_t record) {
    const size_t element = type == NC_FLOAT ? sizeof(float) : 1;
    const chunk_shape shape = chunk_for(nx, record, element);
    const size_t chunk[3] = {1, shape.x, shape.record};
    const int dims[3] = {dim_y, dim_x, record_dim};
    const int ndims = record_dim < 0 ? 2 : 3;
    int var = -1;
    run([&] { return nc_def_var(ncid, name, type, ndims, dims, &var); });
    run([&] { return nc_def_var_chunking(ncid, var, NC_CHUNKED, chunk); });
    run([&] { return nc_set_var_chunk_cache(ncid, var, 2 * shape.bytes(element), 11, 1.0f); });
    if (type == NC_FLOAT) {
        const float fill = std::numeric_limits<float>::quiet_NaN();
        run([&] { return nc_def_var_fill(ncid, var, NC_FILL, &fill); });
    }
    return var;
}

void netcdf_writer::impl::define_globals(const grid_description& d) {
    const std::string conventions = layout::conventions;
    const std::string title = "Normalised tunnelling spectra of a grid";
    const std::string software = "stsgrid " STS_VERSION;
    for (const auto& [name, value] : {std::pair{layout::att_conventions, &conventions},
                                      std::pair{layout::att_title, &title},
                                      std::pair{layout::att_source, &d.source},
                                      std::pair{layout::att_software, &software}})
        text(NC_GLOBAL, name, *value);
    for (const auto& [name, value] : d.attributes) text(NC_GLOBAL, name.c_str(), value);
}

void netcdf_writer::impl::define_coordinates(const grid_description& d) {
    int var = -1;
    const bool nm = d.xy_unit != "1";
    for (const auto& entry : {std::pair{layout::var_y, dim_y}, std::pair{layout::var_x, dim_x}}) {
        // Copies: clang 14 cannot capture structured bindings in lambdas.
        const auto& name = entry.first;
        const auto& dim = entry.second;
        run([&] { return nc_def_var(ncid, name, NC_DOUBLE, 1, &dim, &var); });
        describe_variable(var, d.xy_unit,
                          (nm ? "position along the grid's " : "pixel number along ") +
                              std::string(name));
        text(var, layout::att_axis, name[0] == 'x' ? "X" : "Y");
    }
    const float fill = std::numeric_limits<float>::quiet_NaN();
    const std::string of_axis = per_pixel_axis ? " (of the first processed pixel)" : "";
    for (const auto& entry : {std::pair{layout::var_bias, dim_point}, std::pair{layout::var_vmid, dim_midpoint}}) {
        // Copies: clang 14 cannot capture structured bindings in lambdas.
        const auto& name = entry.first;
        const auto& dim = entry.second;
        run([&] { return nc_def_var(ncid, name, NC_FLOAT, 1, &dim, &var); });
        run([&] { return nc_def_var_fill(ncid, var, NC_FILL, &fill); });
        describe_variable(var, bias_unit,
                          (dim == dim_point ? "bias" : "bias midway between neighbouring points") +
                              of_axis);
    }
}

void netcdf_writer::impl::define_pixel_variables() {
    for (size_t k = 0; k < pixel_quantities.size(); ++k) {
        const pixel_quantity& q = pixel_quantities[k];
        var_quantity[k] = -1;
        if (!writes(q)) continue;
        const int var = define_chunked(q.name, NC_FLOAT, record_dim(q), record(q));
        const bool named = q.group == quantity_group::topography && !topography_long_name.empty();
        describe_variable(var, unit(q.unit), named ? topography_long_name : q.long_name);
        if (!q.pixel_axis && q.along != quantity_axis::pixel)
            text(var, layout::att_coordinates, q.along == quantity_axis::point ? layout::var_bias : layout::var_vmid);
        if (q.comment) text(var, layout::att_comment, q.comment);
        var_quantity[k] = var;
    }
    // The lock-in's code only where a lock-in channel is calibrated.
    const bool lockin = written_by.writes(quantity_group::lockin);
    const int codes = lockin ? PIXEL_CODES : PIXEL_CODES_WITHOUT_LOCKIN;
    var_status = define_flags(layout::var_status, "pixel status: 0 if processed, else why not", codes,
                              pixel_flag_meanings(codes).c_str());
    if (written_by.writes(quantity_group::gap))
        var_gap_status = define_flags(layout::var_gap_status, "gap of the pixel: 0 if found, else why not",
                                      gap_reason_count, gap_reason_names);
    if (written_by.writes(quantity_group::fit))
        var_fit_status = define_flags(layout::var_fit_status,
                                      "gap fit of the pixel: 0 if converged, else why not",
                                      gap_fit_status_count, gap_fit_status_names);
    for (const recorded_parameter& r : written_by.recorded) {
        var_recorded.push_back(define_chunked(r.name.c_str(), NC_FLOAT, -1, 0));
        describe_variable(var_recorded.back(), r.unit, "recorded per pixel: " + r.long_name);
    }
    if (!has_positions) return;
    var_position_x = define_chunked(layout::var_position_x, NC_FLOAT, -1, 0);
    describe_variable(var_position_x, "nm", "measured position of the pixel, x");
    var_position_y = define_chunked(layout::var_position_y, NC_FLOAT, -1, 0);
    describe_variable(var_position_y, "nm", "measured position of the pixel, y");
}

// --topography's variables (scan_on_grid.h): the scan's axes and image, its
// pixels' places in the grid's axes, and scan_topography over (y, x).
void netcdf_writer::impl::define_scan() {
    const scan_on_grid& s = *scan;
    const std::string what = s.channel + ", " + scan_direction_name(s.backward);
    int dims[2] = {-1, -1}, var = -1;
    run([&] { return nc_def_dim(ncid, layout::dim_scan_y, s.y.size(), &dims[0]); });
    run([&] { return nc_def_dim(ncid, layout::dim_scan_x, s.x.size(), &dims[1]); });
    for (int k : {0, 1}) {
        const char* name = k == 0 ? layout::var_scan_y : layout::var_scan_x;
        run([&] { return nc_def_var(ncid, name, NC_DOUBLE, 1, &dims[k], &var); });
        describe_variable(var, "nm", std::string("position of the scan's pixel centres along its frame's ") +
                                         (k == 0 ? "y" : "x") + " axis, from its corner");
    }
    const float fill = std::numeric_limits<float>::quiet_NaN();
    for (const char* name : {layout::var_scan_image, layout::var_scan_grid_x, layout::var_scan_grid_y}) {
        run([&] { return nc_def_var(ncid, name, NC_FLOAT, 2, dims, &var); });
        run([&] { return nc_def_var_fill(ncid, var, NC_FILL, &fill); });
        if (std::strcmp(name, layout::var_scan_image) == 0) {
            describe_variable(var, s.unit, "scan image " + what);
            text(var, layout::att_coordinates, std::string(layout::var_scan_grid_x) + " " + layout::var_scan_grid_y);
            text(var, "source_file", s.path);
            text(var, "scan_channel", s.channel);
            text(var, "scan_direction", scan_direction_name(s.backward));
            text(var, "scan_frame", frame_text(s.frame.frame));
        } else {
            describe_variable(var, "nm", std::string("place of the scan pixel's centre along the grid's ") +
                                             (std::strcmp(name, layout::var_scan_grid_x) == 0 ? "x" : "y") + " axis");
        }
    }
    var = define_chunked(layout::var_scan_topography, NC_FLOAT, -1, 0);
    describe_variable(var, s.unit, "scan image " + what + " at each pixel's place");
    text(var, "source_file", s.path);
    text(var, "scan_channel", s.channel);
    text(var, "scan_direction", scan_direction_name(s.backward));
    text(var, "interpolation", "bilinear between the four nearest scan pixel centres (edge "
                               "pixels carried to the scan's edge); NaN off the scan");
    text(var, layout::att_comment, std::to_string(s.pixels_on_scan) + " of " +
                                       std::to_string(nx * ny) + " pixels lie on the scan (" +
                                       frame_text(s.frame.frame) + ")");
}

void netcdf_writer::impl::write_scan() {
    const scan_on_grid& s = *scan;
    const std::pair<const char*, const void*> values[] = {
        {layout::var_scan_x, s.x.data()},           {layout::var_scan_y, s.y.data()},
        {layout::var_scan_image, s.image.data()},   {layout::var_scan_grid_x, s.grid_x.data()},
        {layout::var_scan_grid_y, s.grid_y.data()}, {layout::var_scan_topography, s.on_grid.data()}};
    for (const auto& entry : values) {
        // Copies: clang 14 cannot capture structured bindings in lambdas.
        const char* name = entry.first;
        const void* data = entry.second;
        int var = -1;
        run([&] { return nc_inq_varid(ncid, name, &var); });
        run([&] { return nc_put_var(ncid, var, data); });
    }
}

// A byte per pixel whose values 0 .. count - 1 mean what `meanings` says
// (CF flags).
int netcdf_writer::impl::define_flags(const char* name, const char* long_name, int count,
                                      const char* meanings) {
    const int var = define_chunked(name, NC_BYTE, -1, 0);
    describe_variable(var, layout::unit_one, long_name);
    std::vector<signed char> codes(static_cast<size_t>(count));
    for (int c = 0; c < count; ++c) codes[static_cast<size_t>(c)] = static_cast<signed char>(c);
    run([&] { return nc_put_att_schar(ncid, var, layout::att_flag_values, NC_BYTE, codes.size(), codes.data()); });
    text(var, layout::att_flag_meanings, meanings);
    return var;
}

void netcdf_writer::impl::define_statistics(const pixel_quantity& q) {
    static const std::pair<const char*, const char*> kinds[] = {
        {layout::prefix_mean, "mean over the pixels of "},
        {layout::prefix_sd, "sample standard deviation over the pixels of "},
        {layout::prefix_se, "standard error of the mean over the pixels of "}};
    const int dim = q.along == quantity_axis::point ? dim_point : dim_midpoint;
    const float fill = std::numeric_limits<float>::quiet_NaN();
    const long long none = 0;
    for (const auto& entry : kinds) {
        // Copies: clang 14 cannot capture structured bindings in lambdas.
        const auto& prefix = entry.first;
        const auto& long_name = entry.second;
        const std::string name = prefix + std::string(q.name);
        int var = -1;
        run([&] { return nc_def_var(ncid, name.c_str(), NC_FLOAT, 1, &dim, &var); });
        run([&] { return nc_def_var_fill(ncid, var, NC_FILL, &fill); });
        describe_variable(var, unit(q.unit), long_name + std::string(q.long_name));
        text(var, layout::att_coordinates, q.along == quantity_axis::point ? layout::var_bias : layout::var_vmid);
        run([&] { return nc_put_att_longlong(ncid, var, layout::att_pixels, NC_INT64, 1, &none); });
    }
}

bool netcdf_writer::impl::define(const grid_description& d) {
    run([&] { return nc_def_dim(ncid, layout::dim_y, ny, &dim_y); });
    run([&] { return nc_def_dim(ncid, layout::dim_x, nx, &dim_x); });
    run([&] { return nc_def_dim(ncid, layout::dim_point, points, &dim_point); });
    run([&] { return nc_def_dim(ncid, layout::dim_midpoint, points - 1, &dim_midpoint); });
    define_globals(d);
    define_coordinates(d);
    define_pixel_variables();
    if (scan) define_scan();
    for (const pixel_quantity* q : statistics_quantities(d)) define_statistics(*q);
    run([&] { return nc_enddef(ncid); });
    write_coordinates(d);
    if (scan) write_scan();
    return nc.ok();
}

void netcdf_writer::impl::write_coordinates(const grid_description& d) {
    for (const auto& entry : {std::pair{layout::var_x, &d.x}, std::pair{layout::var_y, &d.y}}) {
        // Copies: clang 14 cannot capture structured bindings in lambdas.
        const auto& name = entry.first;
        const auto& values = entry.second;
        int var = -1;
        run([&] { return nc_inq_varid(ncid, name, &var); });
        run([&] { return nc_put_var_double(ncid, var, values->data()); });
    }
    for (const auto& entry : {std::pair{layout::var_bias, &d.bias}, std::pair{layout::var_vmid, &d.vmid}}) {
        // Copies: clang 14 cannot capture structured bindings in lambdas.
        const auto& name = entry.first;
        const auto& values = entry.second;
        int var = -1;
        run([&] { return nc_inq_varid(ncid, name, &var); });
        run([&] { return nc_put_var_float(ncid, var, values->data()); });
    }
}

// Pixels first .. first + count - 1 of a variable over (y, x[, record]),
// one hyperslab per row segment; data holds count records of `record`
// elements (one element per pixel when record is 0).
bool netcdf_writer::impl::put_rows(int var, uint64_t first, uint64_t count, size_t record,
                                   const void* data, size_t element) {
    const size_t per_pixel = std::max<size_t>(record, 1) * element;
    for (uint64_t p = first, end = first + count; p < end;) {
        const size_t x = p % nx;
        const size_t n = std::min<uint64_t>(nx - x, end - p);
        const size_t start[3] = {static_cast<size_t>(p / nx), x, 0};
        const size_t extent[3] = {1, n, record};
        const char* from = static_cast<const char*>(data) + (p - first) * per_pixel;
        if (!run([&] { return nc_put_vara(ncid, var, start, extent, from); })) return false;
        p += n;
    }
    return true;
}

bool netcdf_writer::impl::get_rows(int var, uint64_t first, uint64_t count, size_t record,
                                   float* out) {
    for (uint64_t p = first, end = first + count; p < end;) {
        const size_t x = p % nx;
        const size_t n = std::min<uint64_t>(nx - x, end - p);
        const size_t start[3] = {static_cast<size_t>(p / nx), x, 0};
        const size_t extent[3] = {1, n, record};
        if (!run([&] { return nc_get_vara_float(ncid, var, start, extent, out + (p - first) * record); }))
            return false;
        p += n;
    }
    return true;
}

// The file must be on disk before it takes its name (commit() syncs it).
// Asking the kernel now and then to start writing what has reached it
// spreads that work over the run, so that the final sync finds little left.
void netcdf_writer::impl::start_writeback(uint64_t pixels) {
#if defined(SYNC_FILE_RANGE_WRITE)
    unsynced += pixels;
    if (pixels > 0 && unsynced * points * 7 * sizeof(float) < (16u << 20)) return;  // ~16 MiB
    unsynced = 0;
    const int fd = open(nc.temporary().c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return;
    (void)sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    close(fd);
#endif
}

// Pixels never written (an interrupted grid) get a status that says so
// (and no gap); their values keep the fill value NaN.
bool netcdf_writer::impl::mark_missing() {
    const uint64_t total = static_cast<uint64_t>(nx) * ny;
    if (written >= total) return true;
    if (!fill_rows(var_status, written, PIXEL_MISSING)) return false;
    if (var_gap_status >= 0 &&
        !fill_rows(var_gap_status, written,
                   static_cast<signed char>(gap_reason::not_computed)))
        return false;
    if (var_fit_status >= 0 &&
        !fill_rows(var_fit_status, written,
                   static_cast<signed char>(gap_fit_status::not_computed)))
        return false;
    written = total;
    return true;
}

// A byte variable over (y, x) set to value from pixel `from` to the end.
bool netcdf_writer::impl::fill_rows(int var, uint64_t from, signed char value) {
    const uint64_t total = static_cast<uint64_t>(nx) * ny;
    const std::vector<signed char> row(nx, value);
    for (uint64_t p = from; p < total;) {
        const uint64_t n = std::min<uint64_t>(nx - p % nx, total - p);
        if (!put_rows(var, p, n, 0, row.data(), 1)) return false;
        p += n;
    }
    return true;
}

namespace {

// What is wrong with a description, or "".
std::string check_description(const grid_description& d) {
    if (d.nx < 1 || d.ny < 1) return "the grid has no pixels";
    if (d.points < 2) return "the spectra have fewer than 2 points";
    if (d.x.size() != static_cast<size_t>(d.nx) || d.y.size() != static_cast<size_t>(d.ny))
        return "the x and y axes do not match the grid's size";
    if (d.bias.size() != static_cast<size_t>(d.points) ||
        d.vmid.size() != static_cast<size_t>(d.points - 1))
        return "the bias axes do not match the number of points";
    if (d.bias_unit.empty() || d.current_unit.empty() || d.xy_unit.empty())
        return "a unit is missing";
    return "";
}

}  // namespace

netcdf_writer::~netcdf_writer() {
    if (impl_ && !impl_->committed) impl_->abandon();
    delete impl_;
}

bool netcdf_writer::create(const std::string& path, const grid_description& d,
                           std::string* error) {
    const std::string problem = impl_ ? "a file was already created" : check_description(d);
    if (!problem.empty()) {
        if (error) *error = "cannot write " + path + ": " + problem;
        return false;
    }
    impl_ = new impl;
    impl& w = *impl_;
    w.path = path;
    w.nx = static_cast<size_t>(d.nx);
    w.ny = static_cast<size_t>(d.ny);
    w.points = static_cast<size_t>(d.points);
    w.per_pixel_axis = d.per_pixel_axis;
    w.written_by.per_pixel_axis = d.per_pixel_axis;
    w.written_by.groups = d.groups;
    w.written_by.recorded = d.recorded;
    w.has_positions = d.has_positions;
    w.scan = d.scan;
    w.topography_long_name = d.topography_long_name;
    w.bias_unit = d.bias_unit;
    w.current_unit = d.current_unit;
    if (!w.nc.create(path, error)) return false;
    w.ncid = w.nc.id();
    if (!w.reserve(error)) {
        w.abandon();
        return false;
    }
    if (!w.define(d)) {
        w.fail("cannot write " + path, error);
        w.abandon();
        return false;
    }
    return true;
}

namespace {

// The quantity called name that has a variable in this file, or nullptr.
const pixel_quantity* find_quantity(const std::string& name, const int* defined, int* var) {
    for (size_t k = 0; k < pixel_quantities.size(); ++k)
        if (name == pixel_quantities[k].name && defined[k] >= 0) {
            *var = defined[k];
            return &pixel_quantities[k];
        }
    return nullptr;
}

std::string size_problem(const char* name, size_t have, size_t want) {
    if (have == want) return "";
    return std::string("the block's ") + name + " holds " + std::to_string(have) +
           " values, not " + std::to_string(want);
}

// What is wrong with a block for this file, or "".
std::string check_block(const pixel_block& b, uint64_t written, size_t nx, size_t ny,
                               size_t points, bool positions, const int* defined) {
    if (b.first != written)
        return "a block starts at pixel " + std::to_string(b.first) + ", not at the next one (" +
               std::to_string(written) + ")";
    if (b.count < 0 || b.first + static_cast<uint64_t>(b.count) > static_cast<uint64_t>(nx) * ny)
        return "a block reaches beyond the grid's last pixel";
    if (b.points != static_cast<int>(points))
        return "a block has records of " + std::to_string(b.points) + " points, not " +
               std::to_string(points);
    const size_t n = static_cast<size_t>(b.count);
    std::string problem;
    for (size_t k = 0; k < pixel_quantities.size() && problem.empty(); ++k)
        if (defined[k] >= 0) {
            const pixel_quantity& q = pixel_quantities[k];
            problem = size_problem(q.name, (b.*q.values).size(), n * values_per_pixel(q, points));
        }
    if (problem.empty()) problem = size_problem("status", b.status.size(), n);
    if (problem.empty() && positions) problem = size_problem("position_x", b.position_x.size(), n);
    if (problem.empty() && positions) problem = size_problem("position_y", b.position_y.size(), n);
    return problem;
}

}  // namespace

bool netcdf_writer::write(const pixel_block& b, std::string* error) {
    if (!impl_ || impl_->ncid < 0) {
        if (error) *error = "cannot write pixels: no file is open";
        return false;
    }
    impl& w = *impl_;
    std::string problem = check_block(b, w.written, w.nx, w.ny, w.points, w.has_positions,
                                      w.var_quantity);
    if (problem.empty() && w.var_gap_status >= 0)
        problem = size_problem("gap_status", b.gap_status.size(), static_cast<size_t>(b.count));
    if (problem.empty() && w.var_fit_status >= 0)
        problem = size_problem("fit_status", b.fit_status.size(), static_cast<size_t>(b.count));
    for (size_t k = 0; k < w.var_recorded.size() && problem.empty(); ++k)
        problem = k < b.recorded.size()
                      ? size_problem(w.written_by.recorded[k].name.c_str(), b.recorded[k].size(),
                                     static_cast<size_t>(b.count))
                      : "the block lacks " + w.written_by.recorded[k].name;
    if (!problem.empty()) {
        if (error) *error = "cannot write " + w.path + ": " + problem;
        return false;
    }
    const uint64_t n = static_cast<uint64_t>(b.count);
    for (size_t k = 0; k < pixel_quantities.size(); ++k)
        if (w.var_quantity[k] >= 0)
            w.put_rows(w.var_quantity[k], b.first, n, w.record(pixel_quantities[k]),
                       (b.*pixel_quantities[k].values).data(), sizeof(float));
    w.put_rows(w.var_status, b.first, n, 0, b.status.data(), 1);
    if (w.var_gap_status >= 0) w.put_rows(w.var_gap_status, b.first, n, 0, b.gap_status.data(), 1);
    if (w.var_fit_status >= 0) w.put_rows(w.var_fit_status, b.first, n, 0, b.fit_status.data(), 1);
    for (size_t k = 0; k < w.var_recorded.size(); ++k)
        w.put_rows(w.var_recorded[k], b.first, n, 0, b.recorded[k].data(), sizeof(float));
    if (w.has_positions) {
        w.put_rows(w.var_position_x, b.first, n, 0, b.position_x.data(), sizeof(float));
        w.put_rows(w.var_position_y, b.first, n, 0, b.position_y.data(), sizeof(float));
    }
    if (!w.nc.ok()) return w.fail("cannot write " + w.path, error);
    w.written += n;
    w.start_writeback(n);
    return true;
}

void netcdf_writer::start_writeback() {
    if (impl_ && impl_->ncid >= 0) impl_->start_writeback(0);
}

bool netcdf_writer::read(const std::string& variable, uint64_t first, int count, float* out,
                         std::string* error) {
    int var = -1;
    const pixel_quantity* q =
        impl_ && impl_->ncid >= 0 ? find_quantity(variable, impl_->var_quantity, &var) : nullptr;
    if (!q || count < 0 ||
        first + static_cast<uint64_t>(count) > static_cast<uint64_t>(impl_->nx) * impl_->ny) {
        if (error)
            *error = "cannot read " + variable + " of pixels " + std::to_string(first) + " + " +
                     std::to_string(count) + ": no such variable or pixels in an open file";
        return false;
    }
    if (!impl_->get_rows(var, first, static_cast<uint64_t>(count), impl_->record(*q), out))
        return impl_->fail("cannot read " + variable + " back from " + impl_->path, error);
    return true;
}

bool netcdf_writer::write_statistics(const std::string& name, const std::vector<float>& mean,
                                     const std::vector<float>& sd, const std::vector<float>& se,
                                     long pixels, std::string* error) {
    int var = -1;
    const pixel_quantity* q =
        impl_ && impl_->ncid >= 0 ? find_quantity(name, impl_->var_quantity, &var) : nullptr;
    const size_t record = q ? impl_->record(*q) : 0;
    if (!q || !q->statistics || mean.size() != record || sd.size() != record ||
        se.size() != record) {
        if (error)
            *error = "cannot write statistics of " + name +
                     ": no such quantity in an open file, or not one value per " +
                     (q && q->along == quantity_axis::point ? "point" : "midpoint");
        return false;
    }
    impl& w = *impl_;
    const long long count = pixels;
    for (const auto& entry : {std::pair{layout::prefix_mean, &mean}, std::pair{layout::prefix_sd, &sd},
                                         std::pair{layout::prefix_se, &se}}) {
        // Copies: clang 14 cannot capture structured bindings in lambdas.
        const auto& prefix = entry.first;
        const auto& values = entry.second;
        const std::string full = prefix + name;
        w.run([&] { return nc_inq_varid(w.ncid, full.c_str(), &var); });
        w.run([&] { return nc_put_var_float(w.ncid, var, values->data()); });
        w.run([&] { return nc_put_att_longlong(w.ncid, var, layout::att_pixels, NC_INT64, 1, &count); });
    }
    if (!w.nc.ok()) return w.fail("cannot write " + w.path, error);
    return true;
}

bool netcdf_writer::commit(std::string* error) {
    if (!impl_ || impl_->ncid < 0) {
        if (error) *error = "cannot commit: no file is open";
        return false;
    }
    impl& w = *impl_;
    if (!w.mark_missing()) {
        w.fail("cannot write " + w.path, error);
        w.abandon();
        return false;
    }
    w.ncid = -1;
    if (!w.nc.commit(error)) return false;
    w.committed = true;
    return true;
}

}  // namespace sts
