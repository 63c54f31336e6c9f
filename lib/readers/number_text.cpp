// Numbers as instrument text tables write them.
#include "readers/number_text.h"

#include <cstdlib>

#include "readers/text_split.h"

namespace sts {

namespace {

// strtod follows the process locale, which these tools leave at "C": the
// point is the decimal mark.
bool whole_number(const std::string& t, double* value) {
    char* end = nullptr;
    *value = std::strtod(t.c_str(), &end);
    return !t.empty() && end == t.c_str() + t.size();
}

}  // namespace

bool parse_number(const std::string& field, double* value, bool decimal_comma) {
    std::string t = strip(field);
    if (whole_number(t, value)) return true;
    const size_t comma = t.find(',');
    const bool one_comma =
        comma != std::string::npos && t.find(',', comma + 1) == std::string::npos;
    if (!decimal_comma || !one_comma || t.find('.') != std::string::npos) return false;
    t[comma] = '.';
    return whole_number(t, value);
}

}  // namespace sts
