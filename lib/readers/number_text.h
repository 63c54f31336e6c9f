// Numbers as instrument text tables write them.
#ifndef READERS_NUMBER_TEXT_H
#define READERS_NUMBER_TEXT_H

#include <string>

namespace sts {

// Reads a whole field (blanks, carriage returns and quotes around it
// ignored) as a number with strtod: exponents, "NaN" and "Inf" included.
// With decimal_comma, a field with one comma and no point ("-1,5E-3", as
// European spreadsheets write it) reads with the comma as the point.
// false when the field is empty or holds anything else.
bool parse_number(const std::string& field, double* value, bool decimal_comma = false);

}  // namespace sts

#endif
