// Judging a grid file's declarations before reading: layout_check.h.
#include "grid/layout_check.h"

#include <netcdf.h>

#include <cstdint>
#include <limits>

#include "grid/file_layout.h"

namespace sts {

namespace {

constexpr uint64_t most = std::numeric_limits<uint64_t>::max();

// a * b, or the largest value where that overflows (a bound, never less).
uint64_t times(uint64_t a, uint64_t b) { return b != 0 && a > most / b ? most : a * b; }

const char* type_name(int type) {
    switch (type) {
        case NC_BYTE: return "byte";
        case NC_CHAR: return "char";
        case NC_SHORT: return "short";
        case NC_INT: return "int";
        case NC_FLOAT: return "float";
        case NC_DOUBLE: return "double";
        case NC_UBYTE: return "ubyte";
        case NC_USHORT: return "ushort";
        case NC_UINT: return "uint";
        case NC_INT64: return "int64";
        case NC_UINT64: return "uint64";
        case NC_STRING: return "string";
        default: return "a type of the file's own";
    }
}

bool integer_type(int type) {
    return type == NC_BYTE || type == NC_SHORT || type == NC_INT || type == NC_UBYTE ||
           type == NC_USHORT || type == NC_UINT || type == NC_INT64 || type == NC_UINT64;
}

uint64_t type_bytes(int type) {
    switch (type) {
        case NC_BYTE: case NC_UBYTE: case NC_CHAR: return 1;
        case NC_SHORT: case NC_USHORT: return 2;
        case NC_INT: case NC_UINT: case NC_FLOAT: return 4;
        default: return 8;
    }
}

struct checker {
    const file_description& d;
    int dim_y = -1, dim_x = -1, dim_point = -1, dim_midpoint = -1;

