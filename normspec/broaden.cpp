// Exponential broadening of I/V: convolution with symmetric weights
// exp(-k dV / width) by FFT, on a copy of the curve extended at both ends by
// a parabola and padded with zeros to a power-of-two length.
#include <cmath>

#include "numlib.h"
#include "normspec.h"

namespace {

using xf = long double;

// Points added beyond each end of the curve before it is convolved.
constexpr int EXTRA = 10;

int working_length(int n) {
    int length = 1;
    while (length <= n) length *= 2;
    while (n + 2 * EXTRA > length - 2 * EXTRA) length *= 2;
    return length;
}

}  // namespace

void broaden_exp(const float* bias, float* iv, float width, int n) {
    const int length = working_length(n);

    // Index ranges 0..length-1 as the curve is laid out; the convolution
    // sees the same blocks renumbered from 1.
    fvec padded = vector(0, length - 1);
    fvec kernel = vector(0, length - 1);
    fvec convolved = vector(0, 2 * length - 1);
    for (int i = 0; i < length; ++i) {
        padded[i] = 0.0f;
        kernel[i] = 0.0f;
    }
    for (int i = 0; i < n; ++i) padded[EXTRA + i] = iv[i];

    // Parabola through the first, middle and last point.
    const float anchor_x[3] = {bias[0], bias[n / 2], bias[n - 1]};
    const float anchor_y[3] = {iv[0], iv[n / 2], iv[n - 1]};
    const cfvec ax = one_based(anchor_x, 3);
    const cfvec ay = one_based(anchor_y, 3);
    float discarded_error = 0.0f;
    for (int k = 0; k < EXTRA; ++k) {
        const float d = static_cast<float>(xf(k + 1) * (xf(bias[1]) - bias[0]));
        const float left = static_cast<float>(xf(bias[0]) - d);
        POLINT(ax, ay, 3, left, padded.at(EXTRA - 1 - k), &discarded_error);
        const float right = static_cast<float>(xf(bias[n - 1]) + d);
        POLINT(ax, ay, 3, right, padded.at(n + EXTRA + k), &discarded_error);
    }

    // Weights in wrap-around order: zero lag first, lag i at i and at n - i.
    for (int i = 0; i <= (n + 1) / 2 - 1; ++i) {
        const double exponent = static_cast<double>(xf(i) * (xf(bias[0]) - bias[1]) / width);
        const float weight = static_cast<float>(std::exp(exponent));
        kernel[i] = weight;
        kernel[n - i] = weight;
    }
    kernel[n] = 0.0f;  // the second copy of the zero-lag weight

    CONVLV(renumber(padded, 0, 1), length, renumber(kernel, 0, 1), n, 1.0f,
           renumber(convolved, 0, 1));

    for (int i = 0; i < n; ++i) iv[i] = convolved[EXTRA + i];

    vector_free(convolved, 0, 2 * length - 1);
    vector_free(kernel, 0, length - 1);
    vector_free(padded, 0, length - 1);
}
