// Where a position in the instrument's coordinates falls in a scan's
// frame: in the frame's own axes, on which pixel, and what an image holds
// there.
//
// A point spectrum (a Nanonis .dat records its tip position as "X (m)" and
// "Y (m)") or a grid pixel is placed on a .sxm image this way: the position
// is turned about the frame's centre by the frame's angle
// (turn_into_frame_nm, the grid reader's own turn), then measured from the
// centre.  Pixel (ix, iy) is the square around ((ix + 1/2) w / nx,
// (iy + 1/2) h / ny) from the frame's lower left corner (nanonis_sxm.h).
#ifndef READERS_FRAME_POSITION_H
#define READERS_FRAME_POSITION_H

#include "readers/nanonis_sxm.h"

namespace sts {

struct frame_place {
    double u = 0, v = 0;     // nm from the frame's centre, along a line and up the frame
    bool inside = false;     // within the frame, edges included
    long ix = -1, iy = -1;   // the pixel holding it (iy from the bottom), -1 when outside
};

// The place of (x, y), in metres in the instrument's coordinates.
frame_place place_in_frame(const sxm_frame& f, double x_m, double y_m);

// The image's value at (u, v) (nm from the frame's centre, in its axes),
// interpolated bilinearly between the four nearest pixel centres; between
// the outermost centres and the frame's edge the edge pixels' values are
// carried to the edge.  NaN when one of those pixels is NaN (a line the
// scan did not reach); false outside the frame (or for an image not of
// this frame's size).
bool sample_image(const sxm_frame& f, const sxm_image& image, double u, double v, double* value);

}  // namespace sts

#endif
