// The text header of a Nanonis grid-spectroscopy file (.3ds).
//
// The header is "key=value" lines (CR LF) up to a line ":HEADER_END:";
// after it each pixel, row by row, holds "# Parameters (4 byte)" float32
// parameters and then every channel's "Points" values as float32, all
// big-endian.  What is used here, as the real file of a 32 x 1 line shows:
//   Grid dim="32 x 1"                 pixels per row x rows
//   Grid settings=cx;cy;w;h;angle     the frame: centre x and y, width and
//                                     height (m), rotation (degrees)
//   Filetype=Linear                   "MLS" (uneven sweeps) is refused
//   Sweep Signal="Bias (V)"           the swept quantity and its unit
//   Fixed parameters="Sweep Start;Sweep End"   the first two parameters
//   Experiment parameters="X (m);Y (m);..."    the parameters after them
//   # Parameters (4 byte)=10          parameters per pixel
//   Points=401                        points per channel
//   Channels="Current (A);...;Current [bwd] (A);..."
//   Bias Spectroscopy>Sweep Start (V)=2E-3     the sweep's ends in decimal
//   Bias Spectroscopy>Sweep End (V)=-4E-3
// A value may be quoted and may run over several lines ("Comment").
#ifndef READERS_GRID_HEADER_H
#define READERS_GRID_HEADER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "readers/scan_frame.h"

namespace sts {

struct grid_header {
    long nx = 0, ny = 0;                      // pixels per row, rows
    long points = 0;                          // points per channel
    long parameter_count = 0;                 // float32 parameters per pixel
    std::vector<std::string> parameters;      // fixed, then experiment parameter names
    std::vector<std::string> channels;        // channel names in file order
    std::string sweep_signal;                 // "Bias (V)"
    bool has_decimal_sweep = false;           // the two values below are known
    double sweep_start = 0, sweep_end = 0;    // from "Bias Spectroscopy>Sweep ... (V)"
    bool has_frame = false;                   // `frame` is known
    grid_frame frame;                         // from "Grid settings", in nm and degrees
    uint64_t data_offset = 0;                 // bytes before the first pixel
    uint64_t pixel_bytes = 0;                 // bytes of one pixel
    int x_parameter = -1, y_parameter = -1;   // where "X (m)" and "Y (m)" are, or -1
    std::vector<std::pair<std::string, std::string>> entries;  // every key=value, in order

    uint64_t pixels() const { return static_cast<uint64_t>(nx) * static_cast<uint64_t>(ny); }
    // The value of the last entry with this key, or nullptr.
    const std::string* value(std::string_view key) const;
};

// Parses the header from the leading bytes of a file (all of it up to
// ":HEADER_END:" and the line end after it).  Counts beyond any real
// instrument's reach are refused, so that a damaged header cannot ask for
// absurd memory.  false with *error when the bytes are no grid header, or
// the grid is of a kind not read here (MLS sweeps, a sweep signal that is no
// bias, parameters not starting with the sweep's ends).
bool parse_grid_header(std::string_view head, grid_header* out, std::string* error);

// A measured position (nm, in the instrument's axes) turned about the
// frame's centre into the grid's axes (the row axis is the frame's x axis
// turned clockwise by `angle`), that turn undone: x then grows along a row
// and y from row to row, as the x and y pixel numbers do.  The real 30 x 30
// grid of 2016 (45 degrees) and the 32 x 1 line (54 degrees) bear this out.
// Without a frame, or at an angle of 0, the position stays as it is.
void frame_position_nm(const grid_header& h, double x, double y, double* u, double* v);

}  // namespace sts

#endif
