// Reading stsgrid's netCDF file.  Layout: grid/netcdf_writer.h; what is
// checked before any data is read: grid/layout_check.h.
#include "stsview/grid_file.h"

#include <netcdf.h>

#include <sstream>

#include "grid/file_layout.h"
#include "grid/netcdf_file.h"
#include "stsview/pixel_maps.h"

namespace sts {

namespace {

// A text attribute, or "" when there is none (its type and length are
// checked at open).
std::string text_attribute(int ncid, int var, const char* name) {
    size_t length = 0;
    nc_type type = NC_NAT;
    if (nc_inq_att(ncid, var, name, &type, &length) != NC_NOERR || type != NC_CHAR) return "";
    std::string value(length, '\0');
    if (nc_get_att_text(ncid, var, name, value.data()) != NC_NOERR) return "";
    return value;
}

}  // namespace

grid_file::grid_file(grid_file&& other) noexcept
    : file_(std::move(other.file_)), layout_(std::move(other.layout_)),
      path_(std::move(other.path_)), xy_units_(std::move(other.xy_units_)),
      bias_units_(std::move(other.bias_units_)), x_(std::move(other.x_)), y_(std::move(other.y_)),
      bias_(std::move(other.bias_)), vmid_(std::move(other.vmid_)),
      variables_(std::move(other.variables_)), status_(std::move(other.status_)),
      meanings_(std::move(other.meanings_)), per_pixel_axis_(other.per_pixel_axis_) {}

grid_file::~grid_file() = default;

bool grid_file::fail(int status, const std::string& what, std::string* error) const {
    if (error) *error = path_ + ": " + what + (status == NC_NOERR ? "" : std::string(": ") + nc_strerror(status));
    return false;
}

bool grid_file::unchanged(std::string* error) const {
    if (!file_) return fail(NC_NOERR, "no file is open", error);
    return file_->unchanged(error);
}

bool grid_file::open(const std::string& path, std::string* error) {
    path_ = path;
    file_ = std::make_unique<netcdf_file>();
    file_description d;
    if (!file_->open(path, error) || !file_->describe(&d, error)) return false;
    const std::string problem = check_grid_layout(d, &layout_);
    if (!problem.empty()) return fail(NC_NOERR, problem, error);
    return read_coordinates(error) && read_variables(error) && read_status(error);
}

// Shapes and sizes were checked at open: each buffer is the variable's size.
bool grid_file::read_coordinates(std::string* error) {
    const int ncid = file_->id();
    x_.resize(layout_.nx);
    y_.resize(layout_.ny);
    bias_.resize(layout_.points);
    vmid_.resize(layout_.points - 1);
    int s = nc_get_var_double(ncid, layout_.x, x_.data());
    if (s == NC_NOERR) xy_units_ = text_attribute(ncid, layout_.x, layout::att_units);
    if (s == NC_NOERR) s = nc_get_var_double(ncid, layout_.y, y_.data());
    if (s == NC_NOERR) s = nc_get_var_float(ncid, layout_.bias, bias_.data());
    if (s == NC_NOERR) bias_units_ = text_attribute(ncid, layout_.bias, layout::att_units);
    if (s == NC_NOERR) s = nc_get_var_float(ncid, layout_.vmid, vmid_.data());
    return s == NC_NOERR || fail(s, "cannot read the coordinates x, y, bias, vmid", error);
}

bool grid_file::read_variables(std::string* error) {
    const int ncid = file_->id();
    per_pixel_axis_ = layout_.pixel_bias >= 0;
    for (const grid_layout::curve& c : layout_.curves) {
        // A few chunks per variable: the library's memory stays bounded
        // however many curves are asked for.
        nc_set_var_chunk_cache(ncid, c.var, 4 << 20, 31, 0.75f);
        grid_variable v;
        v.name = c.name;
        v.id = c.var;
        v.midpoints = c.midpoints;
        v.units = text_attribute(ncid, c.var, layout::att_units);
        v.long_name = text_attribute(ncid, c.var, layout::att_long_name);
        v.statistics = c.mean >= 0;
        variables_.push_back(v);
    }
    return !variables_.empty() || fail(NC_NOERR, "holds no per-pixel variable", error);
}

bool grid_file::read_status(std::string* error) {
    status_.resize(pixels());
    const int s = nc_get_var_schar(file_->id(), layout_.status, status_.data());
    if (s != NC_NOERR) return fail(s, "cannot read the pixel status", error);
    std::istringstream words(text_attribute(file_->id(), layout_.status, layout::att_flag_meanings));
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

namespace {

// The layout's curve of v (v may come from another grid_file), or nullptr.
const grid_layout::curve* curve_of(const grid_layout& layout, const grid_variable& v) {
    for (const grid_layout::curve& c : layout.curves)
        if (c.var == v.id && c.name == v.name) return &c;
    return nullptr;
}

}  // namespace

bool grid_file::read_row(const grid_variable& v, size_t x, size_t y, size_t count, float* out,
                         std::string* error) {
    if (x + count > nx() || y >= ny() || x + count < x) return fail(NC_NOERR, "pixels beyond the grid", error);
    if (!curve_of(layout_, v)) return fail(NC_NOERR, "no variable " + v.name + " in this file", error);
    if (!unchanged(error)) return false;
    const size_t start[3] = {y, x, 0};
    const size_t size[3] = {1, count, length(v)};
    const int s = nc_get_vara_float(file_->id(), v.id, start, size, out);
    return s == NC_NOERR || fail(s, "cannot read " + v.name, error);
}

bool grid_file::read_axis(const grid_variable& v, size_t x, size_t y, std::vector<float>* out,
                          std::string* error) {
    *out = axis_of(v);
    if (!per_pixel_axis_) return true;
    if (x >= nx() || y >= ny()) return fail(NC_NOERR, "pixels beyond the grid", error);
    if (!unchanged(error)) return false;
    const int var = v.midpoints ? layout_.pixel_vmid : layout_.pixel_bias;
    const size_t start[3] = {y, x, 0};
    const size_t size[3] = {1, 1, out->size()};
    const int s = nc_get_vara_float(file_->id(), var, start, size, out->data());
    return s == NC_NOERR || fail(s, "cannot read the pixel's own axis", error);
}

bool grid_file::read_plane(const std::string& name, std::vector<float>* out, std::string* error) {
    if (!unchanged(error)) return false;
    if (read_pixel_map(file_->id(), name, ny(), nx(), out, error)) return true;
    return fail(NC_NOERR, *error, error);
}

bool grid_file::read_point(const std::string& name, size_t x, size_t y, float* out, std::string* error) {
    if (!unchanged(error)) return false;
    if (read_pixel_value(file_->id(), name, ny(), nx(), x, y, out, error)) return true;
    return fail(NC_NOERR, *error, error);
}

std::string grid_file::variable_text(const std::string& name, const char* attribute) const {
    return file_ ? sts::variable_text(file_->id(), name, attribute) : "";
}

bool grid_file::read_globals(std::vector<std::pair<std::string, std::string>>* out, std::string* error) {
    if (!unchanged(error)) return false;
    const int ncid = file_->id();
    int count = 0;
    const int s = nc_inq_natts(ncid, &count);
    if (s != NC_NOERR) return fail(s, "cannot read the global attributes", error);
    for (int a = 0; a < count; ++a) {
        char name[NC_MAX_NAME + 1];
        nc_type type = NC_NAT;
        if (nc_inq_attname(ncid, NC_GLOBAL, a, name) == NC_NOERR &&
            nc_inq_atttype(ncid, NC_GLOBAL, name, &type) == NC_NOERR && type == NC_CHAR) {
            std::string value = text_attribute(ncid, NC_GLOBAL, name);
            while (!value.empty() && value.back() == '\0') value.pop_back();
            out->emplace_back(name, std::move(value));
        }
    }
    return true;
}

bool grid_file::read_statistics(const grid_variable& v, std::vector<float>* mean,
                                std::vector<float>* se, long long* pixels, std::string* error) {
    const grid_layout::curve* c = curve_of(layout_, v);
    if (!v.statistics || !c || c->mean < 0) return fail(NC_NOERR, "no grid statistics of " + v.name, error);
    if (!unchanged(error)) return false;
    mean->resize(length(v));
    se->resize(length(v));
    const int ncid = file_->id();
    int s = nc_get_var_float(ncid, c->mean, mean->data());
    if (s == NC_NOERR) s = nc_get_var_float(ncid, c->se, se->data());
    if (s == NC_NOERR) s = nc_get_att_longlong(ncid, c->mean, layout::att_pixels, pixels);
    return s == NC_NOERR || fail(s, "cannot read the statistics of " + v.name, error);
}

}  // namespace sts
