// Which columns of an instrument table make which spectra: the bias column,
// the current channel, its direction and its sweeps.
#ifndef READERS_CHANNEL_SELECTION_H
#define READERS_CHANNEL_SELECTION_H

#include <string>
#include <vector>

#include "readers/column_name.h"
#include "readers/import_options.h"
#include "readers/imported_spectrum.h"

namespace sts {

// The choice made once from the column names, then applied to any number
// of tables with those columns (every pixel of a grid).
struct selection_plan {
    // The current of one direction: one column as it is, or the point-by-
    // point mean of several (numbered sweeps without an average column).
    struct source {
        std::vector<int> columns;
        bool averaged = false;
    };
    // One spectrum: its sweep label and its current, which is `first` or,
    // for the mean of both directions, the mean of `first` and `second`.
    struct planned {
        std::string sweep;
        source first;
        source second;   // no columns unless both directions are averaged
    };
    int bias_column = -1;
    double bias_multiplier = 1.0;        // output bias unit per column unit
    std::vector<double> amperes;         // amperes per unit, by column
    double current_scale = 1e9;          // output current unit per ampere
    std::string direction;               // "fwd", "bwd" or "mean"
    std::vector<planned> spectra;        // at least one
    // The measured dI/dV channel's columns for each spectrum (its `first`
    // and `second`; sweep labels as in spectra), taken as stored; empty
    // unless import_options::signal_channel names one.
    std::vector<planned> signals;
    std::string signal_unit;             // the unit of the channel's columns ("" for none)
};

// Finds the bias column and the current columns of o.channel (a column named
// plainly "I" serves as the default "Current"; "[filt]" columns serve only
// when o.channel carries that tag, "Input 3 [filt]") and decides which spectra they make:
//   - with o.each_sweep, one per numbered sweep ("[00001]", ...);
//   - with o.sweep = K, numbered sweep K alone;
//   - else the plain column, else the "[AVG]" column, else the mean of the
//     numbered sweeps;
//   - for direction::mean, the point-by-point mean of forward and backward.
// A bias or current column whose name gives no unit is taken to be in the
// output unit when o says it was given, and refused otherwise.  false with
// *error (naming the columns, and the current channels there are when o's
// is missing) when a column is missing or lacks a voltage or current unit.
// With o.signal_channel, that channel's columns are chosen by the same rule
// (and refused, naming the channels there are, when missing), and refused
// when their unit is neither a current's, a voltage's, "%" (an external
// lock-in's output as a share of its sensitivity) nor none, unless
// o.signal_any_unit.
bool plan_selection(const std::vector<column_name>& columns, const import_options& o,
                    selection_plan* plan, std::string* error);

// Fills spectra[0 .. plan.spectra.size()) from a table held by column (every
// column the plan names has the same length), reusing their storage:
// bias and current in the output units, signal as stored (or empty),
// source, sweep and direction set, pixel positions left alone.
void apply_selection(const selection_plan& plan, const std::vector<std::vector<double>>& table,
                     const std::string& source, imported_spectrum* spectra);

// Plans and applies in one go, appending the spectra to *out.
bool select_spectra(const std::string& path, const std::vector<column_name>& columns,
                    const std::vector<std::vector<double>>& table, const import_options& o,
                    std::vector<imported_spectrum>* out, std::string* error);

}  // namespace sts

#endif