    int find_dimension(const char* name) const {
        for (size_t k = 0; k < d.dimensions.size(); ++k)
            if (d.dimensions[k].name == name) return static_cast<int>(k);
        return -1;
    }
    int find_variable(const std::string& name) const {
        for (size_t k = 0; k < d.variables.size(); ++k)
            if (d.variables[k].name == name) return static_cast<int>(k);
        return -1;
    }
    std::string dimension_name(int dim) const {
        return dim >= 0 && static_cast<size_t>(dim) < d.dimensions.size()
                   ? d.dimensions[static_cast<size_t>(dim)].name
                   : "a dimension of another group";
    }
    uint64_t length(int dim) const {
        return dim >= 0 && static_cast<size_t>(dim) < d.dimensions.size()
                   ? d.dimensions[static_cast<size_t>(dim)].length
                   : 0;
    }
    std::string shape(const std::vector<int>& dims) const {
        if (dims.empty()) return "a scalar";
        std::string text = "(";
        for (size_t k = 0; k < dims.size(); ++k)
            text += (k ? ", " : "") + dimension_name(dims[k]);
        return text + ")";
    }
    // "" when v is of that type over exactly those dimensions.
    std::string expect(const described_variable& v, int type, const std::vector<int>& dims) const {
        if (v.type == type && v.dimensions == dims) return "";
        return "variable " + v.name + ": expected " + type_name(type) + " over " + shape(dims) +
               ", found " + type_name(v.type) + " over " + shape(v.dimensions);
    }
    // The values a variable declares (a bound where that overflows).
    uint64_t values(const described_variable& v) const {
        uint64_t n = 1;
        for (const int dim : v.dimensions) n = times(n, length(dim));
        return n;
    }
    std::string check_attributes(const described_variable& v) const;
    std::string fits_in_file(const described_variable& v) const;
    std::string required(const char* name, int type, const std::vector<int>& dims, int* index) const;
    std::string statistics(grid_layout::curve* c, int axis) const;
    std::string curve_variables(grid_layout* out) const;
};

// The text attributes a reader takes must be text, and no longer than the
// file; a "pixels" must be one integer.
std::string checker::check_attributes(const described_variable& v) const {
    for (const described_attribute& a : v.attributes) {
        const bool text = a.name == layout::att_units || a.name == layout::att_long_name ||
                          a.name == layout::att_flag_meanings;
        if (text && (a.type != NC_CHAR || a.length > d.file_bytes))
            return "attribute " + v.name + ":" + a.name + ": expected text no longer than the file, found " +
                   std::to_string(a.length) + " values of " + type_name(a.type);
        if (a.name == layout::att_pixels && (!integer_type(a.type) || a.length != 1))
            return "attribute " + v.name + ":" + a.name + ": expected one integer, found " +
                   std::to_string(a.length) + " values of " + type_name(a.type);
    }
    return "";
}

// A variable written whole: its declared bytes must be bytes of the file.
std::string checker::fits_in_file(const described_variable& v) const {
    if (v.other_filter)
        return "variable " + v.name +
               ": compressed with a filter other than deflate (stsgrid writes no compressed "
               "variables, and stsview cannot bound what such bytes hold)";
    const uint64_t room = times(d.file_bytes, v.deflated ? deflate_ratio_limit : 1);
    const uint64_t bytes = times(values(v), type_bytes(v.type));
    if (bytes <= room && bytes <= d.memory_bytes) return "";
    return "variable " + v.name + ": declares " + std::to_string(bytes) + " bytes, more than the " +
           std::to_string(d.file_bytes) + "-byte file can hold" +
           (bytes > d.memory_bytes ? " or memory allows" : "");
}

std::string checker::required(const char* name, int type, const std::vector<int>& dims,
                              int* index) const {
    *index = find_variable(name);
    if (*index < 0) return std::string("no variable ") + name + " (not a grid file of stsgrid)";
    const described_variable& v = d.variables[static_cast<size_t>(*index)];
    std::string problem = expect(v, type, dims);
    if (problem.empty()) problem = check_attributes(v);
    if (problem.empty()) problem = fits_in_file(v);
    return problem;
}

// mean_<name> and se_<name>: both float over the curve's axis, or the
// curve has no statistics.
std::string checker::statistics(grid_layout::curve* c, int axis) const {
    const int mean = find_variable(layout::prefix_mean + c->name);
    const int se = find_variable(layout::prefix_se + c->name);
    if (mean < 0 || se < 0) return "";
    for (const int var : {mean, se}) {
        const described_variable& v = d.variables[static_cast<size_t>(var)];
        std::string problem = expect(v, NC_FLOAT, {axis});
        if (problem.empty()) problem = check_attributes(v);
        if (problem.empty()) problem = fits_in_file(v);
        if (!problem.empty()) return problem;
    }
    bool counted = false;
    for (const described_attribute& a : d.variables[static_cast<size_t>(mean)].attributes)
        counted = counted || a.name == layout::att_pixels;
    if (!counted)
        return std::string("variable ") + layout::prefix_mean + c->name +
               ": expected an attribute pixels (one integer)";
    c->mean = mean;
    c->se = se;
    return "";
}

// The curves: float variables over (y, x, point) or (y, x, midpoint),
// each small enough for the reader's one copy of it; the per-pixel axes.
std::string checker::curve_variables(grid_layout* out) const {
    const uint64_t pixels = times(length(dim_x), length(dim_y));
    for (size_t k = 0; k < d.variables.size(); ++k) {
        const described_variable& v = d.variables[k];
        const bool axis = v.name == layout::var_pixel_bias || v.name == layout::var_pixel_vmid;
        const bool per_pixel = v.dimensions.size() == 3 && v.dimensions[0] == dim_y &&
                               v.dimensions[1] == dim_x &&
                               (v.dimensions[2] == dim_point || v.dimensions[2] == dim_midpoint);
        if (axis) {
            const int along = v.name == layout::var_pixel_bias ? dim_point : dim_midpoint;
            std::string problem = expect(v, NC_FLOAT, {dim_y, dim_x, along});
            if (problem.empty()) problem = check_attributes(v);
            if (!problem.empty()) return problem;
            (along == dim_point ? out->pixel_bias : out->pixel_vmid) = static_cast<int>(k);
            continue;
        }
        // Variables over other shapes, or of other types, are not read.
        if (!per_pixel || v.type != NC_FLOAT) continue;
        if (const std::string problem = check_attributes(v); !problem.empty()) return problem;
        const uint64_t bytes = times(times(pixels, length(v.dimensions[2])), sizeof(float));
        if (bytes > d.memory_bytes)
            return "variable " + v.name + ": " + std::to_string(length(dim_x)) + " x " +
                   std::to_string(length(dim_y)) + " pixels of " +
                   std::to_string(length(v.dimensions[2])) + " values need " +
                   std::to_string(bytes / (1024 * 1024)) + " MiB, more than the " +
                   std::to_string(d.memory_bytes / (1024 * 1024)) +
                   " MiB stsview allows for the copy of one variable";
        grid_layout::curve c;
        c.name = v.name;
        c.var = static_cast<int>(k);
        c.midpoints = v.dimensions[2] == dim_midpoint;
        if (const std::string problem = statistics(&c, v.dimensions[2]); !problem.empty())
            return problem;
        out->curves.push_back(c);
    }
    if ((out->pixel_bias < 0) != (out->pixel_vmid < 0))
        return std::string("variable ") +
               (out->pixel_bias < 0 ? layout::var_pixel_vmid : layout::var_pixel_bias) +
               " without its companion: expected both per-pixel axes or neither";
    if (out->curves.empty()) return "holds no per-pixel variable";
    return "";
}

}  // namespace

std::string check_grid_layout(const file_description& d, grid_layout* out) {
    *out = grid_layout{};
    if (d.format == netcdf_format::netcdf3)
        return "a netCDF-3 file: stsview reads the netCDF-4 files stsgrid writes (netCDF-3 files "
               "cut short read as zeros)";
    if (d.format == netcdf_format::other) return "not a netCDF-4 file";
    checker c{d};
    c.dim_y = c.find_dimension(layout::dim_y);
    c.dim_x = c.find_dimension(layout::dim_x);
    c.dim_point = c.find_dimension(layout::dim_point);
    c.dim_midpoint = c.find_dimension(layout::dim_midpoint);
    if (c.dim_y < 0 || c.dim_x < 0 || c.dim_point < 0 || c.dim_midpoint < 0 ||
        c.length(c.dim_x) == 0 || c.length(c.dim_y) == 0 || c.length(c.dim_point) < 2 ||
        c.length(c.dim_midpoint) + 1 != c.length(c.dim_point))
        return "not a grid file of stsgrid (expected dimensions y, x, point >= 2 and "
               "midpoint = point - 1)";
    std::string problem = c.required(layout::var_x, NC_DOUBLE, {c.dim_x}, &out->x);
    if (problem.empty()) problem = c.required(layout::var_y, NC_DOUBLE, {c.dim_y}, &out->y);
    if (problem.empty()) problem = c.required(layout::var_bias, NC_FLOAT, {c.dim_point}, &out->bias);
    if (problem.empty())
        problem = c.required(layout::var_vmid, NC_FLOAT, {c.dim_midpoint}, &out->vmid);
    if (problem.empty())
        problem = c.required(layout::var_status, NC_BYTE, {c.dim_y, c.dim_x}, &out->status);
    if (problem.empty()) problem = c.curve_variables(out);
    if (!problem.empty()) {
        *out = grid_layout{};
        return problem;
    }
    out->nx = static_cast<size_t>(c.length(c.dim_x));
    out->ny = static_cast<size_t>(c.length(c.dim_y));
    out->points = static_cast<size_t>(c.length(c.dim_point));
    return "";
}

}  // namespace sts
