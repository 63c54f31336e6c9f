// stsimport's command line: the shared import options and its own.
#ifndef STSIMPORT_COMMAND_LINE_H
#define STSIMPORT_COMMAND_LINE_H

#include <string>
#include <vector>

#include "readers/import_options.h"

struct command_line {
    sts::import_options import;
    std::string out_dir = ".";
    std::string names = "s";          // "s": s1, s2, ...; "stxt": stxt1p.txt, ...
    long start = 1;                   // number of the first output
    bool force = false;               // add to a folder of another import's files
    std::string scan;                 // --scan: a .sxm image the spectra were taken on
    std::vector<std::string> inputs;
};

enum class command { run, help, version };

// Parses the arguments after the program name.  The first --help or
// --version met decides at once.  false with *error (a usage message) for
// an unknown option, a wrong value or no input file.
bool parse_command_line(int argc, char* const* argv, command_line* c, command* what,
                        std::string* error);

// The text of --help.
std::string usage_text();

#endif
