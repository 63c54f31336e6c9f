// The pixels along a straight line between two pixel centres, nearest
// pixel at each step: one sample per pixel along the longer of the two
// directions (a digital differential analyser), so that no pixel of the
// path is skipped and none is taken twice in a row.  Shared by stsgrid
// (--line) and stsview (its line-cut pane), so that both cut a grid alike.
#ifndef GRID_LINE_CUT_H
#define GRID_LINE_CUT_H

#include <cstddef>
#include <string>
#include <vector>

namespace sts {

struct line_sample {
    size_t x = 0, y = 0;    // the pixel
    double distance = 0.0;  // from the start, along the line, in the grid's xy units
};

// Samples from (x0, y0) to (x1, y1) (pixel indices within nx * ny) with
// the grid's coordinates xs, ys: max(|dx|, |dy|) + 1 samples, each the
// pixel nearest to the point at step k (halves rounded away from zero);
// distances measured between the exact points on the line, in coordinate
// units (coordinates linear between pixels; an empty axis counts pixels).
std::vector<line_sample> line_cut(size_t x0, size_t y0, size_t x1, size_t y1,
                                  const std::vector<double>& xs, const std::vector<double>& ys);

// What is wrong with a line from (x0, y0) to (x1, y1) on a grid of nx * ny
// pixels (an end outside it), as a sentence that says what to give
// instead; "" when nothing is.
std::string line_problem(long x0, long y0, long x1, long y1, long nx, long ny);

}  // namespace sts

#endif
