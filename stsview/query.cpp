#include "stsview/query.h"

namespace sts {

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool fail(std::string* error, const std::string& message) {
    if (error) *error = message;
    return false;
}

}  // namespace

bool percent_decode(std::string_view text, std::string* out) {
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            c = ' ';
        } else if (c == '%') {
            if (i + 2 >= text.size()) return false;
            const int hi = hex_digit(text[i + 1]), lo = hex_digit(text[i + 2]);
            if (hi < 0 || lo < 0) return false;
            c = static_cast<char>(hi * 16 + lo);
            i += 2;
        }
        if (c == '\0') return false;
        out->push_back(c);
    }
    return true;
}

bool query::parse(std::string_view text, std::string* error) {
    values_.clear();
    if (text.size() > query_max_bytes) return fail(error, "the query is too long");
    while (!text.empty()) {
        const size_t amp = text.find('&');
        const std::string_view part = text.substr(0, amp);
        text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
        if (part.empty()) continue;
        const size_t eq = part.find('=');
        std::string name, value;
        if (!percent_decode(part.substr(0, eq), &name) ||
            (eq != std::string_view::npos && !percent_decode(part.substr(eq + 1), &value)))
            return fail(error, "a malformed escape in the query");
        if (name.empty()) return fail(error, "a query parameter without a name");
        if (values_.size() >= query_max_parameters) return fail(error, "too many query parameters");
        if (!values_.emplace(name, value).second)
            return fail(error, "the query parameter '" + name + "' is given twice");
    }
    return true;
}

bool query::only(const std::vector<std::string>& allowed, std::string* error) const {
    for (const auto& [name, value] : values_) {
        bool known = name == "token";
        for (const auto& a : allowed) known = known || a == name;
        if (!known) return fail(error, "unknown query parameter (allowed: token" + [&] {
            std::string list;
            for (const auto& a : allowed) list += ", " + a;
            return list;
        }() + ")");
    }
    return true;
}

bool query::index(const std::string& name, size_t limit, size_t* out, std::string* error) const {
    const auto it = values_.find(name);
    if (it == values_.end()) return fail(error, "the parameter '" + name + "' is missing");
    const std::string& v = it->second;
    bool digits = !v.empty() && v.size() <= 9;
    for (char c : v) digits = digits && c >= '0' && c <= '9';
    if (!digits) return fail(error, "'" + name + "' must be a whole number from 0 to " +
                                        std::to_string(limit == 0 ? 0 : limit - 1));
    size_t n = 0;
    for (char c : v) n = n * 10 + static_cast<size_t>(c - '0');
    if (n >= limit)
        return fail(error, "'" + name + "' = " + v + " is out of range (0 to " +
                               (limit == 0 ? std::string("none") : std::to_string(limit - 1)) + ")");
    *out = n;
    return true;
}

bool query::word(const std::string& name, std::string* out, std::string* error) const {
    const auto it = values_.find(name);
    if (it == values_.end()) return fail(error, "the parameter '" + name + "' is missing");
    const std::string& v = it->second;
    bool ok = !v.empty() && v.size() <= 64;
    for (char c : v)
        ok = ok && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_');
    if (!ok) return fail(error, "'" + name + "' must be a name of letters, digits and '_'");
    *out = v;
    return true;
}

}  // namespace sts
