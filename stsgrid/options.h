// stsgrid's command line.
#ifndef STSGRID_OPTIONS_H
#define STSGRID_OPTIONS_H

#include <string>
#include <vector>

#include "grid/grid_plan.h"
#include "grid/plan_settings.h"

namespace sts {

// The command line: the engine's plan (grid/grid_plan.h), and what only
// the driver uses.
struct grid_options : grid_plan {
    bool mean_text = false;          // --mean-text (the plan's mean_texts, with --mean-plot)
    bool progress = true;            // when standard error is a terminal
    plan_given given;                // for the checks between settings
};

// A row's parse function for a setting of the plan (grid/plan_settings.h)
// by its long name: the values taken and their messages are the engine's,
// shared with the Python module.
template <const char* name>
bool plan_value(const std::string& value, grid_options* o, std::string* error) {
    return set_plan_value(name, value, o, &o->given, error);
}

enum class parse_result { run, help, version, error };

// Parses argv into *o; on error *error says what is wrong (for a message
// ending in "Try 'stsgrid --help'").
parse_result parse_grid_options(int argc, char** argv, grid_options* o, std::string* error);

// The text of --help.
std::string grid_usage();

}  // namespace sts

#endif
