// An RHK .sm4 file as a grid: its spectral map on the map's raster, or its
// line or point spectra as an N x 1 grid, each pixel with its recorded
// position.
#ifndef STSGRID_SM4_SOURCE_H
#define STSGRID_SM4_SOURCE_H

#include <memory>
#include <string>

#include "readers/import_options.h"
#include "grid/grid_source.h"

namespace sts {

// Reads the channel o names from the whole file (a few MB for a real map).
// nullptr with *error (not naming the file) when it cannot be read.
std::unique_ptr<grid_source> open_sm4_source(const std::string& path, const import_options& o,
                                             std::string* error);

}  // namespace sts

#endif
