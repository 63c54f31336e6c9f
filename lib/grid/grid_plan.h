// What a grid run reads, computes and writes, as plain values: the one
// thing every caller of the engine (stsgrid's command line, stsview, the
// Python module) fills in.  No argv, no defaults hidden elsewhere: a plan
// made with {} and an input computes what stsgrid computes without options.
#ifndef GRID_GRID_PLAN_H
#define GRID_GRID_PLAN_H

#include <string>
#include <vector>

#include "readers/import_options.h"
#include "spectrum/gap_fit.h"
#include "spectrum/spectrum.h"

namespace sts {

// A rectangle of pixels, 0-based and inclusive, as given to --region.
struct pixel_region {
    bool given = false;
    long x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    bool contains(long x, long y) const {
        return !given || (x >= x0 && x <= x1 && y >= y0 && y <= y1);
    }
};

// A straight line of pixels for a line cut: its two ends, pixel numbers
// from 0 (checked against the grid's size once the grid is open).
struct pixel_line {
    bool given = false;
    long x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// How the lock-in channel is calibrated: a line fitted per pixel, or one
// line fitted over every processed pixel of the grid.
enum class lockin_fit_mode { pixel, grid };

// Where the lock-in's scale comes from: the fitted line (lockin_fit_mode),
// or the bias modulation the file records (readers/lockin_header.h):
// dI/dV = X * k / V_mod, k the channel unit's amperes, the scale written
// out in the run's current and bias units and the offset 0.
enum class lockin_cal_mode { fit, amplitude };

// The gap of each pixel's curve (spectrum/gap.h).
struct gap_request {
    bool given = false;
    float threshold = 0;   // T, in the curve's unit
    std::string variable;  // a midpoint quantity; "" = the default (gap_curve)
    float window = 0;      // peak search width beyond each edge, bias unit; 0 = the gap's width
};

// Fourier maps of a per-bias quantity (lib/fourier, grid/fourier_pass.h),
// written to <output>_fft.nc.
struct fourier_request {
    bool given = false;       // --fft
    std::string variable;     // "" = the default (fft_variable)
    bool hann = true;         // --fft-window: Hann, or none
    std::string group;        // --symmetrise: a point group's name; "" = none
    // --bragg: the lattice's Bragg vectors Q1, Q2 in nm^-1 as given, else
    // (bragg_given false) found in the topography's transform when asked
    // (find_bragg) or needed (symmetrisation, drift correction).
    bool bragg_given = false;
    bool find_bragg = false;
    double q1x = 0, q1y = 0, q2x = 0, q2y = 0;
    bool drift = false;       // --drift-correct: <output>_corrected.nc
    double drift_lambda = 0;  // nm, the phase's averaging length; 0 = the default
    bool lattice_wanted() const { return bragg_given || find_bragg || !group.empty() || drift; }
};

// A superconducting gap fitted to each pixel's curve (spectrum/gap_fit.h).
struct fit_request {
    bool given = false;
    std::string variable;       // a midpoint conductance; "" = the default (fit_curve_of)
    gap_fit_settings settings;  // bias_to_meV is set by the engine from the bias unit
    unsigned options_given = 0;  // the --fit* options given, a bit each (stsgrid's check)
};

struct grid_plan {
    // Reading: one grid file, or spectrum files each one pixel of an N x 1 grid.
    std::vector<std::string> inputs;
    sts::import_options import;      // import.signal_channel: the lock-in channel
    // Computing.
    int threads = 0;                 // computing threads; 0 = every core
    norm_options norm;
    int smooth_window = 0;           // Savitzky-Golay window, 0 = none
    int smooth_order = 2;            // and its polynomial degree
    // One line for the grid by default: a line per pixel follows each
    // pixel's noise (on the real Pb line R^2 0.005-0.45, scales 3.4-20e12).
    lockin_fit_mode lockin_fit = lockin_fit_mode::grid;
    // With the per-pixel fit, a pixel whose line fits with R^2 below this
    // (0 ... 1) is marked PIXEL_LOCKIN_POOR_FIT.
    float lockin_min_r2 = 0.5f;
    lockin_cal_mode lockin_cal = lockin_cal_mode::fit;
    gap_request gap;
    pixel_region region;             // the statistics' pixels
    // A Nanonis scan image (.sxm) placed beside the grid (grid/scan_on_grid.h):
    // "" = none; its channel (as ":DATA_INFO:" names it) and direction.
    std::string topography;
    std::string topography_channel = "Z";
    bool topography_backward = false;
    // Writing.  output "" = no netCDF file: the blocks go to the caller's
    // sink alone.  The companions are named after output.
    std::string output;
    std::string pointmean;           // the measured current's statistics, pointmean's file; "" = none
    bool mean_texts = false;         // <output>_mean_<name>.txt
    pixel_line line;                 // <output>_line.nc
    std::vector<std::string> line_vars;  // what the line's picture shows; empty: the maps' panels
    // What the caller gathers for pictures of its own: the values at these
    // biases (maps), the gap's maps, and the names of the pictures it will
    // write beside the file (checked with the engine's own before any work).
    std::vector<double> maps;
    bool gap_map = false;
    bool mean_plot = false;          // <output>_mean.png (and the mean texts with it)
    bool line_picture = false;       // <output>_line.png
    fourier_request fft;             // <output>_fft.nc (and _corrected.nc)
    fit_request fit;                 // --fit
    bool fit_map = false;            // <output>_map_fit.png
};

// The curve a gap is fitted to: the one named, else didv, or didv_lockin
// when the run takes dI/dV from a lock-in channel.
std::string fit_curve_of(const fit_request& f, bool lockin);

// The curve the gap is looked for in: the one named, else norm_coff, or its
// lock-in twin norm_coff_lockin when the run takes dI/dV from a lock-in
// channel.
std::string gap_curve(const gap_request& g, bool lockin);

// The quantity --fft transforms: the one named, else didv, or its lock-in
// twin didv_lockin when the run takes dI/dV from a lock-in channel.
std::string fft_variable(const fourier_request& f, bool lockin);

}  // namespace sts

#endif
