// An Omicron MATRIX I(V) curve as spectra: its bias axis from the settings
// in force, its sweeps and repetitions, and its current from raw counts.
//
// How the counts lie (as the public MATRIX readers and the files of 2014
// show): a repetition is Device_<n>_Points counts from Device_<n>_Start to
// Device_<n>_End, and, with Enable_Device_<n>_Ramp_Reversal, as many again
// recorded on the way back from the end to the start.  Repetitions follow
// one another.  The bias of point k of a sweep is
// start + (end - start) * k / (points - 1), the last point's the end.  A
// curve whose measurement was stopped holds fewer counts than its DESC
// block announces.
#ifndef READERS_OMICRON_MATRIX_CURVE_H
#define READERS_OMICRON_MATRIX_CURVE_H

#include <cstdint>
#include <string>
#include <vector>

#include "readers/import_options.h"
#include "readers/omicron_matrix_parameters.h"
#include "readers/imported_spectrum.h"

namespace sts {

// The bias sweep of a curve.
struct matrix_sweep {
    double start = 0, end = 0;   // volts
    uint64_t points = 0;         // of one sweep
    bool reversal = false;       // each repetition also runs back
    uint64_t repetitions = 1;
    uint64_t per_repetition() const { return reversal ? 2 * points : points; }
};

// The spectroscopy device that sweeps the bias (Device_1, or Device_2 when
// that one is in volts) and its sweep.  false with *error when neither is
// in volts or its figures are not a sweep (fewer than two points, no
// repetition, ends not finite).
bool bias_sweep(const matrix_experiment& e, matrix_sweep* s, std::string* error);

// Whether o asks for what an Omicron I(V) curve holds: the current
// ("Current", "I" or "I(V)", case ignored) against the bias ("V" or "Bias",
// or none named); false with *error otherwise.  The text exports answer to
// the same names.
bool check_curve_names(const import_options& o, std::string* error);

// One recorded curve.
struct matrix_curve {
    matrix_sweep sweep;
    uint64_t planned = 0;          // the counts the DESC block announces
    std::vector<int32_t> counts;   // those recorded
    matrix_transfer transfer;      // to amperes
};

// Whether a transfer function can be applied (known, with its parameters,
// no division by zero); false with *error saying why not.
bool usable_transfer(const matrix_transfer& t, std::string* error);

// Appends the spectra o asks for, with `path` as their source: the
// forward sweeps, the backward ones in their recorded order, or the
// point-by-point mean of the two on the forward bias; one per repetition
// with o.each_sweep (labelled 1, 2, ...), else the mean of the
// repetitions.  Only complete sweeps are read; *warning says when some
// were not.  false with *error when the announced count does not fit the
// sweep, or no sweep of the direction asked for is complete.
bool curve_spectra(const std::string& path, const matrix_curve& c, const import_options& o,
                   std::vector<imported_spectrum>* out, std::string* error, std::string* warning);

}  // namespace sts

#endif
