// The units of instrument columns: volts and amperes with their prefixes.
#ifndef READERS_UNITS_H
#define READERS_UNITS_H

#include <string>

namespace sts {

// Factor from a unit to volts ("mV" gives 1e-3, "V" 1) or to amperes ("pA"
// gives 1e-12); 0 when the text (blanks around it ignored) is no unit of that
// kind.  Prefixes: f p n u µ μ m k.
double volts_per(const std::string& unit);
double amperes_per(const std::string& unit);

// Whether text is a voltage or a current unit.
bool is_unit(const std::string& text);

}  // namespace sts

#endif
