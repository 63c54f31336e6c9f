// What a netCDF file declares, as plain values: its format, dimensions,
// variables (type, shape, storage) and attributes (type, length), with the
// file's size.  netcdf_file::describe() fills it from a file without
// reading any data; check_grid_layout() (layout_check.h) judges it, so
// that the judging runs, and is fuzzed, apart from the library.
#ifndef GRID_FILE_DESCRIPTION_H
#define GRID_FILE_DESCRIPTION_H

#include <cstdint>
#include <string>
#include <vector>

namespace sts {

enum class netcdf_format { netcdf4, netcdf4_classic, netcdf3, other };

struct described_attribute {
    std::string name;
    int type = 0;          // nc_type: NC_CHAR 2, NC_BYTE 1, NC_INT64 10, ...
    uint64_t length = 0;   // values (characters for text)
};

struct described_dimension {
    std::string name;
    uint64_t length = 0;
};

struct described_variable {
    std::string name;
    int type = 0;                 // nc_type
    std::vector<int> dimensions;  // indices into file_description::dimensions
    // Filters on its chunks: deflate (its ratio is bounded) or any other
    // (a ratio without a known bound).
    bool deflated = false, other_filter = false;
    std::vector<described_attribute> attributes;
};

struct file_description {
    netcdf_format format = netcdf_format::other;
    uint64_t file_bytes = 0;    // the file's size on disk
    uint64_t memory_bytes = 0;  // the most a reader may take for one copy of a variable
    std::vector<described_dimension> dimensions;
    std::vector<described_variable> variables;
};

}  // namespace sts

#endif
