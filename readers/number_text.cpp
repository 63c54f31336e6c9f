// Numbers as instrument text tables write them.
#include "readers/number_text.h"

#include <cstdlib>

#include "readers/text_split.h"

namespace sts {

bool parse_number(const std::string& field, double* value) {
    const std::string t = strip(field);
    if (t.empty()) return false;
    char* end = nullptr;
    *value = std::strtod(t.c_str(), &end);
    return end == t.c_str() + t.size();
}

}  // namespace sts
