// I/V and the finite-difference derivative dI/dV.
#include "numlib/extended.h"
#include "spectrum/spectrum.h"

void current_over_bias(const float* bias, const float* current, float* iv, int n) {
    for (int j = 0; j < n; ++j) {
        if (bias[j] != 0.0f) {
            iv[j] = divide_floats(current[j], bias[j]);
            continue;
        }
        // I/V has no value at 0 V but a limit, the slope of the current
        // there; the chord through the neighbours estimates it without
        // favouring either side.
        const int below = j > 0 ? j - 1 : j;
        const int above = j < n - 1 ? j + 1 : j;
        iv[j] = static_cast<float>((xf(current[above]) - current[below]) /
                                   (xf(bias[above]) - bias[below]));
    }
}

void differentiate(const float* bias, const float* current, float* didv, float* vmid, int n) {
    for (int i = 1; i <= n - 1; ++i)
        didv[i - 1] = static_cast<float>((xf(current[i]) - current[i - 1]) /
                                         (xf(bias[i]) - bias[i - 1]));
    for (int i = 0; i <= n - 2; ++i)
        vmid[i] = static_cast<float>((xf(bias[i]) + bias[i + 1]) * xf(0.5));
}
