// A grid plan from Python's keyword arguments: each setting goes to the
// plan's field through the engine's own setters (grid/plan_settings.h)
// and the readers' import options, so that values and messages are
// stsgrid's.  No command line is made or parsed.
#ifndef PYTHON_PLAN_BINDING_H
#define PYTHON_PLAN_BINDING_H

#include "grid/grid_plan.h"
#include "python/binding.h"

namespace sts::python {

// What the plan is for: arrays held in memory (stskit.compute: no file,
// so no file's companions) or a grid file run as stsgrid runs it
// (stskit.run).
enum class plan_use { arrays, file };

// The plan of these settings (names as stsgrid's long options with '_' for
// '-', threads for --jobs; None for not given; a list or tuple is joined
// with commas; True for an option without a value).  ValueError with
// stsgrid's message for a wrong value, TypeError for an unknown name.
grid_plan plan_from_settings(const py::dict& settings, plan_use use);

// A message of the engine or the readers with each command-line option it
// names given as the keyword that sets it ("give --force" -> "give
// force=True", "--lockin-cal=fit" -> "lockin_cal=fit"); an option no
// keyword sets (--map) stays as it is.
std::string keyword_message(const std::string& message);

// The names plan_from_settings takes for a use, for messages and help.
std::vector<std::string> setting_names(plan_use use);

}  // namespace sts::python

#endif
