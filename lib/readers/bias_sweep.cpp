// Whether a spectrum sweeps its bias.
#include "readers/bias_sweep.h"

#include <cstdio>

namespace sts {

namespace {

std::string value_text(double v, const char* unit) {
    char text[64];
    std::snprintf(text, sizeof text, "%g %s", v, unit);
    return text;
}

}  // namespace

bool is_bias_sweep(const std::vector<double>& bias, const char* unit, std::string* error) {
    const size_t n = bias.size();
    if (n < 2) {
        *error = n == 0 ? "not a bias sweep: no points"
                        : "not a bias sweep: a single point (at " + value_text(bias[0], unit) + ")";
        return false;
    }
    // The longest run of equal neighbours (NaN equals nothing, so it ends runs).
    size_t longest = 1, run = 1, at = 0;
    for (size_t k = 1; k < n; ++k) {
        run = bias[k] == bias[k - 1] ? run + 1 : 1;
        if (run > longest) {
            longest = run;
            at = k;
        }
    }
    if (longest * 2 <= n) return true;
    const std::string value = value_text(bias[at], unit);
    *error = longest == n
                 ? "not a bias sweep: the bias is " + value + " at all " + std::to_string(n) +
                       " points"
                 : "not a bias sweep: the bias stays at " + value + " for " +
                       std::to_string(longest) + " of its " + std::to_string(n) +
                       " points (a time trace at constant bias)";
    return false;
}

}  // namespace sts
