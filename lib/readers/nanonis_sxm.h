// Nanonis scan images (.sxm): the frame, the channels and every image.
//
// The layout (the Nanonis file-format note of version 1, as posted to the
// Gxsm project's plugin requests in 2006, and the real files of 2013 to
// 2023 in ../shared/realdata/raw, all of version 2):
//   ":NAME:" lines, each followed by its value lines, from
//   ":NANONIS_VERSION:" (first) to ":SCANIT_END:"; then blank lines, the
//   two bytes 0x1A 0x04, and the images.  The keys read here:
//     :NANONIS_VERSION:  2 (version 1 differs: stmpy's loader swaps its
//                        SCAN_PIXELS; none was at hand, so it is refused)
//     :SCANIT_TYPE:      "FLOAT MSBFIRST" (float32, big-endian; the note
//                        names LSBFIRST too, read as little-endian)
//     :SCAN_PIXELS:      nx ny: pixels per line, lines
//     :SCAN_RANGE:       width height of the frame (m)
//     :SCAN_OFFSET:      the frame's centre x y (m): ":Scan>Scanfield:"
//                        repeats it as its first two values
//     :SCAN_ANGLE:       degrees, turning the frame clockwise as the grid's
//                        "Grid settings" angle does (scan_frame.h)
//     :SCAN_DIR:         "up": the first line stored is the bottom one (the
//                        scan went up the frame); "down": the top one
//     :DATA_INFO:        a tab-separated table "Channel Name Unit Direction
//                        Calibration Offset", a row per channel; Direction
//                        is both, forward or backward
//   The images follow in the table's order: per channel its forward image,
//   then its backward one when recorded both ways (one image when only one
//   direction was); each nx * ny values, line after line in the order they
//   were scanned.  A backward line runs from the frame's right edge to its
//   left, and is stored as scanned, mirrored along x.  Gwyddion's
//   nanonis.c (it mirrors backward images and turns "up" images upside
//   down for its top-first rows), SpmImages.jl and nanonispy read the same
//   order.  The values are in the channel's unit already (Calibration and
//   Offset describe the acquisition; no reader applies them).
#ifndef READERS_NANONIS_SXM_H
#define READERS_NANONIS_SXM_H

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "readers/byte_source.h"
#include "readers/scan_frame.h"

namespace sts {

struct sxm_channel {
    std::string name;            // as the table writes it ("Z", "LI_X")
    std::string unit;            // "m", "A", "V"
    bool forward = false;        // recorded forward, backward, or both
    bool backward = false;
    double calibration = 0, offset = 0;
};

// A frame of nx x ny pixels.  Pixel (ix, iy) - ix along a line from the
// frame's left edge, iy from its bottom edge - is the square of width / nx
// by height / ny whose centre is at ((ix + 1/2) width / nx, (iy + 1/2)
// height / ny) from the frame's lower left corner, in the frame's axes.
struct sxm_frame {
    grid_frame frame;            // centre, width, height in nm; angle in degrees
    long nx = 0, ny = 0;
};

// One image, row 0 at the bottom of the frame (as the grid's y pixel
// numbers grow), each row from the frame's left edge: values[iy * nx + ix].
struct sxm_image {
    size_t channel = 0;          // in sxm_scan::channels
    bool backward = false;
    std::vector<float> values;
};

struct sxm_scan {
    sxm_frame frame;
    bool scan_up = true;                  // ":SCAN_DIR:" up (else down)
    std::vector<sxm_channel> channels;    // in file order
    std::vector<sxm_image> images;        // in file order
    // Every ":NAME:" of the header with its value: the value lines trimmed
    // of blanks and joined by "\n", blank lines at either end dropped.
    std::vector<std::pair<std::string, std::string>> entries;

    // The value of the last entry with this key ("SCAN_PIXELS",
    // "Scan>Scanfield"), or nullptr.
    const std::string* value(std::string_view key) const;
    // The image of a channel in one direction, or nullptr.
    const sxm_image* image(size_t channel, bool backward) const;
};

// Reads the header and every image of a .sxm file.  Everything the header
// states is checked against the bytes there are before anything is
// allocated for the images: the images must fill the file after the header
// exactly.  A scan whose every value is NaN (aborted before its first line)
// is refused.  false with *error (not naming the file) otherwise.
bool read_nanonis_sxm(const byte_source& source, sxm_scan* out, std::string* error);
bool read_nanonis_sxm(std::string_view bytes, sxm_scan* out, std::string* error);

}  // namespace sts

#endif
