// RHK .sm4 files: the bias spectroscopy of one channel, position by position.
//
// A spectral page (see rhk_sm4_pages.h) holds its spectra position after
// position, each position with the same number of sweeps one after
// another: the real point file has 6 sweeps at one position, the line file
// 32 positions of one sweep, the map file 1024 positions on a 32 x 32
// raster (the header's grid size) whose rows the recorded positions show
// turned by 190 degrees (the header's angle says 0; only the positions are
// trusted).  Sweeps are told apart from positions by the recorded
// positions: a run of spectra at the same place is one position's sweeps.
// Neither these files nor the open readers of the format mark a sweep as
// backward, so every sweep is taken as it is stored, along its page's bias
// axis, and counts as forward.
//
// The bias axis is x offset + k * x scale; the two float32 values are read
// as the shortest decimals that round to them (0.6 V and -2.5 mV, not
// 0.6000000238 and -0.0024999999), as the instrument's settings were.
// The current is raw * z scale + z offset in the page's z unit.
#ifndef READERS_RHK_SM4_H
#define READERS_RHK_SM4_H

#include <string>
#include <string_view>
#include <vector>

#include "readers/import_options.h"
#include "readers/imported_spectrum.h"

namespace sts {

// The spectra of one channel and where they were measured.
struct sm4_spectra {
    // Positions per row and rows: the header's grid when the positions fill
    // it, else a line of all positions (one for a point spectrum).
    long nx = 0, ny = 0;
    // The positions lie evenly spaced on that raster (or along that line),
    // step_x apart along a row and step_y from row to row (nm).
    bool raster = false;
    double step_x = 0, step_y = 0;
    // Each position as recorded (nm); NaN when the page records none.
    std::vector<double> x_nm, y_nm;
    // Spectra per position: the sweeps with o.each_sweep, else one.
    size_t per_position = 0;
    // Position after position, in the output units, pixel_x and pixel_y
    // set on the raster (and -1 for a single position).
    std::vector<imported_spectrum> spectra;
    // The unit of the measured dI/dV page ("A" for "LIA Current"), "" without one.
    std::string signal_unit;
};

// Reads the spectral page whose label is o.channel ("I" serves for the
// default "Current"; labels match with blanks at their ends ignored):
// without o.each_sweep the point-by-point mean of each position's sweeps.
// With o.signal_channel, the spectral page of that label (the lock-in's
// "LIA Current") gives each spectrum's signal, as stored, the same sweeps
// averaged; it must share the current page's bias axis and positions.  false with *error (not naming the file) for a file
// that is cut short or damaged, has no spectral page (saying what its pages
// are), or lacks the channel (naming those there are), and for a backward
// direction or a mean of directions, which the file does not have.
bool read_sm4_spectra(const std::string& path, std::string_view bytes, const import_options& o,
                      sm4_spectra* out, std::string* error);

// The same, appending the spectra to *out.
bool read_rhk_sm4(const std::string& path, std::string_view bytes, const import_options& o,
                  std::vector<imported_spectrum>* out, std::string* error);

}  // namespace sts

#endif
