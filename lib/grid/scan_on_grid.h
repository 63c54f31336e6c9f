// A Nanonis scan image (.sxm) placed beside a grid (stsgrid --topography):
// one channel of the scan in one direction, kept whole on its own axes and
// resampled onto the grid's pixels.
//
// Where a grid pixel is: its place in the grid's frame (the x and y axes,
// nm from the frame's corner, grid_frame.h), turned back into the
// instrument's coordinates by the grid's own frame (centre, angle); that
// position is then placed in the scan's frame (readers/frame_position.h,
// which turns it by the scan's angle) and the image sampled bilinearly
// there.  The frames may differ in centre, size and angle.  The pixel's
// place, not its recorded position, so that the resampled image lies on
// the same lattice as every other map of the file (the recorded positions,
// position_frame_x/_y, show where drift moved the tip).
//
// The scan kept whole is on its own frame's axes: scan_x along a line and
// scan_y from line to line, nm from the scan frame's lower left corner to
// each pixel's centre ((i + 1/2) w / nx, nanonis_sxm.h), row 0 at the
// bottom; and for each of its pixels the place in the grid's x, y axes, so
// that the two can be overlaid whatever their angles.
#ifndef GRID_SCAN_ON_GRID_H
#define GRID_SCAN_ON_GRID_H

#include <string>
#include <vector>

#include "grid/grid_description.h"
#include "readers/nanonis_sxm.h"

namespace sts {

// What to read from the scan (grid_plan::topography ...).
struct scan_request {
    std::string path;               // the .sxm file
    std::string channel = "Z";      // a ":DATA_INFO:" channel name (blanks around ignored)
    bool backward = false;          // the backward image (mirrored back) instead of the forward
};

struct scan_on_grid {
    std::string path, channel, unit;  // unit: "nm" for a channel in m, else the channel's
    bool backward = false;
    sxm_frame frame;                  // the scan's frame (nm, degrees)
    std::vector<double> x, y;         // the scan's own axes (nm from its corner)
    std::vector<float> image;         // frame.ny * frame.nx, row 0 at the bottom, in `unit`
    std::vector<float> grid_x, grid_y;  // each scan pixel's centre in the grid's axes (nm)
    std::vector<float> on_grid;       // grid ny * nx: the image at each pixel's place, NaN off it
    long pixels_on_scan = 0;          // grid pixels within the scan's frame
};

// "forward" or "backward".
const char* scan_direction_name(bool backward);

// Reads r.path and places the chosen image on the grid d describes (its
// size, x and y axes and frame).  false with *error naming the file when it
// cannot be read (*refused false), and with *refused true when it can but
// cannot be placed: the grid has no lateral frame, the scan lacks the
// channel or direction, or no pixel of the grid lies within the scan's
// frame (the message gives both frames).
bool place_scan_on_grid(const scan_request& r, const grid_description& d, scan_on_grid* out,
                        bool* refused, std::string* error);

// The same with a scan already read (the name only for messages).
bool place_scan_on_grid(const sxm_scan& scan, const scan_request& r, const grid_description& d,
                        scan_on_grid* out, std::string* error);

}  // namespace sts

#endif
