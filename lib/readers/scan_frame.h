// The frame of a Nanonis scan or grid: a rectangle of width x height about
// its centre, turned by an angle, in the instrument's coordinates.
//
// Nanonis writes the same five numbers for both: "Grid settings" of a .3ds
// grid and ":Scan>Scanfield:" of a .sxm image are "centre x;centre y;width;
// height;angle" (m, m, m, m, degrees).  The angle turns the frame clockwise:
// its x axis (along a row) is (cos a, -sin a) and its y axis (from row to
// row) is (sin a, cos a) in the instrument's x, y.  The real grids bear this
// sense out (see grid_header.h); a .sxm frame is the same Scanfield.
#ifndef READERS_SCAN_FRAME_H
#define READERS_SCAN_FRAME_H

#include <string>

namespace sts {

// A frame in nm and degrees.
struct grid_frame {
    double centre_x = 0, centre_y = 0;
    double width = 0, height = 0;
    double angle = 0;
};

// A position (nm, in the instrument's axes) turned about the frame's
// centre into the frame's axes, the centre staying where it is: *u then
// grows along a row and *v from row to row.  At an angle of 0 the position
// stays as it is (bit for bit).
void turn_into_frame_nm(const grid_frame& f, double x, double y, double* u, double* v);

// "centre (x, y) nm, w x h nm, angle a degrees" (6 digits), for messages
// and attributes.
std::string frame_text(const grid_frame& f);

}  // namespace sts

#endif
