// A netCDF file of maps: see map_stack_file.h.
#include "grid/map_stack_file.h"

#include <limits>

#include "grid/file_layout.h"

namespace sts {

bool map_stack_file::create(uint64_t bytes, std::string* error) {
    return file_.create(path_, error) && file_.reserve(bytes, error);
}

int map_stack_file::dimension(const char* name, size_t length) {
    int dim = -1;
    file_.run([&] { return nc_def_dim(file_.id(), name, length, &dim); });
    return dim;
}

int map_stack_file::variable(const std::string& name, nc_type type,
                             std::initializer_list<int> dims, const std::string& units,
                             const std::string& long_name) {
    int var = -1;
    const std::vector<int> ids(dims);
    const int id = file_.id();
    file_.run([&] {
        return nc_def_var(id, name.c_str(), type, static_cast<int>(ids.size()), ids.data(), &var);
    });
    if (type == NC_FLOAT) {
        const float fill = std::numeric_limits<float>::quiet_NaN();
        file_.run([&] { return nc_def_var_fill(id, var, NC_FILL, &fill); });
        if (ids.size() == 3) {
            size_t chunk[3] = {1, 0, 0};
            for (int k = 1; k < 3; ++k)
                file_.run([&] { return nc_inq_dimlen(id, ids[static_cast<size_t>(k)], &chunk[k]); });
            file_.run([&] { return nc_def_var_chunking(id, var, NC_CHUNKED, chunk); });
            // Whole chunks are written once each, in order: a cache of one
            // chunk rather than the library's 16 MiB, as the grid's writer
            // bounds its own.
            const size_t bytes = chunk[1] * chunk[2] * sizeof(float);
            file_.run([&] { return nc_set_var_chunk_cache(id, var, bytes, 11, 1.0f); });
        }
    }
    text(var, layout::att_units, units);
    text(var, layout::att_long_name, long_name);
    return var;
}

void map_stack_file::text(int var, const char* name, const std::string& value) {
    file_.text(var, name, value);
}

void map_stack_file::numbers(int var, const char* name, const std::vector<double>& values) {
    file_.run([&] {
        return nc_put_att_double(file_.id(), var, name, NC_DOUBLE, values.size(), values.data());
    });
}

void map_stack_file::end_definitions() {
    file_.run([&] { return nc_enddef(file_.id()); });
}

void map_stack_file::put_slices(int var, size_t first, size_t count, size_t rows, size_t columns,
                                const float* values) {
    const size_t start[3] = {first, 0, 0}, counts[3] = {count, rows, columns};
    file_.run([&] { return nc_put_vara_float(file_.id(), var, start, counts, values); });
}

void map_stack_file::put(int var, const float* values) {
    file_.run([&] { return nc_put_var_float(file_.id(), var, values); });
}

void map_stack_file::put(int var, const double* values) {
    file_.run([&] { return nc_put_var_double(file_.id(), var, values); });
}

void map_stack_file::put(int var, const int* values) {
    file_.run([&] { return nc_put_var_int(file_.id(), var, values); });
}

bool map_stack_file::finish(std::string* error) {
    if (!file_.ok()) {
        file_.fail("cannot write " + path_, error);
        file_.abandon();
        return false;
    }
    return file_.commit(error);
}

}  // namespace sts
