// What a reader of the grid's file may trust before it reads a byte of
// data: check_grid_layout() judges a file's declarations (file_description.h)
// against the layout stsgrid writes (netcdf_writer.h, names in
// file_layout.h).  A pure function, so that it is fuzzed without files.
//
// What it checks, for every variable and attribute the reader uses:
//   - the format: netCDF-4 (stsgrid never writes netCDF-3, whose files the
//     library serves as zeros where they are cut short);
//   - dimensions y, x, point, midpoint with x, y >= 1, point >= 2 and
//     midpoint = point - 1;
//   - type, rank and shape: x(x), y(y) double, bias(point), vmid(midpoint)
//     float, status(y, x) byte, each curve float over (y, x, point) or
//     (y, x, midpoint), pixel_bias / pixel_vmid (both or neither) as the
//     curves, mean_<name> and se_<name> float over the curve's axis with an
//     integer "pixels" of one value;
//   - text attributes (units, long_name, flag_meanings) of type char;
//   - sizes: every variable that stsgrid always writes whole (the axes, the
//     status, the statistics) must fit in the file's bytes, as stsgrid's
//     files are not compressed (deflate: at most its largest ratio, 1032 to
//     1; other filters, whose ratio has no known bound, are refused).  The
//     curves may hold chunks never written (they read as NaN), so they are
//     bounded by memory instead: the reader's one copy of a whole curve
//     variable must fit in the description's memory_bytes.
#ifndef GRID_LAYOUT_CHECK_H
#define GRID_LAYOUT_CHECK_H

#include <cstddef>
#include <string>
#include <vector>

#include "grid/file_description.h"

namespace sts {

// The variables a reader uses, as indices of file_description::variables
// (which are the variables' netCDF ids); -1 where there is none.
struct grid_layout {
    size_t nx = 0, ny = 0, points = 0;
    int x = -1, y = -1, bias = -1, vmid = -1, status = -1;
    int pixel_bias = -1, pixel_vmid = -1;  // both or neither
    struct curve {
        std::string name;
        int var = -1;
        bool midpoints = false;  // over midpoint (else over point)
        int mean = -1, se = -1;  // both or neither
    };
    std::vector<curve> curves;  // in the file's order
};

// "" and *out filled when a reader may use the file; else what is wrong,
// naming the variable or attribute and what was expected ("variable x:
// expected double over (x), found double over (x_long)").
std::string check_grid_layout(const file_description& d, grid_layout* out);

// The largest ratio of deflate's output to its input (zlib's technical
// details: 1032 to 1).
inline constexpr unsigned deflate_ratio_limit = 1032;

}  // namespace sts

#endif
