// What an import must not do to the files already there: replace one of
// its own inputs.
#ifndef STSIMPORT_OUTPUT_GUARD_H
#define STSIMPORT_OUTPUT_GUARD_H

#include <string>
#include <vector>

#include "command_line.h"

// false with *error when writing one of the outputs (paths in c.out_dir)
// would replace one of c.inputs, whatever names or links lead to it.  (An
// output that is a link to an input, or another hard link of it, replaces
// only that name: the input stays.)
bool outputs_spare_inputs(const command_line& c, const std::vector<std::string>& outputs,
                          std::string* error);

#endif
