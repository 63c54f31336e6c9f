// stsgrid's options that place a scan image beside the grid
// (--topography and its channel and direction), as rows of the option table.
#ifndef STSGRID_TOPOGRAPHY_OPTIONS_H
#define STSGRID_TOPOGRAPHY_OPTIONS_H

#include <string>

#include "options/option_table.h"
#include "stsgrid/options.h"

namespace sts {

const option_table<grid_options>& topography_option_rows();


}  // namespace sts

#endif
