// Where a grid's pixels sit in its lateral frame: the x and y axes (nm from
// the frame's corner, along its turned axes) and the recorded tip positions
// in the same axes.
//
// The Nanonis grid files at hand place their pixels in three ways, all
// told by each pixel's recorded "X (m)", "Y (m)" turned into the frame
// ("Grid settings": centre, width w, height h, angle):
//   centre   the software's simulator (2024, 5 x 6 over 10 x 10 nm): w / N
//            apart, the first half a step in from the frame's edge, so the
//            pixels are the centres of N cells filling the frame;
//   corner   the 30 x 30 grid of 2016 (short header): w / N apart, the first
//            on the frame's edge (the last a step short of the far edge);
//   ends     the 32 x 1 line of 2025 (height 0): w / (N - 1) apart, the
//            first and the last pixel on the line's two ends.
// The header does not say which, so the recorded positions decide: the
// layout whose lattice lies nearest them (least squares in steps).  Without
// recorded positions a line (one row, height 0) takes `ends` and a frame
// `centre`, as the current software writes.
#ifndef GRID_GRID_FRAME_H
#define GRID_GRID_FRAME_H

#include <string>
#include <vector>

namespace sts {

enum class pixel_layout { centre, corner, ends };

// "centre", "corner" or "ends", for the file's attribute.
const char* layout_name(pixel_layout l);

// The coordinates of count pixels over length (nm) in layout l, from the
// frame's corner.  One pixel sits at the middle of its length, except at 0
// in the corner layout.
std::vector<double> layout_axis(long count, double length, pixel_layout l);

// A recorded position in the frame's axes, with the pixel's place.
struct frame_sample {
    long ix = 0, iy = 0;
    double u = 0, v = 0;  // nm from the frame's corner along its x and y axes
};

// The layout whose lattice the samples fit best; `fallback` without any.
pixel_layout fitted_layout(const std::vector<frame_sample>& samples, long nx, long ny,
                           double width, double height, pixel_layout fallback);

}  // namespace sts

#endif
