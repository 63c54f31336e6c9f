// The results of a run of consecutive pixels, as the writers take them.
#ifndef GRID_PIXEL_BLOCK_H
#define GRID_PIXEL_BLOCK_H

#include <cstdint>
#include <vector>

#include "grid/pixel_codes.h"
#include "spectrum/lockin.h"

namespace sts {

// Pixels first .. first + count - 1 in row-major order (index = y * nx + x).
// Every per-pixel array holds count consecutive records; a pixel that was
// not processed, and every place beyond a pixel's own points, holds NaN.
struct pixel_block {
    uint64_t first = 0;
    int count = 0;
    int points = 0;  // record length of the point arrays; midpoint ones have points - 1

    std::vector<float> current;    // offset-corrected current, count * points
    std::vector<float> iv;         // I/V untreated, count * points
    std::vector<float> didv;       // count * (points - 1)
    std::vector<float> norm_raw;   // count * (points - 1)
    std::vector<float> norm_exp;   // count * (points - 1)
    std::vector<float> norm_coff;  // count * (points - 1)
    std::vector<float> bias;       // each pixel's own axis, count * points (per-pixel axes only)
    std::vector<float> vmid;       // count * (points - 1) (per-pixel axes only)
    std::vector<float> position_x; // nm, count (NaN where unknown)
    std::vector<float> position_y;
    // The measured position in the x and y axes (grid_frame.h), nm, count
    // each, where measured positions are known; else empty.
    std::vector<float> position_frame_x;
    std::vector<float> position_frame_y;
    // The recorded height, nm, count (where the grid records it), and the
    // other recorded numbers: one array of count per grid_description::recorded.
    std::vector<float> topography;
    std::vector<std::vector<float>> recorded;
    std::vector<signed char> status;  // pixel_code, count

    // --gap (spectrum/gap.h), count each; empty without it.
    std::vector<float> gap_low, gap_high, gap_width, peak_low, peak_high;
    std::vector<float> peak_low_height, peak_high_height;
    std::vector<signed char> gap_status;  // gap_reason
    // With a lock-in channel (--didv-channel), else empty: the calibrated
    // lock-in and its three normalisations, count * (points - 1), and the
    // line of each pixel and how well it fits, count.
    std::vector<float> didv_lockin;
    std::vector<float> norm_raw_lockin;
    std::vector<float> norm_exp_lockin;
    std::vector<float> norm_coff_lockin;
    std::vector<float> lockin_scale;
    std::vector<float> lockin_offset;
    std::vector<float> lockin_r2;
    // The first pass of --lockin-fit=grid: each pixel's fit sums (count 0
    // where the pixel gives none), count; empty otherwise.
    std::vector<lockin_moments> moments;
    // --fit (spectrum/gap_fit.h), count each (fit_curve count * (points - 1));
    // empty without it.
    std::vector<float> fit_gap, fit_gamma, fit_temperature, fit_tip_gap;
    std::vector<float> fit_scale, fit_offset, fit_background;
    std::vector<float> fit_se_gap, fit_se_gamma, fit_se_temperature, fit_se_tip_gap;
    std::vector<float> fit_se_scale, fit_se_offset, fit_se_background;
    std::vector<float> fit_chi2, fit_iterations, fit_curve;
    std::vector<signed char> fit_status;  // gap_fit_status
};

}  // namespace sts

#endif
