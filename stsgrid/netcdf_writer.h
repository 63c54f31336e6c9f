// The grid's netCDF-4 file: written under a temporary name beside its final
// one and renamed into place only when complete, so that no partial file
// ever stands under the name.
//
// Layout (names are an interface: scripts rely on them):
//   dimensions  y, x, point, midpoint
//   coordinates x(x), y(y)          nm along the grid's axes, or pixel numbers
//               bias(point)         bias unit ("V")
//               vmid(midpoint)      bias unit
//   per pixel   current(y,x,point)  offset-corrected current, current unit
//               iv(y,x,point)       current unit / bias unit
//               didv, norm_raw, norm_exp, norm_coff (y,x,midpoint)
//               status(y,x)         0 = processed, flag_values/flag_meanings
//               position_x, position_y (y,x), nm       (when known)
//               pixel_bias(y,x,point), pixel_vmid(y,x,midpoint) (per-pixel axes)
//   statistics  mean_<name>, sd_<name>, se_<name> over point or midpoint
// Every variable has CF-style "units" and "long_name"; floats use NaN as
// _FillValue.  The bytes of the file depend only on what is written and
// in which order, never on threads or time.
#ifndef STSGRID_NETCDF_WRITER_H
#define STSGRID_NETCDF_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

#include "grid_description.h"
#include "pixel_block.h"

class netcdf_writer {
public:
    netcdf_writer() = default;
    netcdf_writer(const netcdf_writer&) = delete;
    netcdf_writer& operator=(const netcdf_writer&) = delete;
    // Removes the temporary file unless commit() succeeded.
    ~netcdf_writer();

    // Creates the temporary file beside path and defines every dimension,
    // coordinate, variable and attribute (statistics variables included,
    // filled later).  false with *error when it cannot be created.
    bool create(const std::string& path, const grid_description& d, std::string* error);

    // Writes a block of pixel results.  Blocks come in pixel order.
    bool write(const pixel_block& b, std::string* error);

    // Reads back count records of a per-pixel variable ("current", "didv",
    // ...) from pixel first on, into out (count * record length floats):
    // for a second pass over values too many to hold.
    bool read(const std::string& variable, uint64_t first, int count, float* out,
              std::string* error);

    // Writes the statistics mean_<name>, sd_<name> and se_<name> (each the
    // record length of <name>) and the number of pixels they are over.
    bool write_statistics(const std::string& name, const std::vector<float>& mean,
                          const std::vector<float>& sd, const std::vector<float>& se,
                          long pixels, std::string* error);

    // Closes the file and renames it into place.
    bool commit(std::string* error);

private:
    struct impl;
    impl* impl_ = nullptr;
};

#endif
