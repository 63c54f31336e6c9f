// The line cut's netCDF-4 file, <output>_line.nc: the records of the
// pixels along --line, one sample a pixel, in the grid file's names, units
// and long names (grid/quantities.h), so that a script reads both alike.
//
// Layout (names are an interface, as in netcdf_writer.h; file_layout.h):
//   dimensions  sample, point, midpoint
//   per sample  distance(sample)        from the line's start, along it: nm when
//                                       the grid has a frame, else pixels ("1")
//               pixel_x, pixel_y(sample)  the pixel's numbers along the grid
//                                       file's x and y (int, from 0)
//               x, y(sample)            the pixel's coordinates, as the grid
//                                       file's x and y
//               status(sample)          the pixel's code, as the grid file's status
//               gap_status(sample)      with --gap, as the grid file's gap_status
//   coordinates bias(point), vmid(midpoint)  as in the grid's file
//   quantities  every per-pixel quantity the grid's file has (current, iv,
//               didv, norm_raw, norm_exp, norm_coff; pixel_bias and
//               pixel_vmid with per-pixel axes) over (sample, point) or
//               (sample, midpoint); one value a pixel over (sample)
//   global      Conventions, title, source, software, the grid file's
//               attributes, then line_start, line_end ("x y" pixel numbers),
//               line_samples and grid_file (the grid's file name)
// The file is written under a temporary name beside its final one and
// renamed into place when complete (output/atomic_file.h).
#ifndef GRID_LINE_FILE_H
#define GRID_LINE_FILE_H

#include <string>

#include "grid/grid_description.h"
#include "grid/line_collector.h"
#include "grid/grid_plan.h"

namespace sts {

// Writes the cut gathered by c along line to path; grid_file names the
// grid's own file.  false with *error when the file cannot be made or
// written (what stood under path is then untouched).
bool write_line_file(const std::string& path, const grid_description& d, const pixel_line& line,
                     const line_collector& c, const std::string& grid_file, std::string* error);

}  // namespace sts

#endif
