// The per-spectrum pipeline: sort, offset removal, I/V, dI/dV, the three
// normalised variants, and the result files, in that fixed order.
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "numlib.h"
#include "normspec.h"

namespace {

using xf = long double;

constexpr float NATURAL_END = 1e30f;
constexpr float COFF_OFFSET = 0.05f;
constexpr float EXP_WIDTH = 1.33f;

// Writes rows "%f   %f" of x and y to base + suffix; a failure to open or to
// write ends the run with status 1.
void write_result(const std::string& base, const char* suffix, const float* x, const float* y,
                  int rows) {
    const std::string name = base + suffix;
    std::FILE* out = std::fopen(name.c_str(), "w");
    if (out == nullptr) {
        if (std::string(suffix) == "didv.txt")
            std::printf("Couldn't open di/dv output file. Exit\n\n");
        else
            std::printf("Couldn't open output file %s. Exit\n\n", name.c_str());
        std::exit(1);
    }
    for (int j = 0; j < rows; ++j) std::fprintf(out, "%f %s %f\n", x[j], " ", y[j]);
    // A full disk or a file-size limit shows up in the stream's error state
    // or when the last buffer is flushed at closing.
    const bool failed = std::ferror(out) != 0;
    if (std::fclose(out) != 0 || failed) {
        std::printf("Error writing output file %s. Exit\n\n", name.c_str());
        std::exit(1);
    }
}

bool any_nonfinite(const float* v, int count) {
    for (int j = 0; j < count; ++j)
        if (!std::isfinite(v[j])) return true;
    return false;
}

// What in a sorted spectrum leads to divisions with no defined result.
int input_causes(const float* bias, const float* current, int n) {
    int causes = 0;
    for (int j = 0; j < n; ++j) {
        if (!std::isfinite(bias[j]) || !std::isfinite(current[j])) causes |= CAUSE_NONFINITE_INPUT;
        if (bias[j] == 0.0f) causes |= CAUSE_ZERO_BIAS;
        if (j > 0 && bias[j] == bias[j - 1]) causes |= CAUSE_REPEATED_BIAS;
    }
    return causes;
}

}  // namespace

void remove_offset(const float* bias, float* current, int n) {
    std::array<float, MAX_POINTS> d2;
    const cfvec x = one_based(bias, n);
    spline_coeffs(x, one_based(current, n), n, NATURAL_END, NATURAL_END,
                  one_based(d2.data(), MAX_POINTS));
    float offset = 0.0f;
    SPLINT(x, one_based(current, n), one_based(d2.data(), MAX_POINTS), n, 0.0f, &offset);
    for (int j = 0; j < n; ++j) current[j] = static_cast<float>(xf(current[j]) - offset);
}

void differentiate(const float* bias, const float* current, float* didv, float* vmid, int n) {
    for (int i = 1; i <= n - 1; ++i)
        didv[i - 1] = static_cast<float>((xf(current[i]) - current[i - 1]) /
                                         (xf(bias[i]) - bias[i - 1]));
    for (int i = 0; i <= n - 2; ++i) vmid[i] = static_cast<float>((xf(bias[i]) + bias[i + 1]) * 0.5L);
}

int normalise_by(const float* vmid, float* didv, int m, const float* bias, const float* ivar,
                 int n) {
    std::array<float, MAX_POINTS> d2;
    const cfvec x = one_based(bias, n);
    const cfvec y = one_based(ivar, n);
    spline_coeffs(x, y, n, NATURAL_END, NATURAL_END, one_based(d2.data(), MAX_POINTS));
    int zero_divisors = 0;
    for (int j = 0; j < m; ++j) {
        float s = 0.0f;
        SPLINT(x, y, one_based(d2.data(), MAX_POINTS), n, vmid[j], &s);
        if (s == 0.0f) ++zero_divisors;
        didv[j] = static_cast<float>(xf(didv[j]) / s);
    }
    return zero_divisors;
}

int run_pipeline(working_arrays* w, int n, int flags, const std::string& base) {
    float* bias = w->bias.data();
    float* current = w->current.data();
    float* iv = w->iv.data();
    float* iv_raw = w->iv_raw.data();
    float* iv_coff = w->iv_coff.data();
    float* didv = w->didv.data();
    float* vmid = w->vmid.data();
    float* didv_save = w->didv_save.data();
    const bool full = (flags & SW_SUPPRESS) == 0;

    heap_sort2(n, one_based(bias, n), one_based(current, n));
    int causes = input_causes(bias, current, n);

    remove_offset(bias, current, n);
    for (int j = 0; j < n; ++j) iv[j] = static_cast<float>(xf(current[j]) / bias[j]);

    differentiate(bias, current, didv, vmid, n);
    const int m = n - 1;
    if (full) write_result(base, "didv.txt", vmid, didv, m);
    bool nonfinite = any_nonfinite(vmid, m) || any_nonfinite(didv, m);

    for (int j = 0; j < n; ++j) {
        iv_raw[j] = iv[j];
        iv_coff[j] = iv[j];
    }
    broaden_exp(bias, iv, EXP_WIDTH, n);
    for (int j = 0; j < n; ++j) {
        const xf sum = xf(iv_coff[j]) * iv_coff[j] + xf(COFF_OFFSET) * COFF_OFFSET;
        iv_coff[j] = static_cast<float>(std::sqrt(static_cast<double>(sum)));
    }

    if (full) write_result(base, "iv.txt", bias, iv_raw, n);
    if (full) write_result(base, "i.txt", bias, current, n);
    nonfinite = nonfinite || any_nonfinite(iv_raw, n) || any_nonfinite(current, n);

    int zero_divisors = 0;
    for (int j = 0; j < m; ++j) didv_save[j] = didv[j];
    zero_divisors += normalise_by(vmid, didv, m, bias, iv, n);
    if (flags & SW_EXP) write_result(base, "exp.txt", vmid, didv, m);
    nonfinite = nonfinite || any_nonfinite(didv, m);

    for (int j = 0; j < m; ++j) didv[j] = didv_save[j];
    zero_divisors += normalise_by(vmid, didv, m, bias, iv_coff, n);
    if (flags & SW_COFF) write_result(base, "coff.txt", vmid, didv, m);
    nonfinite = nonfinite || any_nonfinite(didv, m);

    for (int j = 0; j < m; ++j) didv[j] = didv_save[j];
    zero_divisors += normalise_by(vmid, didv, m, bias, iv_raw, n);
    if (flags & SW_RAW) write_result(base, "raw.txt", vmid, didv, m);
    nonfinite = nonfinite || any_nonfinite(didv, m);

    if (!nonfinite) return 0;
    if (zero_divisors > 0) causes |= CAUSE_ZERO_DIVISOR;
    return causes != 0 ? causes : CAUSE_RANGE;
}

std::string describe_causes(int causes) {
    static const struct {
        int bit;
        const char* text;
    } names[] = {
        {CAUSE_ZERO_BIAS, "a point at exactly 0 V"},
        {CAUSE_REPEATED_BIAS, "repeated bias values"},
        {CAUSE_NONFINITE_INPUT, "inf or nan in the input"},
        {CAUSE_ZERO_DIVISOR, "an I/V that interpolates to 0"},
        {CAUSE_RANGE, "values beyond the float range"},
    };
    std::string text;
    for (const auto& entry : names) {
        if ((causes & entry.bit) == 0) continue;
        if (!text.empty()) text += "; ";
        text += entry.text;
    }
    return text;
}
