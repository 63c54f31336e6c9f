// A tool's command-line options as one table: each option once, with its
// names, whether it takes a value, its lines of --help as printed and the
// function that parses its value.  Parsing finds an option's row by name
// and --help is the rows' lines in order, so that the two cannot drift
// apart.  How a value is found (after '=', or in the next argument) and
// what an error says stay the tool's own, as they were before the table.
#ifndef OPTIONS_OPTION_TABLE_H
#define OPTIONS_OPTION_TABLE_H

#include <string>
#include <vector>

namespace sts {

template <class Target>
struct option_row {
    std::vector<std::string> names;  // "-c", "--channel"; none: lines of help only
    bool takes_value = false;        // else a flag, parsed with the value ""
    std::vector<std::string> help;   // its lines of --help as printed, without '\n'
    // Stores the value into the target; false with *error when it is wrong.
    // nullptr: a command the tool acts on itself (--help, --version).
    bool (*parse)(const std::string& value, Target* target, std::string* error) = nullptr;
};

template <class Target>
using option_table = std::vector<option_row<Target>>;

// The row one of whose names is `name`, or nullptr.
template <class Target>
const option_row<Target>* find_option(const option_table<Target>& table, const std::string& name) {
    for (const option_row<Target>& row : table)
        for (const std::string& n : row.names)
            if (n == name) return &row;
    return nullptr;
}

// The rows' help lines in the table's order, each ending in a newline.
template <class Target>
std::string options_help(const option_table<Target>& table) {
    std::string text;
    for (const option_row<Target>& row : table)
        for (const std::string& line : row.help) text += line + "\n";
    return text;
}

}  // namespace sts

#endif
