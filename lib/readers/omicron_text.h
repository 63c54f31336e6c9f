// Omicron MATRIX text exports of point spectroscopy ("Single Point
// Spectroscopy", as the exports of 2024 show): a header of "#" lines,
//   # Ramp start value                -4.000e+000 V
//   # Ramp end value                  4.000e+000 V
//   # Automatic ramp reversal         Yes
//   # Channel name and data unit      I(V) [A]
//   # Averaged curves                 1-10        (when repetitions were averaged)
// then "# Ramp value [V]   I(V)", a "# ----" line and rows of two numbers,
// bias and current.  With ramp reversal the second half of the rows is the
// sweep back from the end of the ramp to its start.  CR LF line ends.
#ifndef READERS_OMICRON_TEXT_H
#define READERS_OMICRON_TEXT_H

#include <string>
#include <string_view>
#include <vector>

#include "readers/import_options.h"
#include "readers/imported_spectrum.h"

namespace sts {

// Whether a file's first bytes are such an export's header.
bool looks_like_omicron_text(std::string_view head);

// Appends the curve (an exported average counts as one curve): the forward
// half, the backward half in its recorded order, or their point-by-point
// mean on the forward bias, in the options' units.  false with *error for
// a header without the ramp or the channel, a ramp that is not a bias or a
// channel not a current (I(t), I(Z), Aux), damaged rows, or a direction
// the file lacks.
bool read_omicron_text(const std::string& path, std::string_view text, const import_options& o,
                       std::vector<imported_spectrum>* out, std::string* error);

}  // namespace sts

#endif
