// How a run uses a lock-in channel, and the first pass that --lockin-fit=grid
// needs: one line fitted over every processed pixel.
#ifndef GRID_LOCKIN_PASS_H
#define GRID_LOCKIN_PASS_H

#include <string>

#include "grid/grid_description.h"
#include "grid/grid_run.h"
#include "grid/grid_source.h"
#include "grid/grid_plan.h"

namespace sts {

// The lock-in settings of a run: off without --didv-channel, a line per
// pixel, or (--lockin-fit=grid) the one line through every processed
// pixel's pairs of (lock-in at the midpoints, numerical dI/dV).  That line
// takes a first pass over the grid with `threads` threads; each pixel's
// sums are merged in pixel order, so the line does not depend on the
// number of threads.  Its scale and offset become attributes of *d.  false
// with *error when no line fits (no pixel gives sums, a flat channel).
bool plan_lockin(const grid_source& src, const grid_plan& o, int threads,
                 grid_description* d, lockin_settings* ls, std::string* error);

}  // namespace sts

#endif
