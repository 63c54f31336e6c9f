// Reading stsgrid's netCDF file.  Layout: grid/netcdf_writer.h.
#include "stsview/grid_file.h"

#include <netcdf.h>

#include <sstream>

namespace sts {

namespace {

// A text attribute, or "" when there is none.
std::string text_attribute(int ncid, int var, const char* name) {
    size_t length = 0;
    nc_type type = NC_NAT;
    if (nc_inq_att(ncid, var, name, &type, &length) != NC_NOERR || type != NC_CHAR) return "";
    std::string value(length, '\0');
    if (nc_get_att_text(ncid, var, name, value.data()) != NC_NOERR) return "";
    return value;
}

bool dimension_length(int ncid, const char* name, size_t* length) {
    int dim = -1;
    return nc_inq_dimid(ncid, name, &dim) == NC_NOERR &&
           nc_inq_dimlen(ncid, dim, length) == NC_NOERR;
}

// The names of a variable's dimensions.
std::vector<std::string> dimensions_of(int ncid, int var) {
    int ndims = 0;
    int dims[NC_MAX_VAR_DIMS];
    std::vector<std::string> names;
    if (nc_inq_varndims(ncid, var, &ndims) != NC_NOERR || ndims > NC_MAX_VAR_DIMS ||
        nc_inq_vardimid(ncid, var, dims) != NC_NOERR)
        return names;
    for (int i = 0; i < ndims; ++i) {
        char name[NC_MAX_NAME + 1] = {};
        nc_inq_dimname(ncid, dims[i], name);
        names.emplace_back(name);
    }
    return names;
}

}  // namespace

grid_file::grid_file(grid_file&& other) noexcept
    : ncid_(other.ncid_), path_(std::move(other.path_)), xy_units_(std::move(other.xy_units_)),
      bias_units_(std::move(other.bias_units_)), x_(std::move(other.x_)), y_(std::move(other.y_)),
      bias_(std::move(other.bias_)), vmid_(std::move(other.vmid_)),
      variables_(std::move(other.variables_)), status_(std::move(other.status_)),
      meanings_(std::move(other.meanings_)), per_pixel_axis_(other.per_pixel_axis_) {
    other.ncid_ = -1;
}

grid_file::~grid_file() {
    if (ncid_ >= 0) nc_close(ncid_);
}

bool grid_file::fail(int status, const std::string& what, std::string* error) const {
    if (error) *error = path_ + ": " + what + (status == NC_NOERR ? "" : std::string(": ") + nc_strerror(status));
    return false;
}

bool grid_file::open(const std::string& path, std::string* error) {
    path_ = path;
    const int s = nc_open(path.c_str(), NC_NOWRITE, &ncid_);
    if (s != NC_NOERR) {
        ncid_ = -1;
        return fail(s, "cannot open as netCDF", error);
    }
    return read_coordinates(error) && read_variables(error) && read_status(error);
}

bool grid_file::read_coordinates(std::string* error) {
    size_t nx = 0, ny = 0, points = 0, midpoints = 0;
    if (!dimension_length(ncid_, "x", &nx) || !dimension_length(ncid_, "y", &ny) ||
        !dimension_length(ncid_, "point", &points) ||
        !dimension_length(ncid_, "midpoint", &midpoints) || nx == 0 || ny == 0 || points < 2 ||
        midpoints + 1 != points)
        return fail(NC_NOERR, "not a grid file of stsgrid (dimensions y, x, point, midpoint)", error);
    x_.resize(nx);
    y_.resize(ny);
    bias_.resize(points);
    vmid_.resize(midpoints);
    int var = -1;
    int s = nc_inq_varid(ncid_, "x", &var);
    if (s == NC_NOERR) s = nc_get_var_double(ncid_, var, x_.data());
    if (s == NC_NOERR) xy_units_ = text_attribute(ncid_, var, "units");
    if (s == NC_NOERR) s = nc_inq_varid(ncid_, "y", &var);
    if (s == NC_NOERR) s = nc_get_var_double(ncid_, var, y_.data());
    if (s == NC_NOERR) s = nc_inq_varid(ncid_, "bias", &var);
    if (s == NC_NOERR) s = nc_get_var_float(ncid_, var, bias_.data());
    if (s == NC_NOERR) bias_units_ = text_attribute(ncid_, var, "units");
    if (s == NC_NOERR) s = nc_inq_varid(ncid_, "vmid", &var);
    if (s == NC_NOERR) s = nc_get_var_float(ncid_, var, vmid_.data());
    return s == NC_NOERR || fail(s, "cannot read the coordinates x, y, bias, vmid", error);
}

bool grid_file::read_variables(std::string* error) {
    int count = 0;
    if (const int s = nc_inq_nvars(ncid_, &count); s != NC_NOERR)
        return fail(s, "cannot list the variables", error);
    for (int var = 0; var < count; ++var) {
        char name[NC_MAX_NAME + 1] = {};
        nc_type type = NC_NAT;
        if (nc_inq_varname(ncid_, var, name) != NC_NOERR || nc_inq_vartype(ncid_, var, &type) != NC_NOERR)
            continue;
        const std::vector<std::string> dims = dimensions_of(ncid_, var);
        const std::string n = name;
        if (n == "pixel_bias" || n == "pixel_vmid") per_pixel_axis_ = true;
        if (type != NC_FLOAT || dims.size() != 3 || dims[0] != "y" || dims[1] != "x" ||
            (dims[2] != "point" && dims[2] != "midpoint") || n == "pixel_bias" || n == "pixel_vmid")
            continue;
        // A few chunks per variable: the library's memory stays bounded
        // however many curves are asked for.
        nc_set_var_chunk_cache(ncid_, var, 4 << 20, 31, 0.75f);
        grid_variable v;
        v.name = n;
        v.id = var;
        v.midpoints = dims[2] == "midpoint";
        v.units = text_attribute(ncid_, var, "units");
        v.long_name = text_attribute(ncid_, var, "long_name");
        int mean = -1, se = -1;
        v.statistics = nc_inq_varid(ncid_, ("mean_" + n).c_str(), &mean) == NC_NOERR &&
                       nc_inq_varid(ncid_, ("se_" + n).c_str(), &se) == NC_NOERR;
        variables_.push_back(v);
    }
    return !variables_.empty() || fail(NC_NOERR, "holds no per-pixel variable", error);
}

bool grid_file::read_status(std::string* error) {
    int var = -1;
    status_.resize(pixels());
    int s = nc_inq_varid(ncid_, "status", &var);
    if (s == NC_NOERR) s = nc_get_var_schar(ncid_, var, status_.data());
    if (s != NC_NOERR) return fail(s, "cannot read the pixel status", error);
    std::istringstream words(text_attribute(ncid_, var, "flag_meanings"));
    for (std::string w; words >> w;) meanings_.push_back(w);
    return true;
}

std::string grid_file::status_word(int code) const {
    if (code >= 0 && static_cast<size_t>(code) < meanings_.size()) return meanings_[static_cast<size_t>(code)];
    return "code " + std::to_string(code);
}

const grid_variable* grid_file::variable(const std::string& name) const {
    for (const auto& v : variables_)
        if (v.name == name) return &v;
    return nullptr;
}

bool grid_file::read_row(const grid_variable& v, size_t x, size_t y, size_t count, float* out,
                         std::string* error) {
    if (x + count > nx() || y >= ny()) return fail(NC_NOERR, "pixels beyond the grid", error);
    const size_t start[3] = {y, x, 0};
    const size_t size[3] = {1, count, length(v)};
    const int s = nc_get_vara_float(ncid_, v.id, start, size, out);
    return s == NC_NOERR || fail(s, "cannot read " + v.name, error);
}

bool grid_file::read_axis(const grid_variable& v, size_t x, size_t y, std::vector<float>* out,
                          std::string* error) {
    *out = axis_of(v);
    if (!per_pixel_axis_) return true;
    int var = -1;
    int s = nc_inq_varid(ncid_, v.midpoints ? "pixel_vmid" : "pixel_bias", &var);
    const size_t start[3] = {y, x, 0};
    const size_t size[3] = {1, 1, out->size()};
    if (s == NC_NOERR) s = nc_get_vara_float(ncid_, var, start, size, out->data());
    return s == NC_NOERR || fail(s, "cannot read the pixel's own axis", error);
}

bool grid_file::read_statistics(const grid_variable& v, std::vector<float>* mean,
                                std::vector<float>* se, long long* pixels, std::string* error) {
    if (!v.statistics) return fail(NC_NOERR, "no grid statistics of " + v.name, error);
    mean->resize(length(v));
    se->resize(length(v));
    int m = -1, e = -1;
    int s = nc_inq_varid(ncid_, ("mean_" + v.name).c_str(), &m);
    if (s == NC_NOERR) s = nc_inq_varid(ncid_, ("se_" + v.name).c_str(), &e);
    if (s == NC_NOERR) s = nc_get_var_float(ncid_, m, mean->data());
    if (s == NC_NOERR) s = nc_get_var_float(ncid_, e, se->data());
    if (s == NC_NOERR) s = nc_get_att_longlong(ncid_, m, "pixels", pixels);
    return s == NC_NOERR || fail(s, "cannot read the statistics of " + v.name, error);
}

}  // namespace sts
