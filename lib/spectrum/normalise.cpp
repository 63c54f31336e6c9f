// The offset broadening of I/V and the normalisation of dI/dV by a
// spline-interpolated I/V.
#include <cmath>

#include "numlib/extended.h"
#include "spectrum/normalise_internal.h"
#include "numlib/numlib.h"
#include "spectrum/spectrum.h"
#include "spectrum/spline_constants.h"

void broaden_offset(float* iv, int n, float offset) {
    for (int j = 0; j < n; ++j) {
        const xf sum = xf(iv[j]) * iv[j] + xf(offset) * offset;
        iv[j] = static_cast<float>(std::sqrt(static_cast<double>(sum)));
    }
}

namespace {

// The interval SPLINT's bisection would bracket vmid[j] with, found without
// bisecting: vmid[j] lies in bias[j] .. bias[j+1] (1-based j+1 .. j+2),
// and is only at the upper end when the midpoint rounded onto it.
int midpoint_bracket(cfvec x, int n, int j, float t) {
    const int left = j + 1;
    return left + 1 <= n - 1 && x[left + 1] <= t ? left + 1 : left;
}

}  // namespace

num_status normalise_at_midpoints(const float* vmid, const float* didv, float* out, int m,
                                  const float* bias, const float* ivar, int n, bool vmid_of_bias,
                                  spectrum_workspace* w, int* zero_divisors) {
    const cfvec x = one_based(bias, n);
    const cfvec y = one_based(ivar, n);
    const fvec d2 = one_based(w->d2.data(), n);
    spline_coeffs_using(x, y, n, NATURAL_END, NATURAL_END, d2, one_based(w->spline.data(), n));
    *zero_divisors = 0;
    // Fewer than two points leave no interval to evaluate a midpoint on.
    if (n < 2) return m > 0 ? NUM_SPLINT_BAD_INTERVAL : NUM_OK;
    for (int j = 0; j < m; ++j) {
        const int left = vmid_of_bias ? midpoint_bracket(x, n, j, vmid[j])
                                      : spline_bracket(x, n, vmid[j]);
        float s = 0.0f;
        if (const num_status status = spline_value_on(x, y, d2, left, vmid[j], &s); !status.ok())
            return status;
        if (s == 0.0f) ++*zero_divisors;
        out[j] = divide_floats(didv[j], s);
    }
    return NUM_OK;
}

num_status normalise_by(const float* vmid, const float* didv, float* out, int m, const float* bias,
                        const float* ivar, int n, spectrum_workspace* w, int* zero_divisors) {
    return normalise_at_midpoints(vmid, didv, out, m, bias, ivar, n, false, w, zero_divisors);
}
