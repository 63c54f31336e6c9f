// Cyclic convolution and deconvolution by FFT.
#include "numlib/extended.h"
#include "numlib/numlib.h"
#include "numlib/fft_internal.h"

namespace {

num_status convlv_with(cfvec signal, int n, fvec response, int m, float ISIGN, fvec result,
                       fvec scratch, const convlv_plan* plan) {
    // Spread the compact wrap-around response out to length n: negative lags
    // to the end (top down, so overlapping ranges are safe), zeros between.
    for (int i = 1; i <= (m - 1) / 2; ++i) response[n + 1 - i] = response[m + 1 - i];
    for (int i = (m + 3) / 2; i <= n - (m - 1) / 2; ++i) response[i] = 0.0f;

    fft_two_real_with(signal, response, scratch, result, n, plan ? &plan->forward : nullptr);

    const int h = n / 2;
    // Each product is divided by h.  For h a power of two (every length
    // the transforms take) the quotient and the product by 1/h, which is
    // exact, are the same real number rounded the same way, so the same
    // bits; the multiplication spares a division per value.
    const bool power_of_two = h > 0 && (h & (h - 1)) == 0;
    const xf divisor = static_cast<xf>(h);
    const xf scale = xf(1) / divisor;
    const auto over_h = [&](xf v) { return power_of_two ? v * scale : v / divisor; };
    for (int i = 2; i <= n + 2; i += 2) {
        const float sr = scratch[i - 1];
        const float si = scratch[i];
        const float rr = result[i - 1];
        const float ri = result[i];
        if (ISIGN == 1.0f) {
            result[i - 1] = static_cast<float>(over_h(xf(sr) * rr - xf(si) * ri));
            result[i] = static_cast<float>(over_h(xf(si) * rr + xf(sr) * ri));
        } else if (ISIGN == -1.0f) {
            const float q = static_cast<float>(xf(rr) * rr + xf(ri) * ri);
            if (q == 0.0f) return NUM_CONVLV_RESPONSE_ZERO;
            result[i - 1] = static_cast<float>(over_h((xf(sr) * rr + xf(si) * ri) / q));
            result[i] = static_cast<float>(over_h((xf(si) * rr - xf(sr) * ri) / q));
        } else {
            return NUM_CONVLV_UNKNOWN_ISIGN;
        }
    }
    result[2] = result[n + 1];
    fft_real_with(result, n / 2, -1, plan ? &plan->inverse : nullptr);
    return NUM_OK;
}

}  // namespace

num_status num_convlv(cfvec signal, int n, fvec response, int m, float ISIGN, fvec result,
                      fvec scratch) {
    return convlv_with(signal, n, response, m, ISIGN, result, scratch, nullptr);
}

num_status convlv_planned(cfvec signal, int n, fvec response, int m, float ISIGN, fvec result,
                           fvec scratch, const convlv_plan& plan) {
    return convlv_with(signal, n, response, m, ISIGN, result, scratch, &plan);
}

// The published form, for programs outside this tree that expect the run to
// end at bad input.
void CONVLV(cfvec signal, int n, fvec response, int m, float ISIGN, fvec result) {
    fvec scratch = vector(1, 2 * n);
    const num_status s = num_convlv(signal, n, response, m, ISIGN, result, scratch);
    vector_free(scratch, 1, 2 * n);
    if (!s.ok()) num_error(num_message(s));
}
