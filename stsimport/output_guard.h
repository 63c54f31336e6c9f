// What an import must not do to the files already there: replace one of
// its own inputs, or mix its numbered files with those of another import.
#ifndef STSIMPORT_OUTPUT_GUARD_H
#define STSIMPORT_OUTPUT_GUARD_H

#include <string>
#include <vector>

#include "stsimport/command_line.h"

// false with *error when writing one of the outputs (paths in c.out_dir)
// would replace one of c.inputs, whatever names or links lead to it (a
// link is followed, so a link to an input, or another hard link of it, is
// that input: output/input_guard.h), or when one is a folder, device, FIFO
// or socket, which is never replaced (output/atomic_file.h).
bool outputs_spare_inputs(const command_line& c, const std::vector<std::string>& outputs,
                          std::string* error);

// Whether a file name is a numbered output of either style: "s<k>" or
// "stxt<k>p.txt".
bool numbered_name(const std::string& name);

// The output names (first column) listed in c.out_dir's index, if any.
std::vector<std::string> indexed_outputs(const command_line& c);

// false with *error, unless c.force, when c.out_dir holds numbered files
// (other than this import's inputs) that this import would not write (they
// would mix with its own), or that it would replace although no import
// wrote them (no index lists them).
bool folder_is_ours(const command_line& c, const std::vector<std::string>& outputs,
                    std::string* error);

#endif
