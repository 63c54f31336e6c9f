#include "stsview/json_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace sts {

namespace {

template <typename number>
void shortest(std::string* out, number v) {
    if (!std::isfinite(v)) {
        out->append("null");
        return;
    }
    char text[64];
    const auto r = std::to_chars(text, text + sizeof text, v);
    out->append(text, r.ptr);
}

}  // namespace

void json_number(std::string* out, float v) { shortest(out, v); }
void json_number(std::string* out, double v) { shortest(out, v); }
void json_number(std::string* out, long long v) { out->append(std::to_string(v)); }

void json_string(std::string* out, std::string_view v) {
    out->push_back('"');
    for (unsigned char c : v) {
        if (c == '"' || c == '\\') {
            out->push_back('\\');
            out->push_back(static_cast<char>(c));
        } else if (c < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out->append(escaped);
        } else {
            out->push_back(static_cast<char>(c));
        }
    }
    out->push_back('"');
}

void json_array(std::string* out, const float* v, size_t n) {
    out->push_back('[');
    for (size_t i = 0; i < n; ++i) {
        if (i) out->push_back(',');
        json_number(out, v[i]);
    }
    out->push_back(']');
}

void json_array(std::string* out, const std::vector<float>& v) { json_array(out, v.data(), v.size()); }

void json_array(std::string* out, const std::vector<double>& v) {
    out->push_back('[');
    for (size_t i = 0; i < v.size(); ++i) {
        if (i) out->push_back(',');
        json_number(out, v[i]);
    }
    out->push_back(']');
}

void json_array(std::string* out, const std::vector<std::string>& v) {
    out->push_back('[');
    for (size_t i = 0; i < v.size(); ++i) {
        if (i) out->push_back(',');
        json_string(out, v[i]);
    }
    out->push_back(']');
}

void json_key(std::string* out, std::string_view name) {
    if (!out->empty() && out->back() != '{') out->push_back(',');
    json_string(out, name);
    out->push_back(':');
}

std::string json_error(std::string_view message) {
    std::string out = "{";
    json_key(&out, "error");
    json_string(&out, message);
    out.push_back('}');
    return out;
}

}  // namespace sts
