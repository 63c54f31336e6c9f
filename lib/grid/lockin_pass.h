// How a run uses a lock-in channel, and the first pass that --lockin-fit=grid
// needs: one line fitted over every processed pixel.
#ifndef GRID_LOCKIN_PASS_H
#define GRID_LOCKIN_PASS_H

#include <string>

#include "grid/grid_description.h"
#include "grid/grid_plan.h"
#include "grid/grid_run.h"
#include "grid/grid_source.h"
#include "readers/lockin_header.h"

namespace sts {

// The two scales a run can know, for its summary: the line fitted over the
// grid (not with a fit per pixel) and the one the recorded modulation gives.
struct lockin_report {
    bool used = false;               // the run has a lock-in channel
    std::string unit;                // the channel's unit as the file gives it
    bool fitted = false;             // fitted_scale is the grid's line
    float fitted_scale = 0;
    lockin_modulation modulation;    // the header's, as read
    bool from_amplitude = false;     // amplitude_scale is known
    double amplitude_scale = 0;      // run's current unit per bias unit per channel unit
    std::string why_not;             // without from_amplitude: why
};

// The lock-in settings of a run: off without --didv-channel, a line per
// pixel, or (--lockin-fit=grid) the one line through every processed
// pixel's pairs of (lock-in at the midpoints, numerical dI/dV).  That line
// takes a first pass over the grid with `threads` threads; each pixel's
// sums are merged in pixel order, so the line does not depend on the
// number of threads.  Its scale and offset become attributes of *d.  false
// with *error when no line fits (no pixel gives sums, a flat channel).
// With o.lockin_cal amplitude the grid's line is still fitted, for the
// comparison in *report, but the scale is amplitude_scale's (offset 0):
// false with *error when the file records no usable modulation.  *report,
// when given, says what was fitted and what the modulation gives.
bool plan_lockin(const grid_source& src, const grid_plan& o, int threads,
                 grid_description* d, lockin_settings* ls, std::string* error,
                 lockin_report* report = nullptr);

// The scale of dI/dV per lock-in unit from modulation m: the first
// harmonic of a channel in unit `unit` is dI/dV * V_mod, so dI/dV =
// X * amperes_per(unit) / V_mod amperes per volt, times current_scale /
// bias_scale for the run's units (X and V_mod both zero to peak, or both
// RMS).  0 with *why_not when m is not known or the channel is in no
// current unit (a voltage or a share of an external lock-in's
// sensitivity, whose conversion to amperes, that sensitivity and the
// pre-amplifier's gain, the header does not record).
double amplitude_scale(const lockin_modulation& m, const std::string& unit,
                       double current_scale, double bias_scale, std::string* why_not);

}  // namespace sts

#endif
