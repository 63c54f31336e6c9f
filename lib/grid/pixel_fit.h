// --fit for one pixel: a superconducting gap fitted to its curve
// (spectrum/gap_fit.h), on the record the run has just computed.
#ifndef GRID_PIXEL_FIT_H
#define GRID_PIXEL_FIT_H

#include "spectrum/gap_fit.h"
#include "grid/grid_description.h"
#include "grid/pixel_block.h"
#include "grid/quantities.h"

namespace sts {

// What --fit asks of every pixel.
struct fit_settings {
    const pixel_quantity* curve = nullptr;  // the curve fitted; nullptr: no --fit
    gap_fit_settings options;
};

// The fit of pixel k of block b on its own midpoints, up to the last it
// has; not_computed for a pixel that was not processed.  Precondition:
// s.curve is a midpoint quantity of the block.
gap_fit_result pixel_fit(const fit_settings& s, const grid_description& d, const pixel_block& b,
                         int k, gap_fit_workspace* w);

// Sizes a block's fit_status for count pixels, not_computed each; empty
// without --fit.
void prepare_fit(const fit_settings& s, int count, pixel_block* b);

// pixel_fit and its curve into the fit's records of b at k; nothing
// without --fit.
void record_fit(const fit_settings& s, const grid_description& d, int k, pixel_block* b,
                gap_fit_workspace* w);

}  // namespace sts

#endif
