// --line in a run: its pixels before the first block, its file and its
// picture after the last.
#ifndef STSGRID_LINE_OUTPUT_H
#define STSGRID_LINE_OUTPUT_H

#include <memory>
#include <string>
#include <vector>

#include "stsgrid/grid_description.h"
#include "stsgrid/line_collector.h"
#include "stsgrid/options.h"

namespace sts {

// The collector of the line's pixels; nullptr with *error when an end is
// outside the grid or --line-vars names a quantity this run does not write.
// Precondition: o.line.given.
std::unique_ptr<line_collector> open_line(const grid_description& d, const grid_options& o,
                                          std::string* error);

// The quantities the picture shows: --line-vars, else the panels the maps
// draw (map_quantities) of every group the run writes, in one picture.
std::vector<std::string> line_picture_names(const grid_description& d, const grid_options& o);

// <output>_line.nc, then <output>_line.png; false with *error.
bool write_line_cut(const grid_description& d, const grid_options& o, const std::string& out,
                    const line_collector& c, std::string* error);

}  // namespace sts

#endif
