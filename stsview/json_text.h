// JSON text for the page's data.  Numbers are written in the shortest form
// that reads back as the same float (or double): the page shows exactly the
// value the file holds.  NaN and infinities, which JSON lacks, become null.
#ifndef STSVIEW_JSON_TEXT_H
#define STSVIEW_JSON_TEXT_H

#include <string>
#include <string_view>
#include <vector>

namespace sts {

void json_number(std::string* out, float v);
void json_number(std::string* out, double v);
void json_number(std::string* out, long long v);
void json_string(std::string* out, std::string_view v);
void json_array(std::string* out, const float* v, size_t n);
void json_array(std::string* out, const std::vector<float>& v);
void json_array(std::string* out, const std::vector<double>& v);
void json_array(std::string* out, const std::vector<std::string>& v);

// "name": (with a comma before unless it opens the object).
void json_key(std::string* out, std::string_view name);

// {"error": message}
std::string json_error(std::string_view message);

}  // namespace sts

#endif
