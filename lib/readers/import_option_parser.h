// The command-line options that every importing tool shares (channel, bias
// column, direction, sweeps, units, format), parsed in one place so that
// all drivers accept them alike.
#ifndef READERS_IMPORT_OPTION_PARSER_H
#define READERS_IMPORT_OPTION_PARSER_H

#include <string>

#include "options/option_table.h"
#include "readers/import_options.h"

namespace sts {

// One option argument: "--key=value" gives the key and the value, any other
// argument is a key alone ("-c", "--each-sweep").
struct option_argument {
    std::string key;
    std::string value;
    bool has_value = false;
};
option_argument split_option(const std::string& arg);

// The value of an option: its own "=value", else the next argument (*i
// then moves past it).  false with *error ("option '-c' needs a value")
// when there is none.
bool option_value(int argc, char* const* argv, int* i, const option_argument& a,
                  std::string* value, std::string* error);

enum class option_take {
    not_ours,  // not an import option: the driver's own, or unknown
    taken,     // parsed into the options
    bad,       // an import option with a wrong or missing value; *error says why
};

// Offers argv[*i] to the import options:
//   -c, --channel=NAME   -b, --bias=NAME   -d, --direction=fwd|bwd|mean
//   --each-sweep   --sweep=K   --bias-unit=V|mV   --current-unit=nA|pA
//   -f, --format=auto|dat|3ds|csv|vert|pairs
// A value may also be the next argument; *i then moves past it.
option_take take_import_option(int argc, char* const* argv, int* i, import_options* o,
                               std::string* error);

// The import options, each once: names, value, help lines, parse function.
// A tool's own table comes after them in its --help.
const option_table<import_options>& import_option_table();

// The help text of these options (the table's lines), two-space indented
// columns ending in a newline, for a driver's --help.
const char* import_options_help();

}  // namespace sts

#endif
