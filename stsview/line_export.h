// A line through a viewed grid as stsgrid's line file (<grid>_line.nc,
// layout in grid/line_file.h): the records of the line's pixels are read
// back from the grid's file into the engine's line collector
// (grid/line_collector.h) and written by the engine's own line writer, so
// that the file is the one `stsgrid --line` writes beside the same grid
// file.  What the writer needs of the run (grid/grid_description.h) is
// read from the grid's file: its axes and units, its global attributes
// after the four every file starts with, and which optional quantity
// groups it holds (a group is there when any of its quantities is).
#ifndef STSVIEW_LINE_EXPORT_H
#define STSVIEW_LINE_EXPORT_H

#include <string>
#include <vector>

#include "grid/grid_description.h"
#include "stsview/grid_file.h"
#include "stsview/pixel_maps.h"

namespace sts {

// The run's description as the grid's file records it; maps: the file's
// (y, x) variables.  false with *error when the file cannot be read.
bool description_of(grid_file& f, const std::vector<pixel_map_variable>& maps,
                    grid_description* out, std::string* error);

// The bytes of the line file of the line from pixel (x0, y0) to (x1, y1),
// written to a private temporary folder and removed again.  Precondition:
// both ends within the grid.  The netCDF library is called: the caller
// serialises (grid_store does).
bool line_file_bytes(grid_file& f, const std::vector<pixel_map_variable>& maps, size_t x0, size_t y0,
                     size_t x1, size_t y1, std::string* bytes, std::string* error);

// The name stsgrid gives the line file of the grid file at path, without
// its folder: "a_line.nc" for "/x/a.nc".
std::string line_file_download(const std::string& path);

}  // namespace sts

#endif
