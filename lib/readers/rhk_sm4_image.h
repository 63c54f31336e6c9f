// The image pages of an RHK .sm4 file (a topography scanned with a map or
// a line of spectra) in the instrument's coordinates, and their values at
// a position.
//
// The frame, as the page header gives it (rhk_sm4_pages.h) and the two real
// files of 2020 bear out against the recorded positions of their spectra:
// x offset and y offset are the frame's centre; the frame's x axis is
// turned counter-clockwise by `angle` from the instrument's x axis, (cos a,
// sin a), its y axis is (-sin a, cos a); the stored value of row i, column
// j sits at the centre of its pixel,
//     u = (j + 1/2 - nx/2) * x scale,   v = (i + 1/2 - ny/2) * y scale
// along those axes from the centre.  Both scales are negative in the real
// files: the first stored value lies at the frame's +u, +v corner, where
// the map's first spectrum was taken (its rows of spectra run along -u,
// row after row along -v: the 32 x 32 map at 10 degrees, the 32-point line
// at 147.3 degrees along the middle of its 8-line image).  Gwyddion's
// rhk-sm4.c shows the same stored order (it mirrors the columns for its
// left-to-right display and leaves the angle aside).  The values are raw
// * z scale + z offset in the page's z unit; the page scanned left
// (backward) is stored in the same orientation as the one scanned right
// (their line-levelled images correlate 0.90 and 0.998 as stored, -0.72
// and -0.99 mirrored).
#ifndef READERS_RHK_SM4_IMAGE_H
#define READERS_RHK_SM4_IMAGE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "readers/rhk_sm4_pages.h"

namespace sts {

struct sm4_image {
    std::string label, z_unit;
    uint32_t page_type = 0;        // 1 topographic, 2 current, ...
    uint32_t scan_direction = 0;   // 0 right, 1 left, 2 up, 3 down
    long nx = 0, ny = 0;           // values per stored row, rows
    double x_scale = 0, y_scale = 0;      // nm per pixel, signed as stored
    double centre_x = 0, centre_y = 0;    // nm
    double angle = 0;                     // degrees
    std::vector<double> values;           // row after row as stored: values[i * nx + j]

    double width() const;   // |x scale| * nx, nm
    double height() const;
};

// Every image page of the file (data type 0) with its values; pages whose
// data do not fill their size are refused.  false with *error (not naming
// the file) when the bytes are no .sm4 file or a page runs past the end.
bool read_sm4_images(std::string_view bytes, std::vector<sm4_image>* out, std::string* error);

// The value at (x, y) nm in the instrument's axes, bilinear between the
// four nearest pixel centres (edge pixels carried to the frame's edge);
// false outside the frame (edges included, to 1/100 of a pixel: the real
// line's recorded ends lie 1.3e-4 of a pixel beyond its image's edges).
bool sample_sm4_image(const sm4_image& image, double x_nm, double y_nm, double* value);

}  // namespace sts

#endif
