// Column names of instrument tables and what they say.
#ifndef READERS_COLUMN_NAME_H
#define READERS_COLUMN_NAME_H

#include <string>
#include <vector>

namespace sts {

// A column name split into its parts: "Current [00002] [bwd] (A)" has the
// name "Current", the tags "00002" and "bwd" and the unit "A".
struct column_name {
    std::string name;               // runs of blanks folded to one
    std::vector<std::string> tags;  // the bracketed parts, in order
    std::string unit;               // "" when the name gives none
};

// Splits a column heading.  The unit is the last parenthesised group that
// is a voltage or current unit ("Bias(AI5) (V)"), else a last bracketed tag
// that is one ("Current [pA]"), else what follows a last slash ("I/nA");
// anything else stays in the name.  Never fails.
column_name parse_column_name(const std::string& text);

}  // namespace sts

#endif
