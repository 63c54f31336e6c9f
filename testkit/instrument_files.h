// Synthetic instrument files for the tests, the fuzz seeds and the
// benchmarks: Nanonis grids (.3ds), bias spectroscopy files (.dat) and scan
// images (.sxm), and Createc point spectra (.VERT), laid out as the
// instruments write them.
// One writer per format, so that a change of layout is made once.
#ifndef TESTKIT_INSTRUMENT_FILES_H
#define TESTKIT_INSTRUMENT_FILES_H

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testkit {

// ---- Nanonis grid (.3ds) ------------------------------------------------
// A text header of "name=value\r\n" lines ending in ":HEADER_END:\r\n", then
// per pixel the parameters (Sweep Start, Sweep End, the experiment
// parameters) and every channel's points, all big-endian float32.

struct nanonis_grid_layout {
    long nx = 1, ny = 1, points = 3;
    std::vector<std::string> channels = {"Current (A)"};
    std::string filetype = "Linear";
    std::string settings = "0;0;1E-8;1E-8;0";  // the "Grid settings" value (frame, m)
    std::vector<std::string> experiment_parameters = {"X (m)", "Y (m)"};
    bool experiment_size = true;  // write the "Experiment size (bytes)" line
    long header_points = -1;      // "Points" as the header states it (-1: points)
    std::string extra;            // more header lines, each ending in "\r\n"
    long written = -1;            // pixels in the file (-1: nx * ny; fewer: interrupted)

    float start = 0, end = 1;           // every pixel's sweep ends (V)...
    std::function<float(long)> end_of;  // ...unless a pixel's own end is given
    // Pixel p's experiment parameters; unset: X = p nm, Y = 0.
    std::function<std::vector<float>(long)> experiment_of;
};

// Experiment parameters X, Y of pixel p of a grid nx wide, pitch metres apart.
std::function<std::vector<float>(long)> raster_positions(long nx, double pitch);

// nx x ny pixels 2 nm apart, measured at (2 ix, 2 iy) nm, in the frame the
// instrument gives them: 2 nx by 2 ny nm centred on (nx - 1, ny - 1) nm,
// each pixel at the centre of its 2 nm cell (the first a nanometre in from
// the frame's edge); forward and backward current, sweeps from -0.5 V to
// 0.5 V, as older versions write them (without the "Experiment size" line).
nanonis_grid_layout raster_grid(long nx, long ny, long points);

// raster_grid in a frame turned by `degrees` (clockwise, the fifth value of
// "Grid settings"): pixel (ix, iy) is measured at its place in the frame
// (2 nm * ix along a row, 2 nm * iy across) turned about the frame's centre,
// (nx - 1, ny - 1) nm; the row axis is then (cos, -sin), the column axis
// (sin, cos).
nanonis_grid_layout turned_raster_grid(long nx, long ny, long points, double degrees);

// Point k of channel c of pixel p.  Called in file order: pixel by pixel,
// channel by channel, point by point (a generator may keep state).
using grid_values = std::function<float(long pixel, int channel, long k)>;

// pixels[p][c][k]: point k of channel c of pixel p.
using grid_pixel_values = std::vector<std::vector<std::vector<float>>>;

std::string nanonis_grid_header(const nanonis_grid_layout& g);
// Pixel p's bytes alone, for grids too large to hold in memory.
std::string nanonis_grid_pixel(const nanonis_grid_layout& g, long p, const grid_values& value);
std::string nanonis_grid(const nanonis_grid_layout& g, const grid_values& value);
// The pixels given (g.written unless set: as many as there are).
std::string nanonis_grid(const nanonis_grid_layout& g, const grid_pixel_values& pixels);

// Appends v as big-endian float32.
void put_be_float(std::string* out, float v);

// ---- Nanonis bias spectroscopy (.dat) -----------------------------------
// "name<TAB>value<TAB>" header lines, a blank line, "[DATA]", the column
// names and rows, separated by tabs.

struct nanonis_dat_layout {
    bool byte_order_mark = false;  // the UTF-8 mark newer versions put first
    std::vector<std::pair<std::string, std::string>> header;
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;  // cells as written
    bool trailing_tab = false;  // every data line (names too) ends in a tab
};

std::string nanonis_dat(const nanonis_dat_layout& d);

// ---- Nanonis scan image (.sxm) ------------------------------------------
// ":NAME:" lines each followed by their values (as Nanonis pads them) up to
// ":SCANIT_END:", two blank lines, the bytes 0x1A 0x04, then per channel of
// ":DATA_INFO:" its forward and (recorded both ways) its backward image:
// nx * ny big-endian float32, line after line in scan order (bottom line
// first scanning up, top line first scanning down), backward lines stored
// from the frame's right edge to its left.

struct sxm_made_channel {
    std::string name;                 // "Z", "Current"
    std::string unit;                 // "m", "A"
    std::string direction = "both";   // "both", "forward" or "backward"
};

struct nanonis_sxm_layout {
    long nx = 4, ny = 3;                        // pixels per line, lines
    double width = 2e-9, height = 1.5e-9;       // the frame (m)
    double centre_x = 0, centre_y = 0;          // its centre (m)
    double angle = 0;                           // degrees
    bool up = true;                             // ":SCAN_DIR:" up, else down
    std::vector<sxm_made_channel> channels = {{"Z", "m"}, {"Current", "A"}};
    std::string version = "2";
    std::string type = "FLOAT            MSBFIRST";  // ":SCANIT_TYPE:"
    std::string pixels;       // the ":SCAN_PIXELS:" value, if not nx and ny
};

// Pixel (ix, iy) of channel c's image in one direction: ix from the frame's
// left edge, iy from its bottom.
using sxm_values = std::function<float(size_t channel, bool backward, long ix, long iy)>;

std::string nanonis_sxm_header(const nanonis_sxm_layout& s);  // up to and with 0x1A 0x04
std::string nanonis_sxm(const nanonis_sxm_layout& s, const sxm_values& value);

// ---- Createc point spectrum (.VERT) -------------------------------------
// A "[ParVERT30]" header, a block of NUL bytes, "DATA", the row count and
// one row per point: index, bias (mV), z, current (ADC counts), dI.

struct createc_vert_row {
    double bias_mV;
    double counts;
};

// 20-bit DAC, preamplifier 10^9 V/A, a backward sweep, channel columns 3.
extern const char* const createc_vert_header;

// `header` replaces the lines between the title and the end of the header.
std::string createc_vert(const std::vector<createc_vert_row>& rows,
                         const std::string& header = createc_vert_header);

}  // namespace testkit

#endif
