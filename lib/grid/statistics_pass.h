// The statistics over the grid after the pixels have passed once: the
// second pass over the values kept since the first, and the files that hold
// the results.
#ifndef GRID_STATISTICS_PASS_H
#define GRID_STATISTICS_PASS_H

#include <string>
#include <vector>

#include "grid/grid_collector.h"
#include "grid/grid_description.h"
#include "grid/grid_source.h"
#include "grid/netcdf_writer.h"
#include "grid/grid_plan.h"
#include "stsgrid/plots.h"

namespace sts {

// The squares about the means, over the records kept since the first pass.
bool second_pass(int threads, grid_collector* c, std::string* error);

// Writes mean_, sd_ and se_ of every quantity into the file.
bool write_statistics(netcdf_writer* w, grid_collector* c, std::string* error);

// The statistics of the measured current as imported, in pointmean's
// summary layout, to o.pointmean.
bool write_pointmean(const grid_plan& o, grid_collector* c, std::string* error);

// <output>_mean_<quantity>.txt for every quantity.
bool write_mean_texts(const grid_description& d, const std::string& out, grid_collector* c,
                      std::string* error);

// The mean and standard error of the three normalised curves.
std::vector<mean_curve> mean_curves(grid_collector& c);

}  // namespace sts

#endif
