// stsgrid's options about the lock-in channel's calibration and unit, as
// rows of an option table (options/option_table.h).
#ifndef STSGRID_LOCKIN_OPTIONS_H
#define STSGRID_LOCKIN_OPTIONS_H

#include <string>

#include "options/option_table.h"
#include "stsgrid/options.h"

namespace sts {

// --lockin-cal=fit|amplitude and --force.
const option_table<grid_options>& lockin_option_rows();


}  // namespace sts

#endif
