// FILE arguments: a netCDF file is shown as it is; any other input stsgrid
// takes is computed in-process by the grid engine with stsgrid's default
// settings.  The result goes to the file -o names; else to <name>.nc beside
// the input when that file is there and records this input and these
// settings (stsgrid's default run of it, made after the input last
// changed), which is then shown as it is; else to a cache file named for
// the input's identity and the settings, reused while they hold.  A file
// stsview did not make in this run is never replaced: an existing
// <name>.nc made otherwise stays as it is and a note says why it is not
// shown.
#ifndef STSVIEW_GRID_INPUTS_H
#define STSVIEW_GRID_INPUTS_H

#include <string>
#include <vector>

namespace sts {

// True when the file starts as netCDF does (classic "CDF" or HDF5).
bool looks_like_netcdf(const std::string& path);

struct input_settings {
    std::string output;  // -o: where the one computed grid goes; "" = beside or cached
    std::string cache;   // the cache folder; "" = $XDG_CACHE_HOME/stsview or ~/.cache/stsview
};

// The netCDF file of each argument, in order; notes for the user (what was
// computed, what was not used and why) appended to *notes.  false with
// *error when an input cannot be read or computed.
bool netcdf_files(const std::vector<std::string>& args, const input_settings& s,
                  std::vector<std::string>* out, std::vector<std::string>* notes,
                  std::string* error);

// The cache folder the settings name (created when missing).
std::string cache_folder(const input_settings& s, std::string* error);

}  // namespace sts

#endif
