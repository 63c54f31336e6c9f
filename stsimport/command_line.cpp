// stsimport's command line: the shared import options and its own.
#include "stsimport/command_line.h"

#include <cstdlib>

#include "readers/import_option_parser.h"

namespace {

bool parse_start(const std::string& s, long* start, std::string* error) {
    char* end = nullptr;
    *start = std::strtol(s.c_str(), &end, 10);
    if (end == s.c_str() || *end != '\0' || *start < 0 || *start > 1000000000) {
        *error = "start must be a whole number from 0 up";
        return false;
    }
    return true;
}

bool parse_names(const std::string& value, command_line* c, std::string* error) {
    c->names = value;
    if (value != "s" && value != "stxt") *error = "names must be s or stxt";
    return error->empty();
}

// stsimport's own options, after the shared import options in --help.
const sts::option_table<command_line>& own_options() {
    static const sts::option_table<command_line> table = {
        {{"-o", "--out"}, true,
         {"  -o, --out=DIR          output folder (default: .; created if missing)"},
         [](const std::string& v, command_line* c, std::string*) {
             c->out_dir = v;
             return true;
         }},
        {{"-n", "--names"}, true,
         {"  -n, --names=STYLE      s: s1, s2, ... (normspec -l; the default)",
          "                         stxt: stxt1p.txt, stxt2p.txt, ... (pointmean)"},
         parse_names},
        {{"--start"}, true,
         {"      --start=K          number of the first output (default 1)"},
         [](const std::string& v, command_line* c, std::string* e) {
             return parse_start(v, &c->start, e);
         }},
        {{"--force"}, false,
         {"      --force            write into a folder that holds numbered files of",
          "                         another import (or not made by stsimport) too"},
         [](const std::string&, command_line* c, std::string*) {
             c->force = true;
             return true;
         }},
        {{"-h", "--help"}, false, {"  -h, --help             show this help and exit"}, nullptr},
        {{"--version"}, false, {"      --version          show the version and exit"}, nullptr},
    };
    return table;
}

// One of stsimport's own options; false with *error when arg is none of
// them or its value is wrong.
bool take_own_option(int argc, char* const* argv, int* i, command_line* c, std::string* error) {
    const sts::option_argument a = sts::split_option(argv[*i]);
    const sts::option_row<command_line>* row = sts::find_option(own_options(), a.key);
    if (!row || !row->parse) {
        *error = "unknown option '" + std::string(argv[*i]) + "'";
        return false;
    }
    std::string value;
    if (row->takes_value && !sts::option_value(argc, argv, i, a, &value, error)) return false;
    return row->parse(value, c, error);
}

}  // namespace

bool parse_command_line(int argc, char* const* argv, command_line* c, command* what,
                        std::string* error) {
    *what = command::run;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            for (++i; i < argc; ++i) c->inputs.push_back(argv[i]);
            break;
        }
        if (arg.empty() || arg[0] != '-' || arg == "-") {
            c->inputs.push_back(arg);
            continue;
        }
        const std::string key = sts::split_option(arg).key;
        if (key == "-h" || key == "--help" || key == "--version") {
            *what = key == "--version" ? command::version : command::help;
            return true;
        }
        const sts::option_take taken = sts::take_import_option(argc, argv, &i, &c->import, error);
        if (taken == sts::option_take::bad) return false;
        if (taken == sts::option_take::not_ours && !take_own_option(argc, argv, &i, c, error))
            return false;
    }
    if (c->inputs.empty()) *error = "no input files";
    return error->empty();
}

std::string usage_text() {
    return std::string(
               "Usage: stsimport [OPTION]... FILE...\n"
               "Convert STS instrument files to the pair files that normspec and pointmean read.\n"
               "\n"
               "Formats (found from the contents unless --format is given):\n"
               "  Nanonis bias spectroscopy .dat, Nanonis grid spectroscopy .3ds,\n"
               "  Createc point spectra .VERT ([ParVERT30], [ParVERT32], any channel selection),\n"
               "  Omicron MATRIX I(V) curves *.I(V)_mtrx (with the session's *_0001.mtrx from\n"
               "  the same folder) and MATRIX text exports of point spectroscopy,\n"
               "  RHK .sm4 spectral pages (point and line spectra, maps),\n"
               "  text with a header row naming the columns (\"Bias (V)\", \"I/pA\"), separated\n"
               "  by commas, semicolons, tabs or blanks (decimal commas unless comma-separated),\n"
               "  plain number pairs (taken as they are).\n"
               "Refused, with the reason: spectra that do not sweep the bias (a constant bias,\n"
               "  a time trace at one bias, a single point), Nanonis experiments other than\n"
               "  bias spectroscopy (Z spectroscopy, CLAM, a frequency axis) unless -b names\n"
               "  the bias column, binary data of another kind, text of no kind above.\n"
               "\n"
               "Options:\n") +
           sts::import_options_help() + sts::options_help(own_options()) +
           "\n"
           "Every spectrum becomes one file of \"bias current\" rows (each value rounded\n"
           "to float, written in the fewest digits that read back as that float) in the\n"
           "instrument's point order; stsimport-index.tsv in the output folder maps\n"
           "each file to its source (file, grid pixel x and y, sweep, direction).  No\n"
           "input is ever overwritten.\n"
           "\n"
           "Exit status: 0 on success, 1 when an input is bad or incomplete (a grid that\n"
           "was interrupted keeps its complete pixels) or the output folder cannot take\n"
           "the import, 2 for a wrong command line.\n";
}
