// The pixels along a straight line between two pixel centres, nearest
// pixel at each step: one sample per pixel along the longer of the two
// directions (a digital differential analyser), so that no pixel of the
// path is skipped and none is taken twice in a row.
#ifndef STSVIEW_LINE_CUT_H
#define STSVIEW_LINE_CUT_H

#include <cstddef>
#include <vector>

namespace sts {

struct line_sample {
    size_t x = 0, y = 0;    // the pixel
    double distance = 0.0;  // from the start, along the line, in the grid's xy units
};

// Samples from (x0, y0) to (x1, y1) (pixel indices within nx * ny) with
// the grid's coordinates xs, ys: max(|dx|, |dy|) + 1 samples, each the
// pixel nearest to the point at step k; distances measured between the
// exact points on the line, in coordinate units.
std::vector<line_sample> line_cut(size_t x0, size_t y0, size_t x1, size_t y1,
                                  const std::vector<double>& xs, const std::vector<double>& ys);

}  // namespace sts

#endif
