// A netCDF file of maps (the Fourier maps' <out>_fft.nc, the drift
// correction's <out>_corrected.nc): dimensions, coordinates, stacks of
// maps written a few slices at a time, attributes of text and numbers.
// Written as the grid's file is, through netcdf_file.h: a temporary file
// beside the target, its room reserved first, renamed into place when
// complete, given up after a failed call.
#ifndef GRID_MAP_STACK_FILE_H
#define GRID_MAP_STACK_FILE_H

#include <netcdf.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "grid/netcdf_file.h"

namespace sts {

class map_stack_file {
public:
    explicit map_stack_file(std::string path) : path_(std::move(path)) {}

    // The temporary file with bytes of room on disk; false with *error.
    bool create(uint64_t bytes, std::string* error);
    int dimension(const char* name, size_t length);
    // A variable over dims; a float one is NaN where unwritten and, over
    // three dimensions, stored in chunks of one slice (what a reader takes)
    // with a cache of one chunk.
    int variable(const std::string& name, nc_type type, std::initializer_list<int> dims,
                 const std::string& units, const std::string& long_name);
    void text(int var, const char* name, const std::string& value);
    void numbers(int var, const char* name, const std::vector<double>& values);
    void end_definitions();
    // count slices of a (slice, row, column) variable from slice first;
    // values hold count * rows * columns floats.
    void put_slices(int var, size_t first, size_t count, size_t rows, size_t columns,
                    const float* values);
    void put(int var, const float* values);
    void put(int var, const double* values);
    void put(int var, const int* values);
    // Closes the file and renames it into place; a failed call before
    // shows here.  false with *error, the temporary file then removed.
    bool finish(std::string* error);
    const std::string& path() const { return path_; }

private:
    std::string path_;
    netcdf_file file_;  // the temporary file until it takes its name
};

}  // namespace sts

#endif
