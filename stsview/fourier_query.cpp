// The reciprocal-space routes' own parameters: see fourier_query.h.
#include "stsview/fourier_query.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace sts {

namespace {

// The characters a plain decimal number may hold (no "inf", "nan", hex).
bool decimal_characters(const std::string& t) {
    for (char c : t)
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.' || c == 'e' ||
              c == 'E'))
            return false;
    return true;
}

}  // namespace

bool query_number(const query& q, const std::string& name, double* out, std::string* error) {
    const auto it = q.values().find(name);
    if (it == q.values().end()) {
        *error = "give " + name + " (a number, nm^-1)";
        return false;
    }
    const std::string& t = it->second;
    double v = 0;
    const char* end = t.data() + t.size();
    const auto r = t.size() <= 32 && !t.empty() && t[0] != '+' && decimal_characters(t)
                       ? std::from_chars(t.data(), end, v)
                       : std::from_chars_result{t.data(), std::errc::invalid_argument};
    if (r.ec != std::errc() || r.ptr != end || !std::isfinite(v)) {
        *error = name + " must be a finite decimal number (nm^-1), as 0.25 or -1.5e-1";
        return false;
    }
    *out = v;
    return true;
}

bool query_group(const query& q, std::string* out, std::string* error) {
    out->clear();
    const auto it = q.values().find("group");
    if (it == q.values().end()) return true;
    const std::string& t = it->second;
    bool ok = !t.empty() && t.size() <= 64;
    for (char c : t) ok = ok && (std::isalnum(static_cast<unsigned char>(c)) || c == ',' || c == '.' || c == '-');
    if (!ok) {
        *error = "group must be a point group as stsgrid --symmetrise takes it (4mm, 6mm, r90,m0; "
                 "letters, digits and ,.- only, at most 64)";
        return false;
    }
    *out = t;
    return true;
}

bool query_window(const query& q, bool* hann, std::string* error) {
    *hann = true;
    const auto it = q.values().find("window");
    if (it == q.values().end()) return true;
    if (it->second == "hann" || it->second == "none") {
        *hann = it->second == "hann";
        return true;
    }
    *error = "window must be hann or none (as stsgrid --fft-window)";
    return false;
}

}  // namespace sts
