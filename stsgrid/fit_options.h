// stsgrid's --fit* options: the gap fit's request (grid/grid_plan.h), as
// rows of the tool's option table (options/option_table.h) with their
// lines of --help.
#ifndef STSGRID_FIT_OPTIONS_H
#define STSGRID_FIT_OPTIONS_H

#include <string>

#include "options/option_table.h"

namespace sts {

struct grid_options;

// --fit, --fit-window, --fit-temperature, --fit-tip-gap, --fit-tip-gamma,
// --fit-modulation, --fit-free: each takes a value.
const option_table<grid_options>& fit_option_rows();


}  // namespace sts

#endif
