// The per-pixel variables of a grid file that have no bias axis (dimensions
// (y, x): status, position_*, gap_*, peak_*, lockin_* ...): listed and read
// through a netCDF handle of their own, so that grid_file, which holds the
// spectra, stays as it is.  The page shows them as maps.
#ifndef STSVIEW_PIXEL_MAPS_H
#define STSVIEW_PIXEL_MAPS_H

#include <string>
#include <vector>

namespace sts {

struct pixel_map_variable {
    std::string name, units, long_name;
};

// The variables over exactly (y, x) of ny x nx, in the file's order.
bool list_pixel_maps(const std::string& path, size_t ny, size_t nx, std::vector<pixel_map_variable>* out,
                     std::string* error);

// One of them as floats, row-major (y outer); NaN where the file's value is
// its _FillValue.
bool read_pixel_map(const std::string& path, const std::string& name, size_t ny, size_t nx,
                    std::vector<float>* out, std::string* error);
// The same through a netCDF handle already open (grid_file's: a file opened
// again for every map grows the libraries' memory by kilobytes each time).
bool read_pixel_map(int ncid, const std::string& name, size_t ny, size_t nx, std::vector<float>* out,
                    std::string* error);
// The value at pixel (x, y) alone (x < nx, y < ny), NaN for the _FillValue.
bool read_pixel_value(int ncid, const std::string& name, size_t ny, size_t nx, size_t x, size_t y,
                      float* out, std::string* error);
// A text attribute of the variable name, or "" where it has none.
std::string variable_text(int ncid, const std::string& name, const char* attribute);

}  // namespace sts

#endif
