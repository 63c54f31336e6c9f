// The line cut's netCDF file.  Layout: line_file.h.
// Why in memory: the file is small (a line of records), and a finished
// image written through atomic_file never leaves HDF5 with a half-written
// file on a full disk (see netcdf_writer.cpp); the bytes depend only on
// what is written, as there.
#include "stsgrid/line_file.h"

#include <netcdf.h>
#include <netcdf_mem.h>

#include <cstdlib>
#include <limits>
#include <string_view>

#include "output/atomic_file.h"
#include "sts/version.h"

namespace sts {

namespace {

class line_netcdf {
public:
    explicit line_netcdf(const std::string& path) : path_(path) {
        run([&] { return nc_create_mem(path_.c_str(), NC_NETCDF4, 64 * 1024, &ncid_); });
    }
    ~line_netcdf() {
        if (ncid_ >= 0) nc_abort(ncid_);
    }
    line_netcdf(const line_netcdf&) = delete;
    line_netcdf& operator=(const line_netcdf&) = delete;

    // Runs one library call unless an earlier one failed; keeps the first failure.
    template <typename call>
    bool run(call&& c) {
        if (status_ == NC_NOERR) status_ = c();
        return status_ == NC_NOERR;
    }
    int id() const { return ncid_; }
    void text(int var, const char* name, const std::string& value) {
        run([&] { return nc_put_att_text(ncid_, var, name, value.size(), value.c_str()); });
    }
    void describe(int var, const std::string& units, const std::string& long_name) {
        text(var, "units", units);
        text(var, "long_name", long_name);
    }
    int variable(const char* name, nc_type type, std::initializer_list<int> dims) {
        int var = -1;
        const std::vector<int> ids(dims);
        run([&] { return nc_def_var(ncid_, name, type, static_cast<int>(ids.size()), ids.data(), &var); });
        if (type == NC_FLOAT) {
            const float fill = std::numeric_limits<float>::quiet_NaN();
            run([&] { return nc_def_var_fill(ncid_, var, NC_FILL, &fill); });
        }
        return var;
    }
    // The finished file's bytes to path, through a temporary file.
    bool finish(std::string* error) {
        NC_memio image{};
        if (run([&] { return nc_close_memio(ncid_, &image); })) ncid_ = -1;
        if (status_ != NC_NOERR) {
            if (error) *error = "cannot write " + path_ + ": " + nc_strerror(status_);
            return false;
        }
        atomic_file file;
        const bool ok = file.create(path_, error) &&
                        file.write(std::string_view(static_cast<const char*>(image.memory), image.size),
                                   error) &&
                        file.commit(error);
        std::free(image.memory);
        return ok;
    }

private:
    std::string path_;
    int ncid_ = -1;
    int status_ = NC_NOERR;
};

struct line_dims {
    int sample = -1, point = -1, midpoint = -1;
};

void define_globals(line_netcdf& f, const grid_description& d, const pixel_line& line,
                    size_t samples, const std::string& grid_file) {
    const std::string software = "stsgrid " STS_VERSION;
    f.text(NC_GLOBAL, "Conventions", "CF-1.8");
    f.text(NC_GLOBAL, "title", "Normalised tunnelling spectra along a line through a grid");
    f.text(NC_GLOBAL, "source", d.source);
    f.text(NC_GLOBAL, "software", software);
    for (const auto& [name, value] : d.attributes) f.text(NC_GLOBAL, name.c_str(), value);
    f.text(NC_GLOBAL, "line_start", std::to_string(line.x0) + " " + std::to_string(line.y0));
    f.text(NC_GLOBAL, "line_end", std::to_string(line.x1) + " " + std::to_string(line.y1));
    f.text(NC_GLOBAL, "line_samples", std::to_string(samples));
    f.text(NC_GLOBAL, "grid_file", grid_file);
}

// The sample variables and the bias axes; returns nothing, failures stay in f.
void define_axes(line_netcdf& f, const grid_description& d, const line_dims& dims) {
    const bool nm = d.xy_unit != "1";
    f.describe(f.variable("distance", NC_DOUBLE, {dims.sample}), d.xy_unit,
               nm ? "distance from the line's start along the line"
                  : "distance from the line's start along the line, in pixels (the grid has no "
                    "frame in nm)");
    for (const char* axis : {"x", "y"}) {
        f.describe(f.variable((std::string("pixel_") + axis).c_str(), NC_INT, {dims.sample}), "1",
                   std::string("pixel number along ") + axis + " in the grid's file");
        f.describe(f.variable(axis, NC_DOUBLE, {dims.sample}), d.xy_unit,
                   (nm ? "position along the grid's " : "pixel number along ") + std::string(axis));
    }
    f.describe(f.variable("status", NC_BYTE, {dims.sample}), "1",
               "pixel status: 0 if processed, else why not (codes as in the grid file's status)");
    const std::string of_axis = d.per_pixel_axis ? " (of the first processed pixel)" : "";
    f.describe(f.variable("bias", NC_FLOAT, {dims.point}), d.bias_unit, "bias" + of_axis);
    f.describe(f.variable("vmid", NC_FLOAT, {dims.midpoint}), d.bias_unit,
               "bias midway between neighbouring points" + of_axis);
}

void define_quantities(line_netcdf& f, const grid_description& d, const line_collector& c,
                       const line_dims& dims) {
    for (const pixel_quantity& q : pixel_quantities) {
        if (!c.values(q)) continue;
        const bool point = q.along == quantity_axis::point;
        const int var = f.variable(q.name, NC_FLOAT, {dims.sample, point ? dims.point : dims.midpoint});
        f.describe(var, unit_text(q.unit, d.bias_unit, d.current_unit), q.long_name);
        if (!q.pixel_axis) f.text(var, "coordinates", point ? "distance bias" : "distance vmid");
        if (q.comment) f.text(var, "comment", q.comment);
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
    for (const auto& [name, values] : {std::pair{"distance", &distance}, std::pair{"x", &x},
                                       std::pair{"y", &y}}) {
        const int var = var_of(f, name);
        f.run([&, values = values] { return nc_put_var_double(id, var, values->data()); });
    }
    for (const auto& [name, values] : {std::pair{"pixel_x", &px}, std::pair{"pixel_y", &py}}) {
        const int var = var_of(f, name);
        f.run([&, values = values] { return nc_put_var_int(id, var, values->data()); });
    }
    const int status = var_of(f, "status");
    f.run([&] { return nc_put_var_schar(id, status, c.status().data()); });
    for (const auto& [name, values] : {std::pair{"bias", &d.bias}, std::pair{"vmid", &d.vmid}}) {
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
    line_dims dims;
    const size_t samples = c.samples().size();
    const size_t points = static_cast<size_t>(d.points);
    f.run([&] { return nc_def_dim(f.id(), "sample", samples, &dims.sample); });
    f.run([&] { return nc_def_dim(f.id(), "point", points, &dims.point); });
    f.run([&] { return nc_def_dim(f.id(), "midpoint", points - 1, &dims.midpoint); });
    define_globals(f, d, line, samples, grid_file);
    define_axes(f, d, dims);
    define_quantities(f, d, c, dims);
    f.run([&] { return nc_enddef(f.id()); });
    write_values(f, d, c);
    return f.finish(error);
}

}  // namespace sts
