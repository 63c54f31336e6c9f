// The warning a run gives when the exponential broadening's width (the
// --exp-width, 1.33 bias units unless given) is wider than the sweep: on a
// +-4 mV sweep a width of 1.33 V broadens I/V over far more than the whole
// sweep, and norm_exp means little.
#ifndef STSGRID_BROADENING_HINT_H
#define STSGRID_BROADENING_HINT_H

#include <string>

#include "grid/grid_description.h"
#include "spectrum/spectrum.h"

namespace sts {

// "" when the width is within the span of d's bias axis (or the axis has
// no two finite values); else the warning's text, without "stsgrid: ".
std::string broadening_warning(const norm_options& norm, const grid_description& d);

}  // namespace sts

#endif
