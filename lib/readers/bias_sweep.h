// Whether a spectrum sweeps its bias: a spectrum at one bias (a Z
// spectroscopy, a time trace, a single point) has no current-voltage curve
// and is refused rather than written as one.
#ifndef READERS_BIAS_SWEEP_H
#define READERS_BIAS_SWEEP_H

#include <string>
#include <vector>

namespace sts {

// Whether the bias values (in the unit named by `unit`) sweep: false with
// *error ("not a bias sweep: ...") when there is a single point, when every
// point has the same bias, or when more than half of the points in one run
// share one bias (a time trace at constant bias with short ramps to and
// from it).  A real sweep repeats a value only for a few neighbouring
// points, where the DAC step is coarser than the point spacing.
bool is_bias_sweep(const std::vector<double>& bias, const char* unit, std::string* error);

}  // namespace sts

#endif
