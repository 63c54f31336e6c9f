// A line cut in a run: its pixels before the first block, its file after
// the last.
#ifndef GRID_LINE_OUTPUT_H
#define GRID_LINE_OUTPUT_H

#include <memory>
#include <string>
#include <vector>

#include "grid/grid_description.h"
#include "grid/grid_plan.h"
#include "grid/line_collector.h"

namespace sts {

// The collector of the line's pixels; nullptr with *error when an end is
// outside the grid or p.line_vars names a quantity this run does not write.
// Precondition: p.line.given.
std::unique_ptr<line_collector> open_line(const grid_description& d, const grid_plan& p,
                                          std::string* error);

// The name of the line's file: <output>_line.nc.
std::string line_file_name(const std::string& out);

// The line's file beside out; false with *error.
bool write_line_output(const grid_description& d, const grid_plan& p, const std::string& out,
                       const line_collector& c, std::string* error);

// The quantities the line's picture shows: p.line_vars, else the panels the
// maps draw (map_quantities) of every group the run writes, in one picture.
std::vector<std::string> line_picture_names(const grid_description& d, const grid_plan& p);

}  // namespace sts

#endif
