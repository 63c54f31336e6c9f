// stsgrid's options of the Fourier maps (--fft and its companions), as
// rows of the option table; the values go to the plan's setters.
#ifndef STSGRID_FOURIER_OPTIONS_H
#define STSGRID_FOURIER_OPTIONS_H

#include <string>

#include "options/option_table.h"
#include "stsgrid/options.h"

namespace sts {

// --fft[=VARIABLE], --fft-window, --symmetrise, --bragg[=auto|Q1X,Q1Y:Q2X,Q2Y],
// --drift-correct[=LAMBDA].  Rows that take no value (takes_value false)
// may still be given one after '=': the parse function receives it, or ""
// when there is none.
const option_table<grid_options>& fourier_option_rows();


}  // namespace sts

#endif
