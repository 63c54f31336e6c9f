// The query part of a request's URL, parsed and checked before anything
// reads data: every parameter a route takes is named, typed and bounded
// here, and anything else is refused with a message (a 400 for the client).
#ifndef STSVIEW_QUERY_H
#define STSVIEW_QUERY_H

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace sts {

// Limits on what a query may hold.
constexpr size_t query_max_bytes = 2048;
constexpr size_t query_max_parameters = 16;

class query {
public:
    // Parses "a=1&b=x%20y" (percent escapes and '+' for space decoded).
    // false with *error for a query too long, a malformed escape, an empty
    // or repeated name, or too many parameters.
    bool parse(std::string_view text, std::string* error);

    bool has(const std::string& name) const { return values_.count(name) != 0; }
    // Refuses any parameter outside allowed (the token is allowed always).
    bool only(const std::vector<std::string>& allowed, std::string* error) const;
    // A whole number 0 <= n < limit written as plain decimal digits (no
    // sign, no space, at most 9 digits); false with *error naming the
    // parameter when it is missing or not such a number.
    bool index(const std::string& name, size_t limit, size_t* out, std::string* error) const;
    // A name of letters, digits and '_' (at most 64), one of those the
    // caller then looks up; false with *error when missing or malformed.
    bool word(const std::string& name, std::string* out, std::string* error) const;
    const std::map<std::string, std::string>& values() const { return values_; }

private:
    std::map<std::string, std::string> values_;
};

// Decodes %XX escapes and '+'; false for a malformed escape or a NUL.
bool percent_decode(std::string_view text, std::string* out);

}  // namespace sts

#endif
