// Where a point spectrum sits on a Nanonis scan image (.sxm): the pixel
// (column, row) and the place in the scan's frame, from the tip position
// the spectrum's file records.
//
// Nanonis bias spectroscopy (.dat) records the tip's position in its
// header as "X (m)" and "Y (m)" (the instrument's coordinates, those of a
// scan's :SCAN_OFFSET:); frame_position.h places it in the scan's frame.
// The real pair of 2023 (a 4 nm scan and the spectrum taken in it minutes
// later) puts the spectrum at (1.74, 0.04) nm from the frame's lower left
// corner, pixel (111, 2) of 256 x 256: about 2 nm below the centre, as
// its source describes it.
#ifndef READERS_SPECTRUM_ON_SCAN_H
#define READERS_SPECTRUM_ON_SCAN_H

#include <string>
#include <string_view>

#include "readers/frame_position.h"
#include "readers/nanonis_sxm.h"

namespace sts {

struct scan_spot {
    double x_m = 0, y_m = 0;  // the recorded position, instrument's axes
    long column = -1, row = -1;  // the scan's pixel (row 0 at the frame's bottom)
    double x_nm = 0, y_nm = 0;   // from the frame's lower left corner along its axes
};

// The tip position a point-spectrum file records ("X (m)", "Y (m)" of a
// Nanonis .dat header).  false with *error when the file records none.
bool recorded_tip_position(std::string_view bytes, double* x_m, double* y_m, std::string* error);

// Reads a .sxm file for its frame.  false with *error naming the file.
bool read_scan_file(const std::string& path, sxm_scan* scan, std::string* error);

// The spectrum whose file holds `bytes` placed on the scan.  false with
// *error (not naming the file) when it records no position or lies
// outside the scan's frame (the message gives the position and the frame).
bool place_spectrum_on_scan(std::string_view bytes, const sxm_scan& scan, scan_spot* out,
                            std::string* error);

}  // namespace sts

#endif
