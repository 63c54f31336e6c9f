// The (y, x) variables of a grid file: see pixel_maps.h.
#include "stsview/pixel_maps.h"

#include <netcdf.h>

#include <cmath>

namespace sts {

namespace {

// A netCDF handle closed on every path out.
struct nc_handle {
    int id = -1;
    ~nc_handle() {
        if (id >= 0) nc_close(id);
    }
};

bool nc_fail(int status, const std::string& what, std::string* error) {
    *error = what + ": " + nc_strerror(status);
    return false;
}

std::string text_attribute(int ncid, int var, const char* name) {
    size_t length = 0;
    nc_type type = NC_NAT;
    if (nc_inq_att(ncid, var, name, &type, &length) != NC_NOERR || type != NC_CHAR) return "";
    std::string out(length, '\0');
    if (nc_get_att_text(ncid, var, name, out.data()) != NC_NOERR) return "";
    while (!out.empty() && out.back() == '\0') out.pop_back();
    return out;
}

// Whether variable var is a number over dimensions named y then x, ny x nx.
bool over_y_x(int ncid, int var, size_t ny, size_t nx) {
    int ndims = 0, dims[NC_MAX_VAR_DIMS];
    nc_type type = NC_NAT;
    if (nc_inq_var(ncid, var, nullptr, &type, &ndims, dims, nullptr) != NC_NOERR || ndims != 2) return false;
    if (type == NC_CHAR || type == NC_STRING) return false;
    char a[NC_MAX_NAME + 1], b[NC_MAX_NAME + 1];
    size_t la = 0, lb = 0;
    if (nc_inq_dim(ncid, dims[0], a, &la) != NC_NOERR || nc_inq_dim(ncid, dims[1], b, &lb) != NC_NOERR) return false;
    return std::string(a) == "y" && std::string(b) == "x" && la == ny && lb == nx;
}

}  // namespace

bool list_pixel_maps(const std::string& path, size_t ny, size_t nx, std::vector<pixel_map_variable>* out,
                     std::string* error) {
    nc_handle f;
    int s = nc_open(path.c_str(), NC_NOWRITE, &f.id);
    if (s != NC_NOERR) return nc_fail(s, path, error);
    int count = 0;
    if ((s = nc_inq_nvars(f.id, &count)) != NC_NOERR) return nc_fail(s, path, error);
    out->clear();
    for (int v = 0; v < count; ++v) {
        if (!over_y_x(f.id, v, ny, nx)) continue;
        char name[NC_MAX_NAME + 1];
        if ((s = nc_inq_varname(f.id, v, name)) != NC_NOERR) return nc_fail(s, path, error);
        out->push_back({name, text_attribute(f.id, v, "units"), text_attribute(f.id, v, "long_name")});
    }
    return true;
}

bool read_pixel_map(const std::string& path, const std::string& name, size_t ny, size_t nx,
                    std::vector<float>* out, std::string* error) {
    nc_handle f;
    const int s = nc_open(path.c_str(), NC_NOWRITE, &f.id);
    if (s != NC_NOERR) return nc_fail(s, path, error);
    return read_pixel_map(f.id, name, ny, nx, out, error);
}

bool read_pixel_map(int id, const std::string& name, size_t ny, size_t nx, std::vector<float>* out,
                    std::string* error) {
    int s = NC_NOERR, var = -1;
    if ((s = nc_inq_varid(id, name.c_str(), &var)) != NC_NOERR) return nc_fail(s, name, error);
    if (!over_y_x(id, var, ny, nx)) {
        *error = name + " is not a variable over (y, x)";
        return false;
    }
    out->assign(ny * nx, 0.0f);
    if ((s = nc_get_var_float(id, var, out->data())) != NC_NOERR) return nc_fail(s, name, error);
    float fill = 0;
    nc_type type = NC_NAT;
    size_t length = 0;
    if (nc_inq_att(id, var, "_FillValue", &type, &length) == NC_NOERR && length == 1 &&
        nc_get_att_float(id, var, "_FillValue", &fill) == NC_NOERR)
        for (float& v : *out)
            if (v == fill) v = std::nanf("");
    return true;
}

bool read_pixel_value(int id, const std::string& name, size_t ny, size_t nx, size_t x, size_t y,
                      float* out, std::string* error) {
    int s = NC_NOERR, var = -1;
    if ((s = nc_inq_varid(id, name.c_str(), &var)) != NC_NOERR) return nc_fail(s, name, error);
    if (!over_y_x(id, var, ny, nx) || x >= nx || y >= ny) {
        *error = name + " is not a variable over (y, x) holding pixel (" + std::to_string(x) + ", " +
                 std::to_string(y) + ")";
        return false;
    }
    const size_t start[2] = {y, x}, count[2] = {1, 1};
    if ((s = nc_get_vara_float(id, var, start, count, out)) != NC_NOERR) return nc_fail(s, name, error);
    float fill = 0;
    nc_type type = NC_NAT;
    size_t length = 0;
    if (nc_inq_att(id, var, "_FillValue", &type, &length) == NC_NOERR && length == 1 &&
        nc_get_att_float(id, var, "_FillValue", &fill) == NC_NOERR && *out == fill)
        *out = std::nanf("");
    return true;
}

std::string variable_text(int id, const std::string& name, const char* attribute) {
    int var = -1;
    if (nc_inq_varid(id, name.c_str(), &var) != NC_NOERR) return "";
    return text_attribute(id, var, attribute);
}

}  // namespace sts
