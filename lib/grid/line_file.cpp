// The line cut's netCDF file.  Layout: line_file.h.
// Written as the grid's file is (netcdf_writer.cpp): the library creates a
// temporary file beside the target, which takes its name when complete.
// Its room on disk is reserved first, so that a disk too full fails before
// HDF5 writes (HDF5 cannot give up a file cleanly after a failed write).
// Not made in memory (nc_create_mem): the library cannot open such an
// image for writing again, and a reader may want to add to the file.
#include "grid/line_file.h"

#include <fcntl.h>
#include <netcdf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "output/atomic_file.h"
#include "sts/version.h"

namespace sts {

namespace {

class line_netcdf {
public:
    explicit line_netcdf(const std::string& path) : path_(path) {}
    ~line_netcdf() {
        if (ncid_ >= 0) nc_abort(ncid_);  // the temporary file goes with file_
    }
    line_netcdf(const line_netcdf&) = delete;
    line_netcdf& operator=(const line_netcdf&) = delete;

    // The temporary file, made by the library, with bytes of room on disk.
    bool create(uint64_t bytes, std::string* error) {
        const bool made = file_.create(
            path_,
            [this](const std::string& temporary) {
                status_ = nc_create(temporary.c_str(), NC_NETCDF4 | NC_NOCLOBBER, &ncid_);
                if (status_ == NC_NOERR) return 0;
                ncid_ = -1;
                if (status_ == NC_EEXIST) return EEXIST;  // a stale file of an earlier process
                unlink(temporary.c_str());
                return EIO;
            },
            error);
        if (!made) return status_ == NC_NOERR || fail("cannot create", error);
        return reserve(bytes, error);
    }

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
        run([&] {
            return nc_def_var(ncid_, name, type, static_cast<int>(ids.size()), ids.data(), &var);
        });
        if (type == NC_FLOAT) {
            const float fill = std::numeric_limits<float>::quiet_NaN();
            run([&] { return nc_def_var_fill(ncid_, var, NC_FILL, &fill); });
        }
        return var;
    }
    // Closes the file, gives back the room it did not use and renames it
    // into place.
    bool finish(std::string* error) {
        if (run([&] { return nc_close(ncid_); })) ncid_ = -1;
        if (status_ != NC_NOERR) return fail("cannot write", error);
        struct stat st;
        if (stat(file_.temporary().c_str(), &st) != 0 ||
            truncate(file_.temporary().c_str(), st.st_size) != 0) {
            if (error) *error = "cannot write " + path_ + ": " + std::strerror(errno);
            return false;
        }
        return file_.commit(error);
    }

private:
    bool fail(const char* what, std::string* error) {
        if (error) *error = std::string(what) + " " + path_ + ": " + nc_strerror(status_);
        return false;
    }
    // fallocate on a descriptor of our own: the room belongs to the file,
    // whichever descriptor writes it.  File systems without it go unreserved.
    bool reserve(uint64_t bytes, std::string* error) {
        const int fd = open(file_.temporary().c_str(), O_WRONLY | O_CLOEXEC);
        int problem = fd < 0 ? errno : 0;
        if (fd >= 0 && fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes)) != 0 &&
            errno != EOPNOTSUPP && errno != ENOSYS)
            problem = errno;
        if (fd >= 0) close(fd);
        if (problem == 0) return true;
        if (error)
            *error = "cannot write " + path_ + ": " + std::strerror(problem) +
                     " (the file needs up to " + std::to_string(bytes / (1024 * 1024) + 1) +
                     " MiB)";
        return false;
    }

    std::string path_;
    atomic_file file_;  // the temporary file until it takes its name
    int ncid_ = -1;
    int status_ = NC_NOERR;
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
    if (d.writes(quantity_group::gap))
        f.describe(f.variable("gap_status", NC_BYTE, {dims.sample}), "1",
                   "gap of the pixel: 0 if found, else why not (codes as in the grid file's "
                   "gap_status)");
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
        const int var =
            q.along == quantity_axis::pixel
                ? f.variable(q.name, NC_FLOAT, {dims.sample})
                : f.variable(q.name, NC_FLOAT, {dims.sample, point ? dims.point : dims.midpoint});
        f.describe(var, unit_text(q.unit, d.bias_unit, d.current_unit), q.long_name);
        if (q.along == quantity_axis::pixel)
            f.text(var, "coordinates", "distance");
        else if (!q.pixel_axis)
            f.text(var, "coordinates", point ? "distance bias" : "distance vmid");
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
    for (const auto& [name, values] :
         {std::pair{"distance", &distance}, std::pair{"x", &x}, std::pair{"y", &y}}) {
        const int var = var_of(f, name);
        f.run([&, values = values] { return nc_put_var_double(id, var, values->data()); });
    }
    for (const auto& [name, values] : {std::pair{"pixel_x", &px}, std::pair{"pixel_y", &py}}) {
        const int var = var_of(f, name);
        f.run([&, values = values] { return nc_put_var_int(id, var, values->data()); });
    }
    const int status = var_of(f, "status");
    f.run([&] { return nc_put_var_schar(id, status, c.status().data()); });
    if (!c.gap_status().empty()) {
        const int gap = var_of(f, "gap_status");
        f.run([&] { return nc_put_var_schar(id, gap, c.gap_status().data()); });
    }
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
    if (!f.create(size_bound(d, c), error)) return false;
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
    return f.finish(error);  // a failed call before shows here
}

}  // namespace sts
