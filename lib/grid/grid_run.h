// The run over a grid: every pixel computed by a pool of threads, the
// results handed on in pixel order, so that what is written never depends
// on the number of threads.
#ifndef GRID_GRID_RUN_H
#define GRID_GRID_RUN_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "grid/grid_source.h"
#include "grid/pixel_block.h"
#include "spectrum/lockin.h"
#include "grid/pixel_gap.h"
#include "grid/pixel_fit.h"
#include "spectrum/smoothing.h"
#include "spectrum/spectrum.h"

namespace sts {

// What a run does with a lock-in channel (--didv-channel).
enum class lockin_use {
    off,        // there is none
    sums,       // only each pixel's fit sums (the first pass of --lockin-fit=grid)
    per_pixel,  // a line fitted to each pixel
    fixed,      // the one line given
};
struct lockin_settings {
    lockin_use use = lockin_use::off;
    lockin_fit line;  // with fixed
    float min_r2 = 0;  // with per_pixel: a fit below is marked PIXEL_LOCKIN_POOR_FIT
};

struct run_settings {
    int threads = 1;
    norm_options norm;
    int block_pixels = 64;   // pixels per block handed on
    bool keep_input = false; // also hand on each pixel's imported currents
    lockin_settings lockin;
    gap_settings gap;        // --gap: the gap of each pixel's curve
    int smooth_window = 0;   // Savitzky-Golay window in points, 0 = no smoothing
    int smooth_order = 2;    // and its polynomial degree
    fit_settings fit;        // --fit: a gap fitted to each pixel's curve
};

// The smoothing of each pixel's currents, in their measured order, before
// anything else: none when plan is null.
struct pixel_smoothing {
    const smoothing_plan* plan = nullptr;
    smoothing_workspace* workspace = nullptr;
};

// What a block carries besides the results, when asked to: the imported
// points in the instrument's order (for statistics of the measured current).
struct input_block {
    std::vector<float> bias, current;  // count * points, NaN-padded
    std::vector<int> n;                // points per pixel
};

// Called for each block in pixel order; returns false with *error to stop
// the run.
using block_sink = std::function<bool(const pixel_block&, const input_block&, std::string*)>;

// Computes every pixel of the source and hands the blocks to sink, on the
// calling thread, in order.  false with *error when the sink stopped the run
// (the workers are joined first) or the memory for the threads' workspaces
// is not there.  The imported currents handed on (keep_input) are never
// smoothed.
bool run_grid(const grid_source& source, const grid_description& d, const run_settings& s,
              const block_sink& sink, std::string* error);

// The same with several stages, each of which sees every block in order: the
// first on the calling thread, every other on a thread of its own, all at
// once (so one stage can write the file while another gathers statistics;
// stages must not share state unguarded).  The first stage to fail stops
// the run and its *error is the run's; the other stages stop where they are.
bool run_grid(const grid_source& source, const grid_description& d, const run_settings& s,
              const std::vector<block_sink>& stages, std::string* error);

// Computes one pixel into the record at k of block b: what each thread does.
// With a lock-in channel (ls.use not off), a's divisors kept and l reserved
// like a, the lock-in's results too.
void compute_pixel(const pixel_input& in, const norm_options& o, spectrum_workspace* w,
                   spectrum_arrays* a, const grid_description& d, int k, pixel_block* b,
                   const pixel_smoothing& smoothing = {}, const lockin_settings& ls = {},
                   lockin_arrays* l = nullptr);

}  // namespace sts

#endif
