// Numbers as instrument text tables write them.
#ifndef READERS_NUMBER_TEXT_H
#define READERS_NUMBER_TEXT_H

#include <string>

namespace sts {

// Reads a whole field (blanks, carriage returns and quotes around it
// ignored) as a number with strtod: exponents, "NaN" and "Inf" included.
// false when the field is empty or holds anything else.
bool parse_number(const std::string& field, double* value);

}  // namespace sts

#endif
