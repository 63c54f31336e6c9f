// The pixels of a line cut (--line), gathered from the blocks as they pass
// in pixel order: every per-pixel quantity the run writes, for the pixels
// on the line only, so that what it holds is the line's length times a
// record whatever the grid's size.
#ifndef GRID_LINE_COLLECTOR_H
#define GRID_LINE_COLLECTOR_H

#include <vector>

#include "grid/line_cut.h"
#include "grid/grid_description.h"
#include "grid/pixel_block.h"
#include "grid/quantities.h"

namespace sts {

class line_collector {
public:
    // samples: the line's pixels, each within d's nx * ny.  d must outlive
    // the collector.
    line_collector(const grid_description& d, std::vector<line_sample> samples);

    // Copies the records of the line's pixels that b holds.
    void add(const pixel_block& b);

    const std::vector<line_sample>& samples() const { return samples_; }
    // The records of q along the line (samples * record length, NaN where a
    // pixel was not processed or never seen), or nullptr when the run does
    // not write q.
    const std::vector<float>* values(const pixel_quantity& q) const;
    // Each sample's pixel code; PIXEL_MISSING until its block has passed.
    const std::vector<signed char>& status() const { return status_; }
    // Each sample's gap code (--gap), as the grid file's gap_status; empty
    // when the run computes no gap.
    const std::vector<signed char>& gap_status() const { return gap_status_; }
    // The length of q's record: points, midpoints or 1.
    size_t record(const pixel_quantity& q) const;

private:
    const grid_description d_;  // a copy: the collector outlives the run that made it
    std::vector<line_sample> samples_;
    std::vector<std::vector<float>> values_;  // by place in pixel_quantities; empty: not written
    std::vector<signed char> status_;
    std::vector<signed char> gap_status_;
};

}  // namespace sts

#endif
