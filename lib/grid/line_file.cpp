// The line cut's netCDF file.  Layout: line_file.h.
// Written as the grid's file is, through netcdf_file.h: the library creates
// a temporary file beside the target, which takes its name when complete;
// its room on disk is reserved first and the file size limit checked, so
// that a disk too full fails before HDF5 writes; after a failed HDF5 call
// the file is silenced and given up.
// Not made in memory (nc_create_mem): the library cannot open such an
// image for writing again, and a reader may want to add to the file.
#include "grid/line_file.h"

#include <netcdf.h>

#include <limits>

#include "grid/file_layout.h"
#include "grid/netcdf_file.h"
#include "sts/version.h"

namespace sts {

namespace {

// The line file's calls on a netcdf_file.
class line_netcdf {
public:
    explicit line_netcdf(const std::string& path) : path_(path) {}

    // The temporary file, made by the library, with bytes of room on disk.
    bool create(uint64_t bytes, std::string* error) {
        return file_.create(path_, error) && file_.reserve(bytes, error);
    }
    template <typename call>
    bool run(call&& c) {
        return file_.run(c);
    }
    int id() const { return file_.id(); }
    void text(int var, const char* name, const std::string& value) { file_.text(var, name, value); }
    void describe(int var, const std::string& units, const std::string& long_name) {
        text(var, layout::att_units, units);
        text(var, layout::att_long_name, long_name);
    }
    int variable(const char* name, nc_type type, std::initializer_list<int> dims) {
        int var = -1;
        const std::vector<int> ids(dims);
        run([&] {
            return nc_def_var(id(), name, type, static_cast<int>(ids.size()), ids.data(), &var);
        });
        if (type == NC_FLOAT) {
            const float fill = std::numeric_limits<float>::quiet_NaN();
            run([&] { return nc_def_var_fill(id(), var, NC_FILL, &fill); });
        }
        return var;
    }
    // Closes the file, gives back the room it did not use and renames it
    // into place; a failed call before shows here.
    bool finish(std::string* error) {
        if (!file_.ok()) {
            file_.fail("cannot write " + path_, error);
            file_.abandon();
            return false;
        }
        return file_.commit(error);
    }

private:
    std::string path_;
    netcdf_file file_;  // the temporary file until it takes its name
};

// An upper bound of the file's size: the records along the line and the
// sample variables, with a mebibyte for headers and the library's records.
uint64_t size_bound(const grid_description& d, const line_collector& c) {
    uint64_t bytes = (uint64_t{1} << 20) +
                     c.samples().size() * (3 * sizeof(double) + 2 * sizeof(int) + 2) +
                     2 * static_cast<uint64_t>(d.points) * sizeof(float);
    for (const pixel_quantity& q : pixel_quantities)
        if (const std::vector<float>* v = c.values(q)) bytes += v->size() * sizeof(float);
    return bytes;
}

struct line_dims {
    int sample = -1, point = -1, midpoint = -1;
};

void define_globals(line_netcdf& f, const grid_description& d, const pixel_line& line,
                    size_t samples, const std::string& grid_file) {
    const std::string software = "stsgrid " STS_VERSION;
    f.text(NC_GLOBAL, layout::att_conventions, layout::conventions);
    f.text(NC_GLOBAL, layout::att_title, "Normalised tunnelling spectra along a line through a grid");
    f.text(NC_GLOBAL, layout::att_source, d.source);
    f.text(NC_GLOBAL, layout::att_software, software);
    for (const auto& [name, value] : d.attributes) f.text(NC_GLOBAL, name.c_str(), value);
    f.text(NC_GLOBAL, layout::att_line_start, std::to_string(line.x0) + " " + std::to_string(line.y0));
    f.text(NC_GLOBAL, layout::att_line_end, std::to_string(line.x1) + " " + std::to_string(line.y1));
    f.text(NC_GLOBAL, layout::att_line_samples, std::to_string(samples));
    f.text(NC_GLOBAL, layout::att_grid_file, grid_file);
}

// The sample variables and the bias axes; returns nothing, failures stay in f.
void define_axes(line_netcdf& f, const grid_description& d, const line_dims& dims) {
    const bool nm = d.xy_unit != layout::unit_one;
    f.describe(f.variable(layout::var_distance, NC_DOUBLE, {dims.sample}), d.xy_unit,
               nm ? "distance from the line's start along the line"
                  : "distance from the line's start along the line, in pixels (the grid has no "
                    "frame in nm)");
    for (const auto& [axis, pixel] : {std::pair{layout::var_x, layout::var_pixel_x},
                                      std::pair{layout::var_y, layout::var_pixel_y}}) {
        f.describe(f.variable(pixel, NC_INT, {dims.sample}), layout::unit_one,
                   std::string("pixel number along ") + axis + " in the grid's file");
        f.describe(f.variable(axis, NC_DOUBLE, {dims.sample}), d.xy_unit,
                   (nm ? "position along the grid's " : "pixel number along ") + std::string(axis));
    }
    f.describe(f.variable(layout::var_status, NC_BYTE, {dims.sample}), layout::unit_one,
               "pixel status: 0 if processed, else why not (codes as in the grid file's status)");
    if (d.writes(quantity_group::gap))
        f.describe(f.variable(layout::var_gap_status, NC_BYTE, {dims.sample}), layout::unit_one,
                   "gap of the pixel: 0 if found, else why not (codes as in the grid file's "
                   "gap_status)");
    const std::string of_axis = d.per_pixel_axis ? " (of the first processed pixel)" : "";
    f.describe(f.variable(layout::var_bias, NC_FLOAT, {dims.point}), d.bias_unit, "bias" + of_axis);
    f.describe(f.variable(layout::var_vmid, NC_FLOAT, {dims.midpoint}), d.bias_unit,
               "bias midway between neighbouring points" + of_axis);
}

void define_quantities(line_netcdf& f, const grid_description& d, const line_collector& c,
                       const line_dims& dims) {
    for (const pixel_quantity& q : pixel_quantities) {
        if (!c.values(q)) continue;
        const bool point = q.along == quantity_axis::point;
        const int var =
            q.along == quantity_axis::pixel
                ? f.variable(q.name, NC_FLOAT, {dims.sample})
                : f.variable(q.name, NC_FLOAT, {dims.sample, point ? dims.point : dims.midpoint});
        f.describe(var, unit_text(q.unit, d.bias_unit, d.current_unit), q.long_name);
        if (q.along == quantity_axis::pixel)
            f.text(var, layout::att_coordinates, layout::var_distance);
        else if (!q.pixel_axis)
            f.text(var, layout::att_coordinates, point ? "distance bias" : "distance vmid");
        if (q.comment) f.text(var, layout::att_comment, q.comment);
    }
}

int var_of(line_netcdf& f, const char* name) {
    int var = -1;
    f.run([&] { return nc_inq_varid(f.id(), name, &var); });
    return var;
}

void write_values(line_netcdf& f, const grid_description& d, const line_collector& c) {
    const auto& samples = c.samples();
    std::vector<double> distance, x, y;
    std::vector<int> px, py;
    for (const line_sample& s : samples) {
        distance.push_back(s.distance);
        px.push_back(static_cast<int>(s.x));
        py.push_back(static_cast<int>(s.y));
        x.push_back(d.x[s.x]);
        y.push_back(d.y[s.y]);
    }
    const int id = f.id();
    for (const auto& [name, values] :
         {std::pair{layout::var_distance, &distance}, std::pair{layout::var_x, &x},
          std::pair{layout::var_y, &y}}) {
        const int var = var_of(f, name);
        f.run([&, values = values] { return nc_put_var_double(id, var, values->data()); });
    }
    for (const auto& [name, values] : {std::pair{layout::var_pixel_x, &px}, std::pair{layout::var_pixel_y, &py}}) {
        const int var = var_of(f, name);
        f.run([&, values = values] { return nc_put_var_int(id, var, values->data()); });
    }
    const int status = var_of(f, layout::var_status);
    f.run([&] { return nc_put_var_schar(id, status, c.status().data()); });
    if (!c.gap_status().empty()) {
        const int gap = var_of(f, layout::var_gap_status);
        f.run([&] { return nc_put_var_schar(id, gap, c.gap_status().data()); });
    }
    for (const auto& [name, values] : {std::pair{layout::var_bias, &d.bias}, std::pair{layout::var_vmid, &d.vmid}}) {
        const int var = var_of(f, name);
        f.run([&, values = values] { return nc_put_var_float(id, var, values->data()); });
    }
    for (const pixel_quantity& q : pixel_quantities) {
        const std::vector<float>* values = c.values(q);
        if (!values) continue;
        const int var = var_of(f, q.name);
        f.run([&] { return nc_put_var_float(id, var, values->data()); });
    }
}

}  // namespace

bool write_line_file(const std::string& path, const grid_description& d, const pixel_line& line,
                     const line_collector& c, const std::string& grid_file, std::string* error) {
    line_netcdf f(path);
    if (!f.create(size_bound(d, c), error)) return false;
    line_dims dims;
    const size_t samples = c.samples().size();
    const size_t points = static_cast<size_t>(d.points);
    f.run([&] { return nc_def_dim(f.id(), layout::dim_sample, samples, &dims.sample); });
    f.run([&] { return nc_def_dim(f.id(), layout::dim_point, points, &dims.point); });
    f.run([&] { return nc_def_dim(f.id(), layout::dim_midpoint, points - 1, &dims.midpoint); });
    define_globals(f, d, line, samples, grid_file);
    define_axes(f, d, dims);
    define_quantities(f, d, c, dims);
    f.run([&] { return nc_enddef(f.id()); });
    write_values(f, d, c);
    return f.finish(error);  // a failed call before shows here
}

}  // namespace sts
