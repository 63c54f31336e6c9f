// FILE arguments that are not netCDF: stsgrid runs on them first, as a
// user would, and writes the .nc beside each (stsgrid's default name), so
// both roads give the same file and the same numbers.
#ifndef STSVIEW_GRID_INPUTS_H
#define STSVIEW_GRID_INPUTS_H

#include <string>
#include <vector>

namespace sts {

// True when the file starts as netCDF does (classic "CDF" or HDF5).
bool looks_like_netcdf(const std::string& path);

// The netCDF file of each argument: the argument itself, or the file that
// stsgrid writes from it.  false with *error when stsgrid fails.
bool netcdf_files(const std::vector<std::string>& args, std::vector<std::string>* out,
                  std::string* error);

}  // namespace sts

#endif
