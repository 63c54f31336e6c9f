// stsgrid's command line.
#ifndef STSGRID_OPTIONS_H
#define STSGRID_OPTIONS_H

#include <string>
#include <vector>

#include "grid/grid_plan.h"

namespace sts {

// The command line: the engine's plan (grid/grid_plan.h), and what only
// the driver uses.
struct grid_options : grid_plan {
    bool mean_text = false;          // --mean-text (the plan's mean_texts, with --mean-plot)
    bool progress = true;            // when standard error is a terminal
    bool lockin_fit_given = false;
    bool lockin_min_r2_given = false;
};

enum class parse_result { run, help, version, error };

// Parses argv into *o; on error *error says what is wrong (for a message
// ending in "Try 'stsgrid --help'").
parse_result parse_grid_options(int argc, char** argv, grid_options* o, std::string* error);

// The text of --help.
std::string grid_usage();

}  // namespace sts

#endif
