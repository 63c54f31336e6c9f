// --gap for one pixel: the gap of its curve (spectrum/gap.h), found on the
// record the run has just computed.
#ifndef GRID_PIXEL_GAP_H
#define GRID_PIXEL_GAP_H

#include "spectrum/gap.h"
#include "grid/grid_description.h"
#include "grid/pixel_block.h"
#include "grid/quantities.h"

namespace sts {

// What --gap asks of every pixel.
struct gap_settings {
    const pixel_quantity* curve = nullptr;  // the curve looked at; nullptr: no --gap
    gap_options options;
};

// The gap of pixel k of block b on its own midpoints (the grid's, unless
// pixels have axes of their own), up to the last it has; not_computed for
// a pixel that was not processed.  Precondition: s.curve is a midpoint
// quantity of the block.
gap_result pixel_gap(const gap_settings& s, const grid_description& d, const pixel_block& b, int k);

// Sizes a block's gap_status for count pixels, not_computed each; empty
// without --gap.  (The float records are the quantity table's, sized with
// the others.)
void prepare_gap(const gap_settings& s, int count, pixel_block* b);

// pixel_gap into the gap's records of b at k (sized by the block's
// preparation); nothing without --gap.
void record_gap(const gap_settings& s, const grid_description& d, int k, pixel_block* b);

}  // namespace sts

#endif
