// Everything about a run that is fixed before the first pixel: the grid's
// description (size, axes, units, attributes) and the output names.
#ifndef GRID_GRID_SETUP_H
#define GRID_GRID_SETUP_H

#include <string>
#include <vector>

#include "grid/grid_description.h"
#include "grid/grid_source.h"
#include "grid/grid_plan.h"

namespace sts {

// Fills *d from the source and the options.  The common bias axis is that
// of the first pixel that computes; a grid without one gets a NaN axis.
void describe_run(const grid_source& src, const grid_plan& o, grid_description* d);

// The global attributes that record what the plan asked for (the program,
// the channel and direction, the broadenings, the lock-in, the sweep, the
// statistics' region, the smoothing, the gap), in the file's order, for a
// grid in these units: what a reader compares to tell whether a file was
// made by a given plan.
std::vector<std::pair<std::string, std::string>> run_attributes(const grid_plan& o,
                                                                const std::string& bias_unit,
                                                                const std::string& current_unit);

// Every name run_attributes can give.
const std::vector<std::string>& run_attribute_names();

// The optional quantity groups the options ask for (d->groups).
std::vector<quantity_group> quantity_groups(const grid_plan& o);

// Refuses --gap on a curve that this run does not compute (a lock-in
// twin without a lock-in channel), with *error saying so.
// The plan against the grid it runs on: a --map bias outside the sweep and
// a --region reaching beyond the grid are refused (never clamped), the
// message naming the allowed range.  false with *error.
bool check_plan_against_grid(const grid_plan& o, const grid_description& d, std::string* error);

bool check_gap_curve(const grid_plan& o, std::string* error);

// With --fit: its curve (fit_curve_of) is a conductance along the midpoints
// that the run computes, and its settings are in range; else *error.
bool check_fit_curve(const grid_plan& o, std::string* error);

// Refuses, with *error saying why, when a file the run would write (out or
// a companion) is one of the inputs, or is not a regular file or nothing
// yet (output/atomic_file.h).
bool check_output_name(const grid_plan& o, const std::string& out, std::string* error);

// The name of a companion file of the output: the output's name without
// ".nc", then suffix ("_mean.png", ...).
std::string companion(const std::string& output, const std::string& suffix);

// The picture of a map at a bias: <output>_map_<bias>.png, or
// <output>_map_<group>_<bias>.png for an optional group's quantities.
std::string map_name(const std::string& output, quantity_group g, double bias);

// The output file's name when none is given: the first input's name with
// its extension replaced by ".nc", beside it.
std::string default_output(const std::string& input);

// "0.01" for a bias of 0.01: the shortest text that names it in a file name.
std::string bias_text(double bias);

}  // namespace sts

#endif
