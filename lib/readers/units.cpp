// The units of instrument columns: volts and amperes with their prefixes.
#include "readers/units.h"

#include "readers/text_split.h"

namespace sts {

namespace {

// The unit prefixes we meet in instrument exports.
double prefix_factor(const std::string& prefix) {
    if (prefix.empty()) return 1.0;
    if (prefix == "m") return 1e-3;
    if (prefix == "u" || prefix == "\xc2\xb5" || prefix == "\xce\xbc") return 1e-6;  // u, micro, mu
    if (prefix == "n") return 1e-9;
    if (prefix == "p") return 1e-12;
    if (prefix == "f") return 1e-15;
    if (prefix == "k") return 1e3;
    return 0.0;
}

double unit_factor(const std::string& unit, char base) {
    const std::string u = trim(unit);
    if (u.empty() || u.back() != base) return 0.0;
    return prefix_factor(u.substr(0, u.size() - 1));
}

}  // namespace

double volts_per(const std::string& unit) { return unit_factor(unit, 'V'); }
double amperes_per(const std::string& unit) { return unit_factor(unit, 'A'); }
bool is_unit(const std::string& text) { return volts_per(text) > 0 || amperes_per(text) > 0; }

}  // namespace sts
